#include "scenes/tunnel_math.h"

#include <cmath>

uint32_t tunnel_prev_clock = 0;
float tunnel_time = 0.0f;
TunnelPoint tunnel_points[tunnel_size][tunnel_size];
TunnelTexcoord tunnel_texcoords[tunnel_size][tunnel_size];

// Back to program start: nothing stored from an earlier frame, both grids zero.
void tunnel_reset() {
    tunnel_prev_clock = 0;
    tunnel_time = 0.0f;
    for (int32_t i = 0; i < tunnel_size; ++i) {
        for (int32_t j = 0; j < tunnel_size; ++j) {
            tunnel_points[i][j] = TunnelPoint{0.0f, 0.0f, 0.0f};
            tunnel_texcoords[i][j] = TunnelTexcoord{0.0f, 0.0f};
        }
    }
}

// Two consecutive readings added and divided in integers; the sum wraps like the clock.
float tunnel_time_value(uint32_t song_ms, uint32_t previous_ms) {
    return static_cast<float>((song_ms + previous_ms) / 50u);
}

// The texture slides round and along the tunnel with T; all in single precision.
void fill_tunnel_texcoords(float time_value) {
    for (int32_t i = 0; i < tunnel_size; ++i) {
        for (int32_t j = 0; j < tunnel_size; ++j) {
            const float fi = static_cast<float>(i);
            const float fj = static_cast<float>(j);
            tunnel_texcoords[i][j].s = fi / 32.0f + (time_value + 8.0f * fj) / 60.0f / 2.0f;
            tunnel_texcoords[i][j].t = fj / 32.0f + (time_value + fj) / 120.0f;
        }
    }
}

// Each ring is a circle of size h about a centre that swings with the ring's depth and T;
// subtracting the same terms at depth 0 keeps the mouth on the line of sight. The sums are
// taken in double precision and stored in single.
void fill_tunnel_points(float time_value) {
    const double time = time_value;
    for (int32_t i = 0; i < tunnel_size; ++i) {
        for (int32_t j = 0; j < tunnel_size; ++j) {
            const float size = 5.0f - static_cast<float>(j) / 12.0f;
            const double angle = static_cast<float>(i) * tunnel_pi_16;
            const double depth = j;
            const double x_sum = std::cos(angle) + 2.0 * std::sin((depth + time) / 29.0) +
                                 std::cos((1.2 * depth + time) / 13.0) -
                                 2.0 * std::sin(time / 29.0) - std::cos(time / 13.0);
            const double y_sum = std::sin(angle) + 2.0 * std::cos((depth + time) / 33.0) +
                                 std::sin((depth + time) / 17.0) - 2.0 * std::cos(time / 33.0) -
                                 std::sin(time / 17.0);
            tunnel_points[i][j].x = static_cast<float>(size * x_sum);
            tunnel_points[i][j].y = static_cast<float>(size * y_sum);
            tunnel_points[i][j].z = static_cast<float>(-j);
        }
    }
}

// Red and blue alike, green through tan and so unbounded; GL clamps. The pattern moves one
// ring towards the eye every 5 steps of T.
QuadColour tunnel_ring_colour(int32_t j, float time_value) {
    const double phase = time_value / 5.0f + static_cast<float>(j);
    QuadColour colour;
    colour.red = static_cast<float>(std::sin(phase));
    colour.green = static_cast<float>(std::tan(phase));
    colour.blue = colour.red;
    return colour;
}

// The message is centred on the line of sight at 46 s and the greetings, six units further
// left, at 43 s; both move 2 units to the left per second of song time.
float scroller_x(float seconds) {
    return 92.0f - 2.0f * seconds;
}
float greetings_x(float seconds) {
    return 86.0f - 2.0f * seconds;
}
