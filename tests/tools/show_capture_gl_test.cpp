// show_capture as a built program: its exit codes, and the pictures it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string dir = "/tmp/tirvalex_show_capture_" + std::to_string(getpid());

int capture(const std::string& arguments) {
    const std::string command =
        TIRVALEX_BINARY_DIR "/show_capture " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ShowCapture, ExitCodesAndPictures) {
    // 2 bad usage; 1 a time the show never reaches (it ends on the first frame past 79 s).
    for (const std::string& bad : {std::string(), std::string("--at 5"), "--at five --out " + dir,
                                   "--at 5 --step-ms 0 --out " + dir})
        EXPECT_EQ(capture(bad), 2) << bad;
    std::filesystem::create_directories(dir);
    EXPECT_EQ(capture("--at 85 --step-ms 5000 --out " + dir), 1);
    // A PNG of the whole 640 x 480 window for the time asked: width and height at bytes 16..23.
    ASSERT_EQ(capture("--at 30 --step-ms 500 --out " + dir), 0);
    std::ifstream file(dir + "/frame_030000.png", std::ios::binary);
    const std::vector<unsigned char> png{std::istreambuf_iterator<char>(file), {}};
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(std::vector<int>({png[1], png[18], png[19], png[22], png[23]}),
              std::vector<int>({'P', 2, 128, 1, 224}));
    std::filesystem::remove_all(dir);
}

}  // namespace
