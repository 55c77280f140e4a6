// show_capture as a built program: its exit codes, and the pictures it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::string dir = "/tmp/tirvalex_show_capture_" + std::to_string(getpid());

int capture(const std::string& arguments) {
    const int status = std::system(
        (TIRVALEX_BINARY_DIR "/show_capture " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ShowCapture, ExitCodesAndPictures) {
    // 2 bad usage; 1 a time the show never reaches (it ends on the first frame past 79 s).
    for (const std::string& bad : {std::string(), std::string("--at 5"), "--at five --out " + dir,
                                   "--at 5 --step-ms 0 --out " + dir})
        EXPECT_EQ(capture(bad), 2) << bad;
    std::filesystem::create_directories(dir);
    EXPECT_EQ(capture("--at 85 --step-ms 5000 --out " + dir), 1);
    // A PNG of the whole 640 x 480 window for the time asked: width and height big-endian at
    // bytes 16..23.
    ASSERT_EQ(capture("--at 30 --step-ms 500 --out " + dir), 0);
    std::string png(24, '\0');
    std::ifstream(dir + "/frame_030000.png", std::ios::binary).read(png.data(), 24);
    EXPECT_EQ(png.substr(1, 3) + png.substr(16, 8), std::string("PNG\0\0\2\x80\0\0\1\xE0", 11));
    std::filesystem::remove_all(dir);
}

}  // namespace
