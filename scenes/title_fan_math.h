#pragma once
#include <cstdint>

#include "scenes/tube_math.h"

// The fan of titles behind scene 2's tube, free of GL: 64 copies of the title, each turned
// about the screen's centre by its own angle and drawn in its own colour, the case following
// the pattern row.

constexpr int32_t fan_copies = 64;

// The title for the pattern row heard: upper case on every fourth row, lower case otherwise.
const char* fan_title(uint32_t row);

// Turn of copy n in degrees at song time t (milliseconds, single precision): 50 degrees per
// second of song time, one more degree per group of four copies, and a tremble of up to one
// degree either way.
double fan_angle(int32_t n, float t);

// Colour of copy n at song time t with random step q on its green.
QuadColour fan_colour(int32_t n, float t, int32_t q);
