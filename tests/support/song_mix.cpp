#include "tests/support/song_mix.h"

#include "data/module_bytes.h"
#include "player/session.h"

// Block k is read while the device plays it: its sound and the clock heard with it.
SongMix mix_song(const std::vector<uint8_t>& image, size_t frames, int32_t rate) {
    SongMix mix;
    XmModule* song = load_song(image.data(), uint32_t(image.size()));
    if (!start_song_offline(song, rate)) {
        release_song(song);
        return mix;
    }
    const size_t block_frames = size_t(ring_block_frames());
    for (int64_t block = 0; mix.pcm.size() < 2 * frames; ++block) {
        play_offline_until(block);
        mix.clock_ms.push_back(song_clock_ms(song));
        const int16_t* pcm = heard_block_pcm(block);
        mix.pcm.insert(mix.pcm.end(), pcm, pcm + 2 * block_frames);
    }
    release_song(song);
    return mix;
}

SongMix mix_embedded_song(size_t frames) {
    return mix_song({module_bytes, module_bytes + module_size}, frames);
}
