// The whole show, from the start-up question to its end, under its own X server, with the
// sound played into a file by SDL's disk audio driver. The file is the show's own clock: its
// length when a screenshot is taken says how much music had been heard, and the player, run
// here offline over the same song, turns frames heard into the song time the timeline reads.
// The screenshots must show the scene the timeline gives for that time, and the file must hold,
// sample for sample, what xm_render writes for the embedded song, after whatever silence the
// device played before the ring started.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"
#include "tests/e2e/support/demo.h"
#include "tests/e2e/support/x_client.h"
#include "tests/e2e/support/x_server.h"
#include "tests/e2e/support/x_windows.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t output_rate_hz = 44100;
constexpr uint64_t frame_bytes = 4;  // 16-bit stereo
constexpr size_t wav_header_bytes = 44;

// The show runs about 83 s of sound; the bound only keeps a broken run from hanging.
constexpr double show_bound_seconds = 600.0;
constexpr int snapshot_interval_ms = 150;

// Song times (ms, the clock's own units) at which the timeline moves on, and the scene each
// section shows: scene 2 up to 13.7 s, 3 up to 28.7 s, 4 up to 72 s, 3 up to 79 s.
struct Section {
    uint32_t end_ms;
    int scene;
};
constexpr Section sections[] = {{13700, 2}, {28700, 3}, {72000, 4}, {79000, 3}};
constexpr int section_count = sizeof sections / sizeof sections[0];

// A snapshot is judged only when the song time stood inside one section over the whole span
// the frame on screen can come from: from well before the capture (the frame was drawn earlier,
// and it shows the scene chosen by the frame before it, at a low frame rate under software GL)
// to a little after it (the file lags the clock by the device's and the file's buffers).
constexpr uint32_t judged_lead_ms = 3000;
constexpr uint32_t judged_lag_ms = 250;

int section_of(uint32_t song_ms) {
    for (int i = 0; i < section_count; ++i)
        if (song_ms <= sections[i].end_ms) return i;
    return section_count;  // past the end of the show
}

// The song time the clock reports while the device plays each block of the embedded song:
// the player's own block filler run from the song's start, as the demo's ring is filled.
struct SongClock {
    uint64_t block_frames = 0;
    std::vector<uint32_t> block_ms;  // by block heard from the start

    // The clock while the device plays the given frame of the song.
    uint32_t at_frame(uint64_t frame) const {
        const size_t block = size_t(frame / block_frames);
        return block_ms[std::min(block, block_ms.size() - 1)];
    }
};

SongClock song_clock_over(size_t frames) {
    SongClock clock;
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(output_rate_hz);
    engine_reset();
    XmModule* module = module_load(nullptr, nullptr);
    if (module == nullptr) return clock;
    clock.block_frames = uint64_t(block_frames);
    ring_allocate();
    reset_song_state(module);
    write_block = 0;
    while (clock.block_ms.size() * clock.block_frames <= frames) {
        const int32_t block = write_block;
        fill_block();
        clock.block_ms.push_back(block_table[block].time_ms.load());
    }
    module_free(module);
    ring_reset();
    return clock;
}

// What a screenshot of the window shows, told by its pixels. Scene 2 clears to light blue,
// scene 3 to purple; scene 4 clears to black and draws a fogged tunnel whose quads have equal
// red and blue, with white texts over it, leaving at most about half of the frame black. The
// opening frame is mostly white. A window before its first frame or after the show's last one
// can be wholly black, which is none of them.
struct Picture {
    double light_blue = 0;  // share of pixels of each kind
    double purple = 0;
    double white = 0;
    double red_equals_blue = 0;
    double black = 0;
    int scene = 0;  // 2, 3, 4, or 0 for none of them
};

bool near(const uint8_t* pixel, int red, int green, int blue) {
    constexpr int tolerance = 4;
    return std::abs(pixel[0] - red) <= tolerance && std::abs(pixel[1] - green) <= tolerance &&
           std::abs(pixel[2] - blue) <= tolerance;
}

Picture look_at(const std::vector<uint8_t>& rgb) {
    Picture picture;
    const size_t pixels = rgb.size() / 3;
    size_t light_blue = 0, purple = 0, white = 0, red_equals_blue = 0, black = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* pixel = &rgb[i * 3];
        light_blue += near(pixel, 77, 128, 255);  // (0.3, 0.5, 1.0)
        purple += near(pixel, 230, 0, 153);       // (0.9, 0.0, 0.6)
        white += pixel[0] > 240 && pixel[1] > 240 && pixel[2] > 240;
        red_equals_blue += std::abs(pixel[0] - pixel[2]) <= 3;
        black += near(pixel, 0, 0, 0);
    }
    const double total = double(std::max<size_t>(pixels, 1));
    picture.light_blue = double(light_blue) / total;
    picture.purple = double(purple) / total;
    picture.white = double(white) / total;
    picture.red_equals_blue = double(red_equals_blue) / total;
    picture.black = double(black) / total;
    constexpr double background = 0.2;  // a scene's clear colour covers at least this much
    constexpr double stray = 0.02;      // another scene's clear colour covers at most this
    if (picture.light_blue >= background && picture.purple < stray) {
        picture.scene = 2;
    } else if (picture.purple >= background && picture.light_blue < stray) {
        picture.scene = 3;
    } else if (picture.light_blue < stray && picture.purple < stray && picture.white < 0.2 &&
               picture.red_equals_blue > 0.95 && picture.black < 0.9) {
        picture.scene = 4;
    }
    return picture;
}

struct Snapshot {
    uint64_t bytes_before = 0;  // length of the sound file just before and after the capture
    uint64_t bytes_after = 0;
    Picture picture;
};

uint64_t file_length(const fs::path& path) {
    std::error_code error;
    const uintmax_t length = fs::file_size(path, error);
    return error ? 0 : uint64_t(length);
}

std::vector<int16_t> read_samples(const fs::path& path, size_t skip_bytes) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    std::vector<int16_t> samples;
    if (bytes.size() <= skip_bytes) return samples;
    const size_t frames = (bytes.size() - skip_bytes) / frame_bytes;
    samples.resize(frames * 2);
    for (size_t i = 0; i < samples.size(); ++i) {  // little-endian on disk
        const auto low = uint8_t(bytes[skip_bytes + 2 * i]);
        const auto high = uint8_t(bytes[skip_bytes + 2 * i + 1]);
        samples[i] = int16_t(uint16_t(low | high << 8));
    }
    return samples;
}

// Index of the first frame with a sample other than zero; the frame count when there is none.
size_t first_sounding_frame(const std::vector<int16_t>& samples) {
    const auto found = std::find_if(samples.begin(), samples.end(), [](int16_t s) { return s; });
    return size_t(found - samples.begin()) / 2;
}

int run_render(const std::vector<std::string>& arguments) {
    std::string command = std::string(TIRVALEX_BINARY_DIR) + "/xm_render";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    const int status = std::system((command + " > /dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Show : public testing::Test {
protected:
    void SetUp() override {
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        root_ = fs::temp_directory_path() /
                ("tirvalex_show_" + name + "_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        stop_process(demo_);
        stop_x_server(server_);
        fs::remove_all(root_);
    }

    fs::path root_;
    XServer server_;
    ChildProcess demo_;
};

TEST_F(Show, PlaysItsScenesOnTheSongClockAndTheSongSampleForSampleToItsEnd) {
    const fs::path sound_file = root_ / "heard.raw";
    // A 24-bit screen keeps the clear colours exact; answering No gives a plain window.
    server_ = start_x_server("1024x768x24");
    ASSERT_FALSE(server_.display.empty()) << "Xvfb did not start";
    demo_ = start_demo_playing_to_file(server_, sound_file.string());
    ASSERT_GT(demo_.pid, 0) << "cannot start " << demo_binary();

    XWindow question;
    ASSERT_TRUE(wait_for_window(server_, start_up_caption, &question))
        << "no start-up question; demo log:\n"
        << process_log(demo_);
    ASSERT_TRUE(answer_second_button(server_, question));
    XWindow window;
    ASSERT_TRUE(wait_for_window(server_, first_title, &window)) << "no window; demo log:\n"
                                                                << process_log(demo_);
    ASSERT_EQ(window.width, 640);
    ASSERT_EQ(window.height, 480);

    // Screenshots until the show ends by itself.
    const double started = monotonic_seconds();
    std::vector<Snapshot> snapshots;
    std::vector<uint8_t> rgb;
    while (!process_finished(demo_) && monotonic_seconds() - started < show_bound_seconds) {
        Snapshot snapshot;
        snapshot.bytes_before = file_length(sound_file);
        const bool read = read_screen_pixels(server_.display, window.x, window.y, window.width,
                                             window.height, &rgb);
        snapshot.bytes_after = file_length(sound_file);
        if (read && !process_finished(demo_)) {
            snapshot.picture = look_at(rgb);
            snapshots.push_back(snapshot);
        }
        sleep_milliseconds(snapshot_interval_ms);
    }
    const double show_seconds = monotonic_seconds() - started;
    ASSERT_TRUE(process_finished(demo_))
        << "the show did not end within " << show_bound_seconds << " s";
    EXPECT_EQ(demo_.exit_code, 0) << process_log(demo_);

    // The sound heard against the offline render of the embedded song.
    const std::vector<int16_t> heard = read_samples(sound_file, 0);
    const size_t heard_frames = heard.size() / 2;
    ASSERT_GT(heard_frames, size_t(output_rate_hz)) << "hardly any sound was written";
    const fs::path render_file = root_ / "render.wav";
    const double render_seconds = double(heard_frames) / output_rate_hz + 1.0;
    ASSERT_EQ(run_render({"--seconds", std::to_string(render_seconds), "--embedded",
                          render_file.string()}),
              0);
    const std::vector<int16_t> rendered = read_samples(render_file, wav_header_bytes);
    const size_t rendered_frames = rendered.size() / 2;

    // The silence before the ring started is where the first sound of the song comes late.
    const size_t first_heard = first_sounding_frame(heard);
    const size_t first_rendered = first_sounding_frame(rendered);
    ASSERT_LT(first_heard, heard_frames) << "the sound file is silent";
    ASSERT_GE(first_heard, first_rendered) << "the song's first sound was heard too early";
    const size_t silence_frames = first_heard - first_rendered;
    const size_t song_frames = heard_frames - silence_frames;
    ASSERT_LE(song_frames, rendered_frames);
    size_t differing = 0, first_difference = song_frames;
    for (size_t i = 0; i < song_frames * 2; ++i) {
        if (heard[silence_frames * 2 + i] == rendered[i]) continue;
        if (differing++ == 0) first_difference = i / 2;
    }
    EXPECT_EQ(differing, 0u) << "samples heard differ from the render, the first at song frame "
                             << first_difference << " (" << double(first_difference) / 44100.0
                             << " s)";

    // Frames heard to song time, as the demo's clock reads it.
    const SongClock clock = song_clock_over(heard_frames);
    ASSERT_FALSE(clock.block_ms.empty()) << "the embedded song does not load";
    const auto song_ms_at = [&](uint64_t file_bytes) {
        const uint64_t frames = file_bytes / frame_bytes;
        return clock.at_frame(frames > silence_frames ? frames - silence_frames : 0);
    };
    // The show ends on the first frame after 79 s, so the sound reached that far.
    const uint32_t heard_song_ms = song_ms_at(heard_frames * frame_bytes);
    EXPECT_GT(heard_song_ms + judged_lag_ms, sections[section_count - 1].end_ms);

    int judged[section_count] = {};
    std::vector<int> seen_order;
    std::ostringstream trace;
    for (const Snapshot& snapshot : snapshots) {
        const uint32_t before = song_ms_at(snapshot.bytes_before);
        const uint32_t after = song_ms_at(snapshot.bytes_after);
        const Picture& picture = snapshot.picture;
        char line[160];
        std::snprintf(line, sizeof line,
                      "  %6.2f..%6.2f s: blue %.3f purple %.3f white %.3f r=b %.3f black %.3f"
                      " -> %d\n",
                      before / 1000.0, after / 1000.0, picture.light_blue, picture.purple,
                      picture.white, picture.red_equals_blue, picture.black, picture.scene);
        trace << line;
        if (picture.scene != 0 && (seen_order.empty() || seen_order.back() != picture.scene))
            seen_order.push_back(picture.scene);
        // The opening frames come before the scenes: the title line, then scene 2 on white.
        if (before < judged_lead_ms) continue;
        const int first = section_of(before - judged_lead_ms);
        const int last = section_of(after + judged_lag_ms);
        if (first != last || first >= section_count) continue;
        ++judged[first];
        EXPECT_EQ(picture.scene, sections[first].scene)
            << "at " << before / 1000.0 << " to " << after / 1000.0 << " s of song time";
    }
    for (int i = 0; i < section_count; ++i) {
        EXPECT_GE(judged[i], 3) << "too few screenshots well inside section " << i << " (scene "
                                << sections[i].scene << ")";
    }
    EXPECT_EQ(seen_order, (std::vector<int>{2, 3, 4, 3}));
    if (HasFailure()) ADD_FAILURE() << "screenshots by song time:\n" << trace.str();

    std::printf(
        "show: %.1f s on the wall clock, %zu screenshots, %.2f s of sound"
        " (%.3f s of silence first), song clock %.2f s at its end\n",
        show_seconds, snapshots.size(), double(heard_frames) / output_rate_hz,
        double(silence_frames) / output_rate_hz, heard_song_ms / 1000.0);
}

}  // namespace
