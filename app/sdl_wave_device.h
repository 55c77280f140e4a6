#pragma once
#include <cstdint>

#include "player/wave_device.h"

// The wave device on SDL2 audio: signed 16-bit interleaved PCM at the rate asked for. SDL's
// audio callback copies from the looping ring at its play cursor and counts the bytes it has
// taken, which is the position the output thread polls; the span it copied last is the queue
// it reports, the only one SDL knows of. The demo's fallback where no sound server answers, and
// the way to SDL's own drivers (the disk driver of the tests, the dummy driver).
extern const WaveDevice sdl_wave_device;

// Asks for the highest priority the system grants to the calling thread, one that feeds the
// sound: real time where it may, else SDL's time-critical priority.
void raise_audio_thread_priority();
