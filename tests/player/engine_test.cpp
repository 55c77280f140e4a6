// The engine's spine on small songs written in memory, loaded through the real memory file
// and stepped tick by tick: speed and tempo, the song position through jumps, breaks, loops
// and pattern ends, note periods and frequencies, the row tick's note, instrument and volume
// handling, and the voice update's formulas. Expected values follow from the XM rules by hand;
// each row of a song carries a comment where it matters.
#include "player/engine.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "player/effects.h"
#include "tests/player/support/song_start.h"

namespace {

using Position = std::pair<int, int>;  // (order, row)

// An instrument with one looped 8-bit sample of 4096 frames.
XmImageInstrument instrument(uint8_t volume = 64, uint8_t panning = 128, int8_t relative = 0,
                             int8_t finetune = 0) {
    XmImageSample sample;
    sample.frames.assign(4096, 10);
    sample.loop_bits = 1;
    sample.loop_length = 4096;
    sample.volume = volume;
    sample.panning = panning;
    sample.relative_note = relative;
    sample.finetune = finetune;
    XmImageInstrument made;
    made.samples = {sample};
    return made;
}

XmImageSong song(int channels, uint16_t tempo, std::vector<XmImagePattern> patterns,
                 std::vector<uint8_t> orders = {0}) {
    XmImageSong made;
    made.channel_count = uint16_t(channels);
    made.tempo = tempo;
    made.patterns = std::move(patterns);
    made.orders = std::move(orders);
    made.instruments = {instrument(), instrument(40, 64), instrument(20, 200, 12)};
    return made;
}

// The row after each of `ticks` ticks.
std::vector<int> rows_of_ticks(XmModule* module, int ticks) {
    std::vector<int> rows;
    for (int i = 0; i < ticks; ++i) {
        play_tick(module);
        rows.push_back(module->row);
    }
    return rows;
}

// The positions of the next `count` row ticks.
std::vector<Position> positions_of_rows(XmModule* module, int count) {
    std::vector<Position> positions;
    while (int(positions.size()) < count) {
        const bool row_tick = module->tick == 0;
        play_tick(module);
        if (row_tick) positions.emplace_back(module->order_position, module->row);
    }
    return positions;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        reset_song_loading();
        engine_reset();
    }
    void TearDown() override { reset_song_loading(); }
};

TEST_F(Engine, SpeedAlternatesBetweenFiveAndSevenAndF00PlaysOneTickPerRow) {
    SongHandle module = start_song_image(song(1, 6,
                                              {xm_pattern(8, 1,
                                                          {
                                                              "... .. .. F05",  // 5 ticks
                                                              "... .. .. F07",  // 7 ticks
                                                              "... .. .. F05",  // 5 ticks
                                                              "... .. .. F00",  // 1 tick
                                                              "",               // speed 0: 1
                                                          })}));
    ASSERT_TRUE(module);
    std::vector<int> expected;
    for (auto [row, ticks] : {std::pair{0, 5}, {1, 7}, {2, 5}, {3, 1}, {4, 1}, {5, 1}})
        expected.insert(expected.end(), size_t(ticks), row);
    EXPECT_EQ(rows_of_ticks(module.get(), int(expected.size())), expected);
}

TEST_F(Engine, PatternDelayLengthensTheRowAndItsTickEffectsRunOn) {
    SongHandle module = start_song_image(
        song(2, 6, {xm_pattern(4, 2, {"C-4 01 .. EE2 | C-4 01 .. A01"})}));  // 6 + 2 x 6 ticks
    ASSERT_TRUE(module);
    std::vector<int> ticks;
    for (int i = 0; i < 18; ++i) {
        ticks.push_back(module->tick);
        play_tick(module.get());
    }
    std::vector<int> expected_ticks;
    for (int i = 0; i < 18; ++i)
        expected_ticks.push_back(i);
    EXPECT_EQ(ticks, expected_ticks);
    EXPECT_EQ(module->tick, 0);  // the next tick is row 1's row tick
    EXPECT_EQ(module->pattern_delay, 0);
    EXPECT_EQ(channels[1].volume, 64 - 17);  // A01 on ticks 1..17
    play_tick(module.get());
    EXPECT_EQ(module->row, 1);
}

TEST_F(Engine, PatternLoopPlaysItsRowsThreeTimesWithTheirTickEffects) {
    std::vector<std::string> lines(12);
    lines[0] = "... .. .. F02 | C-4 01";
    lines[4] = "... .. .. E60";
    lines[7] = "... .. .. E62 | ... .. .. A01";  // one tick of A01 per pass
    SongHandle module = start_song_image(song(2, 6, {xm_pattern(12, 2, lines)}));
    ASSERT_TRUE(module);
    std::vector<Position> expected;
    for (int row : {0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 8, 9})
        expected.emplace_back(0, row);
    EXPECT_EQ(positions_of_rows(module.get(), int(expected.size())), expected);
    EXPECT_EQ(channels[1].volume, 61);
}

struct JumpCase {
    const char* row;
    Position landing;
};

class JumpAndBreak : public Engine, public ::testing::WithParamInterface<JumpCase> {};

TEST_P(JumpAndBreak, LandWhereTheChannelOrderSays) {
    SongHandle module = start_song_image(song(
        2, 1, {xm_pattern(2, 2, {GetParam().row}), xm_pattern(64, 2, {})}, {0, 1, 1, 1, 1, 1}));
    ASSERT_TRUE(module);
    EXPECT_EQ(positions_of_rows(module.get(), 2)[1], GetParam().landing);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, JumpAndBreak,
    ::testing::Values(JumpCase{"... .. .. B05 | ... .. .. D10", {5, 10}},  // B first: its order
                      JumpCase{"... .. .. D10 | ... .. .. B05", {5, 0}},   // B last: its row 0
                      JumpCase{"... .. .. B09", {0, 0}},                   // order past the song
                      JumpCase{"... .. .. D1F", {1, 25}},                  // 10 x 1 + 15
                      JumpCase{"... .. .. D64", {1, 0}},                   // row 64 > 63
                      JumpCase{"... .. .. D70 | ... .. .. B03", {3, 0}}));

TEST_F(Engine, BreakOnTheLastOrderGoesToOrderZeroAndTheEndOfTheSongToRestart) {
    const XmImagePattern two_rows = xm_pattern(2, 1, {});
    XmImageSong broken =
        song(1, 1, {two_rows, two_rows, xm_pattern(2, 1, {"... .. .. D00"})}, {0, 1, 2});
    broken.restart_position = 1;
    SongHandle module = start_song_image(broken);
    ASSERT_TRUE(module);
    EXPECT_EQ(positions_of_rows(module.get(), 6),
              (std::vector<Position>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {0, 0}}));

    XmImageSong running = song(1, 1, {two_rows, two_rows, two_rows}, {0, 1, 2});
    running.restart_position = 1;
    module = start_song_image(running);
    ASSERT_TRUE(module);
    EXPECT_EQ(positions_of_rows(module.get(), 7),
              (std::vector<Position>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {1, 0}}));
}

TEST_F(Engine, PositionsOutsideTheSongOrItsPatternsPlayFromTheirStart) {
    const XmImagePattern one_row = xm_pattern(1, 1, {});
    // A break past the rows of the pattern it lands in plays that pattern's row 0.
    SongHandle module = start_song_image(
        song(1, 1, {xm_pattern(1, 1, {"... .. .. D25"}), xm_pattern(16, 1, {})}, {0, 1}));
    ASSERT_TRUE(module);
    EXPECT_EQ(positions_of_rows(module.get(), 2)[1], (Position{1, 0}));

    // A pattern of 0 rows plays as one row without cells.
    module = start_song_image(song(1, 1, {one_row, xm_pattern(0, 1, {}), one_row}, {0, 1, 2}));
    ASSERT_TRUE(module);
    ASSERT_EQ(module->patterns[1].row_count, 0);
    EXPECT_EQ(positions_of_rows(module.get(), 4),
              (std::vector<Position>{{0, 0}, {1, 0}, {2, 0}, {0, 0}}));

    // An order entry naming a pattern the module lacks plays 64 empty rows; a restart
    // position outside the song restarts at order 0.
    module = start_song_image(song(1, 1, {one_row, one_row}, {0, 1}));
    ASSERT_TRUE(module);
    module->orders[1] = 200;
    module->restart_position = 7;
    const std::vector<Position> played = positions_of_rows(module.get(), 66);
    EXPECT_EQ(played[64], (Position{1, 63}));
    EXPECT_EQ(played[65], (Position{0, 0}));

    // A loop back to a row its pattern does not have plays row 0.
    std::vector<std::string> long_lines(32);
    long_lines[20] = "... .. .. E60";
    module = start_song_image(
        song(1, 1, {xm_pattern(32, 1, long_lines), xm_pattern(8, 1, {"", "", "... .. .. E61"})},
             {0, 1}));
    ASSERT_TRUE(module);
    EXPECT_EQ(positions_of_rows(module.get(), 36)[35], (Position{1, 0}));
}

TEST_F(Engine, MalformedCellsAndHeadersPlaySafely) {
    // A song of length 0 reads no cells: its note never starts.
    SongHandle module = start_song_image(song(1, 1, {xm_pattern(64, 1, {"C-4 01"})}));
    ASSERT_TRUE(module);
    module->song_length = 0;
    EXPECT_EQ(positions_of_rows(module.get(), 65)[64], (Position{0, 0}));
    EXPECT_EQ(voices[0].sample, nullptr);

    // Note values 98..254 are no notes.
    module = start_song_image(song(1, 1, {xm_pattern(2, 1, {"C-4 01", "C-4"})}));
    ASSERT_TRUE(module);
    module->patterns[0].cells[1].note = 200;
    play_ticks(module.get(), 2);
    EXPECT_EQ(channels[0].update_flags & UPDATE_TRIGGER, 0);
    EXPECT_EQ(channels[0].note, 48);

    // A tempo of 0 plays at 125 BPM.
    module = start_song_image(song(1, 1, {xm_pattern(2, 1, {})}));
    ASSERT_TRUE(module);
    module->default_bpm = 0;
    start_song(module.get());
    EXPECT_EQ(module->bpm, 125);
    EXPECT_EQ(module->samples_per_tick, 882);
}

TEST_F(Engine, MoreChannelsThanRecordsPlayTheFirst32) {
    constexpr int wide = 40;
    std::vector<XmCell> cells(wide);
    for (XmCell& cell : cells)
        cell = XmCell{49, 0, 0x50, 0, 0};  // a note at volume 64 in every channel
    XmPattern pattern{1, cells.data()};
    XmModule module{};
    module.patterns = &pattern;
    module.pattern_count = 1;
    module.song_length = 1;
    module.channel_count = wide;
    module.flags = 1;
    module.default_speed = 1;
    module.default_bpm = 125;
    module.initial_global_volume = 64;
    start_song(&module);
    play_ticks(&module, 3);
    EXPECT_EQ(channels[31].volume, 64);
    EXPECT_EQ(channels[31].period, 4608);
}

TEST_F(Engine, TempoGivesFramesPerTick) {
    XmModule module{};
    for (auto [bpm, frames] : {std::pair{125, 882}, {32, 3445}, {255, 432}, {-3, 882}}) {
        set_bpm(&module, bpm);
        EXPECT_EQ(module.samples_per_tick, frames) << bpm;  // 2.5 x 44100 / bpm, truncated
    }
}

struct PeriodCase {
    uint16_t flags;
    int8_t finetune;
    const char* note;
    int8_t relative;
    int32_t period;
    uint32_t step;
    uint32_t step_frac;  // hertz x 2^32 / 44100 for the fraction of the hertz below 44100
};

class NotePeriods : public Engine, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(NotePeriods, FollowTheFrequencyTable) {
    const PeriodCase& c = GetParam();
    XmImageSong written = song(1, 2, {xm_pattern(2, 1, {std::string(c.note) + " 01"})});
    written.flags = c.flags;
    written.instruments = {instrument(64, 128, c.relative, c.finetune)};
    SongHandle module = start_song_image(written);
    ASSERT_TRUE(module);
    play_tick(module.get());
    EXPECT_EQ(channels[0].period, c.period);
    EXPECT_EQ(voices[0].step, c.step);
    EXPECT_EQ(voices[0].step_frac, c.step_frac);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, NotePeriods,
    ::testing::Values(
        PeriodCase{1, 0, "C-4", 0, 4608, 0, 814485521},     // 8363 Hz
        PeriodCase{1, -128, "C-4", 0, 4672, 0, 768711493},  // 7680-3072+64: 7893 Hz
        PeriodCase{1, 127, "C-4", 0, 4545, 0, 862109988},   // 7680-3072-63: 8852 Hz
        PeriodCase{0, 0, "C-4", 0, 1712, 0, 814388129},     // 14317056 / 1712 = 8362 Hz
        PeriodCase{1, 0, "C-0", -5, 7680, 0, 50838388},     // real note -5 plays 0: 522 Hz
        PeriodCase{1, 0, "B-7", 30, 64, 11, 1956693604}));  // 95 + 30 plays 119: 505191 Hz

TEST_F(Engine, AmigaPeriodsMoveByFinetuneTowardsTheNeighbouringNote) {
    EXPECT_EQ(amiga_period(48, 0), 1712);
    EXPECT_EQ(amiga_period(48, 64), 1664);    // 1712 + (97 x 64) / -128
    EXPECT_EQ(amiga_period(48, 127), 1616);   // 1712 + (97 x 127) / -128
    EXPECT_EQ(amiga_period(48, -128), 1813);  // the period of note 47
    EXPECT_EQ(amiga_period(0, -64), 28161);   // note 0 measures towards note 1
    EXPECT_EQ(amiga_period(-40, 0), 27392);   // below note 0: note 0
    EXPECT_EQ(amiga_period(48, 1000), 1616);  // finetune beyond 127: 127
}

TEST_F(Engine, TonePortamentoRowKeepsTheInstrumentAndAimsWithTheOldSample) {
    SongHandle module = start_song_image(song(1, 4,
                                              {xm_pattern(4, 1,
                                                          {
                                                              "C-4 02",         // vol 40, pan 64
                                                              "D-4 03 .. 310",  // rel +12 unused
                                                          })}));
    ASSERT_TRUE(module);
    play_ticks(module.get(), 4);
    channels[0].volume = 10;
    channels[0].panning = 99;
    play_tick(module.get());  // row 1
    EXPECT_EQ(channels[0].instrument, 1);
    EXPECT_EQ(channels[0].note, 48);
    EXPECT_EQ(channels[0].period, 4608);
    EXPECT_EQ(channels[0].volume, 40);  // instrument start with the old sample
    EXPECT_EQ(channels[0].panning, 64);
    EXPECT_EQ(channels[0].porta_target, 4480);  // real note 50, relative note 0
    play_tick(module.get());
    EXPECT_EQ(channels[0].period, 4544);  // 4 x 0x10 per tick
    play_ticks(module.get(), 2);
    EXPECT_EQ(channels[0].period, 4480);  // and no further
}

TEST_F(Engine, KeyOffWithoutVolumeEnvelopeSilencesAndStaysReleased) {
    SongHandle module = start_song_image(
        song(1, 1, {xm_pattern(4, 1, {"C-4 01", "=== .. .. ...", "C-4", "C-4 01"})}));
    ASSERT_TRUE(module);
    play_tick(module.get());
    EXPECT_EQ(voices[0].volume, 127);
    play_tick(module.get());  // key-off
    EXPECT_EQ(channels[0].volume_env_value, 0);
    EXPECT_EQ(voices[0].volume, 0);
    play_tick(module.get());  // a note without instrument stays released
    EXPECT_EQ(channels[0].key_released, 1);
    EXPECT_EQ(channels[0].voice->volume, 0);
    play_tick(module.get());  // an instrument start presses the key again
    EXPECT_EQ(channels[0].key_released, 0);
    EXPECT_EQ(channels[0].voice->volume, 127);
}

TEST_F(Engine, NotesOnAChannelThatNeverHadAnInstrumentAreSilent) {
    SongHandle module = start_song_image(song(1, 1, {xm_pattern(1, 1, {"C-4"})}));
    ASSERT_TRUE(module);
    play_tick(module.get());
    EXPECT_EQ(channels[0].update_flags & UPDATE_TRIGGER, UPDATE_TRIGGER);
    EXPECT_EQ(voices[0].volume, 0);  // envelope value and fadeout still 0
}

TEST_F(Engine, SetVolumeAndGlobalVolumeReachLaterChannelsInTheSameTick) {
    SongHandle module = start_song_image(song(3, 1,
                                              {xm_pattern(3, 3,
                                                          {
                                                              "C-4 01 20 G20 | C-4 01 | C-4 01",
                                                              "... .. .. C7F | ... .. .. G50",
                                                          })}));
    ASSERT_TRUE(module);
    play_tick(module.get());
    EXPECT_EQ(voices[2].volume, 63);  // 64 x 64 x 65536 x 32 x 255 / 2^35 = 63.75
    play_tick(module.get());
    EXPECT_EQ(channels[0].volume, 64);     // C7F: at most 64
    EXPECT_EQ(module->global_volume, 64);  // G50: at most 64
    EXPECT_EQ(voices[0].volume, 63);       // before the G: the old global volume
    EXPECT_EQ(voices[1].volume, 127);
    EXPECT_EQ(voices[2].volume, 127);  // after the G: the new one
}

TEST_F(Engine, SampleOffsetWaitsOnTheVoiceUntilTheNextNote) {
    SongHandle module = start_song_image(song(1, 1,
                                              {xm_pattern(5, 1,
                                                          {
                                                              "C-4 01",
                                                              "... .. .. 904",  // waits
                                                              "C-4",            // uses 1024
                                                              "C-4 .. .. 920",  // 8192: too far
                                                          })}));
    ASSERT_TRUE(module);
    play_ticks(module.get(), 2);
    EXPECT_EQ(channels[0].voice, &voices[0]);
    EXPECT_EQ(voices[0].start_offset, 1024u);
    play_tick(module.get());
    EXPECT_EQ(channels[0].voice, &voices[32]);
    EXPECT_EQ(voices[32].position, 1024u);
    EXPECT_EQ(voices[32].start_offset, 0u);
    voices[32].position = 300;
    play_tick(module.get());  // no note start: the playing sample rewinds
    EXPECT_EQ(channels[0].voice, &voices[32]);
    EXPECT_EQ(voices[32].position, 0u);
}

TEST_F(Engine, NoteStartsHandASoundingVoiceToItsTwin) {
    SongHandle module = start_song_image(
        song(2, 1,
             {xm_pattern(4, 2, {"... | C-4 01", "... | C-4 01", "... | C-4 01", "... | C-4 01"})}));
    ASSERT_TRUE(module);
    play_tick(module.get());
    EXPECT_EQ(channels[1].voice, &voices[1]);  // a free voice starts in place
    play_tick(module.get());
    EXPECT_EQ(channels[1].voice, &voices[33]);
    EXPECT_EQ(voices[33].index, 33);
    EXPECT_EQ(voices[33].volume, 127);
    EXPECT_EQ(voices[1].index, 1);
    EXPECT_EQ(voices[1].left_volume, 0);  // ramps out while it runs on
    EXPECT_EQ(voices[1].right_volume, 0);
    EXPECT_NE(voices[1].sample, nullptr);
    play_tick(module.get());  // voice 33 sounds: back to voice 1
    EXPECT_EQ(channels[1].voice, &voices[1]);
    EXPECT_EQ(voices[33].volume, 0);
    voices[1].sample = nullptr;  // the mixer reached the end of its sample
    play_tick(module.get());     // a free voice is used in place
    EXPECT_EQ(channels[1].voice, &voices[1]);
}

TEST_F(Engine, VoiceVolumeAndPanningFollowTheirFormulas) {
    XmModule module{};
    module.global_volume = 64;
    module.flags = 1;
    ChannelState& channel = channels[0];
    channel.volume = 64;
    channel.volume_env_value = 64;
    channel.fadeout_volume = 65536;
    channel.panning = 128;
    channel.panning_env_value = 32;
    channel.update_flags = UPDATE_VOLUME | UPDATE_PANNING;
    update_voice(&channel, nullptr, &module);
    EXPECT_EQ(voices[0].volume, 127);  // 2^30 x 255 / 2^35 = 127.5
    EXPECT_EQ(voices[0].left_volume, 63);
    EXPECT_EQ(voices[0].right_volume, 63);

    struct {
        int32_t panning, envelope, voice_panning;
    } cases[] = {
        {128, 64, 255},  // 128 + 4 x 32, limited
        {64, 40, 80},    // 64 + 2 x 8
        {0, 64, 0},      // no room at the side
        {200, 0, 168},   // 200 + 1 x -32
        {-500, 64, 0},   // beyond the side: (128 - 628) / 32 = -15 moves it further out
    };
    for (auto c : cases) {
        channel.panning = c.panning;
        channel.panning_env_value = c.envelope;
        channel.update_flags = UPDATE_PANNING;
        update_voice(&channel, nullptr, &module);
        EXPECT_EQ(voices[0].panning, c.voice_panning) << c.panning << " " << c.envelope;
        EXPECT_EQ(voices[0].left_volume, (255 - c.voice_panning) * 127 / 255);
    }
}

TEST_F(Engine, FrequenciesBelow100HzStepAs100AndAPeriodSumOfZeroIsSkipped) {
    XmModule module{};  // Amiga table
    ChannelState& channel = channels[0];
    channel.period = 200000;  // 71 Hz
    channel.update_flags = UPDATE_FREQUENCY;
    update_voice(&channel, nullptr, &module);
    EXPECT_EQ(voices[0].step, 0u);
    EXPECT_EQ(voices[0].step_frac, 9739154u);  // 100 x 2^32 / 44100 = 9739154.9
    channel.period = 30;
    channel.period_offset = -30;
    channel.update_flags = UPDATE_FREQUENCY;
    update_voice(&channel, nullptr, &module);
    EXPECT_EQ(channel.update_flags & UPDATE_FREQUENCY, 0);
    EXPECT_EQ(voices[0].step_frac, 9739154u);
    channel.period = -period_limit;  // far beyond any note, on the linear table
    channel.period_offset = 0;
    module.flags = 1;
    channel.update_flags = UPDATE_FREQUENCY;
    update_voice(&channel, nullptr, &module);
    EXPECT_EQ(voices[0].step, 2147483647u / 44100);
}

}  // namespace
