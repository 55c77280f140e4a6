// The memory file and the XM loader: every expectation is worked from the 1.04 layout and the
// loader's rules, on images written by tools/xm_image with the bytes poked where it matters.
#include <gtest/gtest.h>

#include <algorithm>

#include "data/module_bytes.h"
#include "player/memfile.h"
#include "player/song_state.h"
#include "tests/player/support/songs.h"
#include "tests/support/song_mix.h"

namespace {

using V = std::vector<int64_t>;
// The module header takes 60 + 276 bytes; an instrument with samples has a 263-byte header.
constexpr size_t pattern0 = 336;
constexpr size_t instrument_header = 263;

void put(std::vector<uint8_t>& image, size_t at, uint32_t value, int width) {
    for (int byte = 0; byte < width; ++byte)
        image[at + size_t(byte)] = uint8_t(value >> (8 * byte));
}

// Three channels, orders 20, 0, 1 over two file patterns (packed, then written in full; the
// table's next entry, 21, lies past the song and counts for nothing), and instruments with one
// 8-bit sample, none, and an 8-bit plus a ping-pong 16-bit sample. Its bytes: the header to
// 335; pattern 0's header from 336 and its rows from 345 (9 bytes: the first cell in full, then
// 1 and 3), 354 (3), 357 (5: D#3, then 1 and 1) and 364 (3); pattern 1 from 367; instrument 0's
// header from 406, sample header from 669 and two frames; instrument 1 from 711, instrument 2
// from 744 to the end at 1100.
constexpr size_t instrument0 = 406;
XmImageSong feature_song() {
    XmImageSong song{.channel_count = 3, .orders = {20, 0, 1, 21}, .song_length_override = 3};
    song.patterns = {xm_pattern(4, 3, {"C-4 01 40 F05 | ... | === 128", "", "D#3 129 .. A0F"}),
                     xm_pattern(2, 3, {"", ".. .. .. ... | ... | B-7 02 30 C20"})};
    song.patterns[1].pack = false;
    song.patterns[1].cells[0].note = 98;  // past key-off: no tracker writes it
    XmImageInstrument first{.samples = {{.frames = {5, 6}}}, .note_samples = {0, 0, 0, 0, 0, 7}};
    first.volume_envelope = {.points = {{0, 64}, {4, 0}}, .type = 1};
    first.panning_envelope = {.points = {{0, 32}}, .type = 1};
    const XmImageSample words{.sixteen_bit = true,
                              .frames = {1000, -1000, 2000, -2000, 3000},
                              .loop_start = 1,
                              .loop_length = 3,
                              .loop_bits = 2};
    song.instruments = {first, XmImageInstrument{},
                        XmImageInstrument{.samples = {XmImageSample{.frames = {1, 2, 3}}, words}}};
    return song;
}

// A song without orders whose one instrument has the one sample.
std::vector<uint8_t> one_sample_image(const XmImageSample& sample) {
    return write_xm_image(XmImageSong{.orders = {}, .instruments = {{.samples = {sample}}}});
}

class Loader : public ::testing::Test {
protected:
    XmModule* load(const std::vector<uint8_t>& image, SampleReader reader = nullptr) {
        module.reset(load_xm_image(image, reader));
        return module.get();
    }
    SongHandle module;
};

// A 100-byte image, attached at its start: seeks clamp to it (a negative offset from the start
// wraps unsigned and clamps too), other modes leave the position, and reads stop at its end,
// however many bytes are asked for; opening, closing and attaching rewind. Plain seeks from the
// start and the bytes copied are the loads' concern. (Seek offset, mode, position after.)
TEST(MemoryFile, ReadsAndSeeksStayInsideTheImage) {
    uint8_t image[100] = {};
    uint8_t buffer[100];
    memfile_attach(image, 100);
    const V seeks[] = {{5, 1, 5}, {-5, 0, 100}, {-6, 2, 94}, {-3, 1, 91}, {0, 7, 91}};
    for (const V& seek : seeks) {
        EXPECT_EQ(memfile_seek(1, int32_t(seek[0]), uint8_t(seek[1])), 0) << seek[0];
        EXPECT_EQ(memfile_tell(1), seek[2])
            << "after seeking " << seek[0] << " in mode " << seek[1];
    }
    EXPECT_EQ(memfile_read(buffer, 9, 1), 9u);
    EXPECT_EQ(memfile_tell(1), 100u) << "after reading to the end";
    EXPECT_EQ(memfile_open(nullptr), 1u);
    EXPECT_EQ(memfile_tell(1), 0u) << "after an open";
    EXPECT_EQ(memfile_read(buffer, UINT32_MAX, 1), 100u);
    EXPECT_EQ(memfile_tell(1), 100u) << "after reading all there is";
    memfile_close(1);
    EXPECT_EQ(memfile_tell(1), 0u) << "after a close";
    memfile_seek(1, 0, 2);
    memfile_attach(image, 10);
    EXPECT_EQ(memfile_read(buffer, 100, 1), 10u) << "after attaching a shorter image";
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
    EXPECT_EQ(m.pattern_count, 21);
    EXPECT_EQ(m.patterns[0].row_count, 4);
    EXPECT_EQ(m.patterns[20].row_count, 64);
    EXPECT_EQ(order_rows(m, 3), 64) << "order 3 names pattern 21, which the song lacks";
    EXPECT_EQ(m.instrument_count, 3);
    // C-0 is note 1: C-4 = 49, D#3 = 40, B-7 = 96; key-off 97 reads 255, 98 none; instrument
    // 128 stays, 129 becomes none; effects A..Z are 10..35.
    EXPECT_EQ(
        (std::vector<V>{cell(0, 0, 0), cell(0, 0, 2), cell(0, 2, 0), cell(1, 0, 0), cell(1, 1, 2)}),
        (std::vector<V>{{49, 1, 0x40, 15, 5},
                        {255, 128, 0, 0, 0},
                        {40, 0, 0, 10, 15},
                        V(5, 0),
                        {96, 2, 0x30, 12, 0x20}}));
    // One panning point is no envelope (two volume points are one); byte 2 reads x 256.
    const XmInstrument& in = m.instruments[0];
    EXPECT_EQ(in.sample_count, 1);
    EXPECT_EQ(in.note_samples[5], 7);
    EXPECT_EQ(in.volume_type, 1);
    EXPECT_EQ(in.panning_point_count, 1);
    EXPECT_EQ(in.panning_type, 0);
    EXPECT_EQ(in.samples[0]->data[1], 2 * 256);
    // Words 0x0201, 0x0403, ... of the 16-bit sample; the ping-pong guard frame after the loop
    // (frame 4) repeats the loop's last frame.
    const int16_t* words = m.instruments[2].samples[1]->data;
    EXPECT_EQ(V(words, words + 6), (V{0x0201, 0x0403, 0x0605, 0x0807, 0x0807, 0}));
}

// Sample header length, loop start and loop length (bytes) and type, poked into a one-sample
// image that ends after at most 200 bytes of data, and the frames the loader makes of them
// (loop length, start, type): both loop bits mean ping-pong, other bits are ignored, no loop
// length means no loop, 16-bit byte counts are halved rounding down, loops are cut at the
// sample's end and dropped when they start there. A length past the data is a sample cut
// short: it keeps the frames there, and its loop is cut at their end.
TEST_F(Loader, LoopFieldsBecomeFramesInsideTheSample) {
    const uint32_t cases[][7] = {{100, 10, 20, 0x00, 100, 0, LOOP_NONE},
                                 {100, 10, 20, 0xED, 20, 10, LOOP_FORWARD},
                                 {100, 10, 20, 0x03, 20, 10, LOOP_PINGPONG},
                                 {100, 10, 0, 0x01, 100, 0, LOOP_NONE},
                                 {201, 21, 41, 0x12, 20, 10, LOOP_PINGPONG},
                                 {100, 0xFFFFFFF0, 0xFFFFFFF0, 0x02, 100, 0, LOOP_NONE},
                                 {100, 0, 0xFFFFFFFF, 0x01, 100, 0, LOOP_FORWARD},
                                 {301, 20, 280, 0x11, 90, 10, LOOP_FORWARD}};
    for (const auto& c : cases) {
        XmImageSample sample{.sixteen_bit = (c[3] & 0x10) != 0};
        const uint32_t data_bytes = std::min(c[0], 200u);
        sample.frames.assign(sample.sixteen_bit ? data_bytes / 2 : data_bytes, 1);
        std::vector<uint8_t> image = one_sample_image(sample);
        for (int field = 0; field < 3; ++field)
            put(image, pattern0 + instrument_header + 4 * size_t(field), c[field], 4);
        put(image, pattern0 + instrument_header + 14, c[3], 1);
        SCOPED_TRACE(::testing::Message() << "loop start " << c[1] << ", type " << c[3]);
        ASSERT_NE(load(image), nullptr);
        const XmSample& s = *module->instruments[0].samples[0];
        EXPECT_EQ(s.length, data_bytes >> (c[3] >> 4 & 1));
        EXPECT_EQ(s.loop_length, c[4]);
        EXPECT_EQ(s.loop_start, c[5]);
        EXPECT_EQ(s.loop_type, c[6]);
    }
}

// Delta bytes, the data they decode to (byte x 256, running 16-bit sum with wrap-around) and
// the guard frame after a loop from 1 over 2 frames: frame 1 again (forward), frame 2
// (ping-pong), none (0) without a loop; then zeroed storage. 16-bit words are summed the same
// way; the reader's words above show how they are read.
TEST_F(Loader, DataIsWidenedSummedAndGuarded) {
    // Loop bits, the four frames, then the three delta bytes.
    const V cases[] = {{0, 256, 512, 256, 0, 0x01, 0x01, 0xFF},
                       {1, 32512, -32768, 0, -32768, 0x7F, 0x01, 0x80},
                       {2, -256, -512, -768, -768, 0xFF, 0xFF, 0xFF}};
    for (const V& c : cases) {
        XmImageSample sample{.frames = {0, 0, 0}, .loop_start = 1, .loop_length = 2};
        sample.loop_bits = uint8_t(c[0]);
        std::vector<uint8_t> image = one_sample_image(sample);
        std::copy(c.begin() + 5, c.end(), image.end() - 3);
        ASSERT_NE(load(image), nullptr);
        const int16_t* data = module->instruments[0].samples[0]->data;
        EXPECT_EQ(V(data, data + 11), (V{c[1], c[2], c[3], c[4], 0, 0, 0, 0, 0, 0, 0})) << c[5];
    }
}

int closes, missing;

// A load needs all five callbacks (a missing one is never called: the call would crash) and a
// stream that opens (not so with missing 6); it closes the stream it opened, and only that.
TEST_F(Loader, NeedsTheWholeSetOfCallbacksAndAnOpenStream) {
    memfile_attach(module_bytes, module_size);
    const FileOpenFn open = [](const void* name) { return missing == 6 ? 0 : memfile_open(name); };
    const FileCloseFn close = [](uintptr_t handle) {
        ++closes;
        memfile_close(handle);
    };
    for (missing = 0; missing < 7; ++missing) {  // 5: none missing
        closes = 0;
        set_file_callbacks(missing == 0 ? nullptr : open, missing == 1 ? nullptr : close,
                           missing == 2 ? nullptr : memfile_read,
                           missing == 3 ? nullptr : memfile_seek,
                           missing == 4 ? nullptr : memfile_tell);
        module.reset(module_load(nullptr, nullptr));
        SCOPED_TRACE(::testing::Message() << "missing " << missing);
        EXPECT_EQ(module != nullptr, missing == 5);
        EXPECT_EQ(closes, missing == 5 ? 1 : 0);
        EXPECT_EQ(file_callbacks_installed(), missing >= 5);
        const char* reason = missing == 6 ? "the file does not open" : "";
        EXPECT_STREQ(module_load_failure(), missing < 5 ? "no file callbacks installed" : reason);
    }
    EXPECT_FALSE(read_xm(nullptr, nullptr));
    EXPECT_FALSE(module_free(nullptr));
}

// The session's load detaches the image once it has read it, and the session's reset forgets
// the callbacks and the last load's failure.
TEST(Session, LoadsAndResetsLeaveNothingBehind) {
    EXPECT_EQ(load_song(module_bytes, 10), nullptr);
    EXPECT_STREQ(load_song_failure(), "truncated at byte 10, inside the header");
    uint8_t byte = 0;
    EXPECT_EQ(memfile_read(&byte, 1, 1), 0u) << "the image is still attached after the load";
    session_reset();
    EXPECT_FALSE(file_callbacks_installed()) << "after a session reset";
    EXPECT_STREQ(load_song_failure(), "") << "after a session reset";
}

// Every prefix that holds the song's own fields (74 bytes, up to the instrument count) loads
// and keeps the promises of a load; a shorter one is refused, saying where it ends.
TEST_F(Loader, EveryPrefixWithTheSongFieldsLoadsAndAShorterOneSaysWhereItEnds) {
    for (const std::vector<uint8_t>& image :
         {write_xm_image(feature_song()),
          std::vector<uint8_t>(module_bytes, module_bytes + module_size)}) {
        for (size_t length = 0; length <= image.size(); ++length) {
            SCOPED_TRACE(length);
            load({image.begin(), image.begin() + long(length)});
            if (length >= 74) {
                expect_module_sound(module.get());
                continue;
            }
            EXPECT_EQ(module, nullptr);
            EXPECT_EQ(module_load_failure(),
                      "truncated at byte " + std::to_string(length) + ", inside the header");
        }
    }
}

// The feature image cut at a byte keeps what it holds whole and the rest is empty. Per cut:
// patterns, pattern 0's rows, channel 0's notes in rows 0 and 2, instruments, and the last
// one's samples (-1: none).
TEST_F(Loader, ACutSongKeepsWhatItHoldsWhole) {
    const std::vector<uint8_t> image = write_xm_image(feature_song());
    const V cases[] = {
        {74, 1, 64, 0, 0, 0, -1},  // the order table reads 0s: pattern 0 is missing, 64 empty rows
        {362, 21, 4, 49, 0, 0, -1},   // row 2's first cell is whole, the rest of the row is not
        {407, 21, 4, 49, 40, 1, 0},   // one byte of instrument 0: reached, and empty
        {1060, 21, 4, 49, 40, 3, 1},  // inside instrument 2's second sample header (1047..1086)
    };
    for (const V& c : cases) {
        SCOPED_TRACE(::testing::Message() << "cut at " << c[0]);
        ASSERT_NE(load({image.begin(), image.begin() + c[0]}), nullptr);
        const XmModule& m = *module;
        const int64_t samples = c[5] > 0 ? m.instruments[c[5] - 1].sample_count : -1;
        EXPECT_EQ(m.pattern_count, c[1]);
        EXPECT_EQ(m.patterns[0].row_count, c[2]);
        EXPECT_EQ(m.patterns[0].cells[0].note, c[3]);
        EXPECT_EQ(m.patterns[0].cells[6].note, c[4]);
        EXPECT_EQ(m.instrument_count, c[5]);
        EXPECT_EQ(samples, c[6]) << "samples of the last instrument";
    }
}

// One C-4 (8363 Hz) on a 240-frame 8-bit sample, frame i = 64 - i / 2, that ends the file: the
// file cut 100 frames into that sample sounds like the whole one until the song first reads
// frame 100. At 8363 Hz out a step is one frame, output frame n reads frame n, and the cut
// voice ends at 100; at 16726 Hz a step is half a frame, and output frame 199 mixes frame 99
// half and half with frame 100, which in the cut file is the guard frame after the loop, cut to
// 20..99 (frame 20). A loop that ends before 100 never reads it. (Loop length from frame 20 (0:
// none), output rate, first output frame that differs; -1: none in 2000.)
TEST(CutSong, SoundsLikeTheWholeSongUntilItPlaysTheMissingFrames) {
    const V cases[] = {{0, 8363, 100}, {200, 16726, 199}, {40, 8363, -1}};
    for (const V& c : cases) {
        XmImageSample sample{.loop_start = 20, .loop_length = uint32_t(c[0])};
        sample.loop_bits = c[0] > 0;
        for (int i = 0; i < 240; ++i)
            sample.frames.push_back(int16_t(64 - i / 2));
        const std::vector<uint8_t> whole =
            write_xm_image(pattern_song("C-4 01", 6, {{.samples = {sample}}}));
        const std::vector<int16_t> heard = mix_song(whole, 2000, c[1]).pcm;
        const std::vector<int16_t> cut =
            mix_song({whole.begin(), whole.end() - 140}, 2000, c[1]).pcm;
        const auto differs =
            std::mismatch(heard.begin(), heard.end(), cut.begin(), cut.end()).first;
        EXPECT_EQ(differs == heard.end() ? -1 : (differs - heard.begin()) / 2, c[2])
            << c[1] << " " << c[0];
    }
}

// Size fields of the feature image set to 0, 0xFFFF and 0xFFFFFFFF (cut to the field's width):
// L loads, F is refused, E either; whatever loads keeps its promises. Header size: pattern data
// inside the header, or past the end (all missing); song length held to 256 entries; channels 1..32
// only; more patterns or instruments than the image holds, rows past its end, an instrument header
// or a sample reaching past it: what is there loads; packed size: only 0 means no data; sample
// count above 16 (the loop fields' extremes are above).
TEST_F(Loader, ExtremeSizeFieldsLoadSoundlyOrFail) {
    const std::vector<uint8_t> original = write_xm_image(feature_song());
    const std::pair<size_t, const char*> fields[] = {
        {60, "ELL4"},  {64, "LLL2"},  {66, "LLL2"},  {68, "EFF2"},  {70, "ELL2"},  {72, "LLL2"},
        {76, "LLL2"},  {78, "LLL2"},  {336, "LLL4"}, {341, "ELL2"}, {343, "ELL2"}, {406, "ELL4"},
        {433, "EFF2"}, {435, "LLL4"}, {631, "LLL1"}, {632, "LLL1"}, {669, "ELL4"}};
    const uint32_t values[3] = {0, 0xFFFF, 0xFFFFFFFF};
    for (const auto& [offset, outcomes] : fields) {
        for (int v = 0; v < 3; ++v) {
            std::vector<uint8_t> image = original;
            put(image, offset, values[v], outcomes[3] - '0');
            SCOPED_TRACE(::testing::Message() << offset << " = " << values[v]);
            if (load(image)) expect_module_sound(module.get());
            if (outcomes[v] != 'E') {
                EXPECT_EQ(module != nullptr, outcomes[v] == 'L');
            }
        }
    }
    // Refused, saying why: an ID text that differs, even in its trailing blank; more channels
    // than the engine's 32; more than 16 samples. 32 channels and 16 samples load, with no reason
    // kept (0 channels do too: the engine's test plays such a song).
    const std::string not_xm = "not an XM module (no 'Extended Module: ' ID)";
    for (auto [at, value, reason] :
         {std::tuple{size_t(9), 'm', not_xm},
          {16, 0, not_xm},
          {68, 33, "33 channels, more than the 32 the player has"},
          {68, 32, ""},
          {instrument0 + 27, 17, "instrument 1 has 17 samples, more than 16"},
          {instrument0 + 27, 16, ""}}) {
        std::vector<uint8_t> image = original;
        image[at] = uint8_t(value);
        load(image);
        EXPECT_EQ(module_load_failure(), reason) << "byte " << at << " = " << int(value);
    }
    // A pattern of 1000 rows without data is held to 256 empty rows.
    XmImageSong song = feature_song();
    song.patterns[0] = {.rows = 1000, .empty_data = true};
    expect_module_sound(load(write_xm_image(song)));
    EXPECT_EQ(module->patterns[0].row_count, 256);
}

}  // namespace
