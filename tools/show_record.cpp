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
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/offscreen_context.h"
#include "app/renderer.h"
#include "player/ring.h"
#include "scenes/scenes.h"
#include "tools/command_line.h"
#include "tools/offline_show.h"

namespace {

constexpr int show_width = 640;  // the show is drawn at the program's window size
constexpr int show_height = 480;
constexpr int audio_channels = 2;
constexpr size_t frames_in_flight = 6;  // drawn frames waiting for the encoder at most

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

// What each container holds and how it is encoded.
struct Container {
    const char* extension;
    const char* format;
    const char* video_codec;
    const char* audio_codec;  // null: no sound
    AVPixelFormat pixel_format;
    // Encoder options, "key=value" pairs for av_dict_parse_string.
    const char* video_options;
    int64_t audio_bit_rate;
};

// H.264 at CRF 16 is visually lossless on the show's flat faces and lines; the "veryfast" preset
// keeps the encoder beside the software renderer on two cores. A fixed thread count keeps the
// bytes the same on any machine.
constexpr Container containers[] = {
    {".mkv", "matroska", "libx264", "flac", AV_PIX_FMT_YUV420P, "preset=veryfast:crf=16:threads=2",
     0},
    {".mp4", "mp4", "libx264", "aac", AV_PIX_FMT_YUV420P, "preset=veryfast:crf=20:threads=2",
     192000},
    {".webm", "webm", "libvpx-vp9", "libopus", AV_PIX_FMT_YUV420P,
     "crf=32:b=0:deadline=realtime:cpu-used=8:row-mt=1:threads=2", 128000},
    {".webp", "webp", "libwebp_anim", nullptr, AV_PIX_FMT_YUV420P, "quality=60:loop=0", 0},
};

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
    return options;
}

const Container* container_of(const std::string& path) {
    for (const Container& container : containers) {
        const size_t length = std::strlen(container.extension);
        if (path.size() > length &&
            path.compare(path.size() - length, length, container.extension) == 0)
            return &container;
    }
    return nullptr;
}

std::string av_reason(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// One drawn frame on its way to the encoder: the picture as read back (bottom row first) and
// the sound the device plays while it is on screen.
struct FrameJob {
    std::vector<uint8_t> rgba;
    std::vector<int16_t> pcm;  // interleaved stereo
    bool last = false;
};

// Drawn frames waiting for the encoder, and the spare picture buffers it hands back.
struct FrameQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<FrameJob> waiting;
    std::vector<std::vector<uint8_t>> spare;
    bool failed = false;  // set by the encoder: the drawing stops

    void push(FrameJob job) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return waiting.size() < frames_in_flight || failed; });
        waiting.push_back(std::move(job));
        changed.notify_all();
    }
    FrameJob pop() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return !waiting.empty(); });
        FrameJob job = std::move(waiting.front());
        waiting.pop_front();
        changed.notify_all();
        return job;
    }
    std::vector<uint8_t> take_buffer() {
        std::lock_guard<std::mutex> hold(lock);
        if (spare.empty()) return std::vector<uint8_t>(size_t(show_width) * show_height * 4);
        std::vector<uint8_t> buffer = std::move(spare.back());
        spare.pop_back();
        return buffer;
    }
    void give_back(std::vector<uint8_t> buffer) {
        std::lock_guard<std::mutex> hold(lock);
        spare.push_back(std::move(buffer));
    }
    void fail() {
        std::lock_guard<std::mutex> hold(lock);
        failed = true;
        changed.notify_all();
    }
    bool has_failed() {
        std::lock_guard<std::mutex> hold(lock);
        return failed;
    }
};

// The output file with its encoders. Every call after open runs on the encoder thread.
struct Recording {
    const Container* container = nullptr;
    const Options* options = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* video_stream = nullptr;
    AVStream* audio_stream = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;  // null when the encoder takes the ring's samples as they are
    AVAudioFifo* fifo = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    size_t left = 0;  // where the scaled picture starts in the frame
    size_t top = 0;
    int64_t video_pts = 0;
    int64_t audio_pts = 0;
    std::string failure;  // why writing stopped, empty while it goes on
    bool file_open = false;
    bool header_written = false;
};

AVCodecContext* open_encoder(Recording& out, const char* name, AVStream*& stream,
                             void (*configure)(Recording&, AVCodecContext*),
                             const char* option_text) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) {
        out.failure = std::string("this FFmpeg has no ") + name + " encoder";
        return nullptr;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    configure(out, context);
    context->flags |= AV_CODEC_FLAG_BITEXACT;
    if (out.format->oformat->flags & AVFMT_GLOBALHEADER)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* settings = nullptr;
    if (option_text != nullptr) av_dict_parse_string(&settings, option_text, "=", ":", 0);
    const int status = avcodec_open2(context, codec, &settings);
    av_dict_free(&settings);
    if (status < 0) {
        out.failure = std::string("cannot open the ") + name + " encoder: " + av_reason(status);
        avcodec_free_context(&context);
        return nullptr;
    }
    stream = avformat_new_stream(out.format, nullptr);
    avcodec_parameters_from_context(stream->codecpar, context);
    stream->time_base = context->time_base;
    return context;
}

void configure_video(Recording& out, AVCodecContext* context) {
    context->width = out.options->width;
    context->height = out.options->height;
    context->pix_fmt = out.container->pixel_format;
    context->time_base = AVRational{1, out.options->fps};
    context->framerate = AVRational{out.options->fps, 1};
    context->sample_aspect_ratio = AVRational{1, 1};
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_SMPTE170M;  // the scaler's matrix
    context->color_primaries = AVCOL_PRI_SMPTE170M;
    context->color_trc = AVCOL_TRC_SMPTE170M;
}

// The ring's rate and stereo layout; the encoder's first sample format, and its rate when it
// cannot take 44100 Hz (then the nearest higher one it lists, or its first).
void configure_audio(Recording&, AVCodecContext* context) {
    const AVCodec* codec = context->codec;
    context->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* format = codec->sample_fmts; format && *format != -1; ++format)
        if (*format == AV_SAMPLE_FMT_S16) context->sample_fmt = AV_SAMPLE_FMT_S16;
    int rate = offline_output_rate;
    if (codec->supported_samplerates != nullptr) {
        rate = codec->supported_samplerates[0];
        for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
            if (*r == offline_output_rate) {
                rate = *r;
                break;
            }
            if (*r > offline_output_rate && (rate < offline_output_rate || *r < rate)) rate = *r;
        }
    }
    context->sample_rate = rate;
    context->time_base = AVRational{1, rate};
    av_channel_layout_default(&context->ch_layout, audio_channels);
}

bool write_packets(Recording& out, AVCodecContext* context, AVStream* stream) {
    for (;;) {
        const int status = avcodec_receive_packet(context, out.packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status < 0) {
            out.failure = "encoding failed: " + av_reason(status);
            return false;
        }
        av_packet_rescale_ts(out.packet, context->time_base, stream->time_base);
        out.packet->stream_index = stream->index;
        const int written = av_interleaved_write_frame(out.format, out.packet);
        if (written < 0) {
            out.failure = "cannot write " + out.options->output + ": " + av_reason(written);
            return false;
        }
    }
}

bool encode(Recording& out, AVCodecContext* context, AVStream* stream, AVFrame* frame) {
    const int status = avcodec_send_frame(context, frame);
    if (status < 0) {
        out.failure = "encoding failed: " + av_reason(status);
        return false;
    }
    return write_packets(out, context, stream);
}

// The file, its streams and encoders, the scaler and the resampler. False with the reason in
// out.failure; `usage` tells a bad request from a failure to write.
bool open_recording(Recording& out, const Options& options, const Container& container) {
    out.options = &options;
    out.container = &container;
    int status = avformat_alloc_output_context2(&out.format, nullptr, container.format,
                                                options.output.c_str());
    if (status < 0 || out.format == nullptr) {
        out.failure = std::string("this FFmpeg cannot write ") + container.format;
        return false;
    }
    out.format->flags |= AVFMT_FLAG_BITEXACT;
    out.video = open_encoder(out, container.video_codec, out.video_stream, configure_video,
                             container.video_options);
    if (out.video == nullptr) return false;
    out.video_stream->avg_frame_rate = AVRational{options.fps, 1};
    out.video_stream->r_frame_rate = AVRational{options.fps, 1};
    if (container.audio_codec != nullptr) {
        out.audio =
            open_encoder(out, container.audio_codec, out.audio_stream, configure_audio, nullptr);
        if (out.audio == nullptr) return false;
        if (out.audio->codec->id != AV_CODEC_ID_FLAC)
            out.audio->bit_rate = container.audio_bit_rate;
        const bool as_is = out.audio->sample_fmt == AV_SAMPLE_FMT_S16 &&
                           out.audio->sample_rate == offline_output_rate;
        if (!as_is) {
            AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
            swr_alloc_set_opts2(&out.resampler, &out.audio->ch_layout, out.audio->sample_fmt,
                                out.audio->sample_rate, &stereo, AV_SAMPLE_FMT_S16,
                                offline_output_rate, 0, nullptr);
            if (out.resampler == nullptr || swr_init(out.resampler) < 0) {
                out.failure = "cannot convert the sound for the audio encoder";
                return false;
            }
        }
        out.fifo = av_audio_fifo_alloc(out.audio->sample_fmt, audio_channels, 4096);
        out.sound = av_frame_alloc();
    }

    // The 4:3 picture at the largest even size that fits, centred.
    const int fit_width = std::min(options.width, options.height * 4 / 3) & ~1;
    const int fit_height = std::min(options.height, options.width * 3 / 4) & ~1;
    const int scale_flags = (fit_width == show_width ? SWS_POINT : SWS_LANCZOS) | SWS_ACCURATE_RND |
                            SWS_FULL_CHR_H_INP | SWS_BITEXACT;
    out.scaler = sws_getContext(show_width, show_height, AV_PIX_FMT_RGBA, fit_width, fit_height,
                                container.pixel_format, scale_flags, nullptr, nullptr, nullptr);
    out.picture = av_frame_alloc();
    out.picture->format = container.pixel_format;
    out.picture->width = options.width;
    out.picture->height = options.height;
    out.packet = av_packet_alloc();
    if (out.scaler == nullptr || av_frame_get_buffer(out.picture, 0) < 0) {
        out.failure = "cannot set up the picture scaler";
        return false;
    }
    // Black borders where the picture does not fill the frame (limited-range black).
    const int chroma_height = (options.height + 1) / 2;
    std::memset(out.picture->data[0], 16, size_t(out.picture->linesize[0]) * options.height);
    std::memset(out.picture->data[1], 128, size_t(out.picture->linesize[1]) * chroma_height);
    std::memset(out.picture->data[2], 128, size_t(out.picture->linesize[2]) * chroma_height);
    out.left = size_t((options.width - fit_width) / 2 & ~1);
    out.top = size_t((options.height - fit_height) / 2 & ~1);

    status = avio_open(&out.format->pb, options.output.c_str(), AVIO_FLAG_WRITE);
    if (status < 0) {
        out.failure = "cannot write " + options.output + ": " + av_reason(status);
        return false;
    }
    out.file_open = true;
    av_dict_set(&out.format->metadata, "title", "Tirvalex3", 0);
    status = avformat_write_header(out.format, nullptr);
    if (status < 0) {
        out.failure = "cannot write " + options.output + ": " + av_reason(status);
        return false;
    }
    out.header_written = true;
    return true;
}

// Scales a frame as read back (bottom row first) into the picture and encodes it.
bool encode_picture(Recording& out, const uint8_t* rgba) {
    if (av_frame_make_writable(out.picture) < 0) {
        out.failure = "out of memory";
        return false;
    }
    const int row_bytes = show_width * 4;
    const uint8_t* top_row[1] = {rgba + size_t(show_height - 1) * row_bytes};
    const int stride[1] = {-row_bytes};
    uint8_t* target[3];
    const size_t left = out.left;
    const size_t top = out.top;
    for (int plane = 0; plane < 3; ++plane) {
        const size_t shift = plane == 0 ? 0 : 1;
        target[plane] = out.picture->data[plane] +
                        (top >> shift) * size_t(out.picture->linesize[plane]) + (left >> shift);
    }
    sws_scale(out.scaler, top_row, stride, 0, show_height, target, out.picture->linesize);
    out.picture->pts = out.video_pts++;
    return encode(out, out.video, out.video_stream, out.picture);
}

// Sends whole encoder frames from the sound gathered so far; at the end, the rest as a shorter
// last frame.
bool drain_sound(Recording& out, bool at_end) {
    const int frame_size = out.audio->frame_size > 0 ? out.audio->frame_size : 4096;
    while (av_audio_fifo_size(out.fifo) >= frame_size ||
           (at_end && av_audio_fifo_size(out.fifo) > 0)) {
        av_frame_unref(out.sound);
        out.sound->nb_samples = std::min(frame_size, av_audio_fifo_size(out.fifo));
        out.sound->format = out.audio->sample_fmt;
        out.sound->sample_rate = out.audio->sample_rate;
        av_channel_layout_copy(&out.sound->ch_layout, &out.audio->ch_layout);
        if (av_frame_get_buffer(out.sound, 0) < 0) {
            out.failure = "out of memory";
            return false;
        }
        av_audio_fifo_read(out.fifo, reinterpret_cast<void**>(out.sound->data),
                           out.sound->nb_samples);
        out.sound->pts = out.audio_pts;
        out.audio_pts += out.sound->nb_samples;
        if (!encode(out, out.audio, out.audio_stream, out.sound)) return false;
    }
    return true;
}

// Adds ring samples (null at the end: what the resampler still holds) to the sound queue.
bool add_sound(Recording& out, const int16_t* pcm, int samples) {
    if (out.resampler == nullptr) {
        const void* planes[1] = {pcm};
        if (samples > 0) av_audio_fifo_write(out.fifo, const_cast<void**>(planes), samples);
    } else {
        const int room = swr_get_out_samples(out.resampler, samples);
        if (room <= 0) return drain_sound(out, false);  // nothing to flush
        uint8_t** converted = nullptr;
        if (av_samples_alloc_array_and_samples(&converted, nullptr, audio_channels, room,
                                               out.audio->sample_fmt, 0) < 0) {
            out.failure = "out of memory";
            return false;
        }
        const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(pcm)};
        const int made =
            swr_convert(out.resampler, converted, room, pcm ? planes : nullptr, samples);
        if (made > 0) av_audio_fifo_write(out.fifo, reinterpret_cast<void**>(converted), made);
        av_freep(&converted[0]);
        av_freep(&converted);
    }
    return drain_sound(out, false);
}

bool finish_recording(Recording& out) {
    if (out.audio != nullptr && (!add_sound(out, nullptr, 0) || !drain_sound(out, true) ||
                                 !encode(out, out.audio, out.audio_stream, nullptr)))
        return false;
    if (!encode(out, out.video, out.video_stream, nullptr)) return false;
    const int status = av_write_trailer(out.format);
    if (status < 0) {
        out.failure = "cannot write " + out.options->output + ": " + av_reason(status);
        return false;
    }
    return true;
}

void close_recording(Recording& out) {
    if (out.file_open) {
        if (avio_closep(&out.format->pb) < 0 && out.failure.empty())
            out.failure = "cannot write " + out.options->output;
    }
    avcodec_free_context(&out.video);
    avcodec_free_context(&out.audio);
    avformat_free_context(out.format);
    sws_freeContext(out.scaler);
    swr_free(&out.resampler);
    if (out.fifo != nullptr) av_audio_fifo_free(out.fifo);
    av_frame_free(&out.picture);
    av_frame_free(&out.sound);
    av_packet_free(&out.packet);
}

// The encoder thread: frames in the order drawn until the last, then the end of the file.
void encode_frames(Recording& out, FrameQueue& queue) {
    for (;;) {
        FrameJob job = queue.pop();
        if (job.last) {
            if (!finish_recording(out)) queue.fail();
            return;
        }
        const bool ok = encode_picture(out, job.rgba.data()) &&
                        (out.audio == nullptr ||
                         add_sound(out, job.pcm.data(), int(job.pcm.size() / audio_channels)));
        queue.give_back(std::move(job.rgba));
        if (!ok) {
            queue.fail();
            return;
        }
    }
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
    for (int64_t sample = first; sample < end; ++sample) {
        const int64_t ring_sample = sample % ring_frames;
        pcm[size_t(sample - first) * 2] = wave_buffer[ring_sample * 2];
        pcm[size_t(sample - first) * 2 + 1] = wave_buffer[ring_sample * 2 + 1];
    }
}

// Draws the show frame by frame and hands the frames in the requested span to the encoder.
// The number of frames written; -1 when the encoder failed.
int64_t draw_show(const Options& options, FrameQueue& queue) {
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
        play_offline_until(sample / block_frames);
        if (!render_frame()) break;  // past the end: this frame is not presented
        finish_offscreen_frame();
        if (k < first_frame) continue;
        if (queue.has_failed()) return -1;
        FrameJob job;
        job.rgba = queue.take_buffer();
        read_offscreen_frame(job.rgba.data());
        copy_ring_sound(sample, first_sample_of_frame(k + 1, options.fps), job.pcm);
        queue.push(std::move(job));
        ++written;
        progress.update(written, expected, false);
    }
    progress.update(written, written, true);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    const Container* container = container_of(options.output);
    if (container == nullptr)
        fail_usage(usage, "the output file must end in .mkv, .mp4, .webm or .webp");
    av_log_set_level(AV_LOG_ERROR);

    Recording out;
    if (!open_recording(out, options, *container)) {
        std::fprintf(stderr, "show_record: %s\n", out.failure.c_str());
        close_recording(out);
        return exit_failure;
    }
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
    const char* failure = nullptr;
    if (!open_offscreen_context(show_width, show_height, failure)) {
        std::fprintf(stderr, "show_record: %s\n", failure);
        close_recording(out);
        return exit_failure;
    }
    setup_scene_state();
    if (!start_offline_show()) {
        std::fprintf(stderr, "show_record: cannot load the embedded song\n");
        close_recording(out);
        return exit_failure;
    }

    FrameQueue queue;
    std::thread encoder(encode_frames, std::ref(out), std::ref(queue));
    const int64_t written = draw_show(options, queue);
    FrameJob last;
    last.last = true;
    if (written >= 0) queue.push(std::move(last));
    encoder.join();
    close_offscreen_context();
    close_recording(out);
    if (written < 0 || queue.has_failed() || !out.failure.empty()) {
        std::fprintf(stderr, "show_record: %s\n", out.failure.c_str());
        return exit_failure;
    }
    if (written == 0) {
        std::fprintf(stderr, "show_record: the show ends before %.3f s; nothing recorded\n",
                     options.from_seconds);
        return exit_failure;
    }
    return exit_done;
}
