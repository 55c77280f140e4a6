// The offline renderer and the song composer as built programs: their exit codes, and the
// committed song as its score writes it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

int run(const std::string& command) {
    const int status =
        std::system((TIRVALEX_BINARY_DIR "/" + command + " >/dev/null 2>&1").c_str());
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

TEST(Tools, ComposerWritesTheCommittedSongByteForByte) {
    const std::string out = "/tmp/tirvalex_tools_test_" + std::to_string(getpid());
    ASSERT_EQ(run("compose_song " + out), 0);
    EXPECT_TRUE(bytes(out) == bytes(TIRVALEX_SOURCE_DIR "/data/song.xm"));
    std::remove(out.c_str());
}

}  // namespace
