// The engine's spine: playback start through the program's own start routine, the song
// position through speeds, delays, loops, jumps, breaks and pattern ends, the note periods on
// both frequency tables, and the voice update's volume, panning and step. Expected values are
// worked by hand from the XM rules.
#include "player/engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/effects.h"
#include "player/output.h"
#include "tests/player/support/song_start.h"

namespace {

struct PatternRows {
    int rows;
    std::vector<std::string> lines;
};

struct PositionCase {
    const char* what;
    int speed;
    std::vector<PatternRows> patterns;
    std::vector<uint8_t> orders;
    std::vector<int> after_each_tick;  // order x 100 + row
    uint16_t restart = 0;
};

class Engine : public ::testing::Test {
protected:
    void SetUp() override { reset_song_loading(); }
    void TearDown() override { reset_song_loading(); }
};

class Positions : public Engine, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(Positions, FollowTheRowsEffects) {
    const PositionCase& c = GetParam();
    XmImageSong song;
    song.channel_count = 2;
    song.tempo = uint16_t(c.speed);
    song.orders = c.orders;
    song.restart_position = c.restart;
    for (const PatternRows& p : c.patterns)
        song.patterns.push_back(xm_pattern(p.rows, 2, p.lines));
    SongHandle module = start_song_image(song);
    ASSERT_TRUE(module);
    Probe where = [](const XmModule& m) { return int(m.order_position * 100 + m.row); };
    EXPECT_EQ(probe_ticks(module.get(), int(c.after_each_tick.size()), where), c.after_each_tick)
        << c.what;
}

const std::vector<std::string> loop_rows{"", "", "... .. .. E60", "", "... .. .. E62"};

INSTANTIATE_TEST_SUITE_P(
    Engine, Positions,
    ::testing::Values(
        // Rows of 5, 7, 5 ticks, then F00 and the rows after it one tick each.
        PositionCase{"speed",
                     6,
                     {{8, {"... .. .. F05", "... .. .. F07", "... .. .. F05", "... .. .. F00"}}},
                     {0},
                     {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 4, 5}},
        // EE2 at speed 2: 2 + 2 x 2 ticks.
        PositionCase{"pattern delay", 2, {{4, {"... .. .. EE2"}}}, {0}, {0, 0, 0, 0, 0, 0, 1, 1}},
        // E60 on row 2 and E62 on row 4: rows 2..4 three times.
        PositionCase{
            "pattern loop", 1, {{8, loop_rows}}, {0}, {0, 1, 2, 3, 4, 2, 3, 4, 2, 3, 4, 5, 6}},
        PositionCase{"jump then break",
                     1,
                     {{2, {"... .. .. B05 | ... .. .. D10"}}, {128, {}}},
                     {0, 1, 1, 1, 1, 1},
                     {0, 510}},
        PositionCase{"break then jump",
                     1,
                     {{2, {"... .. .. D10 | ... .. .. B05"}}, {128, {}}},
                     {0, 1, 1, 1, 1, 1},
                     {0, 500}},
        PositionCase{"jump past the song", 1, {{2, {"... .. .. B02"}}, {128, {}}}, {0, 1}, {0, 0}},
        PositionCase{"break 1F", 1, {{2, {"... .. .. D1F"}}, {128, {}}}, {0, 1}, {0, 125}},
        PositionCase{"break 63", 1, {{2, {"... .. .. D63"}}, {128, {}}}, {0, 1}, {0, 163}},
        PositionCase{"break 64", 1, {{2, {"... .. .. D64"}}, {128, {}}}, {0, 1}, {0, 100}},
        // A break on the last order goes to order 0, not to the restart position.
        PositionCase{"break at the end",
                     1,
                     {{2, {}}, {2, {}}, {2, {"... .. .. D00"}}},
                     {0, 1, 2},
                     {0, 1, 100, 101, 200, 0},
                     1},
        // Running off the last order continues at the restart position.
        PositionCase{"end of song",
                     1,
                     {{2, {}}, {2, {}}, {2, {}}},
                     {0, 1, 2},
                     {0, 1, 100, 101, 200, 201, 100},
                     1},
        PositionCase{"restart outside", 1, {{2, {}}, {1, {}}}, {0, 1}, {0, 1, 100, 0}, 5},
        // A break past the rows of the pattern it lands in plays that pattern's row 0; a
        // pattern of 0 rows plays as one row.
        PositionCase{
            "break past the rows", 1, {{1, {"... .. .. D25"}}, {16, {}}}, {0, 1}, {0, 100}},
        PositionCase{
            "empty pattern", 1, {{1, {}}, {0, {}}, {1, {}}}, {0, 1, 2}, {0, 100, 200, 0}}));

// Playback start, also of a module that has played: the header's speed and tempo, global
// volume 64, order 0 row 0 on its row tick, and every channel's memories back at 0 (the 100 of
// row 0 then has no speed to slide with).
TEST_F(Engine, StartRoutineSetsTheSongsBeginning) {
    XmImageSong song =
        pattern_song({"C-4 01 .. 100 | ... | ... | ...",
                      "... .. .. 1FF | ... .. .. G20 | ... .. .. F40 | ... .. .. F02"},
                     3, {looped_instrument()});
    song.bpm = 150;
    SongHandle module = start_song_image(song);
    ASSERT_TRUE(module);
    play_ticks(module.get(), 4);  // row 1: memory FF, global 32, 64 BPM, speed 2, tick 1
    reset_song_state(module.get());
    EXPECT_EQ(module->samples_per_tick, 735);  // 2.5 x 44100 / 150
    Probe state = [](const XmModule& m) { return m.row * 10000 + channels[0].period; };
    EXPECT_EQ(probe_ticks(module.get(), 4, state), (std::vector<int>{4608, 4608, 4608, 14608}));
    EXPECT_EQ(channels[0].voice->volume, 127);  // 64 x 64 x 65536 x 64 x 255 / 2^35 = 127.5
}

TEST(Tempo, GivesFramesPerTick) {
    XmModule module{};
    for (auto [bpm, frames] : {std::pair{125, 882}, {32, 3445}, {255, 432}, {-3, 882}}) {
        set_bpm(&module, bpm);
        EXPECT_EQ(module.samples_per_tick, frames) << bpm;  // 2.5 x 44100 / bpm, truncated
    }
}

// Periods of C-4 (and two notes beyond the table's ends) and the steps of their frequencies:
// linear 7680 - 64 n - f / 2 with 8363 x 2^((4608 - P) / 768) Hz, Amiga 14317056 / P Hz; the
// step's fraction is hertz x 2^32 / 44100.
TEST_F(Engine, NotePeriodsFollowTheFrequencyTable) {
    struct {
        uint16_t flags;
        int8_t finetune;
        const char* note;
        int8_t relative;
        int32_t period;
        uint32_t step, step_frac;
    } cases[] = {
        {1, 0, "C-4", 0, 4608, 0, 814485521},     // 8363 Hz
        {1, -128, "C-4", 0, 4672, 0, 768711493},  // 7680 - 3072 + 64: 7893 Hz
        {1, 127, "C-4", 0, 4545, 0, 862109988},   // 7680 - 3072 - 63: 8852 Hz
        {0, 0, "C-4", 0, 1712, 0, 814388129},     // 8362 Hz
        {0, 64, "C-4", 0, 1664, 0, 837956884},    // 1712 + (97 x 64) / -128: 8604 Hz
        {1, 0, "C-0", -5, 7680, 0, 50838388},     // real note -5 plays 0: 522 Hz
        {1, 0, "B-7", 30, 64, 11, 1956693604},    // 95 + 30 plays 119: 505191 Hz
    };
    for (const auto& c : cases) {
        XmImageSong song = pattern_song({std::string(c.note) + " 01"}, 2,
                                        {looped_instrument(64, 128, c.relative, c.finetune)});
        song.flags = c.flags;
        SongHandle module = start_song_image(song);
        ASSERT_TRUE(module);
        play_tick(module.get());
        EXPECT_EQ(channels[0].period, c.period) << c.note << int(c.finetune);
        EXPECT_EQ(voices[0].step, c.step) << c.note << int(c.finetune);
        EXPECT_EQ(voices[0].step_frac, c.step_frac) << c.note << int(c.finetune);
    }
}

// P(k) = trunc(13.375 x 2^((132 - k) / 12)), moved by finetune / -128 of the distance to the
// next note (up for positive, down for negative; note 0 measures towards note 1).
TEST(AmigaPeriods, MoveByFinetuneTowardsTheNeighbouringNote) {
    EXPECT_EQ(amiga_period(48, 0), 1712);
    EXPECT_EQ(amiga_period(48, 127), 1616);   // 1712 + (97 x 127) / -128
    EXPECT_EQ(amiga_period(48, -128), 1813);  // the period of note 47
    EXPECT_EQ(amiga_period(0, -64), 28161);   // 27392 + (27392 - 25854) x 64 / 128
    EXPECT_EQ(amiga_period(-40, 0), 27392);   // below note 0: note 0
}

// Final volume (v + offset) x env x fadeout x global x 255 / 2^35; final panning p + ((128 -
// |p - 128|) / 32) x (env - 32) within 0..255; gains (255 - pan) x vol / 255 and vol x pan /
// 255; below 100 Hz the step of 100 Hz; a period sum of 0 keeps the step.
TEST_F(Engine, VoiceUpdateFollowsTheFormulas) {
    XmModule module{};
    module.global_volume = 64;
    module.flags = 1;
    ChannelState& channel = channels[0];
    struct {
        int32_t volume, offset, envelope, fadeout, panning, panning_envelope;
        int32_t heard, heard_panning, left, right;
    } cases[] = {
        {64, 0, 64, 65536, 128, 32, 127, 128, 63, 63},
        {40, 12, 32, 32768, 64, 40, 25, 80, 17, 7},     // 52 x 255 / 512; 64 + 2 x 8
        {30, -30, 64, 65536, 0, 64, 0, 0, 0, 0},        // no room at the side
        {64, 0, 64, 65536, 200, 0, 127, 168, 43, 83},   // 200 + 1 x -32
        {64, 0, 64, 65536, 128, 64, 127, 255, 0, 127},  // 128 + 4 x 32, limited
        {64, 0, 64, 65536, -500, 64, 127, 0, 127, 0},   // (128 - 628) / 32 = -15: further out
    };
    for (const auto& c : cases) {
        channel = ChannelState{};
        channel.voice = &voices[0];
        channel.volume = c.volume;
        channel.volume_offset = c.offset;
        channel.volume_env_value = c.envelope;
        channel.fadeout_volume = c.fadeout;
        channel.panning = c.panning;
        channel.panning_env_value = c.panning_envelope;
        channel.update_flags = UPDATE_VOLUME | UPDATE_PANNING;
        update_voice(&channel, nullptr, &module);
        EXPECT_EQ(voices[0].volume, c.heard) << c.volume << " " << c.panning;
        EXPECT_EQ(voices[0].panning, c.heard_panning) << c.volume << " " << c.panning;
        EXPECT_EQ(voices[0].left_volume, c.left) << c.volume << " " << c.panning;
        EXPECT_EQ(voices[0].right_volume, c.right) << c.volume << " " << c.panning;
    }
    module.flags = 0;         // Amiga table
    channel.period = 200000;  // 71 Hz
    channel.update_flags = UPDATE_FREQUENCY;
    update_voice(&channel, nullptr, &module);
    EXPECT_EQ(voices[0].step_frac, 9739154u);  // 100 x 2^32 / 44100 = 9739154.9
    channel.period = 1712;
    channel.period_offset = -1712;
    channel.update_flags = UPDATE_FREQUENCY;
    update_voice(&channel, nullptr, &module);
    EXPECT_EQ(voices[0].step_frac, 9739154u);
}

// A note start on a sounding voice hands it to its twin, which takes the whole record with
// its own index, while the old voice is silenced to ramp out.
TEST_F(Engine, NoteStartsHandASoundingVoiceToItsTwin) {
    SongHandle module = start_song_image(
        pattern_song({"... | C-4 01", "... | C-4 01", "... | C-4 01"}, 1, {looped_instrument()}));
    ASSERT_TRUE(module);
    play_ticks(module.get(), 2);
    EXPECT_EQ(channels[1].voice, &voices[33]);
    EXPECT_EQ(voices[33].index, 33);
    EXPECT_EQ(voices[33].volume, 127);
    EXPECT_EQ(voices[1].index, 1);
    EXPECT_EQ(voices[1].volume + voices[1].left_volume + voices[1].right_volume, 0);
    EXPECT_NE(voices[1].sample, nullptr);
    voices[33].sample = nullptr;  // the mixer reached the end of its sample: a free voice
    play_tick(module.get());      // starts in place
    EXPECT_EQ(channels[1].voice, &voices[33]);
}

}  // namespace
