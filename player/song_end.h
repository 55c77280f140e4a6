#pragma once
#include <cstdint>

#include "player/module.h"

// Where a song ends: the first row tick that comes back to an order and row already played,
// other than through a pattern loop (E6y with repetitions to go), found by watching the ticks
// the block filler runs.

// Watches module's ticks from its start: its tick routine is wrapped so that each tick is
// counted at the frame the block filler runs it. One module is watched at a time.
void watch_song_end(XmModule* module);
// Gives a watched module its own tick routine back.
void unwatch_song_end(XmModule* module);
// The frame of the row tick that first came back to a position played; -1 while none has.
int64_t watched_song_end_frame();
