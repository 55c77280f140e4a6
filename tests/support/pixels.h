#pragma once
// Colours as 8-bit red, green and blue, the colours the show clears to, and the comparison
// the pixel checks make.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

using Rgb = std::array<int, 3>;

constexpr Rgb white{255, 255, 255};
constexpr Rgb black{0, 0, 0};
// The scenes' clear colours: scene 2's (0.3, 0.5, 1) and scene 3's (0.9, 0, 0.6).
constexpr Rgb light_blue{77, 128, 255};
constexpr Rgb purple{230, 0, 153};

// Whether two colours differ by at most `tolerance` in each channel.
inline bool near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::ranges::equal(a, b,
                              [tolerance](int x, int y) { return std::abs(x - y) <= tolerance; });
}
