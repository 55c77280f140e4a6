#include "app/sdl_platform.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/keymap.h"
#include "app/message_box.h"

namespace {

// The one window and its GL context, null while closed.
SDL_Window* window = nullptr;
SDL_GLContext gl_context = nullptr;
bool video_started = false;
bool cursor_hidden = false;

// The video driver the first start connected with ("x11"), kept for every later start.
std::string connected_video_driver;

constexpr int video_connect_attempts = 25;  // five seconds at most
constexpr Uint32 video_connect_retry_ms = 200;

// Starts SDL's video, trying again for a while: a connection can fail once on a busy machine.
// Each failed try says why on stderr when `report` is set.
bool connect_video(bool report) {
    for (int attempt = 0; attempt < video_connect_attempts; ++attempt) {
        if (attempt > 0) SDL_Delay(video_connect_retry_ms);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        if (report) std::fprintf(stderr, "video: %s\n", SDL_GetError());
    }
    return false;
}

// When SDL cannot reach the display it quietly moves on to the next driver it knows, down to
// one that draws off screen; at an F1 toggle on a busy machine a connection that fails once
// would so leave the show running in a window nobody can see. Later starts therefore insist on
// the driver the first one connected with.
bool start_video() {
    if (video_started) return true;
    if (!connected_video_driver.empty()) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, connected_video_driver.c_str());
    }
    if (!connect_video(true)) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (connected_video_driver.empty() && driver != nullptr) connected_video_driver = driver;
    video_started = true;
    return true;
}

int stored_bits_per_pixel(uint32_t format) {
    return SDL_ISPIXELFORMAT_FOURCC(format) ? 0 : SDL_BYTESPERPIXEL(format) * 8;
}

DisplayMode display_mode_of(const SDL_DisplayMode& mode) {
    return {mode.w, mode.h, stored_bits_per_pixel(mode.format), mode.refresh_rate};
}

// The first display's modes and desktop mode, as SDL lists them.
bool sdl_list_display_modes(DisplayModes* modes) {
    if (!start_video()) return false;
    const int mode_count = SDL_GetNumDisplayModes(0);
    SDL_DisplayMode desktop;
    if (mode_count < 0 || SDL_GetDesktopDisplayMode(0, &desktop) != 0) return false;
    modes->desktop = display_mode_of(desktop);
    modes->modes.clear();
    for (int i = 0; i < mode_count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) == 0) modes->modes.push_back(display_mode_of(mode));
    }
    return true;
}

// The full-screen window takes the listed mode of that size, depth and rate (any rate for 0);
// the display switches to it when the window is shown and back when the window goes.
bool take_display_mode(const DisplayMode& wanted) {
    const int mode_count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < mode_count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        const DisplayMode listed = display_mode_of(mode);
        if (listed.width != wanted.width || listed.height != wanted.height) continue;
        if (listed.bits_per_pixel != wanted.bits_per_pixel) continue;
        if (wanted.refresh_hz != 0 && listed.refresh_hz != wanted.refresh_hz) continue;
        SDL_DisplayMode granted;
        return SDL_SetWindowDisplayMode(window, &mode) == 0 &&
               SDL_GetWindowDisplayMode(window, &granted) == 0;
    }
    return false;
}

// Red, green and blue from the colour depth (5/6/5 at 16 bits), the depth buffer and double
// buffering, in a compatibility context. SDL takes the sizes as minimums and the driver grants
// the closest format.
bool set_buffer_sizes(const WindowRequest& request) {
    int red = 8;
    int green = 8;
    int blue = 8;
    if (request.colour_bits <= 15) {
        red = 5;
        green = 5;
        blue = 5;
    } else if (request.colour_bits == 16) {
        red = 5;
        green = 6;
        blue = 5;
    }
    SDL_GL_ResetAttributes();
    const std::pair<SDL_GLattr, int> sizes[] = {
        {SDL_GL_RED_SIZE, red},
        {SDL_GL_GREEN_SIZE, green},
        {SDL_GL_BLUE_SIZE, blue},
        {SDL_GL_DEPTH_SIZE, request.depth_bits},
        {SDL_GL_DOUBLEBUFFER, 1},
        {SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY},
    };
    bool accepted = true;
    for (const auto& [attribute, value] : sizes) {
        if (SDL_GL_SetAttribute(attribute, value) != 0) accepted = false;
    }
    return accepted;
}

// SDL fixes a window's pixel format when it makes the window, so the buffer sizes are set
// before it.
OpenStep sdl_open_window(const WindowRequest& request) {
    if (!start_video()) return OpenStep::video;
    if (!set_buffer_sizes(request)) return OpenStep::buffers;
    uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    flags |=
        request.full_screen ? SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS : SDL_WINDOW_RESIZABLE;
    window = SDL_CreateWindow(utf8_from_latin1(request.title).c_str(), 0, 0, request.width,
                              request.height, flags);
    // SDL sets the display's mode as it makes a full-screen window: a full-screen window it
    // cannot make is a mode the display would not take.
    if (window == nullptr) return request.full_screen ? OpenStep::display_mode : OpenStep::window;
    if (request.full_screen) {
        if (!take_display_mode(request.display_mode)) {
            SDL_DestroyWindow(window);
            window = nullptr;
            return OpenStep::display_mode;
        }
        SDL_ShowCursor(SDL_DISABLE);
        cursor_hidden = true;
    }
    SDL_DisableScreenSaver();
    int drawable_width = 0;
    int drawable_height = 0;
    SDL_GL_GetDrawableSize(window, &drawable_width, &drawable_height);
    if (drawable_width <= 0 || drawable_height <= 0) return OpenStep::surface;
    if (SDL_GetWindowPixelFormat(window) == SDL_PIXELFORMAT_UNKNOWN) return OpenStep::pixel_format;
    gl_context = SDL_GL_CreateContext(window);
    if (gl_context == nullptr) return OpenStep::gl_context;
    if (SDL_GL_MakeCurrent(window, gl_context) != 0) return OpenStep::gl_current;
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
    return OpenStep::opened;
}

// SDL reports no failure of its own teardown but the context's release.
CloseFailures sdl_close_window() {
    CloseFailures failures = {};
    if (cursor_hidden) {
        SDL_ShowCursor(SDL_ENABLE);
        cursor_hidden = false;
    }
    if (gl_context != nullptr) {
        failures.release_gl_context = SDL_GL_MakeCurrent(window, nullptr) != 0;
        SDL_GL_DeleteContext(gl_context);
        gl_context = nullptr;
    }
    if (window != nullptr) {
        SDL_DestroyWindow(window);
        SDL_EnableScreenSaver();
        window = nullptr;
    }
    if (video_started) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        video_started = false;
    }
    return failures;
}

bool window_is_minimised(uint32_t window_id) {
    SDL_Window* event_window = SDL_GetWindowFromID(window_id);
    return event_window != nullptr &&
           (SDL_GetWindowFlags(event_window) & SDL_WINDOW_MINIMIZED) != 0;
}

// A change of focus says whether the window is minimised: some window managers send it where
// they send no restore.
ShellEvent window_event(const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            return {ShellEventKind::resized, 0, event.data1, event.data2};
        case SDL_WINDOWEVENT_MINIMIZED:
            return {ShellEventKind::minimised};
        case SDL_WINDOWEVENT_RESTORED:
            return {ShellEventKind::restored};
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST:
            if (window_is_minimised(event.windowID)) return {ShellEventKind::minimised};
            return {ShellEventKind::restored};
        case SDL_WINDOWEVENT_CLOSE:
            return {ShellEventKind::close_requested};
        default:
            return {ShellEventKind::none};
    }
}

// Key repeat arrives as further key-downs. A quit request from outside the window (the
// terminal's interrupt, the session ending) is a request to close the window.
ShellEvent shell_event(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
            return {ShellEventKind::key_down, virtual_key_of(event.key.keysym.sym)};
        case SDL_KEYUP:
            return {ShellEventKind::key_up, virtual_key_of(event.key.keysym.sym)};
        case SDL_WINDOWEVENT:
            return window_event(event.window);
        case SDL_QUIT:
            return {ShellEventKind::close_requested};
        default:
            return {ShellEventKind::none};
    }
}

// Events the shell has no use for are passed over.
ShellEvent sdl_next_event() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        const ShellEvent taken = shell_event(event);
        if (taken.kind != ShellEventKind::none) return taken;
    }
    return {ShellEventKind::none};
}

void sdl_present_frame() {
    SDL_GL_SwapWindow(window);
}

// SDL's three icon kinds stand for the four: a question shows as information, an exclamation
// as a warning, a stop sign as an error.
uint32_t icon_flag(Icon icon) {
    switch (icon) {
        case Icon::stop:
            return SDL_MESSAGEBOX_ERROR;
        case Icon::exclamation:
            return SDL_MESSAGEBOX_WARNING;
        default:
            return SDL_MESSAGEBOX_INFORMATION;
    }
}

// The first button is the Return-key default. The Yes/No box has no Escape default: it cannot
// be cancelled, only answered.
const SDL_MessageBoxButtonData ok_buttons[] = {
    {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
     static_cast<int>(Answer::ok), "OK"},
};
const SDL_MessageBoxButtonData yes_no_buttons[] = {
    {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, static_cast<int>(Answer::yes), "Yes"},
    {0, static_cast<int>(Answer::no), "No"},
};

// The box waits for its answer. SDL shows it from a child process once video is up, and on a
// busy machine that child can fail before its window appears; one more try covers that.
Answer sdl_ask(const char* text, const char* caption, Buttons buttons, Icon icon) {
    const std::string text_utf8 = utf8_from_latin1(text);
    const std::string caption_utf8 = utf8_from_latin1(caption);
    const bool yes_no = buttons == Buttons::yes_no;
    SDL_MessageBoxData box = {};
    box.flags = icon_flag(icon) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = nullptr;
    box.title = caption_utf8.c_str();
    box.message = text_utf8.c_str();
    box.numbuttons = yes_no ? 2 : 1;
    box.buttons = yes_no ? yes_no_buttons : ok_buttons;
    constexpr int attempts = 2;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        int button_id = -1;
        if (SDL_ShowMessageBox(&box, &button_id) == 0) {
            return button_id < 0 ? Answer::none : static_cast<Answer>(button_id);
        }
        std::fprintf(stderr, "message box: %s\n", SDL_GetError());
    }
    return Answer::none;
}

bool names_something(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

bool display_available(std::string* reason) {
    if (names_something("SDL_VIDEODRIVER")) return true;
    const bool x11 = names_something("DISPLAY");
    const bool wayland = names_something("WAYLAND_DISPLAY");
    if (!x11 && !wayland) {
        *reason = "neither DISPLAY nor WAYLAND_DISPLAY is set";
        return false;
    }
    // Only the kinds of display the environment names are tried, so no other driver speaks up.
    if (x11 != wayland) SDL_SetHint(SDL_HINT_VIDEODRIVER, x11 ? "x11" : "wayland");
    // The display counts as unreachable only after the same tries a window's open makes.
    bool reached = false;
    if (connect_video(false)) {
        const std::string driver = SDL_GetCurrentVideoDriver();
        reached = driver != "offscreen" && driver != "dummy";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    if (!reached) {
        *reason = x11 ? "DISPLAY=" + std::string(std::getenv("DISPLAY")) + " cannot be reached"
                      : "WAYLAND_DISPLAY=" + std::string(std::getenv("WAYLAND_DISPLAY")) +
                            " cannot be reached";
    }
    return reached;
}

const Platform sdl_platform = {
    sdl_open_window,   sdl_close_window,       sdl_next_event,
    sdl_present_frame, sdl_list_display_modes, sdl_ask,
};
