#pragma once
#include <cstdint>

#include "player/module.h"

// The software mixer: runs the engine tick by tick and mixes the voices between two ticks into
// float accumulators, reading each sample at its voice's own rate with linear interpolation and
// a short linear volume ramp whenever a voice's gains change, then rounds and clips each block
// into the 16-bit PCM ring (player/ring.h) that the device plays.

// Fills ring block write_block from current_module, records the block's clock entry and moves
// write_block on. Needs current_module and the ring (player/ring.h).
void fill_block();
// Adds `frames` frames of voices 0..63 into destination (float pairs, left first). Nothing for
// frames below 1; never clears the destination.
void mix_voices(float* destination, int32_t frames);
// Rounds 2 x frames floats to the nearest integer (ties to even), clamps them to 16 bits and
// stores them; none for frames below 1.
void mix_to_pcm16(int16_t* destination, const float* source, int32_t frames);

// Frames the tick just run lasts: the module's samples_per_tick, at least 1 so that a tempo
// the engine could not compute never stalls the block loop.
inline int32_t frames_of_tick(const XmModule* module) {
    return module->samples_per_tick > 0 ? module->samples_per_tick : 1;
}
