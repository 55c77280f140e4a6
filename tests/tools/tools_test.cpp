// The song composer as a built program: its exit code, and the committed song as its score
// writes it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/process.h"

namespace {

// The composer takes one file name; the renderer's answers are checked with the other tools'.
TEST(Tools, ComposerRefusesAnythingButOneFileName) {
    EXPECT_EQ(run_command({built_program("compose_song"), "a.xm", "b.xm"}).exit_code, 2);
}

TEST(Tools, ComposerWritesTheCommittedSongByteForByte) {
    const std::string out = "/tmp/tirvalex_tools_test_" + std::to_string(getpid());
    ASSERT_EQ(run_command({built_program("compose_song"), out}).exit_code, 0);
    EXPECT_TRUE(read_file(out) == read_file(TIRVALEX_SOURCE_DIR "/data/song.xm"))
        << "the song differs";
    std::remove(out.c_str());
}

}  // namespace
