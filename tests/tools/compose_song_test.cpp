// The composer is the source of data/song.xm: running it again must give the committed file
// byte for byte, so the song in the repository is always the one its score describes.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<char> read_bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
}

// A fresh file name in the temporary folder, removed again by the test.
std::string temporary_path() {
    char name[] = "/tmp/compose_song_test_XXXXXX";
    int descriptor = mkstemp(name);
    if (descriptor >= 0) close(descriptor);
    return name;
}

TEST(ComposeSong, ReproducesTheCommittedSongByteForByte) {
    const std::string output = temporary_path();
    const std::string command = std::string(TIRVALEX_BINARY_DIR) + "/compose_song '" + output + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<char> written = read_bytes(output);
    const std::vector<char> committed =
        read_bytes(std::string(TIRVALEX_SOURCE_DIR) + "/data/song.xm");
    std::remove(output.c_str());
    ASSERT_FALSE(committed.empty());
    ASSERT_EQ(written.size(), committed.size());
    EXPECT_TRUE(written == committed);
}

TEST(ComposeSong, RefusesAMissingOrExtraArgument) {
    const std::string program = std::string(TIRVALEX_BINARY_DIR) + "/compose_song";
    EXPECT_NE(std::system((program + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((program + " a.xm b.xm 2>/dev/null").c_str()), 0);
}

}  // namespace
