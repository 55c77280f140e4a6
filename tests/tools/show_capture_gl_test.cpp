// show_capture as a program: it renders the show through the real timeline and scenes with
// the song clock driven offline, so the same song time gives the same picture every run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string capture_program = std::string(TIRVALEX_BINARY_DIR) + "/show_capture";

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Runs the program with these arguments and returns its exit status (-1 when it did not end
// normally).
int run_capture(const std::string& arguments) {
    const std::string command = capture_program + " " + arguments + " > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t big_endian32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
           uint32_t(bytes[at + 2]) << 8 | uint32_t(bytes[at + 3]);
}

class ShowCapture : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(capture_program)) << capture_program;
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() /
                (std::string("show_capture_") + test->name() + "_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "first");
        fs::create_directories(root_ / "second");
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
};

TEST_F(ShowCapture, SameTimesGiveTheSameFilesRunAfterRun) {
    const std::string times = "--at 5,14,30 --step-ms 250";
    ASSERT_EQ(run_capture(times + " --out " + (root_ / "first").string()), 0);
    ASSERT_EQ(run_capture(times + " --out " + (root_ / "second").string()), 0);
    for (const char* name : {"frame_005000.png", "frame_014000.png", "frame_030000.png"}) {
        const std::vector<uint8_t> first = read_bytes(root_ / "first" / name);
        const std::vector<uint8_t> second = read_bytes(root_ / "second" / name);
        ASSERT_GT(first.size(), 33u) << name;
        EXPECT_TRUE(first == second) << name;
        // A PNG of the full 640 x 480 window.
        EXPECT_EQ(first[1], 'P');
        EXPECT_EQ(big_endian32(first, 16), 640u) << name;
        EXPECT_EQ(big_endian32(first, 20), 480u) << name;
    }
    // Pictures of different scenes differ.
    EXPECT_FALSE(read_bytes(root_ / "first" / "frame_005000.png") ==
                 read_bytes(root_ / "first" / "frame_030000.png"));
}

TEST_F(ShowCapture, HalfSizeIndexedPicturesForTheReadme) {
    ASSERT_EQ(
        run_capture("--at 20 --step-ms 500 --half --palette --out " + (root_ / "first").string()),
        0);
    const std::vector<uint8_t> png = read_bytes(root_ / "first" / "frame_020000.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(big_endian32(png, 16), 320u);
    EXPECT_EQ(big_endian32(png, 20), 240u);
    EXPECT_EQ(png[25], 3);  // colour type 3: indexed
}

TEST_F(ShowCapture, RefusesBadArgumentsAndTimesPastTheEnd) {
    EXPECT_EQ(run_capture(""), 2);
    EXPECT_EQ(run_capture("--at five --out " + root_.string()), 2);
    EXPECT_EQ(run_capture("--at 5"), 2);
    EXPECT_EQ(run_capture("--at 5 --out " + root_.string() + " --step-ms 0"), 2);
    // The show ends on the first frame after 79 s of song time.
    EXPECT_EQ(run_capture("--at 85 --step-ms 5000 --out " + root_.string()), 1);
}

}  // namespace
