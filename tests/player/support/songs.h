#pragma once
#include <memory>
#include <string>
#include <vector>

#include "player/loader.h"
#include "player/session.h"
#include "tools/xm_image.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // designated fields only

// Songs written in memory, loaded through the real memory file and started by the program's
// own start routine, so play_tick can be stepped by hand.

struct ModuleRelease {
    void operator()(XmModule* module) const { release_song(module); }
};
using SongHandle = std::unique_ptr<XmModule, ModuleRelease>;

// Loads an image as the session loads it, or with a sample reader in place of the image's
// sample data; null when the load fails.
XmModule* load_xm_image(const std::vector<uint8_t>& image, SampleReader sample_reader = nullptr);
// Writes and loads the song, then starts it as playback start does (voices as audio start-up
// leaves them, then reset_song_state); null when it fails to load.
SongHandle start_song_image(const XmImageSong& song);

// What every load promises the engine and the mixer, whatever the file held: 0..32 channels,
// order entries naming existing patterns, cells for every row, notes and instruments in range,
// every slot filled, loops inside their samples. Reads every cell and every frame of storage
// (a sanitizer sees storage that is too short), then starts the module and plays 12 ticks.
void expect_module_sound(XmModule* module);

// An instrument with one looped 8-bit sample of 4096 frames.
XmImageInstrument looped_instrument(uint8_t volume = 64, uint8_t panning = 128,
                                    int8_t relative_note = 0, int8_t finetune = 0);
// A pattern of rows separated by ';', the cells of a row by '|', where a bare effect "A0F"
// stands for "... .. .. A0F"; `rows` rows (-1: as many as written) of `channels` channels (0:
// as many as the first row has).
XmImagePattern pattern_of(const std::string& text, int rows = -1, int channels = 0);
// A one-pattern song of such rows at `speed` ticks per row with the given instruments.
XmImageSong pattern_song(const std::string& rows, int speed,
                         std::vector<XmImageInstrument> instruments, uint16_t flags = 1);

// The numbers of a text, separated by blanks: "0 256 -448".
std::vector<int> numbers(const std::string& text);
// The parts of a text between separators, blanks around them trimmed.
std::vector<std::string> split(const std::string& text, char separator);

// The probe's value after each of `ticks` ticks.
using Probe = int (*)(const XmModule& module);
std::vector<int> probe_ticks(XmModule* module, int ticks, Probe probe);
