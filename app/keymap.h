#pragma once
#include <SDL2/SDL_keycode.h>

#include <cstdint>

// SDL key codes to the virtual-key indices the shell state uses (`key_down`, Escape 27, F1
// 112). Letters and digits are their upper-case ASCII codes; the other keys take the usual
// virtual-key indices. The mapping is by key code, that is by the symbol the keyboard layout
// puts on the key, as virtual keys are. It is written out in this header, constexpr, so that
// it needs nothing of SDL but its key-code constants.

struct KeyMapping {
    SDL_Keycode keycode;
    uint8_t virtual_key;
};

// Every key other than letters and digits that has a virtual-key index.
inline constexpr KeyMapping special_key_map[] = {
    {SDLK_CANCEL, 3},        {SDLK_BACKSPACE, 8},      {SDLK_TAB, 9},
    {SDLK_CLEAR, 12},        {SDLK_KP_CLEAR, 12},      {SDLK_RETURN, 13},
    {SDLK_KP_ENTER, 13},     {SDLK_RETURN2, 13},       {SDLK_LSHIFT, 16},
    {SDLK_RSHIFT, 16},       {SDLK_LCTRL, 17},         {SDLK_RCTRL, 17},
    {SDLK_LALT, 18},         {SDLK_RALT, 18},          {SDLK_MODE, 18},
    {SDLK_PAUSE, 19},        {SDLK_CAPSLOCK, 20},      {SDLK_ESCAPE, 27},
    {SDLK_SPACE, 32},        {SDLK_PAGEUP, 33},        {SDLK_PAGEDOWN, 34},
    {SDLK_END, 35},          {SDLK_HOME, 36},          {SDLK_LEFT, 37},
    {SDLK_UP, 38},           {SDLK_RIGHT, 39},         {SDLK_DOWN, 40},
    {SDLK_SELECT, 41},       {SDLK_EXECUTE, 43},       {SDLK_PRINTSCREEN, 44},
    {SDLK_INSERT, 45},       {SDLK_DELETE, 46},        {SDLK_HELP, 47},
    {SDLK_LGUI, 91},         {SDLK_RGUI, 92},          {SDLK_APPLICATION, 93},
    {SDLK_SLEEP, 95},        {SDLK_KP_0, 96},          {SDLK_KP_1, 97},
    {SDLK_KP_2, 98},         {SDLK_KP_3, 99},          {SDLK_KP_4, 100},
    {SDLK_KP_5, 101},        {SDLK_KP_6, 102},         {SDLK_KP_7, 103},
    {SDLK_KP_8, 104},        {SDLK_KP_9, 105},         {SDLK_KP_MULTIPLY, 106},
    {SDLK_KP_PLUS, 107},     {SDLK_SEPARATOR, 108},    {SDLK_KP_COMMA, 108},
    {SDLK_KP_MINUS, 109},    {SDLK_KP_PERIOD, 110},    {SDLK_KP_DECIMAL, 110},
    {SDLK_KP_DIVIDE, 111},   {SDLK_F1, 112},           {SDLK_F2, 113},
    {SDLK_F3, 114},          {SDLK_F4, 115},           {SDLK_F5, 116},
    {SDLK_F6, 117},          {SDLK_F7, 118},           {SDLK_F8, 119},
    {SDLK_F9, 120},          {SDLK_F10, 121},          {SDLK_F11, 122},
    {SDLK_F12, 123},         {SDLK_F13, 124},          {SDLK_F14, 125},
    {SDLK_F15, 126},         {SDLK_F16, 127},          {SDLK_F17, 128},
    {SDLK_F18, 129},         {SDLK_F19, 130},          {SDLK_F20, 131},
    {SDLK_F21, 132},         {SDLK_F22, 133},          {SDLK_F23, 134},
    {SDLK_F24, 135},         {SDLK_NUMLOCKCLEAR, 144}, {SDLK_SCROLLLOCK, 145},
    {SDLK_AC_BACK, 166},     {SDLK_AC_FORWARD, 167},   {SDLK_AC_REFRESH, 168},
    {SDLK_AC_STOP, 169},     {SDLK_AC_SEARCH, 170},    {SDLK_AC_BOOKMARKS, 171},
    {SDLK_AC_HOME, 172},     {SDLK_MUTE, 173},         {SDLK_VOLUMEDOWN, 174},
    {SDLK_VOLUMEUP, 175},    {SDLK_AUDIONEXT, 176},    {SDLK_AUDIOPREV, 177},
    {SDLK_AUDIOSTOP, 178},   {SDLK_AUDIOPLAY, 179},    {SDLK_MAIL, 180},
    {SDLK_MEDIASELECT, 181}, {SDLK_CALCULATOR, 183},   {SDLK_SEMICOLON, 186},
    {SDLK_EQUALS, 187},      {SDLK_COMMA, 188},        {SDLK_MINUS, 189},
    {SDLK_PERIOD, 190},      {SDLK_SLASH, 191},        {SDLK_BACKQUOTE, 192},
    {SDLK_LEFTBRACKET, 219}, {SDLK_BACKSLASH, 220},    {SDLK_RIGHTBRACKET, 221},
    {SDLK_QUOTE, 222},       {SDLK_LESS, 226},
};

// The virtual-key index of an SDL key code; 0 for a key without one (its events then set and
// clear key_down[0], which nothing reads).
constexpr uint8_t virtual_key_of(SDL_Keycode keycode) {
    if (keycode >= SDLK_a && keycode <= SDLK_z) return static_cast<uint8_t>(keycode - SDLK_a + 'A');
    if (keycode >= SDLK_0 && keycode <= SDLK_9) return static_cast<uint8_t>(keycode);
    for (const KeyMapping& mapping : special_key_map) {
        if (mapping.keycode == keycode) return mapping.virtual_key;
    }
    return 0;
}
