// Feeds one byte string to the XM loader through the memory file and, when it loads, plays a
// bounded stretch of it through the block filler with no device and no thread, then frees it.
// Its seeds are the embedded song and the fetched corpus (scripts/fuzz.sh gathers them).
#include <cstdint>

#include "player/engine.h"
#include "player/memfile.h"
#include "player/mixer.h"
#include "player/output.h"
#include "player/ring.h"

// Mixes 3 seconds at 44100 Hz of whatever loads, the way the output does once playback has
// started, then releases everything; a refusal must say why.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    memfile_reset();
    loader_reset();
    engine_reset();
    ring_reset();
    memfile_attach(data, uint32_t(size));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(44100);  // before loading: the engine's steps follow the rate
    if (XmModule* module = module_load(nullptr, nullptr)) {
        ring_allocate();
        reset_song_state(module);
        write_block = 0;
        for (int32_t block = 0; block < 3 * 44100 / block_frames; ++block)
            fill_block();
        module_free(module);
    } else if (module_load_failure()[0] == '\0') {
        __builtin_trap();
    }
    ring_reset();
    memfile_reset();
    return 0;
}
