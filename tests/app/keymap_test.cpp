// SDL key codes to virtual-key indices. The expected indices are those of the original
// platform's virtual-key table, written out by hand.
#include "app/keymap.h"

#include <gtest/gtest.h>

namespace {

struct KeyCase {
    SDL_Keycode keycode;
    int virtual_key;
    const char* name;
};

class KeyMap : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyMap, GivesTheOriginalVirtualKey) {
    EXPECT_EQ(virtual_key_of(GetParam().keycode), GetParam().virtual_key) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    CommonKeys, KeyMap,
    testing::Values(
        KeyCase{SDLK_ESCAPE, 27, "Escape"}, KeyCase{SDLK_F1, 112, "F1"},
        KeyCase{SDLK_RETURN, 13, "Return"}, KeyCase{SDLK_KP_ENTER, 13, "KeypadEnter"},
        KeyCase{SDLK_SPACE, 32, "Space"}, KeyCase{SDLK_BACKSPACE, 8, "Backspace"},
        KeyCase{SDLK_TAB, 9, "Tab"}, KeyCase{SDLK_LSHIFT, 16, "LeftShift"},
        KeyCase{SDLK_RSHIFT, 16, "RightShift"}, KeyCase{SDLK_LCTRL, 17, "LeftCtrl"},
        KeyCase{SDLK_RCTRL, 17, "RightCtrl"}, KeyCase{SDLK_LALT, 18, "LeftAlt"},
        KeyCase{SDLK_RALT, 18, "RightAlt"}, KeyCase{SDLK_PAUSE, 19, "Pause"},
        KeyCase{SDLK_CAPSLOCK, 20, "CapsLock"}, KeyCase{SDLK_PAGEUP, 33, "PageUp"},
        KeyCase{SDLK_PAGEDOWN, 34, "PageDown"}, KeyCase{SDLK_END, 35, "End"},
        KeyCase{SDLK_HOME, 36, "Home"}, KeyCase{SDLK_LEFT, 37, "Left"}, KeyCase{SDLK_UP, 38, "Up"},
        KeyCase{SDLK_RIGHT, 39, "Right"}, KeyCase{SDLK_DOWN, 40, "Down"},
        KeyCase{SDLK_PRINTSCREEN, 44, "PrintScreen"}, KeyCase{SDLK_INSERT, 45, "Insert"},
        KeyCase{SDLK_DELETE, 46, "Delete"}, KeyCase{SDLK_LGUI, 91, "LeftWindows"},
        KeyCase{SDLK_RGUI, 92, "RightWindows"}, KeyCase{SDLK_APPLICATION, 93, "Menu"},
        KeyCase{SDLK_KP_MULTIPLY, 106, "KeypadMultiply"}, KeyCase{SDLK_KP_PLUS, 107, "KeypadAdd"},
        KeyCase{SDLK_KP_MINUS, 109, "KeypadSubtract"},
        KeyCase{SDLK_KP_PERIOD, 110, "KeypadDecimal"}, KeyCase{SDLK_KP_DIVIDE, 111, "KeypadDivide"},
        KeyCase{SDLK_NUMLOCKCLEAR, 144, "NumLock"}, KeyCase{SDLK_SCROLLLOCK, 145, "ScrollLock"},
        KeyCase{SDLK_SEMICOLON, 186, "Semicolon"}, KeyCase{SDLK_EQUALS, 187, "Equals"},
        KeyCase{SDLK_COMMA, 188, "Comma"}, KeyCase{SDLK_MINUS, 189, "Minus"},
        KeyCase{SDLK_PERIOD, 190, "Period"}, KeyCase{SDLK_SLASH, 191, "Slash"},
        KeyCase{SDLK_BACKQUOTE, 192, "Backquote"}, KeyCase{SDLK_LEFTBRACKET, 219, "LeftBracket"},
        KeyCase{SDLK_BACKSLASH, 220, "Backslash"}, KeyCase{SDLK_RIGHTBRACKET, 221, "RightBracket"},
        KeyCase{SDLK_QUOTE, 222, "Quote"}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST(KeyMapRanges, LettersBecomeUpperCaseAscii) {
    for (SDL_Keycode key = SDLK_a; key <= SDLK_z; ++key) {
        EXPECT_EQ(virtual_key_of(key), 'A' + (key - SDLK_a)) << static_cast<char>(key);
    }
}

TEST(KeyMapRanges, DigitsKeepTheirAscii) {
    for (SDL_Keycode key = SDLK_0; key <= SDLK_9; ++key) {
        EXPECT_EQ(virtual_key_of(key), '0' + (key - SDLK_0)) << static_cast<char>(key);
    }
}

TEST(KeyMapRanges, FunctionKeysRunFrom112) {
    const SDL_Keycode f1_to_f12[] = {SDLK_F1, SDLK_F2, SDLK_F3, SDLK_F4,  SDLK_F5,  SDLK_F6,
                                     SDLK_F7, SDLK_F8, SDLK_F9, SDLK_F10, SDLK_F11, SDLK_F12};
    const SDL_Keycode f13_to_f24[] = {SDLK_F13, SDLK_F14, SDLK_F15, SDLK_F16, SDLK_F17, SDLK_F18,
                                      SDLK_F19, SDLK_F20, SDLK_F21, SDLK_F22, SDLK_F23, SDLK_F24};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(virtual_key_of(f1_to_f12[i]), 112 + i) << "F" << i + 1;
        EXPECT_EQ(virtual_key_of(f13_to_f24[i]), 124 + i) << "F" << i + 13;
    }
}

TEST(KeyMapRanges, KeypadDigitsRunFrom96) {
    const SDL_Keycode keypad[] = {SDLK_KP_0, SDLK_KP_1, SDLK_KP_2, SDLK_KP_3, SDLK_KP_4,
                                  SDLK_KP_5, SDLK_KP_6, SDLK_KP_7, SDLK_KP_8, SDLK_KP_9};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(virtual_key_of(keypad[i]), 96 + i) << "keypad " << i;
}

TEST(KeyMapRanges, KeysWithoutAnIndexGiveZero) {
    EXPECT_EQ(virtual_key_of(SDLK_UNKNOWN), 0);
    EXPECT_EQ(virtual_key_of(SDLK_KP_A), 0);
    EXPECT_EQ(virtual_key_of(0xE5), 0);  // a with ring on a Nordic layout: no fixed index
    EXPECT_EQ(virtual_key_of(SDLK_AT), 0);
    EXPECT_EQ(virtual_key_of(SDLK_LEFTPAREN), 0);
}

}  // namespace
