// show_record: records the show to a video file with its own sound, frame-exact.
//
//   show_record OUT [--fps N] [--size WxH] [--from S] [--seconds S]
//
// Frame k is the frame a live run presents at wall time t = k / fps from the start of playback:
// the device is then playing block floor(t x 44100 / 884) of the playback, the ring has been
// refilled behind it as the output thread refills it, and the timeline and the scenes draw with
// the clock of that block, frame after frame from the first, so every scene carries its state
// across frames as on screen. The show ends as the program ends it: the first frame whose clock
// is past its end is not presented, and the video stops before it. The sound is the ring's
// audio as the device plays it, from the first sample on.
//
// The container follows OUT's extension: .mkv (H.264 at near-lossless quality and FLAC, the
// same bytes for the same command), .mp4 (H.264 and AAC), .webm (VP9 and Opus), .webp (an
// animated picture without sound, for previews). Drawing needs no display: an offscreen
// context of Mesa's EGL. Encoding runs on its own thread beside the drawing.
//
// Exit status: 0 done, 1 a failure to draw or to write, 2 bad usage.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/offscreen_context.h"
#include "app/renderer.h"
#include "player/session.h"
#include "scenes/scenes.h"
#include "tools/command_line.h"
#include "tools/offline_show.h"
#include "tools/video_encoder.h"

namespace {

constexpr int show_width = 640;  // the show is drawn at the program's window size
constexpr int show_height = 480;
constexpr int audio_channels = 2;

const Usage usage = {
    "show_record",
    "usage: show_record OUT [--fps N] [--size WxH] [--from S] [--seconds S]\n"
    "Records the show with its sound, each frame as a live run presents it at its time.\n"
    "  OUT          .mkv (H.264 near-lossless, FLAC), .mp4 (H.264, AAC), .webm (VP9, Opus)\n"
    "               or .webp (animated, no sound)\n"
    "  --fps N      frames per second, 1 to 240 (default 60)\n"
    "  --size WxH   picture size, even numbers from 16 to 4096 (default 640x480); the 4:3\n"
    "               picture is scaled to fit and centred on black\n"
    "  --from S     start the video S seconds into the show (default 0)\n"
    "  --seconds S  record at most S seconds (default: to the end of the show)\n"
    "  --help       show this text\n"};

struct Options {
    std::string output;
    int fps = 60;
    int width = show_width;
    int height = show_height;
    double from_seconds = 0;
    double seconds = 0;  // 0: to the end
};

// A picture size WxH: each side a whole number from 16 to 4096, and even.
bool parse_size(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    long w = 0;
    long h = 0;
    if (x == std::string::npos || !parse_whole_number(text.substr(0, x), 16, 4096, w) ||
        !parse_whole_number(text.substr(x + 1), 16, 4096, h) || w % 2 != 0 || h % 2 != 0)
        return false;
    width = int(w);
    height = int(h);
    return true;
}

Options parse_options(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (asks_for_help(argument)) {
            print_usage(usage);
        } else if (argument == "--fps") {
            const std::string value = option_value(usage, argc, argv, i);
            options.fps = int(whole_number_option(usage, argument, value, 1, 240));
        } else if (argument == "--size") {
            const std::string value = option_value(usage, argc, argv, i);
            if (!parse_size(value, options.width, options.height))
                fail_usage(usage, "--size takes WxH, even numbers from 16 to 4096");
        } else if (argument == "--from") {
            const std::string value = option_value(usage, argc, argv, i);
            options.from_seconds = seconds_option(usage, argument, value, false);
        } else if (argument == "--seconds") {
            const std::string value = option_value(usage, argc, argv, i);
            options.seconds = seconds_option(usage, argument, value, true);
        } else if (argument.size() > 1 && argument[0] == '-') {
            fail_usage(usage, "unknown option " + argument);
        } else if (!options.output.empty()) {
            fail_usage(usage, "give one output file");
        } else {
            options.output = argument;
        }
    }
    if (options.output.empty()) fail_usage(usage, "give the output file");
    if (!video_container_known(options.output))
        fail_usage(usage, "the output file must end in .mkv, .mp4, .webm or .webp");
    return options;
}

// The progress line on a terminal: frames done, percent, frames per second and time left.
struct Progress {
    bool shown = isatty(STDERR_FILENO) == 1;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point next = start;

    void update(int64_t done, int64_t total, bool final) {
        if (!shown) return;
        const auto now = std::chrono::steady_clock::now();
        if (!final && now < next) return;
        next = now + std::chrono::milliseconds(200);
        const double elapsed = std::chrono::duration<double>(now - start).count();
        const double rate = elapsed > 0 ? double(done) / elapsed : 0;
        const double fraction = total > 0 ? std::min(1.0, double(done) / double(total)) : 1;
        const int left = rate > 0 ? int((double(total - done) / rate) + 0.5) : 0;
        char bar[31] = {};
        const int filled = int(fraction * 30);
        for (int i = 0; i < 30; ++i)
            bar[i] = i < filled ? '#' : '.';
        std::fprintf(stderr, "\rshow_record [%s] %lld/%lld frames %3d%% %5.1f fps %d:%02d left ",
                     bar, static_cast<long long>(done), static_cast<long long>(total),
                     int(fraction * 100), rate, std::max(left, 0) / 60, std::max(left, 0) % 60);
        if (final) std::fputc('\n', stderr);
    }
};

// The first sample the device plays at frame k's time.
int64_t first_sample_of_frame(int64_t k, int fps) {
    return k * offline_output_rate / fps;
}

// The ring's samples first..end, all in blocks the device plays now or later, which the ring
// still holds: the device is at most a second of blocks into a two-second ring.
void copy_ring_sound(int64_t first, int64_t end, std::vector<int16_t>& pcm) {
    pcm.resize(size_t(end - first) * audio_channels);
    const int64_t block_frames = ring_block_frames();
    for (int64_t sample = first; sample < end; ++sample) {
        const int16_t* block = heard_block_pcm(sample / block_frames);
        const int64_t in_block = sample % block_frames;
        pcm[size_t(sample - first) * 2] = block[in_block * 2];
        pcm[size_t(sample - first) * 2 + 1] = block[in_block * 2 + 1];
    }
}

// Draws the show frame by frame and hands the frames in the requested span to the encoder.
// The number of frames written; -1 when the encoder failed.
int64_t draw_show(const Options& options) {
    const int64_t first_frame = std::llround(options.from_seconds * options.fps);
    // Frames to the end of the show: its song clock runs a little slower than real time, so
    // 79 s of it take about 83 s; the estimate only feeds the progress line.
    const int64_t show_frames = int64_t(83.4 * options.fps);
    const int64_t end_frame =
        options.seconds > 0 ? first_frame + std::llround(options.seconds * options.fps) : INT64_MAX;
    const int64_t expected = std::min(end_frame, show_frames) - first_frame;
    Progress progress;
    int64_t written = 0;
    for (int64_t k = 0; k < end_frame; ++k) {
        const int64_t sample = first_sample_of_frame(k, options.fps);
        play_offline_until(sample / ring_block_frames());
        if (!render_frame()) break;  // past the end: this frame is not presented
        finish_offscreen_frame();
        if (k < first_frame) continue;
        std::vector<uint8_t> rgba = video_frame_buffer();
        read_offscreen_frame(rgba.data());
        std::vector<int16_t> pcm;
        copy_ring_sound(sample, first_sample_of_frame(k + 1, options.fps), pcm);
        if (!add_video_frame(std::move(rgba), std::move(pcm))) return -1;
        ++written;
        progress.update(written, expected, false);
    }
    progress.update(written, written, true);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    // One rasterising thread beside the drawing thread: the encoder thread keeps the other
    // core busy, and a second rasterising thread only adds waiting (the picture is the same
    // with any number). A value set by the caller is kept.
    setenv("LP_NUM_THREADS", "1", 0);
    // The software renderer takes and frees large buffers for every text it draws. Left to its
    // defaults the C library hands that memory back to the system each time and takes it again
    // page by page; a third of the recorder's system time went to those page faults.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 64 << 20);

    VideoSettings video;
    video.path = options.output;
    video.fps = options.fps;
    video.width = options.width;
    video.height = options.height;
    video.frame_width = show_width;
    video.frame_height = show_height;
    video.sample_rate = offline_output_rate;
    if (!open_video(video)) {
        std::fprintf(stderr, "show_record: %s\n", video_failure().c_str());
        close_video(false);
        return exit_failure;
    }
    const char* failure = nullptr;
    if (!open_offscreen_context(show_width, show_height, failure)) {
        std::fprintf(stderr, "show_record: %s\n", failure);
        close_video(false);
        return exit_failure;
    }
    setup_scene_state();
    if (!start_offline_show()) {
        std::fprintf(stderr, "show_record: cannot load the embedded song\n");
        close_video(false);
        return exit_failure;
    }

    const int64_t written = draw_show(options);
    const bool whole = close_video(written >= 0);
    close_offscreen_context();
    if (written < 0 || !whole) {
        std::fprintf(stderr, "show_record: %s\n", video_failure().c_str());
        return exit_failure;
    }
    if (written == 0) {
        std::fprintf(stderr, "show_record: the show ends before %.3f s; nothing recorded\n",
                     options.from_seconds);
        return exit_failure;
    }
    return exit_done;
}
