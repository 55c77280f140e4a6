#include "scenes/title_fan_math.h"

#include <cmath>

// Rows 0, 4, 8, ... are the beats the title shouts on.
const char* fan_title(uint32_t row) {
    return row % 4 == 0 ? "TIRVALEX 3" : "tirvalex 3";
}

// The sum n + t of a copy and the clock is formed in single precision, like the time parts of
// the tube's colours; t/20 in single precision and n/4 in whole groups.
double fan_angle(int32_t n, float t) {
    const float copy_time = static_cast<float>(n) + t;
    return std::sin(static_cast<double>(copy_time)) + static_cast<double>(t / 20.0f) + n / 4;
}

// Red and blue move with the clock at rates set by the copy; green takes the random step.
QuadColour fan_colour(int32_t n, float t, int32_t q) {
    const float copy_time = static_cast<float>(n) + t;
    QuadColour colour;
    colour.red = static_cast<float>(std::sin(n * std::cos(static_cast<double>(n)) + t));
    colour.green = static_cast<float>(
        std::cos(q + static_cast<double>(copy_time) + std::sin(static_cast<double>(n))));
    colour.blue = static_cast<float>(std::sin(static_cast<double>(copy_time)));
    return colour;
}
