#include "app/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <string>

#include "app/platform.h"

namespace {

// SDL's three icon kinds stand for the four of the original: a question shows as information,
// an exclamation as a warning, a stop sign as an error.
uint32_t sdl_icon_flag(uint32_t style) {
    switch (style & MB_ICON_MASK) {
        case MB_ICONSTOP:
            return SDL_MESSAGEBOX_ERROR;
        case MB_ICONEXCLAMATION:
            return SDL_MESSAGEBOX_WARNING;
        default:  // MB_ICONQUESTION, MB_ICONINFORMATION, none
            return SDL_MESSAGEBOX_INFORMATION;
    }
}

// OK and Yes/No button sets, the first button left and the Return-key default. The Yes/No
// box has no Escape default: like the original it cannot be cancelled, only answered.
const SDL_MessageBoxButtonData ok_buttons[] = {
    {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, ID_OK,
     "OK"},
};
const SDL_MessageBoxButtonData yes_no_buttons[] = {
    {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, ID_YES, "Yes"},
    {0, ID_NO, "No"},
};

}  // namespace

// Converts the texts to UTF-8 here, at the SDL boundary, and only here.
int32_t message_box(const char* text, const char* caption, uint32_t style) {
    const std::string text_utf8 = utf8_from_latin1(text);
    const std::string caption_utf8 = utf8_from_latin1(caption);
    const bool yes_no = (style & MB_BUTTONS_MASK) == MB_YESNO;

    SDL_MessageBoxData box = {};
    box.flags = sdl_icon_flag(style) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = nullptr;  // no owner window
    box.title = caption_utf8.c_str();
    box.message = text_utf8.c_str();
    box.numbuttons = yes_no ? 2 : 1;
    box.buttons = yes_no ? yes_no_buttons : ok_buttons;

    int button_id = -1;
    if (!platform.show_message_box(&box, &button_id)) {
        std::fprintf(stderr, "%s: %s\n", caption_utf8.c_str(), text_utf8.c_str());
        return ID_NONE;
    }
    return button_id < 0 ? ID_NONE : button_id;  // -1: closed without pressing a button
}
