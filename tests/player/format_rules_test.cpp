// The format's rules where the player once went its own way: the frames per tick at every
// tempo, what the loader refuses and what it loads and plays, a song of length 0, and
// envelope points that share a tick. Songs are written in memory, loaded through the memory
// file and started with the program's own start routine. Expected values are worked by hand
// from the rules, each with its working.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "player/effects.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/module.h"
#include "player/output.h"
#include "tools/xm_image.h"

namespace {

// Header offsets of the counts, from the start of the file.
constexpr size_t channel_count_offset = 68;
constexpr size_t pattern_count_offset = 70;
constexpr size_t instrument_count_offset = 72;

void put16(std::vector<uint8_t>& image, size_t offset, uint16_t value) {
    image[offset] = uint8_t(value & 0xFF);
    image[offset + 1] = uint8_t(value >> 8);
}

// One channel, instrument 1 with a looped sample, a note on row 0 of pattern 0.
XmImageSong one_note_song() {
    XmImageSample sample;
    sample.frames.assign(256, 40);
    sample.loop_bits = 1;
    sample.loop_length = 256;
    XmImageInstrument instrument;
    instrument.samples = {sample};
    XmImageSong song;
    song.channel_count = 1;
    song.patterns = {xm_pattern(4, 1, {"C-4 01"})};
    song.instruments = {instrument};
    return song;
}

class FormatRules : public testing::Test {
protected:
    void SetUp() override { engine_reset(); }
    void TearDown() override {
        if (module_ != nullptr) module_free(module_);
        loader_reset();
        memfile_reset();
    }

    // Loads the image through the memory file and starts it as playback start does; null when
    // the loader refuses it.
    XmModule* load(const std::vector<uint8_t>& image) {
        image_ = image;
        memfile_attach(image_.data(), uint32_t(image_.size()));
        set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
        module_ = module_load(nullptr, nullptr);
        if (module_ != nullptr) reset_song_state(module_);
        return module_;
    }

    std::vector<uint8_t> image_;
    XmModule* module_ = nullptr;
};

// Frames per tick = trunc(1000 / (bpm x 0.4) x 44100 x 0.001) with the constants 0.4, 1000 and
// 0.001 as single-precision values and the arithmetic in double. Worked by hand, with
// 0.4f = 0.4000000059604645 and 0.001f = 0.0010000000474974513:
//   42:  1000 / 16.80000025 = 59.523808...; x 44100 = 2625000.0; x 0.001f = 2625.00012 -> 2625
//   21:  twice the above, 5250.00025 -> 5250
//   125: 19.9999997 x 44100 = 881999.987; x 0.001f = 882.00003 -> 882
//   1:   2499.99996 x 44100 = 110249998.4; x 0.001f = 110250.0036 -> 110250
//   255: 9.80392142 x 44100 = 432352.93; x 0.001f = 432.353 -> 432
TEST_F(FormatRules, FramesPerTickFollowTheTempoFormulaAtEveryBpm) {
    XmModule module{};
    const struct {
        int bpm;
        int frames;
    } worked[] = {{42, 2625}, {21, 5250}, {125, 882}, {1, 110250}, {255, 432}};
    for (const auto& row : worked) {
        set_bpm(&module, row.bpm);
        EXPECT_EQ(module.samples_per_tick, row.frames) << "BPM " << row.bpm;
    }
    for (int bpm = 1; bpm <= 255; ++bpm) {
        set_bpm(&module, bpm);
        const double frames =
            1000.0 / (bpm * double(0.4f)) * 44100.0 * double(0.001f);  // the rule in double
        EXPECT_EQ(module.samples_per_tick, int32_t(frames)) << "BPM " << bpm;
        EXPECT_EQ(module.bpm, bpm);
    }
}

// The loader refuses a wrong ID text, more than 16 samples in an instrument, more than 32
// channels and counts whose records cannot fit in the bytes left; everything else loads.
struct LoadCase {
    const char* name;
    std::function<void(XmImageSong&)> edit_song;
    std::function<void(std::vector<uint8_t>&)> edit_image;
    bool loads;
};

TEST_F(FormatRules, TheLoaderRefusesOnlyWhatTheFormatAndMemorySafetyNeed) {
    const auto none_song = [](XmImageSong&) {};
    const auto none_image = [](std::vector<uint8_t>&) {};
    const LoadCase cases[] = {
        {"the song as written", none_song, none_image, true},
        {"wrong ID text", none_song, [](std::vector<uint8_t>& image) { image[9] = 'm'; }, false},
        {"17 samples in an instrument",
         [](XmImageSong& song) { song.instruments[0].sample_count_override = 17; }, none_image,
         false},
        {"33 channels", [](XmImageSong& song) { song.channel_count = 33; }, none_image, false},
        {"32 channels", [](XmImageSong& song) { song.channel_count = 32; }, none_image, true},
        {"0 channels", [](XmImageSong& song) { song.channel_count = 0; }, none_image, true},
        // 300 patterns without data, 9 header bytes each, all in the file.
        {"300 patterns",
         [](XmImageSong& song) {
             XmImagePattern empty;
             empty.empty_data = true;
             song.patterns.assign(300, empty);
         },
         none_image, true},
        // 65535 pattern headers need 589815 bytes; the file has a few hundred.
        {"65535 patterns in a small file", none_song,
         [](std::vector<uint8_t>& image) { put16(image, pattern_count_offset, 0xFFFF); }, false},
        // 40000 reads as the signed count -25536: no instruments are read.
        {"40000 instruments", none_song,
         [](std::vector<uint8_t>& image) { put16(image, instrument_count_offset, 40000); }, true},
        // 30000 instruments need at least 29 bytes each.
        {"30000 instruments in a small file", none_song,
         [](std::vector<uint8_t>& image) { put16(image, instrument_count_offset, 30000); }, false},
    };
    for (const LoadCase& row : cases) {
        SCOPED_TRACE(row.name);
        XmImageSong song = one_note_song();
        row.edit_song(song);
        std::vector<uint8_t> image = write_xm_image(song);
        row.edit_image(image);
        const bool loaded = load(image) != nullptr;
        EXPECT_EQ(loaded, row.loads);
        if (loaded) {
            // Two rows of every loaded song play without touching what the module lacks.
            for (int tick = 0; tick < 12; ++tick)
                play_tick(module_);
            module_free(module_);
            module_ = nullptr;
        }
    }
}

// What the loaded odd songs play: (order, row) after each row tick, and whether the note of
// pattern 0, row 0 started a sample with frames on voice 0.
struct PlayCase {
    const char* name;
    std::function<void(XmImageSong&)> edit_song;
    std::function<void(std::vector<uint8_t>&)> edit_image;
    int16_t channel_count;
    int16_t instrument_count;
    int rows_of_first_order;  // row ticks before order 1 (or order 0 again) comes
    bool note_starts;
};

TEST_F(FormatRules, OddSongsPlayAsTheRowRulesSay) {
    const auto none_song = [](XmImageSong&) {};
    const auto none_image = [](std::vector<uint8_t>&) {};
    const PlayCase cases[] = {
        // The 4-row pattern 0 is played; its note starts.
        {"the song as written", none_song, none_image, 1, 1, 4, true},
        // Nothing happens on a row of a song without channels; its 4 rows still pass.
        {"0 channels", [](XmImageSong& song) { song.channel_count = 0; }, none_image, 0, 1, 4,
         false},
        // No instrument records: the note plays the empty instrument's empty sample.
        {"40000 instruments", none_song,
         [](std::vector<uint8_t>& image) { put16(image, instrument_count_offset, 40000); }, 1,
         int16_t(40000 - 65536), 4, false},
        // Song length 0: order position 0 still names pattern 0, and its note starts.
        {"song length 0", [](XmImageSong& song) { song.song_length_override = 0; }, none_image, 1,
         1, 4, true},
        // Order 0 names pattern 7 of a 1-pattern file: 64 empty rows, no note.
        {"an order past the last pattern",
         [](XmImageSong& song) {
             song.orders = {7, 0};
         },
         none_image, 1, 1, 64, false},
    };
    for (const PlayCase& row : cases) {
        SCOPED_TRACE(row.name);
        XmImageSong song = one_note_song();
        row.edit_song(song);
        std::vector<uint8_t> image = write_xm_image(song);
        row.edit_image(image);
        XmModule* module = load(image);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(module->channel_count, row.channel_count);
        EXPECT_EQ(module->instrument_count, row.instrument_count);
        voices[0].sample = nullptr;
        int row_ticks = 0;
        do {
            for (int tick = 0; tick < module->speed; ++tick)
                play_tick(module);
            ++row_ticks;
        } while (module->next_row != 0 && row_ticks < 200);
        EXPECT_EQ(row_ticks, row.rows_of_first_order);
        const bool sounding = voices[0].sample != nullptr && voices[0].sample->length > 0;
        EXPECT_EQ(sounding, row.note_starts);
        module_free(module_);
        module_ = nullptr;
    }
}

// An envelope reaches a point only on the tick equal to its x. Two points sharing an x start
// a flat segment at the first one's value, whose end the tick has already passed: the value
// holds there and the envelope never ends.
struct EnvelopeCase {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> points;
    std::vector<int> values;  // after each tick from the instrument start
};

TEST_F(FormatRules, EnvelopePointsSharingATickHoldTheFirstValue) {
    const EnvelopeCase cases[] = {
        // Tick 0: point 0, step (32 - 64) x 65536 / 4 = -8 a tick: 64, 56, 48, 40; tick 4
        // reaches point 1 (32) and starts a flat segment to point 2 at x 4, never met again.
        {"shared x in the middle",
         {{0, 64}, {4, 32}, {4, 0}, {8, 0}},
         {64, 56, 48, 40, 32, 32, 32, 32, 32, 32, 32, 32}},
        // Tick 0 reaches point 0 and starts the flat segment to point 1 at x 0: 64 for ever.
        {"shared x at the start", {{0, 64}, {0, 16}, {10, 0}}, {64, 64, 64, 64, 64, 64, 64, 64}},
        // Distinct ticks for contrast: (0 - 64) x 65536 / 2 = -32 a tick, done at tick 2.
        {"no shared x", {{0, 64}, {2, 0}}, {64, 32, 0, 0, 0}},
    };
    for (const EnvelopeCase& row : cases) {
        SCOPED_TRACE(row.name);
        XmInstrument instrument{};
        for (size_t i = 0; i < row.points.size(); ++i)
            instrument.volume_envelope[i] = {row.points[i].first, row.points[i].second};
        instrument.volume_point_count = uint8_t(row.points.size());
        instrument.volume_type = ENVELOPE_ON;
        ChannelState channel{};
        reset_for_instrument(&channel, &empty_sample);
        std::vector<int> values;
        for (size_t tick = 0; tick < row.values.size(); ++tick) {
            run_envelopes(channel, instrument);
            values.push_back(channel.volume_env_value);
        }
        EXPECT_EQ(values, row.values);
        EXPECT_EQ(channel.volume_env_done, row.points.size() == 2 ? 1 : 0);
    }
}

}  // namespace
