#pragma once
#include <cstdint>
#include <vector>

#include "player/module.h"
#include "tools/xm_image.h"

// Fixture helpers shared by the player tests: load an XM image through the real
// memory file and file callbacks, and check the promises a loaded module keeps
// to the engine and mixer.

// Clears the file callbacks and detaches the memory file.
void reset_loader_state();

// Installs the memory-file callbacks, reads image through module_load and
// detaches the image again (the module keeps no pointer into it). Null when the
// load fails.
XmModule* load_xm_image(const std::vector<uint8_t>& image, SampleReader sample_reader = nullptr);
XmModule* load_xm_bytes(const uint8_t* bytes, uint32_t size, SampleReader sample_reader = nullptr);

// A small song using every part of the layout: three channels, a packed and a
// full pattern, an instrument with one 8-bit sample, one without samples and a
// last one with an 8-bit and a looped 16-bit sample and a volume envelope, so
// its image ends with sample data.
XmImageSong feature_song();

// Checks, with gtest assertions, what every successful load promises whatever
// the file held: 1..32 channels, song length at most 256, every pattern's cells
// present for its rows, order entries within the song naming existing patterns,
// sample slots filled, loops inside their samples with storage for length + 8
// frames, envelope point counts at most 12. Reads every cell and frame, so a
// sanitizer sees any storage that is too short.
void expect_module_sound(const XmModule* module);
