#include "tools/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr int audio_channels = 2;
constexpr size_t frames_in_flight = 6;  // drawn frames waiting for the encoder at most

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
    bool last = false;         // no picture: the encoder thread stops
    bool complete = false;     // with `last`: the end of the file is written first
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
    std::vector<uint8_t> take_buffer(size_t bytes) {
        std::lock_guard<std::mutex> hold(lock);
        if (spare.empty()) return std::vector<uint8_t>(bytes);
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
    VideoSettings settings;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* video_stream = nullptr;
    AVStream* audio_stream = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;  // null when the encoder takes the samples as they come
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
    context->width = out.settings.width;
    context->height = out.settings.height;
    context->pix_fmt = out.container->pixel_format;
    context->time_base = AVRational{1, out.settings.fps};
    context->framerate = AVRational{out.settings.fps, 1};
    context->sample_aspect_ratio = AVRational{1, 1};
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_SMPTE170M;  // the scaler's matrix
    context->color_primaries = AVCOL_PRI_SMPTE170M;
    context->color_trc = AVCOL_TRC_SMPTE170M;
}

// The sound's rate and stereo layout; the encoder's first sample format, and its rate when it
// cannot take the sound's (then the nearest higher one it lists, or its first).
void configure_audio(Recording& out, AVCodecContext* context) {
    const int sound_rate = out.settings.sample_rate;
    const AVCodec* codec = context->codec;
    context->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* format = codec->sample_fmts; format && *format != -1; ++format)
        if (*format == AV_SAMPLE_FMT_S16) context->sample_fmt = AV_SAMPLE_FMT_S16;
    int rate = sound_rate;
    if (codec->supported_samplerates != nullptr) {
        rate = codec->supported_samplerates[0];
        for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
            if (*r == sound_rate) {
                rate = *r;
                break;
            }
            if (*r > sound_rate && (rate < sound_rate || *r < rate)) rate = *r;
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
            out.failure = "cannot write " + out.settings.path + ": " + av_reason(written);
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
// out.failure.
bool open_recording(Recording& out, const VideoSettings& settings, const Container& container) {
    out.settings = settings;
    out.container = &container;
    int status = avformat_alloc_output_context2(&out.format, nullptr, container.format,
                                                settings.path.c_str());
    if (status < 0 || out.format == nullptr) {
        out.failure = std::string("this FFmpeg cannot write ") + container.format;
        return false;
    }
    out.format->flags |= AVFMT_FLAG_BITEXACT;
    out.video = open_encoder(out, container.video_codec, out.video_stream, configure_video,
                             container.video_options);
    if (out.video == nullptr) return false;
    out.video_stream->avg_frame_rate = AVRational{settings.fps, 1};
    out.video_stream->r_frame_rate = AVRational{settings.fps, 1};
    if (container.audio_codec != nullptr) {
        out.audio =
            open_encoder(out, container.audio_codec, out.audio_stream, configure_audio, nullptr);
        if (out.audio == nullptr) return false;
        if (out.audio->codec->id != AV_CODEC_ID_FLAC)
            out.audio->bit_rate = container.audio_bit_rate;
        const bool as_is = out.audio->sample_fmt == AV_SAMPLE_FMT_S16 &&
                           out.audio->sample_rate == settings.sample_rate;
        if (!as_is) {
            AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
            swr_alloc_set_opts2(&out.resampler, &out.audio->ch_layout, out.audio->sample_fmt,
                                out.audio->sample_rate, &stereo, AV_SAMPLE_FMT_S16,
                                settings.sample_rate, 0, nullptr);
            if (out.resampler == nullptr || swr_init(out.resampler) < 0) {
                out.failure = "cannot convert the sound for the audio encoder";
                return false;
            }
        }
        out.fifo = av_audio_fifo_alloc(out.audio->sample_fmt, audio_channels, 4096);
        out.sound = av_frame_alloc();
    }

    // The 4:3 picture at the largest even size that fits, centred.
    const int fit_width = std::min(settings.width, settings.height * 4 / 3) & ~1;
    const int fit_height = std::min(settings.height, settings.width * 3 / 4) & ~1;
    const int scale_flags = (fit_width == settings.frame_width ? SWS_POINT : SWS_LANCZOS) |
                            SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP | SWS_BITEXACT;
    out.scaler =
        sws_getContext(settings.frame_width, settings.frame_height, AV_PIX_FMT_RGBA, fit_width,
                       fit_height, container.pixel_format, scale_flags, nullptr, nullptr, nullptr);
    out.picture = av_frame_alloc();
    out.picture->format = container.pixel_format;
    out.picture->width = settings.width;
    out.picture->height = settings.height;
    out.packet = av_packet_alloc();
    if (out.scaler == nullptr || av_frame_get_buffer(out.picture, 0) < 0) {
        out.failure = "cannot set up the picture scaler";
        return false;
    }
    // Black borders where the picture does not fill the frame (limited-range black).
    const int chroma_height = (settings.height + 1) / 2;
    std::memset(out.picture->data[0], 16, size_t(out.picture->linesize[0]) * settings.height);
    std::memset(out.picture->data[1], 128, size_t(out.picture->linesize[1]) * chroma_height);
    std::memset(out.picture->data[2], 128, size_t(out.picture->linesize[2]) * chroma_height);
    out.left = size_t((settings.width - fit_width) / 2 & ~1);
    out.top = size_t((settings.height - fit_height) / 2 & ~1);

    status = avio_open(&out.format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
    if (status < 0) {
        out.failure = "cannot write " + settings.path + ": " + av_reason(status);
        return false;
    }
    out.file_open = true;
    av_dict_set(&out.format->metadata, "title", "Tirvalex3", 0);
    status = avformat_write_header(out.format, nullptr);
    if (status < 0) {
        out.failure = "cannot write " + settings.path + ": " + av_reason(status);
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
    const int frame_height = out.settings.frame_height;
    const int row_bytes = out.settings.frame_width * 4;
    const uint8_t* top_row[1] = {rgba + size_t(frame_height - 1) * row_bytes};
    const int stride[1] = {-row_bytes};
    uint8_t* target[3];
    const size_t left = out.left;
    const size_t top = out.top;
    for (int plane = 0; plane < 3; ++plane) {
        const size_t shift = plane == 0 ? 0 : 1;
        target[plane] = out.picture->data[plane] +
                        (top >> shift) * size_t(out.picture->linesize[plane]) + (left >> shift);
    }
    sws_scale(out.scaler, top_row, stride, 0, frame_height, target, out.picture->linesize);
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

// Adds sound samples (null at the end: what the resampler still holds) to the sound queue.
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
        out.failure = "cannot write " + out.settings.path + ": " + av_reason(status);
        return false;
    }
    return true;
}

void close_recording(Recording& out) {
    if (out.file_open) {
        if (avio_closep(&out.format->pb) < 0 && out.failure.empty())
            out.failure = "cannot write " + out.settings.path;
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
            if (job.complete && !finish_recording(out)) queue.fail();
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

Recording recording;
FrameQueue frame_queue;
std::thread encoder_thread;

}  // namespace

bool video_container_known(const std::string& path) {
    return container_of(path) != nullptr;
}

bool open_video(const VideoSettings& settings) {
    av_log_set_level(AV_LOG_ERROR);
    const Container* container = container_of(settings.path);
    if (container == nullptr) {
        recording.failure = "no container for " + settings.path;
        return false;
    }
    if (!open_recording(recording, settings, *container)) return false;
    encoder_thread = std::thread(encode_frames, std::ref(recording), std::ref(frame_queue));
    return true;
}

std::vector<uint8_t> video_frame_buffer() {
    return frame_queue.take_buffer(size_t(recording.settings.frame_width) *
                                   recording.settings.frame_height * 4);
}

bool add_video_frame(std::vector<uint8_t> rgba, std::vector<int16_t> pcm) {
    if (frame_queue.has_failed()) return false;
    FrameJob job;
    job.rgba = std::move(rgba);
    job.pcm = std::move(pcm);
    frame_queue.push(std::move(job));
    return true;
}

bool close_video(bool complete) {
    if (encoder_thread.joinable()) {
        FrameJob last;
        last.last = true;
        last.complete = complete;
        frame_queue.push(std::move(last));
        encoder_thread.join();
    }
    close_recording(recording);
    return !frame_queue.has_failed() && recording.failure.empty();
}

const std::string& video_failure() {
    return recording.failure;
}
