#include "tests/support/song_mix.h"

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/mixer.h"
#include "player/output.h"
#include "player/ring.h"

SongMix mix_song(const std::vector<uint8_t>& image, size_t frames, int32_t rate) {
    SongMix mix;
    memfile_attach(image.data(), uint32_t(image.size()));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(rate);
    engine_reset();
    XmModule* module = module_load(nullptr, nullptr);
    if (module == nullptr) return mix;
    ring_allocate();
    reset_song_state(module);
    for (write_block = 0; mix.pcm.size() < 2 * frames;) {
        const int32_t block = write_block;
        fill_block();
        mix.clock_ms.push_back(block_table[block].time_ms);
        const int16_t* pcm = wave_buffer + 2 * block * block_frames;
        mix.pcm.insert(mix.pcm.end(), pcm, pcm + 2 * block_frames);
    }
    module_free(module);
    return mix;
}

SongMix mix_embedded_song(size_t frames) {
    return mix_song({module_bytes, module_bytes + module_size}, frames);
}
