#pragma once
// The embedded song as the demo plays it: loaded from the data, started through the program's
// own start routine and mixed block by block as the output thread fills the ring.
#include <cstddef>
#include <cstdint>
#include <vector>

struct SongMix {
    std::vector<int16_t> pcm;        // 16-bit stereo, left first, from the song's frame 0
    std::vector<uint32_t> clock_ms;  // per block, the song clock while it is heard
};

// Whole blocks until at least `frames` frames are mixed.
SongMix mix_embedded_song(size_t frames);
