// The XM loader read through the real memory file: header fields, cell
// decoding, patterns the order table names, instruments with and without
// samples, loop normalisation, widening and delta decoding, guard frames, the
// sample reader and the file callbacks. Every expectation comes from the 1.04
// layout and the loader's rules, with the bytes written out where it matters.
#include <gtest/gtest.h>

#include <vector>

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/module.h"
#include "tests/player/support/xm_load.h"
#include "tools/xm_image.h"

namespace {

// The module header is 336 bytes; with no patterns in the file the first
// instrument starts there and its first sample header 263 bytes later.
constexpr size_t module_header_end = 336;
constexpr size_t first_sample_header = module_header_end + 263;

void put16(std::vector<uint8_t>& image, size_t at, uint32_t value) {
    image[at] = uint8_t(value);
    image[at + 1] = uint8_t(value >> 8);
}

void put32(std::vector<uint8_t>& image, size_t at, uint32_t value) {
    put16(image, at, value & 0xFFFF);
    put16(image, at + 2, value >> 16);
}

// A song with no patterns in the file and an empty order list, so instruments
// start right after the module header.
XmImageSong song_without_patterns() {
    XmImageSong song;
    song.orders.clear();
    song.patterns.clear();
    return song;
}

XmImageInstrument instrument_with(const std::vector<XmImageSample>& samples) {
    XmImageInstrument instrument;
    instrument.samples = samples;
    return instrument;
}

XmImageSample eight_bit(const std::vector<int16_t>& frames) {
    XmImageSample sample;
    sample.frames = frames;
    return sample;
}

class Loader : public ::testing::Test {
protected:
    void SetUp() override { reset_loader_state(); }
    void TearDown() override {
        module_free(module);
        reset_loader_state();
    }
    XmModule* load(const std::vector<uint8_t>& image, SampleReader reader = nullptr) {
        module_free(module);
        module = load_xm_image(image, reader);
        return module;
    }
    XmModule* module = nullptr;
};

}  // namespace

TEST_F(Loader, HeaderFieldsAreStoredAndPlaybackFieldsStayZero) {
    XmImageSong song;
    song.channel_count = 6;
    song.flags = 1;
    song.tempo = 5;
    song.bpm = 130;
    song.restart_position = 1;
    song.orders = {0, 1, 1, 0};
    song.patterns = {xm_pattern(1, 6, {}), xm_pattern(1, 6, {})};
    song.instruments.resize(3);
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    EXPECT_EQ(module->song_length, 4);
    EXPECT_EQ(module->restart_position, 1);
    EXPECT_EQ(module->channel_count, 6);
    EXPECT_EQ(module->used_pattern_count, 2);
    EXPECT_EQ(module->pattern_count, 2);
    EXPECT_EQ(module->instrument_count, 3);
    EXPECT_EQ(module->flags, 1);
    EXPECT_EQ(module->default_speed, 5);
    EXPECT_EQ(module->default_bpm, 130);
    EXPECT_EQ(module->orders[1], 1);
    EXPECT_EQ(module->orders[3], 0);
    EXPECT_EQ(module->initial_global_volume, 64);
    EXPECT_EQ(module->tick_routine, &play_tick);
    EXPECT_EQ(module->sample_reader, nullptr);
    EXPECT_EQ(module->patterns[1].row_count, 1);
    // Playback fields are given their values by the player when it starts.
    EXPECT_EQ(module->tick_samples_left, 0);
    EXPECT_EQ(module->samples_per_tick, 0);
    EXPECT_EQ(module->global_volume, 0);
    EXPECT_EQ(module->speed, 0);
    EXPECT_EQ(module->bpm, 0);
    EXPECT_EQ(module->next_row, 0);
    EXPECT_EQ(module->next_order, 0);
    EXPECT_EQ(module->song_time_ms, 0u);
}

TEST_F(Loader, IdTextMustMatchByteForByte) {
    std::vector<uint8_t> image = write_xm_image(XmImageSong{});
    ASSERT_NE(load(image), nullptr);
    image[16] = 0;  // the trailing blank of "Extended Module: "
    EXPECT_EQ(load(image), nullptr);
    image[16] = ' ';
    image[0] = 'e';
    EXPECT_EQ(load(image), nullptr);
}

TEST_F(Loader, PackedAndFullCellsDecodeWithKeyOffAndInstrumentLimits) {
    XmImageSong song;
    song.channel_count = 2;
    XmImagePattern pattern;
    pattern.rows = 5;
    pattern.empty_data = true;
    song.patterns = {pattern};
    std::vector<uint8_t> image = write_xm_image(song);
    const std::vector<uint8_t> cells = {
        0x80, 0x83, 0x31, 0x02,              // empty | note 49, instrument 2
        0x00, 0x05, 0x40, 0x0C, 0x20,        // full cell with no note | ...
        0xE3, 0x61, 0x81,                    // bits 5, 6 ignored: key-off, instrument 129
        0x9F, 0x30, 0x80, 0x10, 0x0F, 0x01,  // all five fields | ...
        0x61, 0x80, 0x00, 0x00, 0x00,        // full key-off cell with instrument 128
        0x81, 0x62, 0x81, 0xFE,              // notes 98 and 254 | ...
        0x81, 0xFF, 0x98, 0x0A, 0x00};       // note 255 | effect A, parameter 0
    image.insert(image.begin() + module_header_end + 9, cells.begin(), cells.end());
    put16(image, module_header_end + 7, uint32_t(cells.size()));
    ASSERT_NE(load(image), nullptr);
    const XmCell* c = module->patterns[0].cells;
    auto expect_cell = [](const XmCell& cell, std::vector<int> fields) {
        EXPECT_EQ(
            (std::vector<int>{cell.note, cell.instrument, cell.volume, cell.effect, cell.param}),
            fields);
    };
    expect_cell(c[0], {0, 0, 0, 0, 0});
    expect_cell(c[1], {49, 2, 0, 0, 0});
    expect_cell(c[2], {0, 5, 0x40, 0x0C, 0x20});
    expect_cell(c[3], {255, 0, 0, 0, 0});
    expect_cell(c[4], {48, 128, 0x10, 0x0F, 0x01});
    expect_cell(c[5], {255, 128, 0, 0, 0});
    expect_cell(c[6], {0, 0, 0, 0, 0});  // notes past key-off are no note
    expect_cell(c[7], {0, 0, 0, 0, 0});
    expect_cell(c[8], {255, 0, 0, 0, 0});  // 255 itself stays key-off
    expect_cell(c[9], {0, 0, 0, 0x0A, 0});
}

TEST_F(Loader, PatternsTheOrderTableNamesButTheFileLacksHaveSixtyFourEmptyRows) {
    XmImageSong song;
    song.channel_count = 1;
    song.patterns.assign(14, xm_pattern(2, 1, {"C-4 01"}));
    song.orders = {0, 20, 3};
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    EXPECT_EQ(module->used_pattern_count, 21);
    EXPECT_EQ(module->pattern_count, 21);
    EXPECT_EQ(module->patterns[13].row_count, 2);
    EXPECT_EQ(module->patterns[13].cells[0].note, 49);
    for (int p = 14; p <= 20; ++p) {
        ASSERT_EQ(module->patterns[p].row_count, 64);
        for (int i = 0; i < 64; ++i) {
            EXPECT_EQ(module->patterns[p].cells[i].note, 0);
        }
    }

    // A header count above the highest order entry keeps every pattern of the
    // file.
    song.patterns.assign(5, xm_pattern(2, 1, {}));
    song.orders = {0, 1};
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    EXPECT_EQ(module->used_pattern_count, 2);
    EXPECT_EQ(module->pattern_count, 5);

    // Only the first song_length entries count; a song length of 0 uses no
    // pattern.
    song.orders = {0, 9};
    song.song_length_override = 1;
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    EXPECT_EQ(module->used_pattern_count, 1);
    EXPECT_EQ(module->pattern_count, 5);
    EXPECT_EQ(module->orders[1], 9);
    song.song_length_override = 0;
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    EXPECT_EQ(module->used_pattern_count, 0);
    EXPECT_EQ(module->pattern_count, 5);
}

TEST_F(Loader, RowCountsComeFromTheFileAndEmptyPatternsHoldAtMost256Rows) {
    XmImageSong song;
    song.channel_count = 2;
    XmImagePattern empty64, empty300, empty0;
    empty64.empty_data = empty300.empty_data = empty0.empty_data = true;
    empty64.rows = 64;
    empty300.rows = 300;
    empty0.rows = 0;
    XmImagePattern full300 = xm_pattern(300, 2, {});
    full300.cells[299 * 2 + 1] = xm_cell("B-7 03");
    song.patterns = {empty64, empty300, empty0, full300};
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    EXPECT_EQ(module->patterns[0].row_count, 64);
    EXPECT_EQ(module->patterns[1].row_count, 256);
    EXPECT_EQ(module->patterns[2].row_count, 0);
    EXPECT_EQ(module->patterns[2].cells, nullptr);
    EXPECT_EQ(module->patterns[3].row_count, 300);
    EXPECT_EQ(module->patterns[3].cells[599].note, 96);
    EXPECT_EQ(module->patterns[3].cells[599].instrument, 3);
    expect_module_sound(module);
}

TEST_F(Loader, InstrumentsWithoutSamplesEndAtTheirHeaderSize) {
    XmImageSong song = song_without_patterns();
    XmImageInstrument short29, long263;
    short29.header_size_override = 29;
    long263.header_size_override = 263;
    song.instruments = {XmImageInstrument{}, short29, instrument_with({eight_bit({10, 20, 30})}),
                        long263};
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    ASSERT_EQ(module->instrument_count, 4);
    for (int i : {0, 1, 3}) {
        EXPECT_EQ(module->instruments[i].sample_count, 0);
        for (XmSample* slot : module->instruments[i].samples) {
            EXPECT_EQ(slot, &empty_sample);
        }
    }
    const XmInstrument& played = module->instruments[2];
    ASSERT_EQ(played.sample_count, 1);
    EXPECT_EQ(played.samples[1], &empty_sample);
    ASSERT_EQ(played.samples[0]->length, 3u);
    EXPECT_EQ(played.samples[0]->data[0], 10 * 256);
    EXPECT_EQ(played.samples[0]->data[2], 30 * 256);
}

TEST_F(Loader, InstrumentSettingsAreKeptWithFadeoutDoubledAndShortEnvelopesOff) {
    XmImageSong song = song_without_patterns();
    XmImageInstrument first = instrument_with({eight_bit({1})});
    for (int note = 0; note < 96; ++note) {
        first.note_samples.push_back(uint8_t(note % 3));
    }
    first.volume_envelope.points = {{0, 64}, {10, 32}, {20, 0}};
    first.volume_envelope.sustain_point = 1;
    first.volume_envelope.loop_start = 0;
    first.volume_envelope.loop_end = 2;
    first.volume_envelope.type = 7;
    first.panning_envelope.points = {{0, 32}};
    first.panning_envelope.type = 1;
    first.vibrato_type = 1;
    first.vibrato_sweep = 2;
    first.vibrato_depth = 3;
    first.vibrato_rate = 4;
    first.fadeout = 128;
    XmImageInstrument second = instrument_with({eight_bit({1})});
    for (uint16_t i = 0; i < 12; ++i) {
        second.volume_envelope.points.push_back({i, 64});
    }
    second.volume_envelope.point_count_override = 15;
    second.volume_envelope.type = 1;
    second.panning_envelope.points = {{0, 0}, {5, 64}};
    second.panning_envelope.type = 3;
    second.fadeout = 0x9000;
    song.instruments = {first, second};
    ASSERT_NE(load(write_xm_image(song)), nullptr);

    const XmInstrument& a = module->instruments[0];
    EXPECT_EQ(a.note_samples[0], 0);
    EXPECT_EQ(a.note_samples[95], 2);
    EXPECT_EQ(a.volume_point_count, 3);
    EXPECT_EQ(a.volume_envelope[1].x, 10);
    EXPECT_EQ(a.volume_envelope[1].y, 32);
    EXPECT_EQ(a.volume_envelope[3].x, 0);
    EXPECT_EQ(a.volume_sustain_point, 1);
    EXPECT_EQ(a.volume_loop_end, 2);
    EXPECT_EQ(a.volume_type, 7);
    EXPECT_EQ(a.panning_point_count, 1);
    EXPECT_EQ(a.panning_type, 0);  // one point is no envelope
    EXPECT_EQ(a.vibrato_type, 1);
    EXPECT_EQ(a.vibrato_sweep, 2);
    EXPECT_EQ(a.vibrato_depth, 3);
    EXPECT_EQ(a.vibrato_rate, 4);
    EXPECT_EQ(a.fadeout, 256);

    const XmInstrument& b = module->instruments[1];
    EXPECT_EQ(b.volume_point_count, 12);  // the file carries twelve points
    EXPECT_EQ(b.volume_type, 1);
    EXPECT_EQ(b.volume_envelope[11].x, 11);
    EXPECT_EQ(b.volume_envelope[12].x, 0);
    EXPECT_EQ(b.panning_point_count, 2);
    EXPECT_EQ(b.panning_type, 3);
    EXPECT_EQ(b.fadeout, 0xFFFF);  // twice 0x9000 does not fit: held at the top
}

TEST_F(Loader, MoreThanSixteenSamplesFailTheLoad) {
    XmImageSong song = song_without_patterns();
    XmImageInstrument crowded;
    crowded.sample_count_override = 17;
    song.instruments = {instrument_with({eight_bit({1, 2})}), crowded};
    EXPECT_EQ(load(write_xm_image(song)), nullptr);
    song.instruments[1].sample_count_override = 16;  // 16 headers that are not there
    EXPECT_EQ(load(write_xm_image(song)), nullptr);
}

namespace {

// One sample header written byte by byte: the length, loop start and loop
// length in bytes and the type byte, and what the loader makes of them in
// frames.
struct LoopCase {
    const char* name;
    uint32_t length_bytes, loop_start_bytes, loop_length_bytes;
    uint8_t type;
    uint32_t length, loop_start, loop_length;
    uint8_t loop_type;
};

void PrintTo(const LoopCase& loop, std::ostream* out) {
    *out << loop.name;
}

class LoopNormalisation : public Loader, public ::testing::WithParamInterface<LoopCase> {};

}  // namespace

TEST_P(LoopNormalisation, LoopFieldsBecomeFramesInsideTheSample) {
    const LoopCase& loop = GetParam();
    bool sixteen = loop.type & 0x10;
    XmImageSample sample;
    sample.sixteen_bit = sixteen;
    sample.frames.assign(sixteen ? loop.length_bytes / 2 : loop.length_bytes, 1);
    XmImageSong song = song_without_patterns();
    song.instruments = {instrument_with({sample})};
    std::vector<uint8_t> image = write_xm_image(song);
    put32(image, first_sample_header, loop.length_bytes);
    put32(image, first_sample_header + 4, loop.loop_start_bytes);
    put32(image, first_sample_header + 8, loop.loop_length_bytes);
    image[first_sample_header + 14] = loop.type;
    ASSERT_NE(load(image), nullptr);
    const XmSample& loaded = *module->instruments[0].samples[0];
    EXPECT_EQ(loaded.length, loop.length);
    EXPECT_EQ(loaded.loop_start, loop.loop_start);
    EXPECT_EQ(loaded.loop_length, loop.loop_length);
    EXPECT_EQ(loaded.loop_type, loop.loop_type);
    EXPECT_EQ(loaded.bits, 16);
    EXPECT_EQ(loaded.data == nullptr, loop.length == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Types, LoopNormalisation,
    ::testing::Values(
        LoopCase{"NoLoopBits", 100, 10, 20, 0x00, 100, 0, 100, LOOP_NONE},
        LoopCase{"Forward", 100, 10, 20, 0x01, 100, 10, 20, LOOP_FORWARD},
        LoopCase{"PingPong", 100, 10, 20, 0x02, 100, 10, 20, LOOP_PINGPONG},
        LoopCase{"BothBitsPlayPingPong", 100, 10, 20, 0x03, 100, 10, 20, LOOP_PINGPONG},
        LoopCase{"ZeroLoopLengthIsNoLoop", 100, 10, 0, 0x01, 100, 0, 100, LOOP_NONE},
        LoopCase{"OtherTypeBitsIgnored", 100, 10, 20, 0xED, 100, 10, 20, LOOP_FORWARD},
        LoopCase{"SixteenBitHalved", 200, 20, 40, 0x11, 100, 10, 20, LOOP_FORWARD},
        LoopCase{"SixteenBitWithoutLoop", 200, 20, 40, 0x10, 100, 0, 100, LOOP_NONE},
        LoopCase{"SixteenBitOneByteLoopIsNoLoop", 200, 20, 1, 0x11, 100, 0, 100, LOOP_NONE},
        LoopCase{"SixteenBitOddBytesRoundDown", 201, 21, 41, 0x12, 100, 10, 20, LOOP_PINGPONG},
        LoopCase{"LoopPastTheEndIsCut", 100, 90, 20, 0x01, 100, 90, 10, LOOP_FORWARD},
        LoopCase{"LoopStartingAtTheEndIsDropped", 100, 100, 5, 0x01, 100, 0, 100, LOOP_NONE},
        LoopCase{"HugeLoopFieldsAreDropped", 100, 0xFFFFFFF0, 0xFFFFFFF0, 0x02, 100, 0, 100,
                 LOOP_NONE},
        LoopCase{"HugeLoopLengthIsCut", 100, 0, 0xFFFFFFFF, 0x01, 100, 0, 100, LOOP_FORWARD},
        LoopCase{"EmptySampleHasNoLoopAndNoData", 0, 0, 10, 0x01, 0, 0, 0, LOOP_NONE}),
    [](const ::testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.name); });

namespace {

// Raw sample data bytes as they stand in the file and the frames they decode
// to.
struct DeltaCase {
    const char* name;
    bool sixteen_bit;
    std::vector<uint8_t> bytes;
    std::vector<int16_t> frames;
};

void PrintTo(const DeltaCase& delta, std::ostream* out) {
    *out << delta.name;
}

class DeltaDecoding : public Loader, public ::testing::WithParamInterface<DeltaCase> {};

}  // namespace

TEST_P(DeltaDecoding, DataIsWidenedAndSummedWithWrapAround) {
    const DeltaCase& delta = GetParam();
    XmImageSample sample;
    sample.sixteen_bit = delta.sixteen_bit;
    sample.frames.assign(delta.frames.size(), 0);
    XmImageSong song = song_without_patterns();
    song.instruments = {instrument_with({sample})};
    std::vector<uint8_t> image = write_xm_image(song);
    ASSERT_GE(image.size(), delta.bytes.size());
    std::copy(delta.bytes.begin(), delta.bytes.end(), image.end() - long(delta.bytes.size()));
    ASSERT_NE(load(image), nullptr);
    const XmSample& loaded = *module->instruments[0].samples[0];
    ASSERT_EQ(loaded.length, delta.frames.size());
    EXPECT_EQ(loaded.bits, 16);
    EXPECT_EQ(std::vector<int16_t>(loaded.data, loaded.data + loaded.length), delta.frames);
    // Without a loop the eight frames of storage after the sample stay silent.
    EXPECT_EQ(std::vector<int16_t>(loaded.data + loaded.length, loaded.data + loaded.length + 8),
              std::vector<int16_t>(8, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DeltaDecoding,
    ::testing::Values(
        DeltaCase{"EightBitRisesAndFalls", false, {0x01, 0x01, 0xFF}, {256, 512, 256}},
        DeltaCase{"EightBitWrapsAtTheTop", false, {0x7F, 0x01}, {32512, -32768}},
        DeltaCase{"EightBitMostNegative", false, {0x80}, {-32768}},
        DeltaCase{"EightBitNegativeSteps", false, {0xFF, 0xFF}, {-256, -512}},
        DeltaCase{
            "SixteenBitWords", true, {0x00, 0x01, 0x00, 0x01, 0x00, 0x7E}, {256, 512, -32768}},
        DeltaCase{"SixteenBitWrapsAtTheTop", true, {0xFF, 0x7F, 0x01, 0x00}, {32767, -32768}},
        DeltaCase{"SixteenBitNegativeSteps", true, {0xFF, 0xFF, 0xFF, 0xFF}, {-1, -2}}),
    [](const ::testing::TestParamInfo<DeltaCase>& info) { return std::string(info.param.name); });

TEST_F(Loader, GuardFrameRepeatsTheLoopStartOrTheLoopEnd) {
    XmImageSample sample;
    sample.sixteen_bit = true;
    for (int i = 0; i < 130; ++i) {
        sample.frames.push_back(int16_t(i * 100 - 6000));
    }
    sample.loop_start = 2;
    sample.loop_length = 128;
    XmImageSong song = song_without_patterns();
    XmImageSample forward = sample, pingpong = sample, none = sample, past_end = sample;
    forward.loop_bits = 1;
    pingpong.loop_bits = 2;
    past_end.loop_bits = 1;
    past_end.loop_start = 100;
    past_end.loop_length = 50;
    song.instruments = {instrument_with({forward, pingpong, none, past_end})};
    ASSERT_NE(load(write_xm_image(song)), nullptr);
    XmSample* const* slots = module->instruments[0].samples;
    EXPECT_EQ(slots[0]->data[130], 2 * 100 - 6000);  // frame loop_start
    EXPECT_EQ(slots[1]->data[130],
              129 * 100 - 6000);  // frame loop_start + loop_length - 1
    EXPECT_EQ(slots[2]->data[130], 0);
    EXPECT_EQ(slots[3]->loop_length, 30u);
    EXPECT_EQ(slots[3]->data[130], 100 * 100 - 6000);
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(slots[slot]->data[129], 129 * 100 - 6000);
        EXPECT_EQ(slots[slot]->data[131], 0);
        EXPECT_EQ(slots[slot]->data[137], 0);
    }
}

namespace {

// What the sample reader below was asked for, call by call.
struct SampleRequest {
    uint32_t byte_count;
    int bits;
    int instrument_index;
    int sample_index;
    bool operator==(const SampleRequest&) const = default;
};
std::vector<SampleRequest> sample_requests;

// Stands in for the stream's sample data with the bytes 1, 2, 3, ...
void counting_sample_reader(void* destination, uint32_t byte_count, int bits, int instrument_index,
                            int sample_index) {
    sample_requests.push_back({byte_count, bits, instrument_index, sample_index});
    auto* bytes = static_cast<uint8_t*>(destination);
    for (uint32_t i = 0; i < byte_count; ++i) {
        bytes[i] = uint8_t(i + 1);
    }
}

}  // namespace

TEST_F(Loader, SampleReaderSuppliesPlainValuesAndTheStreamSkipsTheData) {
    sample_requests.clear();
    XmImageSong song = song_without_patterns();
    XmImageSample sixteen;
    sixteen.sixteen_bit = true;
    sixteen.frames = {77, 77};
    song.instruments = {instrument_with({eight_bit({-5, 9, 100})}),
                        instrument_with({eight_bit({}), sixteen}),
                        instrument_with({eight_bit({42})})};
    ASSERT_NE(load(write_xm_image(song), counting_sample_reader), nullptr);
    EXPECT_EQ(module->sample_reader, &counting_sample_reader);
    EXPECT_EQ(sample_requests,
              (std::vector<SampleRequest>{{3, 8, 0, 0}, {4, 16, 1, 1}, {1, 8, 2, 0}}));
    const XmSample& eight = *module->instruments[0].samples[0];
    EXPECT_EQ(std::vector<int16_t>(eight.data, eight.data + 3),
              (std::vector<int16_t>{256, 512, 768}));  // not summed
    const XmSample& words = *module->instruments[1].samples[1];
    EXPECT_EQ(words.data[0], 0x0201);
    EXPECT_EQ(words.data[1], 0x0403);
    EXPECT_EQ(module->instruments[2].samples[0]->data[0], 256);
}

namespace {

// File callbacks around the memory file that note what the loader asks of them.
struct StreamLog {
    int opens = 0, closes = 0;
    bool open_fails = false;
    uint32_t short_reads = 0;
    uint64_t last_read_end = 0, furthest_read_end = 0;
    uint32_t position_at_close = 0;
};
StreamLog stream_log;

uintptr_t logged_open(const void* name) {
    ++stream_log.opens;
    return stream_log.open_fails ? 0 : memfile_open(name);
}
void logged_close(uintptr_t handle) {
    ++stream_log.closes;
    stream_log.position_at_close = memfile_position;
    memfile_close(handle);
}
uint32_t logged_read(void* destination, uint32_t count, uintptr_t handle) {
    uint64_t start = memfile_position;
    uint32_t delivered = memfile_read(destination, count, handle);
    if (delivered != count) ++stream_log.short_reads;
    stream_log.last_read_end = start + count;
    stream_log.furthest_read_end = std::max(stream_log.furthest_read_end, start + count);
    return delivered;
}

// Loads image through the logging callbacks.
XmModule* load_logged(const std::vector<uint8_t>& bytes, uint32_t size) {
    stream_log = StreamLog{};
    memfile_attach(bytes.data(), size);
    set_file_callbacks(logged_open, logged_close, logged_read, memfile_seek, memfile_tell);
    return module_load(nullptr, nullptr);
}

}  // namespace

TEST_F(Loader, EveryByteIsConsumedAndTheLastReadEndsAtTheEnd) {
    std::vector<uint8_t> image = write_xm_image(feature_song());
    module = load_logged(image, uint32_t(image.size()));
    ASSERT_NE(module, nullptr);
    expect_module_sound(module);
    EXPECT_EQ(stream_log.short_reads, 0u);
    EXPECT_EQ(stream_log.last_read_end, image.size());
    EXPECT_EQ(stream_log.furthest_read_end, image.size());
    EXPECT_EQ(stream_log.position_at_close, image.size());
    EXPECT_EQ(stream_log.closes, 1);

    // A song ending in an instrument without samples ends on the seek past its
    // header.
    XmImageSong song = feature_song();
    song.instruments.push_back(XmImageInstrument{});
    image = write_xm_image(song);
    module_free(module);
    module = load_logged(image, uint32_t(image.size()));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(stream_log.short_reads, 0u);
    EXPECT_EQ(stream_log.furthest_read_end,
              image.size() - 4);  // the sample header size
    EXPECT_EQ(stream_log.position_at_close, image.size());
}

TEST_F(Loader, EmbeddedSongIsReadToItsLastByte) {
    std::vector<uint8_t> image(module_bytes, module_bytes + module_size);
    module = load_logged(image, module_size);
    ASSERT_NE(module, nullptr);
    expect_module_sound(module);
    EXPECT_EQ(stream_log.short_reads, 0u);
    EXPECT_LE(stream_log.furthest_read_end, module_size);
    EXPECT_EQ(stream_log.position_at_close, module_size);
}

TEST_F(Loader, LoadingNeedsTheWholeSetOfCallbacksAndAnOpenStream) {
    std::vector<uint8_t> image = write_xm_image(feature_song());
    memfile_attach(image.data(), uint32_t(image.size()));
    EXPECT_FALSE(file_callbacks_installed());
    EXPECT_EQ(module_load(nullptr, nullptr), nullptr);
    for (int missing = 0; missing < 5; ++missing) {
        set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
        ASSERT_TRUE(file_callbacks_installed());
        set_file_callbacks(
            missing == 0 ? nullptr : memfile_open, missing == 1 ? nullptr : memfile_close,
            missing == 2 ? nullptr : memfile_read, missing == 3 ? nullptr : memfile_seek,
            missing == 4 ? nullptr : memfile_tell);
        EXPECT_FALSE(file_callbacks_installed()) << "missing " << missing;
        EXPECT_EQ(module_load(nullptr, nullptr), nullptr) << "missing " << missing;
    }
    EXPECT_FALSE(read_xm(nullptr, nullptr));

    module = load_logged(image, uint32_t(image.size()));
    EXPECT_NE(module, nullptr);
    EXPECT_EQ(stream_log.opens, 1);
    stream_log.open_fails = true;
    EXPECT_EQ(module_load(nullptr, nullptr), nullptr);
    EXPECT_EQ(stream_log.opens, 2);
    EXPECT_EQ(stream_log.closes, 1);  // a stream that did not open is not closed
    loader_reset();
    EXPECT_FALSE(file_callbacks_installed());
}

TEST_F(Loader, ChannelCountsFromOneToThirtyTwoLoad) {
    XmImageSong song;
    song.patterns = {xm_pattern(1, 32, {})};
    for (uint16_t channels : {1, 32}) {
        song.channel_count = channels;
        song.patterns = {xm_pattern(2, channels, {})};
        ASSERT_NE(load(write_xm_image(song)), nullptr) << channels;
        EXPECT_EQ(module->channel_count, channels);
    }
    for (uint16_t channels : {0, 33, 64}) {
        song.channel_count = channels;
        song.patterns = {xm_pattern(2, channels, {})};
        EXPECT_EQ(load(write_xm_image(song)), nullptr) << channels;
    }
}

TEST_F(Loader, ModuleFreeTakesOnlyAModule) {
    EXPECT_FALSE(module_free(nullptr));
    XmModule* loaded = load_xm_image(write_xm_image(feature_song()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(module_free(loaded));
}
