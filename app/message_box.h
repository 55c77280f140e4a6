#pragma once
#include <string>

#include "app/platform.h"

// Asks the user through the platform. When no box can be shown (no display at all), the
// caption and text go to stderr instead, so the user still learns why, and the answer is
// Answer::none.
Answer message_box(const Platform& platform, const char* text, const char* caption, Buttons buttons,
                   Icon icon);

// The UTF-8 form of a Latin-1 text: every byte is the code point of the same number. The
// shell's texts are Latin-1; the systems under it take UTF-8.
std::string utf8_from_latin1(const char* text);
