#pragma once
#include <cstdint>

#include "scenes/tube_math.h"

// Scene 4's bending tunnel, free of GL: the time value it moves by, the grid of 33 x 33
// points and texture coordinates recomputed from it every frame, the ring colours, and where
// the two scrolling texts stand.

constexpr int32_t tunnel_size = 33;          // points i around a ring (32 closes onto 0), rings j
constexpr float tunnel_pi_16 = 0.19634955f;  // pi / 16 in single precision

struct TunnelPoint {
    float x;
    float y;
    float z;
};
struct TunnelTexcoord {
    float s;
    float t;
};

// The clock reading the previous frame of the scene stored; 0 at program start.
extern uint32_t tunnel_prev_clock;
// The frame's time value T.
extern float tunnel_time;
// The grids, first index i (around the ring), second j (along the depth).
extern TunnelPoint tunnel_points[tunnel_size][tunnel_size];
extern TunnelTexcoord tunnel_texcoords[tunnel_size][tunnel_size];

// Puts the stored clock, T and both grids back to their start values (a show started again
// offline or in the page).
void tunnel_reset();

// T for a clock reading and the one the previous frame stored: their sum divided by 50 in
// unsigned 32-bit integers, so about ms / 25 in steady running, in whole steps.
float tunnel_time_value(uint32_t song_ms, uint32_t previous_ms);

// Fills the texture grid for time value T.
void fill_tunnel_texcoords(float time_value);
// Fills the point grid for time value T: ring j has size 5 - j/12 and lies at z = -j; the
// time-only terms cancel at j = 0, so ring 0 is always the radius-5 circle about the line of
// sight.
void fill_tunnel_points(float time_value);

// The colour of the quads between rings j and j+1 at time value T, unclamped.
QuadColour tunnel_ring_colour(int32_t j, float time_value);

// Horizontal centres of the two texts at song_seconds: both scroll left at 2 units a second,
// the message centred on the line of sight at 46 s, the greetings at 43 s.
float scroller_x(float seconds);
float greetings_x(float seconds);
