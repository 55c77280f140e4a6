#pragma once
#include "player/wave_device.h"

// The wave device on SDL2 audio: signed 16-bit interleaved PCM at the rate asked for. SDL's
// audio callback copies from the looping ring at its play cursor and counts the bytes it has
// taken, which is the position the output thread polls.
extern const WaveDevice sdl_wave_device;
