#pragma once

#include "player/module.h"

// The one thing the loader asks of the audio output: before a module is released, waits until
// the output thread is between block fills and stops playback when that module is the one
// playing. Another module than the one playing is left playing.
void stop_if_playing(XmModule* module);
