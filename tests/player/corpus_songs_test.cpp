// The fetched real-world XM files (scripts/fetch-corpus.sh), run under the sanitizers in the
// sanitizer builds: each loads and keeps the promises a load makes, 64 of its prefixes load
// soundly or fail, and its first 30 seconds play through the block filler with every voice
// inside its sample, started by the program's own start routine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "player/channel.h"
#include "tests/player/support/songs.h"

namespace {

TEST(Corpus, EveryFileLoadsAndPlaysSoundly) {
    std::error_code error;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             TIRVALEX_CORPUS_DIR, std::filesystem::directory_options::skip_permission_denied,
             error)) {
        if (entry.path().extension() != ".xm" && entry.path().extension() != ".XM") continue;
        SCOPED_TRACE(entry.path().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
        for (size_t length = 0; length < image.size(); length += 1 + image.size() / 64) {
            SongHandle part(load_xm_image({image.begin(), image.begin() + long(length)}));
            if (part) expect_module_sound(part.get());
        }
        SongHandle module(load_xm_image(image));
        expect_module_sound(module.get());  // which starts it
        ASSERT_TRUE(start_song_offline(module.get(), 44100));
        for (int block = 1; block < 30 * 50; ++block) {
            play_offline_until(block);
            for (const Voice& v : voices) {
                if (v.sample == nullptr || v.sample->length == 0) continue;
                ASSERT_LE(v.position, v.sample->length)
                    << "voice " << v.index << ", block " << block;
            }
        }
        EXPECT_GT(module->song_time_ms, 0u);
        ++files;
    }
    if (files == 0) GTEST_SKIP() << "no corpus fetched in " << TIRVALEX_CORPUS_DIR;
}

}  // namespace
