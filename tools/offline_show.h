#pragma once
#include <cstdint>

// The show without a window system's clock or a sound device, for the tools that draw it
// offline: the embedded song started as player_start starts it (ring prefilled, clock on the
// ring's first block) and the scenes at their first frame. The playback then moves on only
// when the caller says the device has reached a later block, and every block the device has
// finished is refilled exactly as the output thread refills it.

constexpr int32_t offline_output_rate = 44100;

// Loads the embedded song, prefills the ring and puts the timeline and the scenes' own state
// at the start of the show. The GL state comes from setup_scene_state, in the caller's
// context. False when the song does not load.
bool start_offline_show();
// The device has moved on to block `block` of the playback, counted from its start and not
// wrapped (block b starts at frame b x block_frames): the blocks it finished since the last
// call are refilled, the clock moving onto the block being heard. Never goes back.
void play_offline_until(int64_t block);
