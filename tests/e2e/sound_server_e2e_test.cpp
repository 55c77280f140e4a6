// The show's sound through a sound server, as a desktop plays it: a PulseAudio daemon of the
// test's own (private runtime directory, one null sink at 44100 Hz, 16-bit stereo), the demo on
// SDL's pulseaudio backend, and parec recording the sink's monitor. From the song's first frame
// on, the recording must equal what xm_render writes for the embedded song, sample for sample,
// for the first 15 s; and scene 3 must come on screen when the sound heard says the song clock
// passed 13.7 s.
//
// Two settings of the server keep the recording whole; neither touches the audio itself:
// - The demo hands SDL 512 frames a call, and SDL asks the server to keep just that much queued
//   (about 12 ms). On two busy cores the demo or the daemon is sometimes late by more; the
//   server then plays silence and drops the late frames. The server's latency setting for the
//   demo's stream (PULSE_LATENCY_MSEC) gives it 500 ms of slack instead.
// - A sink that rewinds, when a stream starts or recovers, re-renders audio its monitor has
//   already recorded, so the recording loses that stretch (up to 0.8 s of the song's opening).
//   The null sink is loaded with norewinds=1.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

constexpr size_t rate = 44100, compared_frames = 15 * rate, recorded_frames = 20 * rate;
constexpr size_t frames_per_block = 884;  // 20 ms of frames rounded up to a multiple of 4
constexpr uint32_t scene_3_ms = 13700;
// The demo's clock runs ahead of the sound heard by the stream's 500 ms of queue and parec's
// 100 ms of fragment; the frame on screen may have been drawn seconds before the capture.
constexpr uint32_t heard_lag_ms = 1000, drawn_lead_ms = 3000;

std::vector<int16_t> read_samples(const fs::path& path, size_t skip_bytes = 0) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    std::vector<int16_t> samples(bytes.size() > skip_bytes ? (bytes.size() - skip_bytes) / 4 * 2
                                                           : 0);
    for (size_t i = 0; i < samples.size(); ++i)  // little-endian
        samples[i] = int16_t(uint8_t(bytes[skip_bytes + 2 * i]) |
                             uint8_t(bytes[skip_bytes + 2 * i + 1]) << 8);
    return samples;
}

// The song clock at the end of each ring block of the embedded song from its start: the
// player's own block filler, run offline as the demo fills its ring.
std::vector<uint32_t> song_clock_by_block(size_t blocks) {
    std::vector<uint32_t> block_ms;
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(int32_t(rate));
    engine_reset();
    XmModule* module = module_load(nullptr, nullptr);
    if (module == nullptr) return block_ms;
    ring_allocate();
    reset_song_state(module);
    for (write_block = 0; block_ms.size() < blocks;) {
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
        fs::remove_all(root_);
        fs::create_directories(root_ / "runtime");
        fs::permissions(root_ / "runtime", fs::perms::owner_all);
        ASSERT_EQ(run_command({"pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "-L",
                               "module-null-sink sink_name=tirvalex rate=44100 format=s16le "
                               "channels=2 norewinds=1",
                               "-L", "module-native-protocol-unix"},
                              pulse_),
                  0);
    }
    void TearDown() override {
        stop_process(recorder_);
        stop_process(demo_);
        stop_x_server(server_);
        run_command({"pulseaudio", "-k"}, pulse_);
        fs::remove_all(root_);
    }

    const fs::path root_ =
        fs::temp_directory_path() / ("tirvalex_pulse_" + std::to_string(::getpid()));
    const Environment pulse_ = {{"XDG_RUNTIME_DIR", (root_ / "runtime").string()},
                                {"HOME", root_.string()}};
    XServer server_;
    ChildProcess demo_, recorder_;
};

TEST_F(SoundServer, TheRecordedSinkHoldsTheSongSampleForSampleAndScene3ComesOnTime) {
    const fs::path heard_file = root_ / "heard.raw", render_file = root_ / "render.wav";
    ASSERT_EQ(
        std::system((std::string(TIRVALEX_BINARY_DIR) + "/xm_render --seconds 25 --embedded '" +
                     render_file.string() + "' > /dev/null")
                        .c_str()),
        0);
    const std::vector<int16_t> rendered = read_samples(render_file, 44);
    ASSERT_GE(rendered.size(), 2 * compared_frames);

    std::ofstream{heard_file};  // there before parec writes to it
    recorder_ =
        start_process({"sh", "-c",
                       "exec parec -d tirvalex.monitor --format=s16le --rate=44100 --channels=2 "
                       "--latency-msec=100 --raw > '" +
                           heard_file.string() + "'"},
                      pulse_);
    server_ = start_x_server("1024x768x24");
    Environment environment = display_environment(server_);
    environment.insert(environment.end(), pulse_.begin(), pulse_.end());
    environment.insert(environment.end(), {{"SDL_AUDIODRIVER", "pulseaudio"},
                                           {"PULSE_LATENCY_MSEC", "500"},
                                           {"LIBGL_ALWAYS_SOFTWARE", "1"}});
    demo_ = start_process({demo_binary()}, environment);
    XWindow question, window;
    ASSERT_TRUE(wait_for_window(server_, start_up_caption, &question)) << process_log(demo_);
    ASSERT_TRUE(answer_second_button(server_, question));  // a plain window
    ASSERT_TRUE(wait_for_window(server_, first_title, &window)) << process_log(demo_);

    // Screenshots, each with the frames recorded just before it, until the recording holds
    // 20 s after the first sound.
    std::vector<std::pair<size_t, bool>> snapshots;  // (frames recorded, scene 3 on screen)
    std::vector<uint8_t> rgb;
    size_t first_sound = SIZE_MAX;
    ASSERT_TRUE(poll_until(
        [&] {
            const size_t frames = size_t(fs::file_size(heard_file)) / 4;
            if (read_screen_pixels(server_.display, window.x, window.y, window.width, window.height,
                                   &rgb))
                snapshots.push_back({frames, shows_scene_3(rgb)});
            if (first_sound == SIZE_MAX) {
                const std::vector<int16_t> so_far = read_samples(heard_file);
                const auto s =
                    std::find_if(so_far.begin(), so_far.end(), [](int16_t s) { return s; });
                if (s != so_far.end()) first_sound = size_t(s - so_far.begin()) / 2;
            }
            return first_sound != SIZE_MAX && frames > first_sound + recorded_frames;
        },
        e2e_wait_seconds))
        << process_log(recorder_) << process_log(demo_);
    ASSERT_TRUE(tap_key(server_, window, "Escape"));
    ASSERT_TRUE(wait_for_process(demo_, e2e_wait_seconds));
    EXPECT_EQ(demo_.exit_code, 0);
    stop_process(recorder_);

    // Where the song's opening second (from its silent frame 0) lies in the recording, then
    // every sample from there on.
    const std::vector<int16_t> heard = read_samples(heard_file);
    const auto found =
        std::search(heard.begin(), heard.end(), rendered.begin(), rendered.begin() + 2 * rate);
    ASSERT_TRUE(found != heard.end() && (found - heard.begin()) % 2 == 0)
        << "the song's opening is not in the recording";
    const size_t offset = size_t(found - heard.begin()) / 2;  // frame of song frame 0
    ASSERT_GE(heard.size() / 2, offset + compared_frames);
    size_t differing = 0, first_difference = 0;
    for (size_t i = 0; i < 2 * compared_frames; ++i)
        if (found[i] != rendered[i] && differing++ == 0) first_difference = i / 2;
    EXPECT_EQ(differing, 0u) << "first difference at song frame " << first_difference;

    // Scene 3 on screen not before the clock heard reached 13.7 s, less the lag of the sound
    // behind the demo's clock; the last other frame no later than one drawn before then.
    const std::vector<uint32_t> clock =
        song_clock_by_block(heard.size() / 2 / frames_per_block + 1);
    const auto song_ms_at = [&](size_t frames) {
        return clock[frames > offset ? (frames - offset) / frames_per_block : 0];
    };
    const auto purple =
        std::find_if(snapshots.begin(), snapshots.end(), [](auto& s) { return s.second; });
    ASSERT_NE(purple, snapshots.end()) << "scene 3 never came";
    EXPECT_GE(song_ms_at(purple->first) + heard_lag_ms, scene_3_ms);
    const size_t before = purple == snapshots.begin() ? 0 : std::prev(purple)->first;
    EXPECT_LE(song_ms_at(before), scene_3_ms + drawn_lead_ms);
    std::printf(
        "sound server: song from %.3f s of the recording, scene 3 first seen at %.2f s of song "
        "heard\n",
        double(offset) / rate, song_ms_at(purple->first) / 1000.0);
}

}  // namespace
