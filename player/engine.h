#pragma once
#include <cstdint>

#include "player/channel.h"
#include "player/module.h"
#include "player/song_state.h"

// The playback engine's tick driver: the module's tick_routine and the row tick. It works on
// the channel records (player/channel.h) and the song state it shares with the effects
// (player/song_state.h).

// One tick of playback; the module's tick_routine.
void play_tick(XmModule* module);
// The row tick.
void process_row(XmModule* module);

// Zeroes every channel and voice, then gives each voice its index and a step of 1 (for test
// fixtures and audio start-up).
void engine_reset();
