// The song composer as a built program: its exit code, and the committed song as its score
// writes it.
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

// The composer takes one file name; the renderer's answers are checked with the other tools'.
TEST(Tools, ComposerRefusesAnythingButOneFileName) {
    EXPECT_EQ(run("compose_song a.xm b.xm"), 2);
}

TEST(Tools, ComposerWritesTheCommittedSongByteForByte) {
    const std::string out = "/tmp/tirvalex_tools_test_" + std::to_string(getpid());
    ASSERT_EQ(run("compose_song " + out), 0);
    EXPECT_TRUE(bytes(out) == bytes(TIRVALEX_SOURCE_DIR "/data/song.xm"));
    std::remove(out.c_str());
}

}  // namespace
