#pragma once
#include <cstdint>

// The XM image of the song the demo plays, embedded at build time from data/song.xm.
// The array carries one zero byte past module_size so that it is never empty.
extern const uint8_t module_bytes[];
extern const uint32_t module_size;
