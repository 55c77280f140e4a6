#pragma once
#include <atomic>
#include <cstdint>

#include "player/module.h"
#include "player/ring.h"  // the clock entries the queries read

// Audio output and the song clock: one looping ring of 16-bit stereo PCM that the wave device
// plays for the rest of the process, an output thread that refills it block by block just
// behind the device's play position, and per-block clock entries the visual side reads.

// Opens the wave device at rate Hz (after stopping any earlier playback), sizes the ring and
// zeroes the voices. False while the file callbacks are missing or when no device opens.
bool audio_init(int32_t rate);
// Resets and closes the device, results ignored.
void audio_close();
// Starts module from its beginning: resets the song state, mixes the whole ring, hands it to
// the device and starts the output thread. False for a null module.
bool player_start(XmModule* module);
// Stops the output thread and releases the mix buffer and the clock table. False for null.
bool player_stop(XmModule* module);
// The output thread's body.
int output_thread();
// The song state of a module at its start (tempo, position, clock, its channels linked to their
// first voices), and current_module = module. Used by player_start and the offline renderer.
void reset_song_state(XmModule* module);
// Mixes the whole ring from its start on the calling thread, with the clock on block 0: the
// prefill of player_start, shared with the offline recorder.
void prefill_ring();
// What the output thread does once ring block play_block is being heard: every block heard to
// its end since the last refill is mixed again, in order, the clock moving on one block before
// each (before_refill runs first, while the block still holds what was played).
void refill_played_blocks(int32_t play_block);
// Stops playback, closes the device and releases the ring (for test fixtures).
void output_reset();

// Milliseconds of song time at the end of the block being heard; 0 for a null module.
uint32_t song_clock_ms(const XmModule* module);
// Pattern row (0..255) at the end of the block being heard; 0 for a null module.
uint32_t song_clock_row(const XmModule* module);

extern std::atomic<bool> stop_requested;
extern std::atomic<bool> fill_in_progress;
extern std::atomic<bool> thread_finished;
extern std::atomic<int32_t> clock_block;
// Called by the output thread before each refill while set, null otherwise: lets a test delay
// the thread or watch how far it trails the device. Costs one load per refill when unset.
extern std::atomic<void (*)()> before_refill;
