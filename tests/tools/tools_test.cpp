// The offline renderer and the song composer as built programs: their exit codes, one render
// against the block filler the demo plays from, and the committed song as its score writes it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/song_mix.h"

namespace {

const std::string bin = TIRVALEX_BINARY_DIR "/",
                  out = "/tmp/tirvalex_tools_test_" + std::to_string(getpid());

int run(const std::string& command) {
    const int status = std::system((bin + command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

TEST(Tools, ExitCodes) {
    // 0 done, 1 a file that cannot be read, loaded or written, 2 bad usage.
    for (const std::string command :
         {"xm_render --embedded", "xm_render --rate 1000 --embedded x", "compose_song a.xm b.xm"})
        EXPECT_EQ(run(command), 2) << command;
    EXPECT_EQ(std::pair(run("xm_render --help"), run("xm_render /nonexistent.xm x")),
              std::pair(0, 1));
}

TEST(Tools, RendersTheEmbeddedSongAsTheBlockFillerMixesIt) {
    ASSERT_EQ(run("xm_render --embedded --seconds 1 " + out), 0);
    const std::string wav = bytes(out);
    std::remove(out.c_str());
    // A 44-byte header, then a second of 16-bit stereo frames (4 x 44100 bytes).
    EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 8) + wav.substr(36, 4), "RIFFWAVEfmt data");
    const std::vector<int16_t> mixed = mix_embedded_song(44100).pcm;
    EXPECT_TRUE(wav.substr(44) ==
                std::string(reinterpret_cast<const char*>(mixed.data()), 4 * 44100));
}

TEST(Tools, ComposerWritesTheCommittedSongByteForByte) {
    ASSERT_EQ(run("compose_song " + out), 0);
    EXPECT_TRUE(bytes(out) == bytes(TIRVALEX_SOURCE_DIR "/data/song.xm"));
    std::remove(out.c_str());
}

}  // namespace
