// Feeds one byte string to the XM loader through the memory file and, when it loads, plays a
// bounded stretch of it through the block filler with no device and no thread, then frees it.
// With TIRVALEX_WRITE_SEEDS=DIR set it writes a few small images to DIR and exits instead.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "player/engine.h"
#include "player/memfile.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"
#include "tools/xm_image.h"

namespace {

constexpr int32_t fuzz_rate = 44100;
constexpr int32_t fuzz_seconds = 3;  // audio played per loaded input, keeps each run bounded

// Writes one seed image as DIR/NAME.xm; false when the file cannot be written.
bool write_seed(const std::string& directory, const char* name, const XmImageSong& song) {
    const std::vector<uint8_t> bytes = write_xm_image(song);
    const std::string path = directory + "/" + name + ".xm";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// A one-instrument song whose sample loops in the given way, with a few effects in its rows,
// so the fuzzer starts from inputs that reach the engine and the mixer.
XmImageSong seed_song(bool sixteen_bit, uint8_t loop_bits) {
    XmImageSong song;
    song.channel_count = 2;
    song.patterns.push_back(
        xm_pattern(8, 2,
                   {"C-4 01 40 ... | E-4 01 .. C20", "... .. .. A0F | ... .. .. 4A8",
                    "... .. .. 1F0 | G-4 01 .. 3F0", "=== .. .. ... | ... .. .. E91",
                    "C-5 01 .. 9FF | ... .. .. B00"}));
    XmImageInstrument instrument;
    XmImageSample sample;
    sample.sixteen_bit = sixteen_bit;
    for (int i = 0; i < 64; ++i)
        sample.frames.push_back(int16_t(sixteen_bit ? i * 900 : i * 3));
    sample.loop_start = 16;
    sample.loop_length = loop_bits ? 32 : 0;
    sample.loop_bits = loop_bits;
    instrument.samples.push_back(sample);
    instrument.note_samples.assign(96, 0);
    instrument.volume_envelope.points = {{0, 64}, {8, 20}, {16, 48}};
    instrument.volume_envelope.sustain_point = 1;
    instrument.volume_envelope.type = 3;
    instrument.fadeout = 512;
    song.instruments.push_back(instrument);
    return song;
}

// Writes the seed images into directory; the exit status says whether all were written.
int write_seeds(const std::string& directory) {
    XmImageSong empty;
    empty.patterns.push_back(xm_pattern(4, 4, {}));
    bool ok = write_seed(directory, "empty", empty);
    ok = write_seed(directory, "one_shot_8bit", seed_song(false, 0)) && ok;
    ok = write_seed(directory, "forward_16bit", seed_song(true, 1)) && ok;
    ok = write_seed(directory, "pingpong_8bit", seed_song(false, 2)) && ok;
    XmImageSong amiga = seed_song(true, 2);
    amiga.flags = 0;
    amiga.orders = {0, 0, 1};
    ok = write_seed(directory, "amiga_periods", amiga) && ok;
    return ok ? 0 : 1;
}

}  // namespace

// Writes the seeds and exits when asked to through the environment.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* directory = std::getenv("TIRVALEX_WRITE_SEEDS"))
        std::exit(write_seeds(directory));
    return 0;
}

// Loads data as an XM image and, if it loads, mixes fuzz_seconds of it block by block the way
// the output does once playback has started, then releases everything.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    memfile_reset();
    loader_reset();
    engine_reset();
    ring_reset();
    memfile_attach(data, uint32_t(size));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(fuzz_rate);  // before loading: the engine's steps follow the rate
    XmModule* module = module_load(nullptr, nullptr);
    if (module) {
        ring_allocate();
        reset_song_state(module);
        write_block = 0;
        const int32_t blocks = fuzz_seconds * fuzz_rate / block_frames;
        for (int32_t block = 0; block < blocks; ++block)
            fill_block();
        module_free(module);
    }
    ring_reset();
    memfile_reset();
    return 0;
}
