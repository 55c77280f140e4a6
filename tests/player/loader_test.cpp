// The memory file and the XM loader: every expectation is worked from the 1.04 layout and the
// loader's rules, on images written by tools/xm_image with the bytes poked where it matters.
#include <gtest/gtest.h>

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "tests/player/support/songs.h"

namespace {

using V = std::vector<int64_t>;
// The module header takes 60 + 276 bytes; an instrument with samples has a 263-byte header.
constexpr size_t pattern0 = 336, instrument_header = 263;

void put(std::vector<uint8_t>& image, size_t at, uint32_t value, int width) {
    for (int byte = 0; byte < width; ++byte)
        image[at + size_t(byte)] = uint8_t(value >> (8 * byte));
}

// Three channels, orders 0, 20, 1 over two file patterns (packed, then written in full), and
// instruments with one 8-bit sample, none, and an 8-bit plus a ping-pong 16-bit sample.
XmImageSong feature_song() {
    XmImageSong song{.channel_count = 3, .tempo = 5, .bpm = 130, .restart_position = 1};
    song.orders = {0, 20, 1};
    song.patterns = {xm_pattern(4, 3, {"C-4 01 40 F05 | ... | === 128", "", "D#3 129 .. A0F"}),
                     xm_pattern(2, 3, {"", ".. .. .. ... | ... | B-7 02 30 C20"})};
    song.patterns[1].pack = false;
    XmImageInstrument first{.samples = {{.frames = {5, 6}}}, .note_samples = {0, 0, 0, 0, 0, 7}};
    first.volume_envelope = {.points = {{0, 64}, {4, 0}}, .sustain_point = 1, .type = 1};
    first.panning_envelope = {.points = {{0, 32}}, .type = 1};
    XmImageSample words{.sixteen_bit = true, .frames = {1000, -1000, 2000, -2000, 3000}};
    words.loop_start = 1, words.loop_length = 3, words.loop_bits = 2;
    song.instruments = {first, XmImageInstrument{},
                        XmImageInstrument{.samples = {XmImageSample{.frames = {1, 2, 3}}, words}}};
    return song;
}

class Loader : public ::testing::Test {
protected:
    XmModule* load(const std::vector<uint8_t>& image, SampleReader reader = nullptr) {
        module.reset(load_xm_image(image, reader));
        return module.get();
    }
    SongHandle module;
};

// A 100-byte image: reads stop at its end, seeks clamp to it (a negative offset from the start
// wraps unsigned and clamps too), other modes leave the position; plain seeks from the start
// and the bytes copied are the loads' concern. (op, offset, mode, result, position after.)
TEST(MemoryFile, ReadsAndSeeksStayInsideTheImage) {
    uint8_t image[100] = {}, buffer[100];
    memfile_attach(image, 100);
    const V steps[] = {{'s', -5, 0, 0, 100}, {'s', -6, 2, 0, 94},    {'s', 10, 2, 0, 100},
                       {'s', -9, 1, 0, 91},  {'s', 0, 7, 0, 91},     {'r', 9, 0, 9, 100},
                       {'o', 0, 0, 1, 0},    {'r', -1, 0, 100, 100}, {'c', 0, 0, 0, 0}};
    for (const V& step : steps) {
        const int64_t result = step[0] == 's' ? memfile_seek(1, int32_t(step[1]), uint8_t(step[2]))
                               : step[0] == 'r' ? memfile_read(buffer, uint32_t(step[1]), 1)
                               : step[0] == 'o' ? int64_t(memfile_open(nullptr))
                                                : (memfile_close(1), 0);
        EXPECT_EQ((V{result, memfile_tell(1)}), (V{step[3], step[4]})) << char(step[0]) << step[1];
    }
}

std::vector<V> reader_calls;

// Loaded with a sample reader: it gets bits x length / 8 bytes per sample with data, numbered
// from 0 (bytes 1, 2, 3, ... here), whose values are taken plain (not summed) as the stream
// moves past the data.
TEST_F(Loader, FieldsFollowTheLayoutRules) {
    const SampleReader reader = [](void* to, uint32_t count, int bits, int instrument, int slot) {
        reader_calls.push_back({count, bits, instrument, slot});
        for (uint32_t i = 0; i < count; ++i)
            static_cast<uint8_t*>(to)[i] = uint8_t(i + 1);
    };
    ASSERT_NE(load(write_xm_image(feature_song()), reader), nullptr);
    EXPECT_EQ(reader_calls, (std::vector<V>{{2, 8, 0, 0}, {3, 8, 2, 0}, {10, 16, 2, 1}}));
    const XmModule& m = *module;
    auto cell = [&](int pattern, int row, int channel) {
        const XmCell& c = m.patterns[pattern].cells[row * 3 + channel];
        return V{c.note, c.instrument, c.volume, c.effect, c.param};
    };
    // Order entry 20 names a pattern the file lacks: 21 patterns, 2..20 of 64 empty rows.
    EXPECT_EQ((V{m.used_pattern_count, m.pattern_count, m.patterns[0].row_count,
                 m.patterns[1].row_count, m.patterns[20].row_count, m.instrument_count}),
              (V{21, 21, 4, 2, 64, 3}));
    // C-0 is note 1: C-4 = 49, D#3 = 40, B-7 = 96; key-off 97 reads 255; instrument 128 stays,
    // 129 becomes none; effects A..Z are 10..35.
    // clang-format off
    EXPECT_EQ((std::vector<V>{cell(0, 0, 0), cell(0, 0, 1), cell(0, 0, 2), cell(0, 2, 0), cell(1, 1, 2)}),
              (std::vector<V>{{49, 1, 0x40, 15, 5}, V(5, 0), {255, 128, 0, 0, 0}, {40, 0, 0, 10, 15},
                              {96, 2, 0x30, 12, 0x20}}));
    // clang-format on
    // One panning point is no envelope (two volume points are one); bytes 2 and 3 read x 256.
    const XmInstrument& in = m.instruments[0];
    EXPECT_EQ((V{in.sample_count, in.note_samples[5], in.volume_type, in.panning_point_count,
                 in.panning_type, in.samples[0]->data[1], m.instruments[1].sample_count,
                 m.instruments[2].sample_count, m.instruments[2].samples[0]->data[2]}),
              (V{1, 7, 1, 1, 0, 2 * 256, 0, 2, 3 * 256}));
    // Words 0x0201, 0x0403, ... of the 16-bit sample; the ping-pong guard frame after the loop
    // (frame 4) repeats the loop's last frame.
    const int16_t* words = m.instruments[2].samples[1]->data;
    EXPECT_EQ(V(words, words + 6), (V{0x0201, 0x0403, 0x0605, 0x0807, 0x0807, 0}));
    expect_module_sound(module.get());
}

// Sample header length, loop start and loop length (bytes) and type, poked into a one-sample
// image, and the frames the loader makes of them (loop length, start, type): both loop bits
// mean ping-pong, other bits are ignored, no loop length means no loop, 16-bit byte counts are
// halved rounding down, loops are cut at the sample's end and dropped when they start there.
TEST_F(Loader, LoopFieldsBecomeFramesInsideTheSample) {
    // clang-format off
    const uint32_t cases[][7] = {
        {100, 10, 20, 0x00, 100, 0, LOOP_NONE}, {100, 10, 20, 0xED, 20, 10, LOOP_FORWARD},
        {100, 10, 20, 0x03, 20, 10, LOOP_PINGPONG}, {100, 10, 0, 0x01, 100, 0, LOOP_NONE},
        {200, 20, 1, 0x11, 100, 0, LOOP_NONE}, {201, 21, 41, 0x12, 20, 10, LOOP_PINGPONG},
        {100, 99, 20, 0x01, 1, 99, LOOP_FORWARD}, {100, 100, 5, 0x01, 100, 0, LOOP_NONE},
        {100, 0xFFFFFFF0, 0xFFFFFFF0, 0x02, 100, 0, LOOP_NONE},
        {100, 0, 0xFFFFFFFF, 0x01, 100, 0, LOOP_FORWARD}};
    // clang-format on
    for (const auto& c : cases) {
        XmImageSample sample{.sixteen_bit = (c[3] & 0x10) != 0};
        sample.frames.assign(sample.sixteen_bit ? c[0] / 2 : c[0], 1);
        std::vector<uint8_t> image = write_xm_image(
            XmImageSong{.orders = {}, .instruments = {XmImageInstrument{.samples = {sample}}}});
        for (int field = 0; field < 3; ++field)
            put(image, pattern0 + instrument_header + 4 * size_t(field), c[field], 4);
        put(image, pattern0 + instrument_header + 14, c[3], 1);
        ASSERT_NE(load(image), nullptr) << c[1] << " " << c[3];
        const XmSample& s = *module->instruments[0].samples[0];
        EXPECT_EQ((V{s.length, s.loop_length, s.loop_start, s.loop_type}),
                  (V{c[0] >> (c[3] >> 4 & 1), c[4], c[5], c[6]}))
            << c[1] << " " << c[3];
    }
}

// Delta bytes, the data they decode to (8-bit byte x 256, running 16-bit sum with wrap-around)
// and the guard frame after a loop from 1 over 2 frames: frame 1 again (forward), frame 2
// (ping-pong), none (0) without a loop; then zeroed storage.
TEST_F(Loader, DataIsWidenedSummedAndGuarded) {
    // Loop bits, the four frames, then the delta bytes (three 8-bit or six 16-bit).
    // clang-format off
    const V cases[] = {{0, 256, 512, 256, 0, 0x01, 0x01, 0xFF},
                       {1, 32512, -32768, 0, -32768, 0x7F, 0x01, 0x80},
                       {2, -256, -512, -768, -768, 0xFF, 0xFF, 0xFF},
                       {1, 256, 512, -32768, 512, 0x00, 0x01, 0x00, 0x01, 0x00, 0x7E}};
    // clang-format on
    for (const V& c : cases) {
        XmImageSample sample{.sixteen_bit = c.size() == 11, .frames = {0, 0, 0}, .loop_start = 1};
        sample.loop_length = 2, sample.loop_bits = uint8_t(c[0]);
        std::vector<uint8_t> image = write_xm_image(
            XmImageSong{.orders = {}, .instruments = {XmImageInstrument{.samples = {sample}}}});
        std::copy(c.begin() + 5, c.end(), image.end() - long(c.size() - 5));
        ASSERT_NE(load(image), nullptr);
        const int16_t* data = module->instruments[0].samples[0]->data;
        EXPECT_EQ(V(data, data + 11), (V{c[1], c[2], c[3], c[4], 0, 0, 0, 0, 0, 0, 0})) << c[5];
    }
}

int closes, missing;

// A load needs all five callbacks (a missing one is never called: the call would crash) and a
// stream that opens (not so with missing 6); it closes the stream it opened, and only that.
TEST_F(Loader, NeedsTheWholeSetOfCallbacksAndAnOpenStream) {
    const std::vector<uint8_t> image = write_xm_image(feature_song());
    memfile_attach(image.data(), uint32_t(image.size()));
    const FileOpenFn open = [](const void* name) { return missing == 6 ? 0 : memfile_open(name); };
    const FileCloseFn close = [](uintptr_t handle) { ++closes, memfile_close(handle); };
    for (missing = 0, closes = 0; missing < 7; ++missing, closes = 0) {  // 5: none missing
        set_file_callbacks(missing == 0 ? nullptr : open, missing == 1 ? nullptr : close,
                           missing == 2 ? nullptr : memfile_read,
                           missing == 3 ? nullptr : memfile_seek,
                           missing == 4 ? nullptr : memfile_tell);
        module.reset(module_load(nullptr, nullptr));
        EXPECT_EQ((V{module != nullptr, closes, file_callbacks_installed()}),
                  (V{missing == 5, missing == 5, missing >= 5}))
            << missing;
    }
    EXPECT_FALSE(read_xm(nullptr, nullptr) || module_free(nullptr));
}

// Each image's walk ends exactly at its last byte, so every shorter prefix fails; the embedded
// song's ends on the seek past an instrument without samples.
TEST_F(Loader, EveryPrefixFailsAndTheWholeImageLoads) {
    for (const std::vector<uint8_t>& image :
         {write_xm_image(feature_song()),
          std::vector<uint8_t>(module_bytes, module_bytes + module_size)}) {
        for (size_t length = 0; length < image.size(); ++length)
            ASSERT_EQ(load({image.begin(), image.begin() + long(length)}), nullptr) << length;
        expect_module_sound(load(image));
    }
}

// Size fields of the feature image set to 0, 0xFFFF and 0xFFFFFFFF (cut to the field's width):
// L loads, F fails, E either; whatever loads keeps its promises. Offsets from 1000 on count
// from the first instrument. Header size: pattern data inside the header or past the end; song
// length held to 256 entries; channels 1..32 only; more than 256 patterns; instruments the
// image cannot hold; rows whose cells cannot fit; packed size: only 0 means no data; sample
// count above 16; sample length: data that is not there (the loop fields' extremes are above).
TEST_F(Loader, ExtremeSizeFieldsLoadSoundlyOrFail) {
    XmImageSong bare = feature_song();
    bare.instruments.clear();
    const size_t instrument0 = write_xm_image(bare).size();
    const std::vector<uint8_t> original = write_xm_image(feature_song());
    const std::pair<size_t, const char*> fields[] = {
        {60, "EFF4"},   {64, "LLL2"},   {66, "LLL2"},   {68, "FFF2"},   {70, "EFF2"},
        {72, "LLL2"},   {76, "LLL2"},   {78, "LLL2"},   {336, "LLL4"},  {341, "EFF2"},
        {343, "ELL2"},  {1000, "EFF4"}, {1027, "EFF2"}, {1029, "LLL4"}, {1225, "LLL1"},
        {1226, "LLL1"}, {1263, "EFF4"}};
    const uint32_t values[3] = {0, 0xFFFF, 0xFFFFFFFF};
    for (const auto& [offset, outcomes] : fields) {
        for (int v = 0; v < 3; ++v) {
            std::vector<uint8_t> image = original;
            put(image, offset < 1000 ? offset : offset - 1000 + instrument0, values[v],
                outcomes[3] - '0');
            SCOPED_TRACE(::testing::Message() << offset << " = " << values[v]);
            if (load(image)) expect_module_sound(module.get());
            EXPECT_TRUE(outcomes[v] == 'E' || (module != nullptr) == (outcomes[v] == 'L'));
        }
    }
    // The ID text must match to its trailing blank; more than 16 samples fail the load.
    for (auto [at, value] : {std::pair{size_t(9), 'm'}, {16, 0}, {instrument0 + 27, 17}}) {
        std::vector<uint8_t> image = original;
        image[at] = uint8_t(value);
        EXPECT_EQ(load(image), nullptr) << at;
    }
    // Songs written whole with (channels, patterns, pattern 0's rows after the load or -1 when
    // it fails): 32 channels load, 33 do not (0 do: the engine's test plays such a song); 300
    // patterns of 1000 rows without data load, held to 256 rows each, though their cells would
    // not fit the image.
    const V songs[] = {{32, 2, 4}, {33, 2, -1}, {32, 300, 256}};
    for (const V& c : songs) {
        XmImageSong song = feature_song();
        song.channel_count = uint16_t(c[0]);
        if (c[1] == 300) song.patterns.assign(300, {.rows = 1000, .empty_data = true});
        if (load(write_xm_image(song))) expect_module_sound(module.get());
        EXPECT_EQ(module ? module->patterns[0].row_count : -1, c[2]) << c[0] << " " << c[1];
    }
}

}  // namespace
