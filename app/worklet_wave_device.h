#pragma once
#include <cstdint>

#include "player/wave_device.h"

// The page's wave device: an AudioWorklet on the browser's audio thread (web/ring_player.js)
// that plays a copy of the ring. The page has no threads to share the ring with, so the
// device is handed the whole ring when it starts and each block again once it is refilled.
// Its position is the frames the worklet has taken; its queue, what the AudioContext reports
// lies between the worklet and the speaker (its output timestamp, or its base and output
// latencies where it gives none).
extern const WaveDevice worklet_wave_device;

// Hands the worklet ring block `block` again after a refill: `block_frames` frames at `pcm`.
void worklet_send_block(int32_t block, const int16_t* pcm, int32_t block_frames);
