#pragma once

#include "player/wave_device.h"

// The wave device on the sound server's own client library (PulseAudio's protocol, which
// PipeWire desktops serve too): one playback stream that takes the looping ring as the server
// asks for it, with a queue long enough for a busy desktop, and the server's timing reports
// giving the queue between the ring and the speaker. It opens only where a server answers
// (it never starts one); elsewhere the demo uses SDL's device.
extern const WaveDevice pulse_wave_device;
