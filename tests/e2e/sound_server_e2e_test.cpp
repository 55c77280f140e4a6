// The show's sound through a sound server, as a desktop plays it: a PulseAudio daemon of the
// test's own (private runtime directory, one null sink at 44100 Hz, 16-bit stereo), the demo on
// SDL's pulseaudio backend, and parec recording the sink's monitor. After the silence before
// the first sound, the recording must equal what xm_render writes for the embedded song,
// sample for sample, for the first 15 s at least; and scene 3 must come on screen when the
// sound heard says the song clock passed 13.7 s.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

constexpr int32_t rate = 44100;
constexpr uint64_t frame_bytes = 4;  // 16-bit stereo
constexpr size_t wav_header_bytes = 44;
constexpr double compared_seconds = 15.0;
constexpr double recorded_seconds = 20.0;  // of song after the first sound, then Escape
constexpr uint32_t scene_3_starts_ms = 13700;
// The frame on screen was drawn up to a few frames before the capture under software GL, and
// the recording lags the device by the server's buffers.
constexpr uint32_t drawn_lead_ms = 3000;
constexpr uint32_t heard_lag_ms = 500;

std::vector<int16_t> read_samples(const fs::path& path, size_t skip_bytes) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    std::vector<int16_t> samples;
    if (bytes.size() <= skip_bytes) return samples;
    samples.resize((bytes.size() - skip_bytes) / frame_bytes * 2);
    for (size_t i = 0; i < samples.size(); ++i) {  // little-endian
        const auto low = uint8_t(bytes[skip_bytes + 2 * i]);
        const auto high = uint8_t(bytes[skip_bytes + 2 * i + 1]);
        samples[i] = int16_t(uint16_t(low | high << 8));
    }
    return samples;
}

size_t first_sounding_frame(const std::vector<int16_t>& samples) {
    const auto found = std::find_if(samples.begin(), samples.end(), [](int16_t s) { return s; });
    return size_t(found - samples.begin()) / 2;
}

uint64_t file_length(const fs::path& path) {
    std::error_code error;
    const uintmax_t length = fs::file_size(path, error);
    return error ? 0 : uint64_t(length);
}

// The song clock of the block being heard at each block of the embedded song from its start:
// the player's own block filler, run offline as the demo's ring is filled.
std::vector<uint32_t> song_clock_by_block(size_t frames, uint64_t* frames_per_block) {
    std::vector<uint32_t> block_ms;
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(rate);
    engine_reset();
    XmModule* module = module_load(nullptr, nullptr);
    if (module == nullptr) return block_ms;
    ring_allocate();
    *frames_per_block = uint64_t(block_frames);
    reset_song_state(module);
    write_block = 0;
    while (block_ms.size() * size_t(block_frames) <= frames) {
        const int32_t block = write_block;
        fill_block();
        block_ms.push_back(block_table[block].time_ms.load());
    }
    module_free(module);
    ring_reset();
    return block_ms;
}

// Scene 3 clears to purple (0.9, 0.0, 0.6): a fifth of the window or more.
bool shows_scene_3(const std::vector<uint8_t>& rgb) {
    size_t purple = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        purple += std::abs(rgb[i] - 230) <= 4 && rgb[i + 1] <= 4 && std::abs(rgb[i + 2] - 153) <= 4;
    return purple * 5 >= rgb.size() / 3;
}

class SoundServer : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tirvalex_pulse_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "runtime");
        fs::permissions(root_ / "runtime", fs::perms::owner_all);
        pulse_ = {{"XDG_RUNTIME_DIR", (root_ / "runtime").string()},
                  {"HOME", root_.string()},
                  {"PULSE_SERVER", "unix:" + (root_ / "runtime" / "pulse" / "native").string()}};
        const int started = run_command(
            {"pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "--log-target=stderr",
             "-L", "module-null-sink sink_name=tirvalex rate=44100 format=s16le channels=2", "-L",
             "module-native-protocol-unix"},
            pulse_);
        ASSERT_EQ(started, 0) << "pulseaudio did not start";
        daemon_started_ = true;
    }
    void TearDown() override {
        stop_process(recorder_);
        stop_process(demo_);
        stop_x_server(server_);
        if (daemon_started_) stop_daemon();
        fs::remove_all(root_);
    }

    // pulseaudio -k, then the daemon's own pid from its pid file should it still run.
    void stop_daemon() {
        std::ifstream pid_file(root_ / "runtime" / "pulse" / "pid");
        pid_t pid = 0;
        pid_file >> pid;
        run_command({"pulseaudio", "-k"}, pulse_);
        if (pid > 0 && !poll_until([pid] { return ::kill(pid, 0) != 0; }, 5.0)) {
            ::kill(pid, SIGTERM);
        }
    }

    fs::path root_;
    Environment pulse_;
    bool daemon_started_ = false;
    XServer server_;
    ChildProcess demo_;
    ChildProcess recorder_;
};

TEST_F(SoundServer, TheRecordedSinkHoldsTheSongSampleForSampleAndScene3ComesOnTime) {
    const fs::path recording = root_ / "heard.raw";
    recorder_ = start_process({"sh", "-c",
                               "exec parec -d tirvalex.monitor --format=s16le --rate=44100 "
                               "--channels=2 --raw > '" +
                                   recording.string() + "'"},
                              pulse_);
    ASSERT_GT(recorder_.pid, 0);

    server_ = start_x_server("1024x768x24");
    ASSERT_FALSE(server_.display.empty());
    Environment environment = display_environment(server_);
    environment.insert(environment.end(), pulse_.begin(), pulse_.end());
    environment.push_back({"SDL_AUDIODRIVER", "pulseaudio"});
    environment.push_back({"LIBGL_ALWAYS_SOFTWARE", "1"});
    demo_ = start_process({demo_binary()}, environment);
    ASSERT_GT(demo_.pid, 0);

    XWindow question, window;
    ASSERT_TRUE(wait_for_window(server_, start_up_caption, &question)) << process_log(demo_);
    ASSERT_TRUE(answer_second_button(server_, question));  // a plain window
    ASSERT_TRUE(wait_for_window(server_, first_title, &window)) << process_log(demo_);

    // Screenshots, each with the recording's length just before it, until 20 s of song after
    // the first sound are recorded.
    struct Snapshot {
        uint64_t bytes;
        bool scene_3;
    };
    std::vector<Snapshot> snapshots;
    std::vector<uint8_t> rgb;
    size_t first_heard = 0;
    const bool recorded = poll_until(
        [&] {
            const uint64_t bytes = file_length(recording);
            if (read_screen_pixels(server_.display, window.x, window.y, window.width, window.height,
                                   &rgb)) {
                snapshots.push_back({bytes, shows_scene_3(rgb)});
            }
            if (first_heard == 0) {
                const std::vector<int16_t> so_far = read_samples(recording, 0);
                const size_t first = first_sounding_frame(so_far);
                if (first < so_far.size() / 2) first_heard = first;
            }
            return first_heard > 0 &&
                   bytes / frame_bytes > first_heard + size_t(recorded_seconds * rate);
        },
        e2e_wait_seconds);
    ASSERT_TRUE(recorded) << file_length(recording) << " bytes recorded, first sound at frame "
                          << first_heard << "; recorder log:\n"
                          << process_log(recorder_) << "\ndemo log:\n"
                          << process_log(demo_);
    ASSERT_TRUE(tap_key(server_, window, "Escape"));
    ASSERT_TRUE(wait_for_process(demo_, e2e_wait_seconds));
    EXPECT_EQ(demo_.exit_code, 0);
    stop_process(recorder_);

    // The recording against the offline render, after the silence before the first sound.
    const std::vector<int16_t> heard = read_samples(recording, 0);
    const fs::path render_file = root_ / "render.wav";
    const std::string render = std::string(TIRVALEX_BINARY_DIR) + "/xm_render --seconds 25 " +
                               "--embedded '" + render_file.string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(render.c_str()), 0);
    const std::vector<int16_t> rendered = read_samples(render_file, wav_header_bytes);
    const size_t first_rendered = first_sounding_frame(rendered);
    ASSERT_GE(first_heard, first_rendered);
    const size_t offset = first_heard - first_rendered;
    const size_t compared = size_t(compared_seconds * rate) * 2;
    ASSERT_GE(heard.size(), offset * 2 + compared);
    ASSERT_GE(rendered.size(), compared);
    size_t differing = 0, first_difference = 0;
    for (size_t i = 0; i < compared; ++i) {
        if (heard[offset * 2 + i] == rendered[i]) continue;
        if (differing++ == 0) first_difference = i / 2;
    }
    EXPECT_EQ(differing, 0u) << "the first difference at song frame " << first_difference << " ("
                             << double(first_difference) / rate << " s)";

    // Scene 3 on screen no earlier than the song clock heard allows, and no later.
    uint64_t frames_per_block = 1;
    const std::vector<uint32_t> clock = song_clock_by_block(heard.size() / 2, &frames_per_block);
    ASSERT_FALSE(clock.empty());
    const auto song_ms_at = [&](uint64_t bytes) {
        const uint64_t frames = bytes / frame_bytes;
        const size_t block = frames > offset ? size_t((frames - offset) / frames_per_block) : 0;
        return clock[std::min(block, clock.size() - 1)];
    };
    const auto first_purple = std::find_if(snapshots.begin(), snapshots.end(),
                                           [](const Snapshot& s) { return s.scene_3; });
    ASSERT_NE(first_purple, snapshots.end()) << "scene 3 never came";
    // Not before the clock heard reached 13.7 s (less the recording's lag), and the last other
    // frame no later than a frame drawn before then can still be on screen.
    EXPECT_GE(song_ms_at(first_purple->bytes) + heard_lag_ms, scene_3_starts_ms);
    if (first_purple != snapshots.begin()) {
        EXPECT_LE(song_ms_at(std::prev(first_purple)->bytes),
                  scene_3_starts_ms + drawn_lead_ms + heard_lag_ms);
    }
    std::printf(
        "sound server: %.2f s recorded, %.3f s before the first sound, scene 3 first "
        "seen at %.2f s of song heard\n",
        double(heard.size() / 2) / rate, double(offset) / rate,
        song_ms_at(first_purple->bytes) / 1000.0);
}

}  // namespace
