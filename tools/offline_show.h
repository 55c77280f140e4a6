#pragma once
#include <cstdint>

// The show without a window system's clock or a sound device, for the tools that draw it
// offline: the embedded song started offline (ring prefilled, clock on the ring's first block)
// and the scenes at their first frame. The playback then moves on only when the caller says the
// device has reached a later block (play_offline_until in player/session.h), and every block
// the device has finished is refilled exactly as the output thread refills it.

constexpr int32_t offline_output_rate = 44100;

// Loads the embedded song, prefills the ring and puts the timeline and the scenes' own state
// at the start of the show. The GL state comes from setup_scene_state, in the caller's
// context. False when the song does not load.
bool start_offline_show();
