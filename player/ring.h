#pragma once
#include <atomic>
#include <cstdint>

#include "player/module.h"
#include "player/session.h"  // the rates the ring can be sized for

// The ring of audio blocks that the mixer fills and the wave device plays: its sizes for the
// output rate, the module being played, the float mixing accumulators, the 16-bit PCM ring and
// the clock entry of each block. The audio output sizes and owns it; the block filler and the
// offline start work on it. Inside the player only: callers read it through the session.

// One clock entry per ring block, as it stood after the block was mixed. `fills` counts the
// times the block has been mixed since the ring was allocated; it is raised after the block's
// PCM is written, so whoever reads a new count (with acquire) also sees the new sound, and a
// device side can tell a refilled block from one it would replay.
struct BlockClock {
    std::atomic<uint8_t> row;
    std::atomic<uint32_t> time_ms;
    std::atomic<uint32_t> fills;
};

constexpr int32_t buffer_ms = 1000;  // latency setting: the ring holds twice this much audio

extern XmModule* current_module;  // the module being played, null when stopped
extern int32_t block_frames;      // frames per ring block (884 at 44100 Hz)
extern int32_t ring_frames;       // frames in the ring (88400 at 44100 Hz)
extern int32_t block_count;       // ring_frames / block_frames (100)
extern int32_t write_block;       // ring block to fill next, 0..block_count-1
extern float inverse_rate;        // 1 / output_rate, for the song time
extern int32_t ramp_length;       // frames of a volume ramp (128 at 44100 Hz)
extern float ramp_reciprocal;     // 1 / ramp_length
extern float* mix_buffer;         // ring_frames float pairs, left first, 16-byte aligned
extern int16_t* wave_buffer;      // ring_frames 16-bit pairs, left first: what the device plays
extern BlockClock* block_table;   // block_count clock entries, one per ring block
// The block_table entry the clock queries read: the block being heard. Moved on by the output
// thread before the entry it leaves is rewritten.
extern std::atomic<int32_t> clock_block;

// Sizes the ring for rate Hz and sets output_rate. False, changing nothing, for a rate outside
// min_output_rate..max_output_rate.
bool ring_set_rate(int32_t rate);
// Allocates the mixing buffer and the zeroed PCM ring and clock table for the current sizes.
// The earlier ones must be released first, as every stop does.
void ring_allocate();
void release_mix_buffer();
void release_wave_buffer();
void release_block_table();
