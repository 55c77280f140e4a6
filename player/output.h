#pragma once
#include <cstdint>

#include "player/module.h"

// Audio output: one looping ring of 16-bit stereo PCM (player/ring.h) that the wave device
// plays for the rest of the process, and an output thread that refills it block by block just
// behind the device's play position, moving the song clock onto the block being heard. The
// clock queries and the calls from outside the player are in player/session.h.

// Opens the chosen wave device at rate Hz (after stopping any earlier playback), sizes the ring
// and zeroes the voices. False for a rate the ring cannot be sized for or when the device does
// not open (the silent device then stands in, so that the clock still runs).
bool audio_init(int32_t rate);
// Stops playback, then resets and closes the device, results ignored.
void audio_close();
// Sizes the ring for rate Hz and resets the engine (every channel and voice). False, changing
// nothing, for a rate outside min_output_rate..max_output_rate.
bool size_playback(int32_t rate);
// Starts module from its beginning in a fresh ring: the song state reset (current_module =
// module), the ring allocated and the whole of it mixed, the clock on block 0. Needs the sizes.
void start_ring(XmModule* module);
// Starts module from its beginning: resets the song state, mixes the whole ring, hands it to
// the device and starts the output thread. False for a null module or without an open device.
bool player_start(XmModule* module);
// Stops the output thread when module is the one playing and releases the mix buffer, the
// ring and the clock table. False for null.
bool player_stop(XmModule* module);
// The output thread's body.
int output_thread();
// The song state of a module at its start (tempo, position, clock, its channels linked to their
// first voices), and current_module = module. Used by player_start and the offline start.
void reset_song_state(XmModule* module);
// Mixes the whole ring from its start on the calling thread, with the clock on block 0: the
// prefill of player_start, shared with the offline start.
void prefill_ring();
// What the output thread does once ring block play_block is being heard: every block heard to
// its end since the last refill is mixed again, in order, the clock moving on one block before
// each.
void refill_played_blocks(int32_t play_block);
// Stops playback, closes the device and releases the ring (the session's reset).
void output_reset();
