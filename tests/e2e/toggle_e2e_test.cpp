// F1 pressed again and again while the show runs: every press closes the window and opens the
// other mode under the second title, draws the title fan's texts, and starts the music from the
// beginning. The demo plays through SDL's disk driver, which truncates its file at every device
// open and then writes what the device plays, so each toggle shows from outside as the file
// starting again, and the restart from the song's start as the same first half second of music
// every time. Memory after the last toggle is held against memory after the first: a toggle
// must not keep what the earlier window or playback took.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/support/demo.h"
#include "tests/e2e/support/x_client.h"
#include "tests/e2e/support/x_server.h"
#include "tests/e2e/support/x_windows.h"

namespace {

constexpr int toggle_count = 30;
constexpr size_t bytes_per_second = 44100 * 4;  // 16-bit stereo
constexpr size_t compared_bytes = bytes_per_second / 2;

// Resident memory follows the memory the process holds only when neither the allocator nor the
// software renderer keeps memory of its own choosing: one allocator arena with fixed mapping
// and trimming thresholds (the default thresholds rise with the largest block freed, after
// which freed blocks stay resident), and the renderer drawing on the demo's thread instead of
// a pool of its own threads, each with its own arena. Under these settings the demo's memory
// after a toggle moves by about 1 to 3 MB between toggles and does not grow; a toggle that kept
// its window's lists, its ring and its mixing buffer would pass the limit within the toggles.
const Environment steady_memory = {{"MALLOC_ARENA_MAX", "1"},
                                   {"MALLOC_MMAP_THRESHOLD_", "65536"},
                                   {"MALLOC_TRIM_THRESHOLD_", "131072"},
                                   {"LP_NUM_THREADS", "0"}};
constexpr long rss_growth_limit_kb = 5 * 1024;
constexpr int rss_samples = 10;
constexpr int rss_sample_interval_ms = 200;
constexpr double rss_settle_seconds = 60.0;

// The show restarts on scene 2: the tube on light blue, never reaching below row 320 of the
// window, in front of the fan of titles turning about the centre, whose letters reach down
// into the bottom rows through the song's first three seconds. Pixels there that are not the
// light blue are the texts.
constexpr int text_rows_from = 330;
constexpr long text_pixels_least = 1000;
constexpr double text_wait_seconds = 3.0;

long file_size(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

std::vector<char> file_bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The first `compared_bytes` of music in the capture, after the silence the device plays while
// the ring is being mixed; empty while the capture has not got that far.
std::vector<char> opening_music(const std::string& path) {
    const std::vector<char> bytes = file_bytes(path);
    auto first_sound = std::find_if(bytes.begin(), bytes.end(), [](char b) { return b != 0; });
    const size_t start = static_cast<size_t>(first_sound - bytes.begin()) & ~size_t(3);
    if (first_sound == bytes.end() || bytes.size() - start < compared_bytes) return {};
    return {bytes.begin() + static_cast<long>(start),
            bytes.begin() + static_cast<long>(start + compared_bytes)};
}

std::vector<char> wait_for_opening_music(const std::string& path) {
    std::vector<char> music;
    poll_until([&] { return !(music = opening_music(path)).empty(); }, e2e_wait_seconds);
    return music;
}

// The software renderer's working memory comes and goes from frame to frame; the lowest of a
// few samples over two seconds is the memory the process keeps.
long kept_resident_kb(pid_t pid) {
    long lowest = -1;
    for (int i = 0; i < rss_samples; ++i) {
        const long kb = process_status_kb(pid, "VmRSS");
        if (kb > 0 && (lowest < 0 || kb < lowest)) lowest = kb;
        sleep_milliseconds(rss_sample_interval_ms);
    }
    return lowest;
}

bool is_light_blue(const uint8_t* pixel) {
    constexpr int tolerance = 8;  // the 16-bit screen keeps 5 or 6 bits of each primary
    return std::abs(pixel[0] - 77) <= tolerance && std::abs(pixel[1] - 128) <= tolerance &&
           std::abs(pixel[2] - 255) <= tolerance;
}

// Pixels of the window's bottom rows that are not the light blue of scene 2.
long text_pixels(const XServer& server, const XWindow& window) {
    std::vector<uint8_t> rgb;
    const int rows = window.height - text_rows_from;
    if (rows <= 0 || !read_screen_pixels(server.display, window.x, window.y + text_rows_from,
                                         window.width, rows, &rgb)) {
        return 0;
    }
    long count = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        count += !is_light_blue(&rgb[i]);
    return count;
}

class Toggle : public testing::Test {
protected:
    void SetUp() override {
        char path[] = "/tmp/tirvalex-audio-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        audio_path_ = path;
        server_ = start_x_server("640x480x16");
        ASSERT_FALSE(server_.display.empty()) << "Xvfb did not start";
        demo_ = start_demo_playing_to_file(server_, audio_path_, steady_memory);
        ASSERT_GT(demo_.pid, 0) << "cannot start " << demo_binary();
    }
    void TearDown() override {
        stop_process(demo_);
        stop_x_server(server_);
        if (!audio_path_.empty()) unlink(audio_path_.c_str());
    }

    XWindow expect_window(const std::string& name) {
        XWindow window;
        EXPECT_TRUE(wait_for_window(server_, name, &window))
            << "no window \"" << name << "\"; log:\n"
            << process_log(demo_);
        return window;
    }

    // Presses F1 once the device has played a second into the file, holds it until the file
    // starts again (the new window's device is open) and lets go.
    bool toggle(const XWindow& window) {
        if (!poll_until([&] { return file_size(audio_path_) >= long(bytes_per_second); },
                        e2e_wait_seconds)) {
            return false;
        }
        const long before = file_size(audio_path_);
        if (!press_key(server_, window, "F1")) return false;
        const bool restarted =
            poll_until([&] { return file_size(audio_path_) < before; }, e2e_wait_seconds);
        release_key(server_, "F1");
        return restarted;
    }

    std::string audio_path_;
    XServer server_;
    ChildProcess demo_;
};

TEST_F(Toggle, ThirtyTogglesReopenDrawTextsRestartTheMusicAndKeepMemory) {
    const double started = monotonic_seconds();
    ASSERT_TRUE(answer_first_button(server_, expect_window(start_up_caption)));
    XWindow window = expect_window(first_title);
    const std::vector<char> song_start = wait_for_opening_music(audio_path_);
    ASSERT_FALSE(song_start.empty()) << "no music in the capture";

    long first_kb = -1, last_kb = -1;
    for (int i = 1; i <= toggle_count; ++i) {
        ASSERT_TRUE(toggle(window)) << "toggle " << i << " did not reopen the audio; log:\n"
                                    << process_log(demo_);
        ASSERT_FALSE(process_finished(demo_))
            << "toggle " << i << " ended the demo with " << demo_.exit_code << "; log:\n"
            << process_log(demo_);
        window = expect_window(toggled_title);
        ASSERT_TRUE(window.viewable) << "toggle " << i;
        EXPECT_EQ(window.width, 640) << "toggle " << i;
        EXPECT_EQ(window.height, 480) << "toggle " << i;
        EXPECT_TRUE(wait_for_opening_music(audio_path_) == song_start)
            << "toggle " << i << " did not start the song from its beginning";
        long texts = 0;
        poll_until([&] { return (texts = text_pixels(server_, window)) >= text_pixels_least; },
                   text_wait_seconds);
        EXPECT_GE(texts, text_pixels_least) << "toggle " << i << " drew no texts";
        if (i == 1) first_kb = kept_resident_kb(demo_.pid);
    }
    EXPECT_FALSE(process_finished(demo_)) << process_log(demo_);
    EXPECT_FALSE(find_window(server_, first_title, nullptr));

    // Memory freed by a toggle can stay with the process for a while before the allocator
    // hands it back; memory that is kept for good never comes back under the limit.
    poll_until(
        [&] {
            const long kb = kept_resident_kb(demo_.pid);
            if (kb > 0 && (last_kb < 0 || kb < last_kb)) last_kb = kb;
            return last_kb > 0 && first_kb > 0 && last_kb - first_kb <= rss_growth_limit_kb;
        },
        rss_settle_seconds);

    std::printf("resident memory after toggle 1: %ld kB, after toggle %d: %ld kB; %.0f s\n",
                first_kb, toggle_count, last_kb, monotonic_seconds() - started);
    ASSERT_GT(first_kb, 0);
    ASSERT_GT(last_kb, 0);
    EXPECT_LE(last_kb - first_kb, rss_growth_limit_kb);
}

}  // namespace
