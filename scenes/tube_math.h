#pragma once
#include <cstdint>

// The wavy tube of scenes 2 and 3, free of GL: its three ring tables, the ring update with
// the two scenes' radius rules, the corners the tube is drawn from, and the quad colours.
// Both scenes draw from and update the same tables, so whichever runs first after the other
// draws the rings the other stored last.

constexpr int ring_count = 64;  // rings k = 0 .. 63, hence 63 bands
constexpr int band_count = ring_count - 1;
constexpr int tube_segments = 16;      // quads around the tube; corners m = 0 .. 16
constexpr float tube_pi = 3.1415927f;  // the single-precision pi the corner angles use

// Per-ring tables, zero at program start: the x displacement of the ring's centre from the
// tube axis, the size factor of its cross-section and what is added to its s coordinate.
extern double ring_offset[ring_count];
extern double ring_radius[ring_count];
extern double ring_tex_shift[ring_count];

// Zeroes the three ring tables: the state at program start (a show started again offline or
// in the page).
void ring_tables_reset();

// Song time in quarter seconds, the time both tube scenes move by.
float quarter_seconds(uint32_t song_ms);

// A radius rule: the size factor of ring n at quarter-second time b.
using RadiusRule = double (*)(int32_t n, float b);
// Scene 2's rule: the argument n/3 - b is rounded to single precision before its cosine.
double scene_2_radius(int32_t n, float b);
// Scene 3's rule, wider and moving the other way, all in double precision.
double scene_3_radius(int32_t n, float b);

// Recomputes entry n of the three ring tables at time b, the radius by the given rule.
void update_ring(int32_t n, float b, RadiusRule radius_rule);

// One tube corner as it goes to GL: vertex (x, y, z) and texture coordinate (s, t).
struct TubeCorner {
    float x;
    float y;
    float z;
    float s;
    float t;
};
// Corner m (0 .. 16) of ring k: on an ellipse of semi-axes 0.3 R(k) along x and 0.7 R(k)
// along z about (X(k), 5.5 k / 65, 0).
TubeCorner tube_corner(int32_t k, int32_t m);

// One flat colour as passed to glColor3f, unclamped.
struct QuadColour {
    float red;
    float green;
    float blue;
};

// One random step: a draw of 0..32767 divided by 32767, so 1 for a draw of 32767 and 0 for
// every other.
int32_t random_step();

// Scene 2's colour of band i, segment j at time b, given the three random steps (q1 goes to
// blue, q2 to green, q3 to red).
QuadColour scene_2_quad_colour(int32_t i, int32_t j, float b, int32_t q1, int32_t q2, int32_t q3);
// Scene 3's colour of segment j at time b, given its two random steps (q1 to green, q2 to
// red); it does not depend on the band, so the tube is striped lengthwise.
QuadColour scene_3_quad_colour(int32_t j, float b, int32_t q1, int32_t q2);

// A face colour rule: the colour of band i, segment j at time b, drawing its random steps.
using QuadColourRule = QuadColour (*)(int32_t i, int32_t j, float b);
// Scene 2's rule with its steps drawn in the order q1, q2, q3.
QuadColour scene_2_face_colour(int32_t i, int32_t j, float b);
// Scene 3's rule with its steps drawn in the order q1, q2.
QuadColour scene_3_face_colour(int32_t i, int32_t j, float b);
