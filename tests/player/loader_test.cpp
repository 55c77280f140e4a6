// The memory file and the XM loader: every expectation is worked from the 1.04 layout and the
// loader's rules, on images written by tools/xm_image with the bytes poked where it matters.
#include <gtest/gtest.h>

#include <vector>

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "tests/player/support/xm_load.h"
#include "tools/xm_image.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // designated fields only

namespace {

// The module header takes 60 + 276 bytes; an instrument with samples has a 263-byte header.
constexpr size_t pattern0 = 336, instrument_header = 263;

void put(std::vector<uint8_t>& image, size_t at, uint32_t value, int width) {
    for (int byte = 0; byte < width; ++byte)
        image[at + size_t(byte)] = uint8_t(value >> (8 * byte));
}

// Three channels, orders 0, 20, 1 over two file patterns (packed, then written in full), and
// instruments with one 8-bit sample, none, and an 8-bit plus a ping-pong 16-bit sample.
XmImageSong feature_song() {
    XmImageSong song;
    song.channel_count = 3;
    song.tempo = 5;
    song.bpm = 130;
    song.restart_position = 1;
    song.orders = {0, 20, 1};
    song.patterns = {xm_pattern(4, 3, {"C-4 01 40 F05 | ... | === 128", "", "D#3 129 .. A0F"}),
                     xm_pattern(2, 3, {"", ".. .. .. ... | ... | B-7 02 30 C20"})};
    song.patterns[1].pack = false;
    XmImageInstrument first, last;
    first.samples = {XmImageSample{.frames = {5, 6}}};
    first.note_samples = {0, 0, 0, 0, 0, 7};
    first.volume_envelope = {.points = {{0, 64}, {4, 0}}, .sustain_point = 1, .type = 1};
    first.panning_envelope = {.points = {{0, 32}}, .type = 1};
    first.vibrato_type = 1, first.vibrato_sweep = 2, first.vibrato_depth = 3;
    first.vibrato_rate = 4, first.fadeout = 128;
    XmImageSample words{.sixteen_bit = true, .frames = {1000, -1000, 2000, -2000, 3000}};
    words.loop_start = 1, words.loop_length = 3, words.loop_bits = 2, words.volume = 40;
    words.finetune = -16, words.panning = 200, words.relative_note = -12;
    last.samples = {XmImageSample{.frames = {1, 2, 3}}, words};
    song.instruments = {first, XmImageInstrument{}, last};
    return song;
}

class Loader : public ::testing::Test {
protected:
    void TearDown() override { module_free(module); }
    XmModule* load(const std::vector<uint8_t>& image, SampleReader reader = nullptr) {
        module_free(module);
        return module = load_xm_image(image, reader);
    }
    // One sample in an image without patterns, its header's length, loop fields and type
    // poked; null when it does not load.
    const XmSample* load_sample(XmImageSample sample, std::vector<uint32_t> fields = {}) {
        XmImageSong song;
        song.orders.clear();
        song.instruments = {XmImageInstrument{.samples = {sample}}};
        std::vector<uint8_t> image = write_xm_image(song);
        for (size_t i = 0; i < fields.size(); ++i)
            put(image, pattern0 + instrument_header + (i < 3 ? 4 * i : 14), fields[i],
                i < 3 ? 4 : 1);
        return load(image) ? module->instruments[0].samples[0] : nullptr;
    }
    XmModule* module = nullptr;
};

// A 100-byte image: reads stop at its end, seeks clamp to it (a negative offset from the start
// wraps unsigned and clamps too), other modes leave the position.
TEST(MemoryFile, ReadsAndSeeksStayInsideTheImage) {
    uint8_t image[100], buffer[100];
    for (int i = 0; i < 100; ++i)
        image[i] = uint8_t(3 * i + 1);
    memfile_attach(image, 100);
    struct Step {
        char op;
        int32_t offset;
        uint8_t mode;
        uint32_t result, position;
    };
    const Step steps[] = {{'s', 94, 0, 0, 94},  {'r', 100, 0, 6, 100}, {'r', 1, 0, 0, 100},
                          {'s', -5, 0, 0, 100}, {'s', -6, 2, 0, 94},   {'s', 10, 2, 0, 100},
                          {'s', -9, 1, 0, 91},  {'s', 2, 1, 0, 93},    {'s', 0, 7, 0, 93},
                          {'r', 7, 0, 7, 100},  {'o', 0, 0, 1, 0},     {'r', -1, 0, 100, 100},
                          {'s', 5, 0, 0, 5},    {'c', 0, 0, 0, 0}};
    for (const Step& step : steps) {
        const uint32_t start = memfile_position;
        uint32_t result = 0;
        if (step.op == 's') result = uint32_t(memfile_seek(1, step.offset, step.mode));
        if (step.op == 'r') result = memfile_read(buffer, uint32_t(step.offset), 1);
        if (step.op == 'o') result = uint32_t(memfile_open(nullptr));
        if (step.op == 'c') memfile_close(1);
        EXPECT_EQ(result, step.result) << step.op << step.offset;
        EXPECT_EQ(memfile_tell(1), step.position) << step.op << step.offset;
        if (step.op == 'r' && result > 0) {
            EXPECT_EQ(buffer[result - 1], image[start + result - 1]);
        }
    }
    EXPECT_EQ(memfile_read(nullptr, 4, 1), 0u);
    memfile_reset();
}

TEST_F(Loader, FieldsFollowTheLayoutRules) {
    ASSERT_NE(load(write_xm_image(feature_song())), nullptr);
    const XmModule& m = *module;
    auto cell = [&](int pattern, int row, int channel) {
        return m.patterns[pattern].cells[row * 3 + channel];
    };
    const XmInstrument& in0 = m.instruments[0];
    const XmSample& words = *m.instruments[2].samples[1];
    struct Field {
        int64_t got, want;
    };
    const Field fields[] = {
        {m.song_length, 3},
        {m.restart_position, 1},
        {m.channel_count, 3},
        {m.flags, 1},
        {m.default_speed, 5},
        {m.default_bpm, 130},
        {m.orders[1], 20},
        {m.initial_global_volume, 64},
        {m.global_volume, 0},
        {m.speed, 0},
        // Order entry 20 names a pattern the file lacks: 21 patterns, 2..20 of 64 empty rows.
        {m.used_pattern_count, 21},
        {m.pattern_count, 21},
        {m.patterns[0].row_count, 4},
        {m.patterns[1].row_count, 2},
        {m.patterns[2].row_count, 64},
        {m.patterns[20].row_count, 64},
        {m.patterns[20].cells[191].note, 0},
        // C-0 is note 1: C-4 = 49, D#3 = 40, B-7 = 96; key-off 97 reads 255; instrument 128
        // stays, 129 becomes none.
        {cell(0, 0, 0).note, 49},
        {cell(0, 0, 0).instrument, 1},
        {cell(0, 0, 0).volume, 0x40},
        {cell(0, 0, 0).effect, 15},
        {cell(0, 0, 0).param, 5},
        {cell(0, 0, 1).note, 0},
        {cell(0, 0, 2).note, 255},
        {cell(0, 0, 2).instrument, 128},
        {cell(0, 2, 0).note, 40},
        {cell(0, 2, 0).instrument, 0},
        {cell(0, 2, 0).effect, 10},
        {cell(0, 2, 0).param, 15},
        {cell(0, 3, 2).note, 0},
        {cell(1, 1, 2).note, 96},
        {cell(1, 1, 2).instrument, 2},
        {cell(1, 1, 2).volume, 0x30},
        {cell(1, 1, 2).effect, 12},
        {cell(1, 1, 2).param, 0x20},
        {m.instrument_count, 3},
        {in0.sample_count, 1},
        {in0.note_samples[5], 7},
        {in0.volume_point_count, 2},
        {in0.volume_envelope[1].x, 4},
        {in0.volume_envelope[0].y, 64},
        {in0.volume_sustain_point, 1},
        {in0.volume_type, 1},
        {in0.panning_envelope[0].y, 32},
        // One panning point is no envelope; the fadeout is stored doubled.
        {in0.panning_point_count, 1},
        {in0.panning_type, 0},
        {in0.fadeout, 256},
        {in0.vibrato_type, 1},
        {in0.vibrato_sweep, 2},
        {in0.vibrato_depth, 3},
        {in0.vibrato_rate, 4},
        {in0.samples[0]->data[1], 6 * 256},
        {in0.samples[0]->length, 2},
        {m.instruments[1].sample_count, 0},
        {m.instruments[2].sample_count, 2},
        {m.instruments[2].samples[0]->data[2], 3 * 256},
        {words.length, 5},
        {words.loop_start, 1},
        {words.loop_length, 3},
        {words.loop_type, LOOP_PINGPONG},
        {words.volume, 40},
        {words.finetune, -16},
        {words.panning, 200},
        {words.relative_note, -12},
        {words.data[1], -1000},
        {words.data[3], -2000},
        // The ping-pong guard frame after the loop (frame 4) repeats the loop's last frame.
        {words.data[4], -2000},
        {words.data[5], 0}};
    for (size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(fields[i].got, fields[i].want) << "field " << i;
    EXPECT_EQ(m.tick_routine, &play_tick);
    for (int slot : {0, 15})
        EXPECT_EQ(m.instruments[1].samples[slot], &empty_sample);
    EXPECT_EQ(m.instruments[2].samples[2], &empty_sample);
    expect_module_sound(module);
}

// Sample header length, loop start, loop length (bytes) and type, and the frames made of them.
TEST_F(Loader, LoopFieldsBecomeFramesInsideTheSample) {
    struct Case {
        uint32_t length, start, loop, type;
        uint32_t want_length, want_start, want_loop;
        uint8_t want_type;
    };
    const Case cases[] = {{100, 10, 20, 0x00, 100, 0, 100, LOOP_NONE},
                          {100, 10, 20, 0x01, 100, 10, 20, LOOP_FORWARD},
                          {100, 10, 20, 0x02, 100, 10, 20, LOOP_PINGPONG},
                          {100, 10, 20, 0x03, 100, 10, 20, LOOP_PINGPONG},  // both bits: ping-pong
                          {100, 10, 0, 0x01, 100, 0, 100, LOOP_NONE},       // no length: no loop
                          {100, 10, 20, 0xED, 100, 10, 20, LOOP_FORWARD},   // other bits ignored
                          {200, 20, 40, 0x11, 100, 10, 20, LOOP_FORWARD},   // 16-bit: halved
                          {200, 20, 40, 0x10, 100, 0, 100, LOOP_NONE},
                          {200, 20, 1, 0x11, 100, 0, 100, LOOP_NONE},
                          {201, 21, 41, 0x12, 100, 10, 20, LOOP_PINGPONG},  // odd bytes round down
                          {100, 90, 20, 0x01, 100, 90, 10, LOOP_FORWARD},   // cut at the end
                          {100, 99, 20, 0x01, 100, 99, 1, LOOP_FORWARD},
                          {100, 100, 5, 0x01, 100, 0, 100, LOOP_NONE},
                          {100, 0xFFFFFFF0, 0xFFFFFFF0, 0x02, 100, 0, 100, LOOP_NONE},
                          {100, 0, 0xFFFFFFFF, 0x01, 100, 0, 100, LOOP_FORWARD},
                          {0, 0, 10, 0x01, 0, 0, 0, LOOP_NONE}};
    for (const Case& c : cases) {
        XmImageSample sample{.sixteen_bit = (c.type & 0x10) != 0};
        sample.frames.assign(sample.sixteen_bit ? c.length / 2 : c.length, 1);
        const XmSample* loaded = load_sample(sample, {c.length, c.start, c.loop, c.type});
        ASSERT_NE(loaded, nullptr) << c.start << " " << c.type;
        EXPECT_EQ(loaded->length, c.want_length);
        EXPECT_EQ(loaded->loop_start, c.want_start) << c.start << " " << c.type;
        EXPECT_EQ(loaded->loop_length, c.want_loop) << c.start << " " << c.type;
        EXPECT_EQ(loaded->loop_type, c.want_type) << c.start << " " << c.type;
    }
}

// Delta bytes, the data they decode to (8-bit byte x 256, running 16-bit sum with wrap-around)
// and the guard frame after a loop from 1 over 2 frames: frame 1 again (forward), frame 2
// (ping-pong), none (0) without a loop.
TEST_F(Loader, DataIsWidenedSummedAndGuarded) {
    struct Case {
        bool sixteen;
        uint8_t loop_bits;
        std::vector<uint8_t> bytes;
        std::vector<int16_t> frames;  // and the guard frame
    };
    const Case cases[] = {
        {false, 0, {0x01, 0x01, 0xFF}, {256, 512, 256, 0}},
        {false, 1, {0x7F, 0x01, 0x80}, {32512, -32768, 0, -32768}},
        {false, 2, {0xFF, 0xFF, 0xFF}, {-256, -512, -768, -768}},
        {true, 1, {0x00, 0x01, 0x00, 0x01, 0x00, 0x7E}, {256, 512, -32768, 512}},
        {true, 2, {0xFF, 0x7F, 0x01, 0x00, 0xFF, 0xFF}, {32767, -32768, 32767, 32767}}};
    for (const Case& c : cases) {
        XmImageSample sample{.sixteen_bit = c.sixteen, .frames = std::vector<int16_t>(3, 0)};
        sample.loop_start = 1, sample.loop_length = 2, sample.loop_bits = c.loop_bits;
        XmImageSong song;
        song.orders.clear();
        song.instruments = {XmImageInstrument{.samples = {sample}}};
        std::vector<uint8_t> image = write_xm_image(song);
        std::copy(c.bytes.begin(), c.bytes.end(), image.end() - long(c.bytes.size()));
        ASSERT_NE(load(image), nullptr);
        const int16_t* data = module->instruments[0].samples[0]->data;
        EXPECT_EQ(std::vector<int16_t>(data, data + 4), c.frames);
        EXPECT_EQ(std::vector<int16_t>(data + 4, data + 11), std::vector<int16_t>(7, 0));
    }
}

std::vector<std::vector<int>> reader_calls;

// Stands in for the stream's sample data with the bytes 1, 2, 3, ...
void counting_reader(void* destination, uint32_t count, int bits, int instrument, int sample) {
    reader_calls.push_back({int(count), bits, instrument, sample});
    for (uint32_t i = 0; i < count; ++i)
        static_cast<uint8_t*>(destination)[i] = uint8_t(i + 1);
}

// The reader is asked for bits x length / 8 bytes per sample with data, numbered from 0; its
// values are taken plain (not summed) and the stream moves past the data.
TEST_F(Loader, SampleReaderSuppliesPlainValues) {
    reader_calls.clear();
    ASSERT_NE(load(write_xm_image(feature_song()), counting_reader), nullptr);
    EXPECT_EQ(module->sample_reader, &counting_reader);
    EXPECT_EQ(reader_calls,
              (std::vector<std::vector<int>>{{2, 8, 0, 0}, {3, 8, 2, 0}, {10, 16, 2, 1}}));
    EXPECT_EQ(module->instruments[2].samples[0]->data[2], 3 * 256);
    EXPECT_EQ(module->instruments[2].samples[1]->data[1], 0x0403);
}

int opens, closes;
bool open_fails;
uintptr_t counted_open(const void* name) {
    ++opens;
    return open_fails ? 0 : memfile_open(name);
}
void counted_close(uintptr_t handle) {
    ++closes;
    memfile_close(handle);
}

// A load needs all five callbacks and an open stream; a stream that did not open is not closed.
TEST_F(Loader, NeedsTheWholeSetOfCallbacksAndAnOpenStream) {
    const std::vector<uint8_t> image = write_xm_image(feature_song());
    memfile_attach(image.data(), uint32_t(image.size()));
    for (int missing = 0; missing < 6; ++missing) {
        set_file_callbacks(
            missing == 0 ? nullptr : counted_open, missing == 1 ? nullptr : counted_close,
            missing == 2 ? nullptr : memfile_read, missing == 3 ? nullptr : memfile_seek,
            missing == 4 ? nullptr : memfile_tell);
        EXPECT_EQ(file_callbacks_installed(), missing == 5);
        opens = closes = 0;
        for (bool fails : {false, true}) {
            open_fails = fails;
            XmModule* loaded = module_load(nullptr, nullptr);
            EXPECT_EQ(loaded != nullptr, missing == 5 && !fails) << missing;
            module_free(loaded);
        }
        EXPECT_EQ(opens, missing == 5 ? 2 : 0);
        EXPECT_EQ(closes, missing == 5 ? 1 : 0);
    }
    EXPECT_FALSE(read_xm(nullptr, nullptr));
    EXPECT_FALSE(module_free(nullptr));
    loader_reset();
    EXPECT_FALSE(file_callbacks_installed());
    memfile_reset();
}

// Each image's walk ends exactly at its last byte, so every shorter prefix fails; the last
// feature image ends on the seek past an instrument without samples.
TEST_F(Loader, EveryPrefixFailsAndTheWholeImageLoads) {
    XmImageSong song = feature_song();
    song.instruments.push_back(XmImageInstrument{});
    for (const std::vector<uint8_t>& image :
         {write_xm_image(feature_song()), write_xm_image(song),
          std::vector<uint8_t>(module_bytes, module_bytes + module_size)}) {
        for (size_t length = 0; length < image.size(); ++length)
            ASSERT_EQ(load(std::vector<uint8_t>(image.begin(), image.begin() + long(length))),
                      nullptr)
                << length << " of " << image.size();
        expect_module_sound(load(image));
    }
}

// Size fields of the feature image set to 0, 0xFFFF and 0xFFFFFFFF (cut to the field's width):
// L loads, F fails, E either; whatever loads keeps its promises. 'i' marks offsets from the
// first instrument.
TEST_F(Loader, ExtremeSizeFieldsLoadSoundlyOrFail) {
    XmImageSong bare = feature_song();
    bare.instruments.clear();
    const size_t instrument0 = write_xm_image(bare).size();
    const std::vector<uint8_t> original = write_xm_image(feature_song());
    struct Field {
        size_t offset;
        char base;
        int width;
        const char* outcomes;
    };
    const Field fields[] = {
        {60, 'm', 4, "EFF"},  // header size: pattern data inside the header or past the end
        {64, 'm', 2, "LLL"},  // song length: held to the 256 order entries
        {66, 'm', 2, "LLL"},
        {68, 'm', 2, "FFF"},  // channels: 1..32 only
        {70, 'm', 2, "EFF"},  // more than 256 patterns
        {72, 'm', 2, "LFF"},  // instruments the image cannot hold
        {76, 'm', 2, "LLL"},
        {78, 'm', 2, "LLL"},
        {pattern0, 'm', 4, "LLL"},
        {pattern0 + 5, 'm', 2, "EFF"},  // rows whose cells cannot fit
        {pattern0 + 7, 'm', 2, "ELL"},  // packed size: only 0 means no data
        {0, 'i', 4, "EFF"},
        {27, 'i', 2, "EFF"},
        {29, 'i', 4, "LLL"},
        {225, 'i', 1, "LLL"},
        {226, 'i', 1, "LLL"},
        {263, 'i', 4, "EFF"},  // sample length: data that is not there
        {267, 'i', 4, "LLL"},
        {271, 'i', 4, "LLL"}};
    for (const Field& field : fields) {
        const uint32_t values[3] = {0, 0xFFFF, 0xFFFFFFFF};
        for (int v = 0; v < 3; ++v) {
            std::vector<uint8_t> image = original;
            put(image, field.offset + (field.base == 'i' ? instrument0 : 0), values[v],
                field.width);
            SCOPED_TRACE(::testing::Message() << field.base << field.offset << " = " << values[v]);
            if (load(image)) expect_module_sound(module);
            if (field.outcomes[v] != 'E') {
                EXPECT_EQ(module != nullptr, field.outcomes[v] == 'L');
            }
        }
    }
    XmImageSong crowded = feature_song();  // more than 16 samples fail the load
    crowded.instruments[1].sample_count_override = 17;
    EXPECT_EQ(load(write_xm_image(crowded)), nullptr);
    std::vector<uint8_t> image = original;  // the ID text must match to its trailing blank
    image[16] = 0;
    EXPECT_EQ(load(image), nullptr);
}

}  // namespace
