#pragma once
#include <cstdint>
#include <vector>

#include "player/module.h"

// Loads an XM image through the real memory file and file callbacks, then detaches it (the
// module keeps no pointer into it). Null when the load fails.
XmModule* load_xm_image(const std::vector<uint8_t>& image, SampleReader sample_reader = nullptr);

// What every successful load promises the engine and the mixer, whatever the file held:
// 1..32 channels, order entries naming existing patterns, cells present for every row, notes
// and instruments in range, every slot filled, loops inside their samples. Reads every cell
// and every frame of storage, so a sanitizer sees storage that is too short.
void expect_module_sound(const XmModule* module);
