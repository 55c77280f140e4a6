// The offline renderer, run as the built program: its WAV header read back (and by sox where
// installed), its samples against the blocks the block filler produces for the same module,
// where it decides the song ends, and its answers to bad usage and bad files.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"
#include "tools/xm_image.h"

namespace fs = std::filesystem;

namespace {

const std::string renderer = std::string(TIRVALEX_BINARY_DIR) + "/xm_render";

struct Wav {
    std::string riff, wave, fmt, data_id;
    uint32_t riff_size = 0, fmt_size = 0, rate = 0, byte_rate = 0, data_size = 0;
    uint16_t format = 0, channels = 0, align = 0, bits = 0;
    std::vector<int16_t> samples;  // interleaved, left first
    size_t file_size = 0;
};

uint32_t little(const std::vector<uint8_t>& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[at + size_t(i)];
    return value;
}

Wav read_wav(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    Wav wav;
    wav.file_size = bytes.size();
    if (bytes.size() < 44) return wav;
    auto text = [&](size_t at) {
        return std::string(bytes.begin() + long(at), bytes.begin() + long(at + 4));
    };
    wav.riff = text(0);
    wav.riff_size = little(bytes, 4, 4);
    wav.wave = text(8);
    wav.fmt = text(12);
    wav.fmt_size = little(bytes, 16, 4);
    wav.format = uint16_t(little(bytes, 20, 2));
    wav.channels = uint16_t(little(bytes, 22, 2));
    wav.rate = little(bytes, 24, 4);
    wav.byte_rate = little(bytes, 28, 4);
    wav.align = uint16_t(little(bytes, 32, 2));
    wav.bits = uint16_t(little(bytes, 34, 2));
    wav.data_id = text(36);
    wav.data_size = little(bytes, 40, 4);
    for (size_t at = 44; at + 1 < bytes.size(); at += 2)
        wav.samples.push_back(int16_t(little(bytes, at, 2)));
    return wav;
}

// Runs a command line and returns its exit status.
int run(const std::string& command) {
    const int status = std::system((command + " 2>/dev/null >/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe))
        out += chunk;
    pclose(pipe);
    return out;
}

// A two-channel song on one looped 16-bit saw-tooth instrument, six ticks per row at 125 BPM
// (882 frames per tick at 44100 Hz).
XmImageSong test_song(const std::vector<std::string>& rows, int32_t row_count) {
    XmImageSong song;
    song.channel_count = 2;
    song.tempo = 6;
    song.bpm = 125;
    song.patterns = {xm_pattern(row_count, 2, rows)};
    XmImageSample saw;
    saw.sixteen_bit = true;
    for (int i = 0; i < 64; ++i)
        saw.frames.push_back(int16_t(i * 1000 - 32000));
    saw.loop_start = 0;
    saw.loop_length = 64;
    saw.loop_bits = 1;
    saw.panning = 64;
    XmImageInstrument instrument;
    instrument.samples = {saw};
    song.instruments = {instrument};
    return song;
}

// The first `frames` frames as the block filler produces them for the image.
std::vector<int16_t> fill_block_frames(const std::vector<uint8_t>& image, int32_t rate,
                                       size_t frames) {
    memfile_attach(image.data(), uint32_t(image.size()));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(rate);
    engine_reset();
    XmModule* module = module_load(nullptr, nullptr);
    EXPECT_NE(module, nullptr);
    std::vector<int16_t> out;
    if (!module) return out;
    ring_allocate();
    reset_song_state(module);
    write_block = 0;
    while (out.size() < 2 * frames) {
        const int32_t block = write_block;
        fill_block();
        const int16_t* pcm = wave_buffer + 2 * size_t(block) * size_t(block_frames);
        out.insert(out.end(), pcm, pcm + 2 * block_frames);
    }
    out.resize(2 * frames);
    module_free(module);
    ring_reset();
    loader_reset();
    memfile_reset();
    return out;
}

class XmRender : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("xm_render_test_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
        ASSERT_TRUE(fs::exists(renderer)) << renderer;
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path write_song(const std::vector<uint8_t>& image, const std::string& name = "in.xm") {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), long(image.size()));
        return path;
    }

    int render(const std::string& arguments) { return run(renderer + " " + arguments); }

    fs::path folder;
};

void expect_valid_header(const Wav& wav, uint32_t rate) {
    EXPECT_EQ(wav.riff, "RIFF");
    EXPECT_EQ(wav.wave, "WAVE");
    EXPECT_EQ(wav.fmt, "fmt ");
    EXPECT_EQ(wav.fmt_size, 16u);
    EXPECT_EQ(wav.format, 1);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, rate);
    EXPECT_EQ(wav.byte_rate, rate * 4);
    EXPECT_EQ(wav.align, 4);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_EQ(wav.data_id, "data");
    EXPECT_EQ(wav.data_size, wav.file_size - 44);
    EXPECT_EQ(wav.riff_size, wav.file_size - 8);
}

}  // namespace

// One pattern of 16 rows at 6 ticks: the song returns to order 0, row 0 after 96 ticks, that
// is 96 x 882 = 84672 frames, and the file holds exactly the frames the block filler mixed.
TEST_F(XmRender, WritesTheBlockFillersFramesUpToTheSongsEnd) {
    const std::vector<uint8_t> image =
        write_xm_image(test_song({"C-4 01 .. ... | E-4 01 30 ...", "", "", "",
                                  "... .. .. ... | G-4 01 .. ...", "", "", "", "=== | ==="},
                                 16));
    const fs::path in = write_song(image), out = folder / "out.wav";
    ASSERT_EQ(render(in.string() + " " + out.string()), 0);
    const Wav wav = read_wav(out);
    expect_valid_header(wav, 44100);
    ASSERT_EQ(wav.samples.size(), 2u * 84672);
    EXPECT_EQ(wav.samples, fill_block_frames(image, 44100, 84672));
}

// The same song at 22050 Hz: ticks of 441 frames; and --seconds cuts the render short.
TEST_F(XmRender, FollowsTheRateAndTheSecondsLimit) {
    const std::vector<uint8_t> image = write_xm_image(test_song({"C-4 01 .. ... | C-5 01"}, 16));
    const fs::path in = write_song(image), out = folder / "out.wav";
    ASSERT_EQ(render("--rate 22050 " + in.string() + " " + out.string()), 0);
    Wav wav = read_wav(out);
    expect_valid_header(wav, 22050);
    ASSERT_EQ(wav.samples.size(), 2u * 96 * 441);
    EXPECT_EQ(wav.samples, fill_block_frames(image, 22050, 96 * 441));

    ASSERT_EQ(render("--seconds 0.5 " + in.string() + " " + out.string()), 0);
    wav = read_wav(out);
    expect_valid_header(wav, 44100);
    EXPECT_EQ(wav.samples.size(), 2u * 22050);
}

// A pattern loop (E60 on row 0, E62 on row 3) plays rows 0..3 three times before going on, and
// is not taken for the end: 12 + 12 rows of 6 ticks. A jump back (B00 on row 7 of the second
// order) ends the song at the row tick it leads to: 16 + 8 rows.
TEST_F(XmRender, PatternLoopsAreNotTheEndButJumpsBackAre) {
    XmImageSong looped = test_song({"C-4 01 .. E60", "", "", "... .. .. E62"}, 16);
    const fs::path in = write_song(write_xm_image(looped)), out = folder / "out.wav";
    ASSERT_EQ(render(in.string() + " " + out.string()), 0);
    EXPECT_EQ(read_wav(out).samples.size(), 2u * 24 * 6 * 882);

    XmImageSong jumping = test_song({"C-4 01"}, 16);
    jumping.patterns.push_back(xm_pattern(16, 2, {"", "", "", "", "", "", "", "... .. .. B00"}));
    jumping.orders = {0, 1};
    const fs::path jump_in = write_song(write_xm_image(jumping), "jump.xm");
    ASSERT_EQ(render(jump_in.string() + " " + out.string()), 0);
    EXPECT_EQ(read_wav(out).samples.size(), 2u * 24 * 6 * 882);
}

// The embedded song renders like any other, its start equal to the block filler's.
TEST_F(XmRender, RendersTheEmbeddedSong) {
    const fs::path out = folder / "song.wav";
    ASSERT_EQ(render("--embedded --seconds 3 " + out.string()), 0);
    const Wav wav = read_wav(out);
    expect_valid_header(wav, 44100);
    ASSERT_EQ(wav.samples.size(), 2u * 3 * 44100);
    const std::vector<uint8_t> image(module_bytes, module_bytes + module_size);
    EXPECT_EQ(wav.samples, fill_block_frames(image, 44100, 3 * 44100));
}

// sox reads the header the same way.
TEST_F(XmRender, SoxReadsTheHeader) {
    if (run("command -v sox") != 0) GTEST_SKIP() << "sox is not installed";
    const fs::path out = folder / "song.wav";
    ASSERT_EQ(render("--embedded --seconds 1 " + out.string()), 0);
    const std::string quoted = " '" + out.string() + "'";
    EXPECT_EQ(capture("sox --i -r" + quoted), "44100\n");
    EXPECT_EQ(capture("sox --i -c" + quoted), "2\n");
    EXPECT_EQ(capture("sox --i -b" + quoted), "16\n");
    EXPECT_EQ(capture("sox --i -s" + quoted), "44100\n");
    EXPECT_NE(capture("sox --i -e" + quoted).find("Signed Integer PCM"), std::string::npos);
}

// --help prints the usage and succeeds; bad usage exits 2; a file that cannot be read, loaded
// or written exits 1 with a message naming it.
TEST_F(XmRender, ReportsUsageAndFileProblems) {
    EXPECT_EQ(render(""), 2);
    EXPECT_NE(capture(renderer + " --help").find("usage: xm_render"), std::string::npos);
    EXPECT_EQ(render("--help"), 0);
    const fs::path out = folder / "out.wav";
    EXPECT_EQ(render("--embedded"), 2);
    EXPECT_EQ(render("--rate 1000 --embedded " + out.string()), 2);
    EXPECT_EQ(render("--rate fast --embedded " + out.string()), 2);
    EXPECT_EQ(render("--seconds 0 --embedded " + out.string()), 2);
    EXPECT_EQ(render("--seconds --embedded " + out.string()), 2);
    EXPECT_EQ(render("--loud --embedded " + out.string()), 2);
    EXPECT_EQ(render("one.xm"), 2);

    const fs::path missing = folder / "missing.xm";
    EXPECT_EQ(render(missing.string() + " " + out.string()), 1);
    EXPECT_NE(capture(renderer + " " + missing.string() + " " + out.string() + " 2>&1")
                  .find("missing.xm"),
              std::string::npos);
    const fs::path not_xm = write_song({'n', 'o', 't', ' ', 'x', 'm'}, "text.xm");
    EXPECT_EQ(render(not_xm.string() + " " + out.string()), 1);
    EXPECT_EQ(render("--embedded " + (folder / "no" / "such" / "dir.wav").string()), 1);
}
