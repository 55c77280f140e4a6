// The show's sound through a sound server, as a desktop plays it while a build runs: a
// PulseAudio daemon of the test's own (private runtime directory, one null sink at 44100 Hz,
// 16-bit stereo), the demo with nothing about sound in its environment, compilers in a loop
// beside it (two per core), and the sink's monitor recorded through the server's client
// library. Over the first 25 s of the song:
// - no dropout: no run of 64 or more silent frames after the song's first sound;
// - the sound: from the song's frame 0 the recording is the player's own mix of the embedded
//   song (what `xm_render --embedded` writes), sample for sample;
// - the picture in step: the song time a frame uses is the song time the sink plays at that
//   moment, within 20 ms (one block), for 49 frames in 50 at least. The thread that moves the
//   clock runs at real-time priority, yet on a shared two-core machine it is now and then held
//   up for longer than a block (up to 100 ms seen, in about one run of four), and a frame drawn
//   meanwhile falls behind.
//
// How the last is measured, all on the steady clock, which the server's timing also runs on:
// - The sink. The recording stream's time, as the client library interpolates the server's
//   timing reports, is the recorded frame the sink plays now (the monitor gets each frame when
//   the sink renders it, ahead of playing it, and the report takes that lead off). Each read of
//   the recording pairs it with the moment, which dates the recording's frame 0; the null sink
//   plays at exactly 44100 frames a second, so the median of those dates places every frame.
// - The frames. The demo writes the song time a frame uses into `song_seconds` as the frame
//   begins. The test reads that variable from the demo's memory, as a debugger does (its
//   address from the program's symbols and the demo's memory map), every millisecond; a new
//   value is a new frame taking its time, dated by the read that sees it, and kept when the
//   read before it came at most 3 ms earlier.
// - The song time the sink plays: its frame from the song's frame 0, in blocks of the ring,
//   and the clock of that block in the player's own mix.
// The test prints the queue the server granted the demo (the lines pactl lists for it), the
// gaps and the offsets. A sink that rewinds, when a stream starts or recovers, re-renders audio
// its monitor has already recorded, so the null sink is loaded with norewinds=1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/support/demo_fixture.h"
#include "tests/support/song_mix.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t rate = 44100, song_frames = 25 * rate, gap_frames = 64;
// A build: compilers in a loop, two per core, started from one shell as make starts them.
constexpr const char* build_loop =
    "for i in $(seq $((2 * $(nproc)))); do while :; do c++ -std=c++20 -O2 -I" TIRVALEX_SOURCE_DIR
    " -c " TIRVALEX_SOURCE_DIR "/player/mixer.cpp -o /dev/null; done & done; wait";

// The sink's monitor, recorded on a main loop of the client library once the server has taken
// the connection; each read also dates the recording's frame 0 at the sink.
struct Recording {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(loop), "recorder");
    pa_stream* stream = nullptr;
    std::vector<int16_t> pcm;        // 16-bit stereo, left first
    std::vector<double> frame_0_at;  // seconds on the steady clock, one per read
    ~Recording() {
        pa_threaded_mainloop_stop(loop);
        if (stream != nullptr) pa_stream_unref(stream);
        pa_context_unref(context);
        pa_threaded_mainloop_free(loop);
    }
};

void take_recorded(pa_stream* stream, size_t, void* user) {
    Recording& recording = *static_cast<Recording*>(user);
    const void* data;
    size_t bytes;
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        const auto* samples = static_cast<const int16_t*>(data);
        if (data == nullptr)
            recording.pcm.insert(recording.pcm.end(), bytes / 2, 0);  // a hole
        else
            recording.pcm.insert(recording.pcm.end(), samples, samples + bytes / 2);
        pa_stream_drop(stream);
    }
    pa_usec_t played = 0;
    if (pa_stream_get_time(stream, &played) == 0)
        recording.frame_0_at.push_back(monotonic_seconds() - double(played) / 1e6);
}

void record_when_connected(pa_context* context, void* user) {
    if (pa_context_get_state(context) != PA_CONTEXT_READY) return;
    Recording& recording = *static_cast<Recording*>(user);
    const pa_sample_spec format = {PA_SAMPLE_S16LE, uint32_t(rate), 2};
    recording.stream = pa_stream_new(context, "monitor", &format, nullptr);
    pa_stream_set_read_callback(recording.stream, take_recorded, &recording);
    const pa_buffer_attr fragments = {uint32_t(-1), 0, 0, 0, uint32_t(441 * 4)};  // 10 ms
    pa_stream_connect_record(
        recording.stream, "tirvalex.monitor", &fragments,
        pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE));
}

// Where the demo keeps `song_seconds`: the program's load address (its first mapping) plus the
// variable's place in the program's symbol table; 0 when the symbol is not there.
uint64_t song_seconds_address(pid_t demo) {
    std::ifstream maps("/proc/" + std::to_string(demo) + "/maps");
    uint64_t load = 0;
    maps >> std::hex >> load;
    const std::string symbol =
        run_command({"sh", "-c", "nm " TIRVALEX_BINARY_DIR "/tirvalex3 | grep ' song_seconds$'"})
            .output;
    if (symbol.empty()) return 0;
    return load + std::stoull(symbol, nullptr, 16);
}

class SoundServer : public DemoTest {
protected:
    void SetUp() override {
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        ASSERT_EQ(
            run_command({"pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "-L",
                         "module-null-sink sink_name=tirvalex rate=44100 format=s16le channels=2 "
                         "norewinds=1",
                         "-L", "module-native-protocol-unix"},
                        pulse_)
                .exit_code,
            0);
    }
    void TearDown() override {
        if (build_.pid > 0) kill(-build_.pid, SIGKILL);  // the shell, its loops and their compilers
        stop_process(build_);
        DemoTest::TearDown();
        run_command({"pulseaudio", "-k"}, pulse_);
        // The daemon removes its own files as it exits, so its folder goes once it has.
        poll_until([&] { return run_command({"pulseaudio", "--check"}, pulse_).exit_code != 0; });
        fs::remove_all(root_);
    }

    const fs::path root_ =
        fs::temp_directory_path() / ("tirvalex_pulse_" + std::to_string(getpid()));
    const fs::path runtime_ = root_ / "runtime";
    const Environment pulse_ = {"XDG_RUNTIME_DIR=" + runtime_.string(), "HOME=" + root_.string()};
    const std::string server_ = "unix:" + (runtime_ / "pulse" / "native").string();
    ChildProcess build_;
};

TEST_F(SoundServer, BesideABuildTheSongPlaysWholeAndThePictureInStepWithIt) {
    build_ = start_process({"setsid", "sh", "-c", build_loop});
    Recording recording;
    pa_context_set_state_callback(recording.context, record_when_connected, &recording);
    pa_context_connect(recording.context, server_.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr);
    pa_threaded_mainloop_start(recording.loop);
    start_x("640x480x24");
    start_demo(pulse_);
    tap(wait_for("HEJD"), "Return");  // Yes: full screen, the whole 640x480 screen
    wait_for("Tirvalex3");

    const uint64_t address = song_seconds_address(demo_.pid);
    ASSERT_NE(address, 0u) << "no song_seconds in the program's symbols";
    const int memory = open(("/proc/" + std::to_string(demo_.pid) + "/mem").c_str(), O_RDONLY);
    std::vector<std::pair<double, uint32_t>> frames;  // steady clock (s), song time the frame uses
    float seconds = 0;
    float last_seconds = -1;
    for (double last_read = 0, end = monotonic_seconds() + 120;
         seconds < 25.5f && monotonic_seconds() < end;) {
        sleep_milliseconds(1);
        ASSERT_EQ(pread(memory, &seconds, sizeof seconds, off_t(address)), 4);
        const double read_at = monotonic_seconds();
        if (seconds != last_seconds && read_at - last_read <= 0.003)
            frames.push_back({read_at, uint32_t(std::lround(seconds * 1000))});
        if (seconds > 10 && last_seconds <= 10)  // the queue the server granted the demo
            std::system(("pactl -s " + server_ + " list sink-inputs | grep Latency").c_str());
        last_seconds = seconds;
        last_read = read_at;
    }
    close(memory);
    sleep_milliseconds(1000);
    pa_threaded_mainloop_stop(recording.loop);
    tap(wait_for("Tirvalex3"), "Escape");
    ASSERT_TRUE(demo_ends());

    // The song's frame 0 in the recording: its first sound, less the mix's silent opening.
    const SongMix mix = mix_embedded_song(song_frames);
    const std::vector<int16_t>& recorded = recording.pcm;
    const size_t song_start = first_sound(recorded) - first_sound(mix.pcm);
    ASSERT_GE(recorded.size() / 2, song_start + song_frames) << "no 25 s of the song recorded";

    // Silent runs of 64 frames or more from the first sound on.
    size_t gaps = 0;
    size_t first_gap = 0;
    for (size_t frame = first_sound(recorded), run = 0; frame < song_start + song_frames; ++frame) {
        run = recorded[2 * frame] == 0 && recorded[2 * frame + 1] == 0 ? run + 1 : 0;
        if (run == gap_frames && gaps++ == 0) first_gap = frame + 1 - gap_frames - song_start;
    }
    EXPECT_EQ(gaps, 0u) << "silent gaps, the first at song frame " << first_gap;
    const auto differs = std::mismatch(mix.pcm.begin(), mix.pcm.begin() + 2 * song_frames,
                                       recorded.begin() + long(2 * song_start));
    EXPECT_EQ(differs.first, mix.pcm.begin() + 2 * song_frames)
        << "first difference at song frame " << (differs.first - mix.pcm.begin()) / 2;

    // Each frame's song time against the clock of the block the sink played then.
    std::vector<double>& dates = recording.frame_0_at;
    ASSERT_FALSE(dates.empty()) << "the server gave no timing";
    std::ranges::sort(dates);
    const double frame_0_at = dates[dates.size() / 2];
    const size_t block_frames = mix.pcm.size() / 2 / mix.clock_ms.size();
    std::vector<long> offsets;
    for (const auto& [at, ms] : frames) {
        const double song_frame = (at - frame_0_at) * rate - double(song_start);
        if (song_frame >= 0 && song_frame < double(gaps == 0 ? song_frames : first_gap))
            offsets.push_back(long(ms) - long(mix.clock_ms[size_t(song_frame) / block_frames]));
    }
    ASSERT_GE(offsets.size(), 100u) << "too few frames seen";
    std::ranges::sort(offsets);
    const auto out_of_step =
        std::ranges::count_if(offsets, [](long ms) { return std::abs(ms) > 20; });
    EXPECT_LE(out_of_step * 50, long(offsets.size())) << "frames out of step: " << out_of_step;
    std::printf(
        "sound server: %zu silent gaps; %zu frames, the picture ahead of the sound by "
        "%ld ms at the median, %ld to %ld ms\n",
        gaps, offsets.size(), offsets[offsets.size() / 2], offsets.front(), offsets.back());
}

}  // namespace
