#include "scenes/timeline_math.h"

// The bounds in seconds, single precision: 13.7f is 13.699999809265137 and 28.7f is
// 28.700000762939453, the floats nearest to those decimal times.
constexpr float show_end_seconds = 79.0f;
constexpr float tunnel_end_seconds = 72.0f;
constexpr float credits_end_seconds = 28.7f;
constexpr float title_end_seconds = 13.7f;

// A 32-bit count is exact in a double, so the only rounding is the final one to float.
float song_seconds_from_ms(uint32_t song_ms) {
    return static_cast<float>(static_cast<double>(song_ms) / 1000.0);
}

// Tested from the top, so each scene covers the times up to and including its own bound.
int32_t next_scene_after(float seconds) {
    if (seconds > show_end_seconds) return show_over;
    if (seconds > tunnel_end_seconds) return 3;
    if (seconds > credits_end_seconds) return 4;
    if (seconds > title_end_seconds) return 3;
    return 2;
}
