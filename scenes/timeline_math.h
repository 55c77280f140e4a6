#pragma once
#include <cstdint>

// The timeline's rule, free of GL: the song clock in seconds and the scene it selects.

// What next_scene_after returns once the show is over.
constexpr int32_t show_over = -1;

// Song time in seconds for a clock reading in milliseconds: the count converted exactly,
// divided by 1000 in double precision and rounded once to single precision.
float song_seconds_from_ms(uint32_t song_ms);

// The scene the next frame draws when this frame started at `seconds` of song time: 2 up to
// 13.7 s, 3 up to 28.7 s, 4 up to 72 s, 3 up to 79 s (each bound itself included), show_over
// after that. The bounds are single-precision values compared with strictly-greater-than.
int32_t next_scene_after(float seconds);
