#pragma once
#include <cstdint>

// A window message: one entry of the main thread's message queue as the platform layer
// delivers it and the window procedure reads it. The codes and parameter layouts are those of
// the original platform, so the window procedure and the main loop read them unchanged.
struct WindowMessage {
    uint32_t code;     // WM_* below
    uintptr_t wparam;  // key code, activation state, system command or quit code
    intptr_t lparam;   // WM_SIZE: client width in the low word, height in the high word
};

constexpr uint32_t WM_NULL = 0x0000;  // an event the window procedure does not handle
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_ACTIVATE = 0x0006;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_SYSCOMMAND = 0x0112;

// WM_ACTIVATE: the low word of wparam says active or not, the high word is non-zero while the
// window is minimised.
constexpr uintptr_t WA_INACTIVE = 0;
constexpr uintptr_t WA_ACTIVE = 1;

// WM_SYSCOMMAND requests that the window swallows while it exists.
constexpr uintptr_t SC_SCREENSAVE = 0xF140;
constexpr uintptr_t SC_MONITORPOWER = 0xF170;

// Packs two 16-bit words the way WM_SIZE and WM_ACTIVATE carry them.
constexpr uintptr_t make_word_pair(uint32_t low, uint32_t high) {
    return (low & 0xFFFF) | ((high & 0xFFFF) << 16);
}
constexpr uint32_t low_word(uintptr_t value) {
    return value & 0xFFFF;
}
constexpr uint32_t high_word(uintptr_t value) {
    return (value >> 16) & 0xFFFF;
}
