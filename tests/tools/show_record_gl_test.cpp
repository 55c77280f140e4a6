// The recorder, run as the built program and its files decoded with FFmpeg's libraries: the
// whole show as .mkv against the song clock and the offline renderer's sound, short .mp4 and
// .webm files, the same bytes for the same command, and its answers to bad requests.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/mixer.h"
#include "player/output.h"
#include "player/ring.h"

namespace fs = std::filesystem;

namespace {

const std::string bin = TIRVALEX_BINARY_DIR;
using Rgb = std::array<int, 3>;
// The scenes' clear colours at 8 bits: (0.3, 0.5, 1) light blue, (0.9, 0, 0.6) purple, black;
// white is the start-up clear colour. A frame is cleared with the colour its predecessor set.
const Rgb white{255, 255, 255}, blue{77, 128, 255}, purple{230, 0, 153}, black{0, 0, 0};

struct Decoded {
    std::vector<std::string> codecs;        // per stream, video first
    std::vector<Rgb> corner;                // per frame, the pixel at (2, 2)
    std::vector<std::vector<uint8_t>> rgb;  // the frames asked for
    std::vector<int16_t> pcm;               // 16-bit sound, interleaved
    int64_t audio_samples = 0, width = 0, height = 0;
    double fps = 0;
};

// Decodes every frame; keeps the whole picture of the frames in `keep`.
Decoded decode(const fs::path& path, const std::vector<int64_t>& keep = {}) {
    Decoded out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(format, nullptr);
    std::vector<AVCodecContext*> decoders;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* parameters = format->streams[i]->codecpar;
        out.codecs.push_back(avcodec_get_name(parameters->codec_id));
        decoders.push_back(avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id)));
        avcodec_parameters_to_context(decoders.back(), parameters);
        avcodec_open2(decoders.back(), decoders.back()->codec, nullptr);
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
            out.width = parameters->width, out.height = parameters->height;
            out.fps = av_q2d(format->streams[i]->avg_frame_rate);
        }
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&](AVCodecContext* decoder) {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            if (decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
                out.audio_samples += frame->nb_samples;
                if (frame->format == AV_SAMPLE_FMT_S16)
                    out.pcm.insert(
                        out.pcm.end(), reinterpret_cast<int16_t*>(frame->data[0]),
                        reinterpret_cast<int16_t*>(frame->data[0]) + frame->nb_samples * 2);
                continue;
            }
            std::vector<uint8_t> rgb(size_t(frame->width) * frame->height * 3);
            SwsContext* to_rgb = sws_getContext(
                frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
            uint8_t* planes[1] = {rgb.data()};
            const int stride[1] = {frame->width * 3};
            sws_scale(to_rgb, frame->data, frame->linesize, 0, frame->height, planes, stride);
            sws_freeContext(to_rgb);
            const size_t corner = (2 * size_t(frame->width) + 2) * 3;
            out.corner.push_back({rgb[corner], rgb[corner + 1], rgb[corner + 2]});
            if (std::find(keep.begin(), keep.end(), int64_t(out.corner.size() - 1)) != keep.end())
                out.rgb.push_back(std::move(rgb));
        }
    };
    while (av_read_frame(format, packet) == 0) {
        avcodec_send_packet(decoders[packet->stream_index], packet);
        drain(decoders[packet->stream_index]);
        av_packet_unref(packet);
    }
    for (AVCodecContext* decoder : decoders) {
        avcodec_send_packet(decoder, nullptr);
        drain(decoder);
        avcodec_free_context(&decoder);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return out;
}

int run(const std::string& arguments, std::string* error = nullptr) {
    const fs::path log = fs::temp_directory_path() / "show_record_test.log";
    const int status = std::system((bin + "/" + arguments + " 2>" + log.string()).c_str());
    std::ifstream in(log);
    if (error) *error = std::string((std::istreambuf_iterator<char>(in)), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string bytes_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool near(const Rgb& a, const Rgb& b) {  // yuv420p at limited range rounds by a few steps
    return std::abs(a[0] - b[0]) <= 12 && std::abs(a[1] - b[1]) <= 12 &&
           std::abs(a[2] - b[2]) <= 12;
}

std::vector<uint32_t> clock_ms;  // the song clock while frame k is drawn, to the first past 79 s

// The scene the timeline draws at frame k: scene 0 first, then the one chosen from the previous
// frame's clock by the show's thresholds (single-precision 13.7 and 28.7, strictly greater).
int scene_at(size_t k) {
    if (k == 0) return 0;
    const float t = float(clock_ms[k - 1]) / 1000.0f;
    return t > 72.0f ? 3 : t > 28.7f ? 4 : t > 13.7f ? 3 : 2;
}

// What the corner of frame k shows: the tunnel of scene 4 covers the whole picture, black at
// the edges once it runs; otherwise frame k is cleared with the colour the scene of frame k - 1 set
// (scene 0 sets none).
Rgb corner_at(size_t k) {
    if (scene_at(k) == 4) return black;
    const int scene = k == 0 ? 0 : scene_at(k - 1);
    return scene == 2 ? blue : scene == 3 ? purple : scene == 4 ? black : white;
}

class ShowRecord : public ::testing::Test {
protected:
    static inline fs::path dir;
    static inline Decoded show;
    static inline std::vector<int16_t> song;  // xm_render --embedded, interleaved

    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / "show_record_test";
        fs::create_directories(dir);
        ASSERT_EQ(run("show_record " + (dir / "show.mkv").string()), 0);
        ASSERT_EQ(run("xm_render --embedded " + (dir / "song.wav").string()), 0);
        const std::string wav = bytes_of(dir / "song.wav");
        song.resize((wav.size() - 44) / 2);
        std::memcpy(song.data(), wav.data() + 44, song.size() * 2);
        // The song clock runs at about 95 % of real time: scene 3 comes back at about 75.6 s.
        show = decode(dir / "show.mkv", {5 * 60, 20 * 60, 50 * 60, 78 * 60});
        // Frame k is drawn while the device plays block k x 735 / 884 (735 samples a frame at
        // 60 fps); its clock is the song time reached once that block was mixed, from the start.
        memfile_attach(module_bytes, module_size);
        set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
        ring_set_rate(44100);
        engine_reset();
        XmModule* module = module_load(nullptr, nullptr);
        ring_allocate();
        reset_song_state(module);
        std::vector<uint32_t> after_block;
        for (int64_t k = 0; clock_ms.empty() || clock_ms.back() <= 79000; ++k) {
            while (int64_t(after_block.size()) <= k * 735 / 884) {
                fill_block();
                after_block.push_back(module->song_time_ms);
            }
            clock_ms.push_back(after_block[size_t(k * 735 / 884)]);
        }
    }
};

// The frames before the first one whose clock is past 79 s, and their sound.
TEST_F(ShowRecord, HoldsTheWholeShowWithTheRendererSound) {
    const size_t frames = clock_ms.size() - 1;
    EXPECT_EQ(show.codecs, (std::vector<std::string>{"h264", "flac"}));
    EXPECT_EQ(show.width, 640);
    EXPECT_EQ(show.height, 480);
    EXPECT_EQ(show.fps, 60.0);
    EXPECT_EQ(show.corner.size(), frames);
    ASSERT_EQ(show.pcm.size(), frames * 735 * 2);
    ASSERT_GE(song.size(), show.pcm.size());
    EXPECT_TRUE(std::equal(show.pcm.begin(), show.pcm.end(), song.begin()));
}

TEST_F(ShowRecord, ShowsEachSceneAtItsTime) {
    struct Case {
        int seconds;
        Rgb background;
        bool white_text;
    };
    const Case cases[] = {
        {5, blue, false}, {20, purple, false}, {50, black, true}, {78, purple, false}};
    ASSERT_EQ(show.rgb.size(), 4u);
    for (size_t c = 0; c < 4; ++c) {
        const std::vector<uint8_t>& rgb = show.rgb[c];
        size_t background = 0, white_pixels = 0;
        for (size_t p = 0; p < rgb.size(); p += 3) {
            background += near({rgb[p], rgb[p + 1], rgb[p + 2]}, cases[c].background);
            white_pixels += rgb[p] > 200 && rgb[p + 1] > 200 && rgb[p + 2] > 200;
        }
        SCOPED_TRACE(cases[c].seconds);
        EXPECT_GT(background, rgb.size() / 3 / 10);  // a tenth of the picture at least
        EXPECT_GE(white_pixels, cases[c].white_text ? 101u : 0u);
    }
}

// Every change of the scene's look falls on the frame the clock predicts.
TEST_F(ShowRecord, ChangesSceneOnTheFramesTheClockPredicts) {
    int changes = 0;
    for (size_t k = 1; k < show.corner.size(); ++k) {
        if (corner_at(k) == corner_at(k - 1)) continue;
        ++changes;
        EXPECT_TRUE(near(show.corner[k - 1], corner_at(k - 1))) << k;
        EXPECT_FALSE(near(show.corner[k], corner_at(k - 1))) << k;  // changed on this frame
    }
    EXPECT_EQ(changes, 4);  // white, blue, purple, black, purple
}

TEST_F(ShowRecord, SameCommandSameBytes) {
    for (const char* name : {"a.mkv", "b.mkv"})
        ASSERT_EQ(run("show_record --seconds 2 " + (dir / name).string()), 0);
    EXPECT_EQ(bytes_of(dir / "a.mkv"), bytes_of(dir / "b.mkv"));
}

TEST_F(ShowRecord, OtherContainersDecode) {
    struct Case {
        const char* name;
        std::vector<std::string> codecs;
        int rate;
    };
    for (const Case& c :
         {Case{"c.mp4", {"h264", "aac"}, 44100}, Case{"c.webm", {"vp9", "opus"}, 48000}}) {
        ASSERT_EQ(run("show_record --seconds 1 " + (dir / c.name).string()), 0);
        const Decoded decoded = decode(dir / c.name);
        EXPECT_EQ(decoded.codecs, c.codecs) << c.name;
        EXPECT_EQ(decoded.corner.size(), 60u) << c.name;
        EXPECT_NEAR(double(decoded.audio_samples) / c.rate, 1.0, 0.05) << c.name;
    }
}

TEST_F(ShowRecord, RefusesBadRequestsInOneLine) {
    struct Case {
        std::string arguments;
        int status;
    };
    const Case cases[] = {{"", 2},
                          {"x.mkv --fps 0", 2},
                          {"x.mkv --size 640x", 2},
                          {"x.mkv --size 641x480", 2},
                          {"x.mkv --bogus", 2},
                          {"x.avi", 2},
                          {"x.mkv y.mkv", 2},
                          {"/nonexistent/x.mkv", 1}};
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(run("show_record " + c.arguments, &error), c.status) << c.arguments;
        EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    }
}

}  // namespace
