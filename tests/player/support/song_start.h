#pragma once
#include <memory>
#include <string>
#include <vector>

#include "player/module.h"
#include "tools/xm_image.h"

// Fixture helpers for the engine tests: a module loaded through the real memory file and
// started by the program's own start routine, so play_tick can be stepped by hand.

struct ModuleRelease {
    void operator()(XmModule* module) const { module_free(module); }
};
using SongHandle = std::unique_ptr<XmModule, ModuleRelease>;

// Playback start without a device: the voices as audio start-up leaves them, then the song
// state of the program's own start routine.
void start_song(XmModule* module);

// Clears the file callbacks and detaches the memory file.
void reset_song_loading();

// Loads an XM image through the memory file and starts it; null when it fails to load.
SongHandle start_song_bytes(const std::vector<uint8_t>& image);
// Writes the song, then loads and starts it as above.
SongHandle start_song_image(const XmImageSong& song);

// Calls play_tick `count` times.
void play_ticks(XmModule* module, int count);

// An instrument with one looped 8-bit sample of 4096 frames.
XmImageInstrument looped_instrument(uint8_t volume = 64, uint8_t panning = 128,
                                    int8_t relative_note = 0, int8_t finetune = 0);
// The lines of a pattern written as rows separated by ';', the cells of a row by '|', where a
// bare effect "A0F" stands for "... .. .. A0F".
std::vector<std::string> pattern_lines(const std::string& rows);
// A one-pattern song of such rows (the first sets the channel count) at `speed` ticks per row,
// with the given instruments.
XmImageSong pattern_song(const std::string& rows, int speed,
                         std::vector<XmImageInstrument> instruments, uint16_t flags = 1);

// The numbers of a text, separated by blanks: "0 256 -448".
std::vector<int> numbers(const std::string& text);
// The parts of a text between separators, blanks around them trimmed.
std::vector<std::string> split(const std::string& text, char separator);

// Something read from the engine after a tick.
using Probe = int (*)(const XmModule& module);
// The probe's value after each of `ticks` ticks.
std::vector<int> probe_ticks(XmModule* module, int ticks, Probe probe);
