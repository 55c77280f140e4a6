#include "scenes/tube_math.h"

#include <cmath>

#include "scenes/scene_random.h"

double ring_offset[ring_count];
double ring_radius[ring_count];
double ring_tex_shift[ring_count];

// Zeroes the ring tables; the first tube frame after start-up then has rings of no size.
void ring_tables_reset() {
    for (int32_t k = 0; k < ring_count; ++k) {
        ring_offset[k] = 0.0;
        ring_radius[k] = 0.0;
        ring_tex_shift[k] = 0.0;
    }
}

// The clock reading in quarter seconds, divided in single precision.
float quarter_seconds(uint32_t song_ms) {
    return static_cast<float>(song_ms) / 250.0f;
}

// Scene 2's ring sizes breathe along the tube against time; the argument of the main wave
// goes through single precision, so its cosine sees the rounded value.
double scene_2_radius(int32_t n, float b) {
    const double n_third = n / 3.0;
    const float wave_argument = static_cast<float>(n_third - b);
    return 0.8 + 0.25 * std::cos(static_cast<double>(wave_argument)) +
           0.08 * std::sin(0.9 * b + n_third);
}

// Scene 3's rings swell more, and the main wave runs the other way along the tube.
double scene_3_radius(int32_t n, float b) {
    const double n_third = n / 3.0;
    return 0.8 + 0.45 * std::cos(b + n_third) + 0.08 * std::sin(0.9 * b + n_third);
}

// The texture shift and the sideways offset follow the same waves in both scenes; only the
// radius rule differs. Everything is in double precision.
void update_ring(int32_t n, float b, RadiusRule radius_rule) {
    ring_tex_shift[n] = 0.35 * std::sin(n / 18.0 - 1.23 * b) + 0.55 * std::cos(n / 12.0 + 0.78 * b);
    ring_radius[n] = radius_rule(n, b);
    ring_offset[n] = 0.3 * std::cos(0.9 * b + n / 6.0) + 0.05 * std::cos(0.93 * b + n / 5.0);
}

// The corner angle is formed in single precision from the single-precision pi; the position
// on the ellipse in double precision, then rounded once for GL.
TubeCorner tube_corner(int32_t k, int32_t m) {
    const double theta = 2.0f * tube_pi * static_cast<float>(m) / 16.0f;
    const double y = 5.5 * k / 65.0;
    TubeCorner corner;
    corner.x = static_cast<float>(0.3 * ring_radius[k] * std::cos(theta) + ring_offset[k]);
    corner.y = static_cast<float>(y);
    corner.z = static_cast<float>(0.7 * ring_radius[k] * std::sin(theta));
    corner.s = static_cast<float>(m / 4.0 + ring_tex_shift[k]);
    corner.t = static_cast<float>(y);
    return corner;
}

// Integer division of one draw: the step is taken on one draw in 32768.
int32_t random_step() {
    return scene_rand() / scene_rand_max;
}

// Scene 2's ripple: the time parts are formed in single precision, the step added and the
// function taken in double precision. tan is unbounded; GL clamps the colour.
QuadColour scene_2_quad_colour(int32_t i, int32_t j, float b, int32_t q1, int32_t q2, int32_t q3) {
    const float blue_part = b / 30.0f * static_cast<float>(i) + static_cast<float>(j);
    const float green_part = b / 20.0f * static_cast<float>(i) - static_cast<float>(j);
    const float red_part = b / 20.0f * static_cast<float>(i) + static_cast<float>(j);
    QuadColour colour;
    colour.blue = static_cast<float>(std::tan(q1 + static_cast<double>(blue_part)));
    colour.green = static_cast<float>(std::cos(q2 + static_cast<double>(green_part)));
    colour.red = static_cast<float>(std::sin(q3 + static_cast<double>(red_part)));
    return colour;
}

// Scene 3's stripes: one blue for the whole frame, green and red by segment only.
QuadColour scene_3_quad_colour(int32_t j, float b, int32_t q1, int32_t q2) {
    const float green_part = b / 2.0f - 3.0f * static_cast<float>(j);
    const float red_part = b / 20.0f * static_cast<float>(j);
    QuadColour colour;
    colour.blue = static_cast<float>(std::sin(static_cast<double>(b)));
    colour.green = static_cast<float>(std::cos(q1 + static_cast<double>(green_part)));
    colour.red = static_cast<float>(std::cos(q2 + static_cast<double>(red_part)));
    return colour;
}

// The three draws are taken one after another, blue's first, so the sequence of the random
// source is consumed in a fixed order.
QuadColour scene_2_face_colour(int32_t i, int32_t j, float b) {
    const int32_t q1 = random_step();
    const int32_t q2 = random_step();
    const int32_t q3 = random_step();
    return scene_2_quad_colour(i, j, b, q1, q2, q3);
}

// Green's draw first, then red's.
QuadColour scene_3_face_colour(int32_t, int32_t j, float b) {
    const int32_t q1 = random_step();
    const int32_t q2 = random_step();
    return scene_3_quad_colour(j, b, q1, q2);
}
