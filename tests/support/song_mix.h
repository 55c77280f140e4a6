#pragma once
// A song as the demo plays it: loaded through the memory file, started through the program's
// own start routine and mixed block by block as the output thread fills the ring.
#include <cstddef>
#include <cstdint>
#include <vector>

struct SongMix {
    std::vector<int16_t> pcm;        // 16-bit stereo, left first, from the song's frame 0
    std::vector<uint32_t> clock_ms;  // per block, the song clock while it is heard
};

// Whole blocks at `rate` until at least `frames` frames are mixed; nothing when it fails to load.
SongMix mix_song(const std::vector<uint8_t>& image, size_t frames, int32_t rate = 44100);
// The embedded song, at 44100 Hz.
SongMix mix_embedded_song(size_t frames);
