// The show's sound through a sound server, as a desktop plays it: a PulseAudio daemon of the
// test's own (private runtime directory, one null sink at 44100 Hz, 16-bit stereo), the demo on
// SDL's pulseaudio backend, and parec recording the sink's monitor. From the song's first frame
// on, the recording must equal the player's own mix of the embedded song, sample for sample,
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
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/support/x_test.h"
#include "tests/support/song_mix.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t rate = 44100, compared_frames = 15 * rate;
// The embedded song keeps 882-frame ticks, and the clock adds 19 ms a tick (20 ms truncated
// after the single-precision 1/44100): 13.7 s of clock is 13700 * 882 / 19 frames, 14.42 s.
// The sound heard lags the demo's clock by the stream's 500 ms of queue and parec's 100 ms
// fragment (a second allowed); the frame on screen may have been drawn seconds before its
// capture (three allowed).
constexpr size_t scene_3_frame = 13700 * 882 / 19, heard_lag = rate, drawn_lead = 3 * rate;

class SoundServer : public XTest {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "runtime");
        fs::permissions(root_ / "runtime", fs::perms::owner_all);
        ASSERT_EQ(run({"pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "-L",
                       "module-null-sink sink_name=tirvalex rate=44100 format=s16le channels=2 "
                       "norewinds=1",
                       "-L", "module-native-protocol-unix"},
                      pulse_),
                  0);
    }
    void TearDown() override {
        stop(recorder_);
        XTest::TearDown();
        run({"pulseaudio", "-k"}, pulse_);
        fs::remove_all(root_);
    }

    const fs::path root_ =
        fs::temp_directory_path() / ("tirvalex_pulse_" + std::to_string(getpid()));
    const std::vector<std::string> pulse_ = {"XDG_RUNTIME_DIR=" + (root_ / "runtime").string(),
                                             "HOME=" + root_.string()};
    pid_t recorder_ = -1;
};

TEST_F(SoundServer, TheRecordedSinkHoldsTheSongSampleForSampleAndScene3ComesOnTime) {
    const fs::path heard_file = root_ / "heard.raw";
    const std::vector<int16_t> rendered = mix_embedded_song(compared_frames).pcm;

    std::ofstream{heard_file};  // there before parec writes to it
    recorder_ = spawn({"sh", "-c",
                       "exec parec -d tirvalex.monitor --format=s16le --rate=44100 --channels=2 "
                       "--latency-msec=100 --raw > '" +
                           heard_file.string() + "'"},
                      pulse_);
    start_x("1024x768x24");
    std::vector<std::string> settings = pulse_;
    settings.insert(settings.end(), {"SDL_AUDIODRIVER=pulseaudio", "PULSE_LATENCY_MSEC=500"});
    start_demo(settings);
    // No, a plain window: the box centres its two equal buttons, the second starts a few pixels
    // right of the centre, a fixed margin above the bottom.
    const ScreenWindow question = wait_for("HEJD");
    xdotool("mousemove " + std::to_string(question.x + question.width / 2 + 40) + " " +
            std::to_string(question.y + question.height - 28) + " click 1");
    const ScreenWindow window = wait_for("Tirvalex3");

    // Screenshots, each after reading how many frames are recorded, until scene 3 has come and 4 s
    // more are recorded: the count at the first shot of scene 3 and at the last shot before it.
    size_t purple = 0, before = 0;
    ASSERT_TRUE(poll_until(
        [&] {
            const size_t frames = size_t(fs::file_size(heard_file)) / 4;
            if (purple == 0)
                (scene_of(pixels(window.x, window.y, 640, 480)) == 3 ? purple : before) = frames;
            return purple > 0 && frames > purple + 4 * rate;
        },
        120))
        << "scene 3 never came\n"
        << demo_log();
    tap(window, "Escape");
    ASSERT_TRUE(demo_ends());
    EXPECT_EQ(demo_exit(), 0);
    stop(recorder_);

    // Where the song's opening second (from its silent frame 0) lies in the recording.
    std::vector<int16_t> heard(fs::file_size(heard_file) / 4 * 2);  // 16-bit stereo frames
    std::ifstream(heard_file, std::ios::binary)
        .read(reinterpret_cast<char*>(heard.data()), std::streamsize(heard.size() * 2));
    const auto found =
        std::search(heard.begin(), heard.end(), rendered.begin(), rendered.begin() + 2 * rate);
    ASSERT_TRUE(found != heard.end() && (found - heard.begin()) % 2 == 0)
        << "the song's opening is not recorded";
    const size_t song_start = size_t(found - heard.begin()) / 2;

    // Scene 3 on screen not before the sound heard reached 13.7 s of clock, less its lag behind
    // the demo's clock; the last other frame no later than one drawn before then.
    const size_t purple_heard = purple - std::min(purple, song_start);
    EXPECT_GE(purple_heard + heard_lag, scene_3_frame);
    EXPECT_LE(before - std::min(before, song_start), scene_3_frame + drawn_lead);

    // Every sample of the first 15 s.
    ASSERT_GE(heard.size() / 2, song_start + compared_frames);
    const auto differs = std::mismatch(rendered.begin(), rendered.end(), found);
    EXPECT_EQ(differs.first, rendered.end())
        << "first difference at song frame " << (differs.first - rendered.begin()) / 2;
    std::printf(
        "sound server: the song from %.3f s of the recording, scene 3 first seen at %.2f s of it\n",
        double(song_start) / rate, double(purple_heard) / rate);
}

}  // namespace
