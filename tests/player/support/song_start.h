#pragma once
#include <memory>
#include <vector>

#include "player/module.h"
#include "tools/xm_image.h"

// Fixture helpers for the engine tests: a module loaded through the real memory file and
// started the way playback start does, so play_tick can be stepped by hand.

struct ModuleRelease {
    void operator()(XmModule* module) const { module_free(module); }
};
using SongHandle = std::unique_ptr<XmModule, ModuleRelease>;

// The song state of playback start: global volume 64, no next position, the default speed
// and tempo, row, order, tick and delay 0, the engine's channels and voices zeroed with channel
// c linked to voice c.
void start_song(XmModule* module);

// Clears the file callbacks and detaches the memory file.
void reset_song_loading();

// Loads an XM image through the memory file and starts it; null when it fails to load.
SongHandle start_song_bytes(const std::vector<uint8_t>& image);
// Writes the song, then loads and starts it as above.
SongHandle start_song_image(const XmImageSong& song);

// Calls play_tick `count` times.
void play_ticks(XmModule* module, int count);
