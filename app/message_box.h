#pragma once
#include <cstdint>

// Message boxes with no owner window, as the shell shows them: a Latin-1 text and caption,
// a button set and an icon, given as the original platform's style bits. The answer is the
// pressed button's ID_* code.

constexpr uint32_t MB_OK = 0x00;
constexpr uint32_t MB_YESNO = 0x04;
constexpr uint32_t MB_ICONSTOP = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONEXCLAMATION = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;
constexpr uint32_t MB_BUTTONS_MASK = 0x0F;
constexpr uint32_t MB_ICON_MASK = 0xF0;

constexpr int32_t ID_NONE = 0;  // no box could be shown, or it was closed without an answer
constexpr int32_t ID_OK = 1;
constexpr int32_t ID_YES = 6;
constexpr int32_t ID_NO = 7;

// Shows the box and waits for the answer. When no box can be shown (no display at all), the
// caption and text go to stderr instead, so the user still learns why, and the answer is
// ID_NONE. Return picks the first button (OK or Yes); Escape picks OK in an OK box.
int32_t message_box(const char* text, const char* caption, uint32_t style);
