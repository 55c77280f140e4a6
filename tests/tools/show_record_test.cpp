// The offline show's programs, run as built. The recorder, its files decoded with FFmpeg's
// libraries: one whole-show .mkv checked against the song clock and the renderer's sound, short
// .mp4 and .webm files, the same bytes for the same command. The recorder's, the capture
// tool's and the renderer's answers to bad requests (the page's test holds the capture tool's
// pictures to the page's own).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/pixels.h"
#include "tests/support/process.h"
#include "tests/support/song_mix.h"

namespace fs = std::filesystem;

namespace {

// One folder per test process: ctest runs each test in a process of its own, side by side.
const fs::path dir =
    fs::path(TIRVALEX_BINARY_DIR) / ("show_record_test." + std::to_string(getpid()));

constexpr int yuv_tolerance = 12;  // yuv420p at limited range rounds by a few steps

// The pixel at (x, y) of a yuv420p frame, by the limited-range BT.601 matrix the recorder tags.
Rgb rgb_at(const AVFrame* f, int x, int y) {
    const double l = 1.164 * (f->data[0][y * f->linesize[0] + x] - 16);
    const double u = f->data[1][y / 2 * f->linesize[1] + x / 2] - 128;
    const double v = f->data[2][y / 2 * f->linesize[2] + x / 2] - 128;
    const int red = int(l + 1.596 * v);
    const int green = int(l - 0.392 * u - 0.813 * v);
    const int blue = int(l + 2.017 * u);
    return {red, green, blue};
}

struct Decoded {
    std::vector<std::string> streams;  // codec names, the video's with its size and frame rate
    std::vector<Rgb> corner;           // per frame, the pixel at (2, 2)
    int white_pixels = 0;              // of the frame asked for
    std::vector<int16_t> pcm;  // the first plane as 16-bit samples: the .mkv's FLAC, interleaved
    double audio_seconds = 0;
};

// The streams and every frame's corner; the white pixels of frame `counted` only.
Decoded decode(const fs::path& path, size_t counted = SIZE_MAX) {
    Decoded out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(format, nullptr);
    std::vector<AVCodecContext*> decoders;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        out.streams.push_back(avcodec_get_name(p->codec_id));
        if (p->codec_type == AVMEDIA_TYPE_VIDEO)
            out.streams.back() += " " + std::to_string(p->width) + "x" + std::to_string(p->height) +
                                  " " + std::to_string(av_q2d(format->streams[i]->avg_frame_rate));
        decoders.push_back(avcodec_alloc_context3(avcodec_find_decoder(p->codec_id)));
        avcodec_parameters_to_context(decoders.back(), p);
        avcodec_open2(decoders.back(), decoders.back()->codec, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    for (bool end = false; !end; av_packet_unref(packet)) {
        end = av_read_frame(format, packet) < 0;  // then every decoder gives what it holds
        for (AVCodecContext* decoder : decoders) {
            if (!end && decoder != decoders[size_t(packet->stream_index)]) continue;
            avcodec_send_packet(decoder, end ? nullptr : packet);
            while (avcodec_receive_frame(decoder, f) == 0) {
                const int16_t* pcm = reinterpret_cast<int16_t*>(f->data[0]);
                if (decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
                    out.audio_seconds += double(f->nb_samples) / f->sample_rate;
                    out.pcm.insert(out.pcm.end(), pcm, pcm + f->nb_samples * 2);  // as s16
                    continue;
                }
                out.corner.push_back(rgb_at(f, 2, 2));
                if (out.corner.size() - 1 != counted) continue;
                for (int p = 0; p < f->width * f->height; ++p)
                    out.white_pixels +=
                        near(rgb_at(f, p % f->width, p / f->width), white, yuv_tolerance);
            }
        }
    }
    for (AVCodecContext* decoder : decoders)
        avcodec_free_context(&decoder);
    av_frame_free(&f);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return out;
}

// Runs a built program: the first word of the command line names it, the others are its
// arguments.
CommandResult run_tool(const std::string& command_line) {
    std::vector<std::string> words;
    std::istringstream line(command_line);
    for (std::string word; line >> word;)
        words.push_back(word);
    words.front() = built_program(words.front());
    return run_command(words);
}

class ShowRecord : public ::testing::Test {
protected:
    static inline std::vector<uint32_t> clock;  // per frame, to the first past 79 s

    static void SetUpTestSuite() { fs::create_directories(dir); }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    // The scene frame k draws, chosen from the previous frame's clock (strictly past 13.7, 28.7
    // and 72 s, as floats); frame 0 draws scene 0.
    static int scene(size_t k) {
        if (k == 0) return 0;
        const float t = float(clock[k - 1]) / 1000.0f;
        if (t > 72.0f) return 3;
        if (t > 28.7f) return 4;
        if (t > 13.7f) return 3;
        return 2;
    }
    // Frame k's corner: black under scene 4's tunnel, else the clear colour the previous frame's
    // scene set (scene 0 sets none).
    static Rgb corner_at(size_t k) {
        const Rgb set_by[] = {white, white, light_blue, purple, black};
        if (k == 0) return white;
        if (scene(k) == 4) return black;
        return set_by[scene(k - 1)];
    }
};

// One recording of the whole show, so it is made once: the frames before the first one whose
// clock is past 79 s and their sound; scene 4's text in white at 50 s; every change of look on
// the frame the clock predicts, the old look up to the frame before and not on it (white, blue,
// purple, black, purple: four changes).
TEST_F(ShowRecord, HoldsTheWholeShowOnItsClockWithTheRendererSound) {
    const CommandResult recorded = run_tool("show_record " + (dir / "show.mkv").string());
    ASSERT_EQ(recorded.exit_code, 0) << recorded.error;
    ASSERT_EQ(run_tool("xm_render --embedded " + (dir / "song.wav").string()).exit_code, 0);
    const std::string song = read_file(dir / "song.wav");  // 44-byte header, then s16 pairs
    EXPECT_EQ(song.substr(0, 4), "RIFF");
    EXPECT_EQ(song.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(song.substr(36, 4), "data");
    const Decoded show = decode(dir / "show.mkv", 50 * 60);
    // Frame k is on screen while the device plays block k x 735 / 884 (735 samples a frame at
    // 60 fps); its clock is the song time reached once that block was mixed.
    const SongMix mix = mix_embedded_song(100 * 44100);
    for (size_t k = 0; clock.empty() || clock.back() <= 79000; ++k)
        clock.push_back(mix.clock_ms.at(k * 735 / 884));
    EXPECT_NEAR(double(show.corner.size()), double(clock.size() - 1), 1.0);
    EXPECT_EQ(show.pcm.size(), show.corner.size() * 735 * 2);  // the video's length of sound
    ASSERT_GE(song.size(), 44 + 2 * show.pcm.size());
    EXPECT_TRUE(std::equal(show.pcm.begin(), show.pcm.end(),
                           reinterpret_cast<const int16_t*>(song.data() + 44)))
        << "the recorded sound is not the renderer's";
    EXPECT_GE(show.white_pixels, 101) << "scene 4's text at 50 s";
    int changes = 0;
    for (size_t k = 1; k < show.corner.size(); ++k) {
        if (corner_at(k) == corner_at(k - 1)) continue;
        ++changes;
        EXPECT_TRUE(near(show.corner[k - 1], corner_at(k - 1), yuv_tolerance)) << k;
        EXPECT_FALSE(near(show.corner[k], corner_at(k - 1), yuv_tolerance)) << k;
    }
    EXPECT_EQ(changes, 4);
}

// A short record: its file and the streams it holds.
struct ShortRecord {
    std::string file;
    std::vector<std::string> streams;
};

// A second each: 60 frames and a second of sound; the same command gives the same bytes.
TEST_F(ShowRecord, ShortRecordsDecodeInEachContainerAndRepeatByteForByte) {
    const ShortRecord records[] = {{"a.mkv", {"h264 640x480 60.000000", "flac"}},
                                   {"b.mkv", {"h264 640x480 60.000000", "flac"}},
                                   {"c.mp4", {"h264 640x480 60.000000", "aac"}},
                                   {"c.webm", {"vp9 640x480 60.000000", "opus"}}};
    for (const ShortRecord& record : records) {
        const fs::path path = dir / record.file;
        ASSERT_EQ(run_tool("show_record --seconds 1 " + path.string()).exit_code, 0);
        const Decoded decoded = decode(path);
        EXPECT_EQ(decoded.streams, record.streams) << record.file;
        EXPECT_EQ(decoded.corner.size(), 60u) << record.file;
        EXPECT_NEAR(decoded.audio_seconds, 1.0, 0.05) << record.file;
    }
    EXPECT_EQ(read_file(dir / "a.mkv"), read_file(dir / "b.mkv"));
}

// The three tools' answers: 0 for --help, with nothing on the error output; 2 for a request
// they refuse, its reason on one line and then the usage text --help prints; 1 for a request
// they cannot carry out, its reason alone. Times run from 0 to an hour; the show ends on the
// first frame past 79 s. Each row: the command, the status, the start of the first line.
struct Answer {
    std::string command;
    int status;
    std::string reason;
};

TEST_F(ShowRecord, ToolsRefuseABadRequestWithItsReasonThenTheirUsage) {
    const std::string out = " --out " + dir.string();
    const std::vector<Answer> answers = {
        {"show_record", 2, "show_record: give the output file"},
        {"show_record x.mkv --fps 2.5", 2, "show_record: --fps takes a whole number from 1 to 240"},
        {"show_record x.mkv --size 640x", 2,
         "show_record: --size takes WxH, even numbers from 16 to 4096"},
        {"show_record x.mkv --from 3601", 2, "show_record: --from takes seconds from 0 to 3600"},
        {"show_record x.mkv --seconds 0", 2,
         "show_record: --seconds takes seconds above 0, up to 3600"},
        {"show_record x.mkv --fps", 2, "show_record: --fps needs a value"},
        {"show_record x.mkv --bogus", 2, "show_record: unknown option --bogus"},
        {"show_record x.mkv y.mkv", 2, "show_record: give one output file"},
        {"show_record x.avi", 2,
         "show_record: the output file must end in .mkv, .mp4, .webm or .webp"},
        {"show_record /nonexistent/x.mkv", 1, "show_record: cannot write /nonexistent/x.mkv: "},
        {"show_capture --at 5", 2, "show_capture: give the folder to write to (--out)"},
        {"show_capture" + out, 2, "show_capture: give the song times to capture (--at)"},
        {"show_capture --at 5,five" + out, 2, "show_capture: --at takes seconds from 0 to 3600"},
        {"show_capture --at 5 --step-ms 0" + out, 2,
         "show_capture: --step-ms takes a whole number from 1 to 60000"},
        {"show_capture --at 85 --step-ms 5000" + out, 1, "show_capture: the show ends at "},
        {"xm_render --embedded", 2, "xm_render: --embedded takes one file: OUTPUT.wav"},
        {"xm_render --rate 1000 --embedded x", 2,
         "xm_render: --rate takes a whole number from 8000 to 192000"},
        {"xm_render --seconds -1 --embedded x", 2,
         "xm_render: --seconds takes seconds above 0, up to 3600"},
        {"xm_render /nonexistent.xm x", 1, "xm_render: cannot read /nonexistent.xm: "},
    };
    for (const Answer& answer : answers) {
        const CommandResult result = run_tool(answer.command);
        EXPECT_EQ(result.exit_code, answer.status) << answer.command;
        const std::string first_line = result.error.substr(0, result.error.find('\n'));
        EXPECT_TRUE(first_line.starts_with(answer.reason))
            << answer.command << ": " << result.error;
        if (answer.status != 2) continue;
        const std::string tool = answer.command.substr(0, answer.command.find(' '));
        const CommandResult help = run_tool(tool + " --help");
        ASSERT_EQ(help.exit_code, 0) << tool;
        EXPECT_EQ(help.error, "") << tool;
        EXPECT_EQ(result.error.substr(first_line.size() + 1), help.output) << answer.command;
    }
}

}  // namespace
