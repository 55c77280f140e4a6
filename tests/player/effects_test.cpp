// The effects tick by tick on small songs written in memory: arpeggio, portamentos, vibrato,
// tremolo, tremor, retriggers, note cut and delay, the volume, global volume and panning
// slides with their memories and limits. Expected values follow from the XM rules by hand;
// each row carries a comment where it matters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/effects.h"
#include "player/engine.h"
#include "tests/player/support/song_start.h"

namespace {

// An instrument with one looped 8-bit sample of 4096 frames.
XmImageInstrument instrument(uint8_t volume) {
    XmImageSample sample;
    sample.frames.assign(4096, 10);
    sample.loop_bits = 1;
    sample.loop_length = 4096;
    sample.volume = volume;
    XmImageInstrument made;
    made.samples = {sample};
    return made;
}

// Instrument 1 plays at volume 64, instrument 2 at volume 40.
SongHandle start(int channels, uint16_t tempo, int rows, const std::vector<std::string>& lines,
                 uint16_t flags = 1) {
    XmImageSong song;
    song.channel_count = uint16_t(channels);
    song.tempo = tempo;
    song.flags = flags;
    song.patterns = {xm_pattern(rows, channels, lines)};
    song.instruments = {instrument(64), instrument(40)};
    return start_song_image(song);
}

// A field of channel 0 after each of `ticks` ticks.
template <typename Field>
std::vector<int> after_each_tick(XmModule* module, int ticks, Field field) {
    std::vector<int> values;
    for (int i = 0; i < ticks; ++i) {
        play_tick(module);
        values.push_back(field());
    }
    return values;
}

class Effects : public ::testing::Test {
protected:
    void SetUp() override {
        reset_song_loading();
        engine_reset();
    }
    void TearDown() override { reset_song_loading(); }
};

TEST_F(Effects, ArpeggioCyclesThroughTheNoteAndItsTwoIntervals) {
    auto offset = [] { return channels[0].period_offset; };
    SongHandle module = start(1, 7, 2, {"C-4 01 .. 047", "... .. .. 000"});
    ASSERT_TRUE(module);
    // Row tick plain, then +4, +7, 0 semitones of 64 linear units each.
    EXPECT_EQ(after_each_tick(module.get(), 9, offset),
              (std::vector<int>{0, 256, 448, 0, 256, 448, 0, 0, 0}));

    // Amiga table: the period differences to notes 52 and 55 (1358 and 1142 against 1712).
    module = start(1, 4, 1, {"C-4 01 .. 047"}, 0);
    ASSERT_TRUE(module);
    EXPECT_EQ(after_each_tick(module.get(), 4, offset), (std::vector<int>{0, -354, -570, 0}));
}

TEST_F(Effects, PortamentosKeepTheirMemoriesAndLimits) {
    auto period = [] { return channels[0].period; };
    SongHandle module = start(1, 6, 6,
                              {
                                  "C-4 01 .. 1FF",  // -1020 per tick from 4608
                                  "... .. .. 100",  // memory FF, already at the floor
                                  "... .. .. 2FF",  // +1020 per tick
                                  "... .. .. 200",  // memory FF
                                  "... .. .. 200",
                              });
    ASSERT_TRUE(module);
    EXPECT_EQ(after_each_tick(module.get(), 6, period),
              (std::vector<int>{4608, 3588, 2568, 1548, 528, 56}));
    EXPECT_EQ(after_each_tick(module.get(), 6, period).back(), 56);
    EXPECT_EQ(after_each_tick(module.get(), 6, period).back(), 56 + 5 * 1020);
    EXPECT_EQ(after_each_tick(module.get(), 6, period).back(), 56 + 10 * 1020);
    channels[0].period = period_limit - 100;  // no limit but the 32-bit headroom
    EXPECT_EQ(after_each_tick(module.get(), 6, period).back(), period_limit);
}

TEST_F(Effects, FinePortamentosMoveOnceAtTheRowTickWithTheirMemories) {
    auto period = [] { return channels[0].period; };
    SongHandle module = start(1, 3, 6,
                              {
                                  "C-4 01 .. E13",  // -12
                                  "... .. .. E10",  // memory: -12
                                  "... .. .. E22",  // +8
                                  "... .. .. X15",  // -5
                                  "... .. .. X10",  // memory: -5
                                  "... .. .. X27",  // +7
                              });
    ASSERT_TRUE(module);
    std::vector<int> rows;
    for (int row = 0; row < 6; ++row)
        rows.push_back(after_each_tick(module.get(), 3, period).back());
    EXPECT_EQ(rows, (std::vector<int>{4596, 4584, 4592, 4587, 4582, 4589}));
}

TEST_F(Effects, TonePortamentoFromTheVolumeColumnUsesSixteenTimesItsSpeed) {
    auto period = [] { return channels[0].period; };
    SongHandle module = start(1, 4, 2, {"C-4 01", "E-4 .. F2"});  // E-4: real note 52
    ASSERT_TRUE(module);
    play_ticks(module.get(), 4);
    EXPECT_EQ(after_each_tick(module.get(), 4, period),
              (std::vector<int>{4608, 4480, 4352, 4352}));  // 4 x 32 per tick to 4352
    EXPECT_EQ(channels[0].voice, &voices[0]);               // no new note start
}

struct WaveCase {
    int wave;
    int32_t position;
    int32_t value;
};

class Waveforms : public Effects, public ::testing::WithParamInterface<WaveCase> {};

TEST_P(Waveforms, GiveTheirValueAtAPosition) {
    EXPECT_EQ(waveform_value(GetParam().wave, GetParam().position), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Effects, Waveforms,
                         ::testing::Values(WaveCase{0, 0, 0}, WaveCase{0, -32, 0},
                                           WaveCase{0, 1, 25}, WaveCase{0, 8, 181},
                                           WaveCase{0, -8, 181}, WaveCase{0, 16, 255},
                                           WaveCase{0, -16, 255}, WaveCase{1, 0, 0},
                                           WaveCase{1, 5, 40}, WaveCase{1, 31, 248},
                                           WaveCase{1, -1, 7}, WaveCase{1, -32, 255},
                                           WaveCase{2, 3, 255}, WaveCase{2, -20, 255}));

TEST_F(Effects, VibratoOffsetsTakeTheirSignFromThePosition) {
    ChannelState channel{};
    channel.vibrato_depth = 15;
    struct {
        uint8_t waveforms;
        int8_t position;
        int32_t offset;
    } cases[] = {
        {0, 16, -116},               // 255 x 15 >> 5 = 119, to a multiple of 4
        {0, -16, 116}, {1, 5, -16},  // 40 x 15 >> 5 = 18 -> 16
        {2, 3, -116},                // square
        {3, -3, 116},                // square for the vibrato
    };
    for (auto c : cases) {
        channel.waveforms = c.waveforms;
        channel.vibrato_position = c.position;
        vibrato_step(&channel);
        EXPECT_EQ(channel.period_offset, c.offset) << int(c.waveforms) << " " << int(c.position);
    }
}

TEST_F(Effects, VibratoAdvancesOnLaterTicksAndTwiceWithTheVolumeColumnToo) {
    auto offset = [] { return channels[0].period_offset; };
    SongHandle module = start(1, 4, 1, {"C-4 01 .. 44F"});
    ASSERT_TRUE(module);
    // Positions 0, 0, 4, 8: sine values 0, 0, 97, 181 at depth 15.
    EXPECT_EQ(after_each_tick(module.get(), 4, offset), (std::vector<int>{0, 0, -44, -84}));

    module = start(1, 3, 1, {"C-4 01 B8 440"});
    ASSERT_TRUE(module);
    // Tick 1: the column at position 0, the effect at 4; tick 2: 8, then 12 (236 x 8 >> 5).
    EXPECT_EQ(after_each_tick(module.get(), 3, offset), (std::vector<int>{0, -24, -56}));
    EXPECT_EQ(channels[0].vibrato_position, 16);
}

TEST_F(Effects, TremoloKeepsTheVolumeInRangeAndItsLastOffsetStays) {
    ChannelState channel{};
    channel.tremolo_depth = 15;  // 255 x 15 >> 6 = 59 at the peaks
    channel.tremolo_speed = 20;
    channel.volume = 60;
    channel.tremolo_position = 16;
    tremolo_step(&channel);
    EXPECT_EQ(channel.volume_offset, 4);  // up to 64
    EXPECT_EQ(channel.tremolo_position, 36 - 64);
    channel.volume = 10;
    channel.tremolo_position = -16;
    tremolo_step(&channel);
    EXPECT_EQ(channel.volume_offset, -10);  // down to 0

    SongHandle module = start(1, 3, 2, {"C-4 02 .. 748", "... .. .. ..."});
    ASSERT_TRUE(module);
    play_ticks(module.get(), 3);  // positions 0 and 4: offsets 0 and 97 x 8 >> 6 = 12
    EXPECT_EQ(channels[0].volume_offset, 12);
    EXPECT_EQ(voices[0].volume, 103);  // 52 of 64 at full scale: 103.6
    play_tick(module.get());
    EXPECT_EQ(channels[0].volume, 52);
}

TEST_F(Effects, TremoloWavesTreatTheirFourthWaveAsTheSine) {
    ChannelState channel{};
    channel.tremolo_depth = 8;
    channel.volume = 32;
    struct {
        uint8_t waveforms;
        int32_t offset;
    } cases[] = {
        {0x30, 22},  // sine: 181 x 8 >> 6
        {0x10, 8},   // ramp: 64 x 8 >> 6
        {0x23, 31},  // square: 255 x 8 >> 6; the vibrato nibble does not matter
    };
    for (auto c : cases) {
        channel.waveforms = c.waveforms;
        channel.tremolo_position = 8;
        tremolo_step(&channel);
        EXPECT_EQ(channel.volume_offset, c.offset) << int(c.waveforms);
    }
}

TEST_F(Effects, WaveformsCanKeepTheirPositionAcrossInstrumentStarts) {
    for (auto [control, kept] : {std::pair{"E44", 30}, {"E40", 0}}) {
        SongHandle module = start(1, 3, 3,
                                  {
                                      std::string("C-4 01 .. ") + control,
                                      "... .. .. 4F8",  // speed 15: positions 15, 30
                                      "C-4 01 .. 000",  // instrument start
                                  });
        ASSERT_TRUE(module);
        play_ticks(module.get(), 7);
        EXPECT_EQ(channels[0].vibrato_position, kept) << control;
    }
}

TEST_F(Effects, FinetuneChangesLaterNotesOfTheSampleOnly) {
    SongHandle module = start(1, 1, 3, {"C-4 01 .. E58", "C-4 01", "C-4 05 .. E5F"});
    ASSERT_TRUE(module);
    play_tick(module.get());
    EXPECT_EQ(channels[0].period, 4608);  // the current note keeps its period
    EXPECT_EQ(module->instruments[0].samples[0]->finetune, 8);
    play_tick(module.get());
    EXPECT_EQ(channels[0].period, 4604);  // 7680 - 3072 - 8 / 2
    play_tick(module.get());              // no instrument 5: the empty sample stays all zero
    EXPECT_EQ(empty_sample.finetune, 0);
}

TEST_F(Effects, KeyOffEffectReleasesTheKeyWhateverItsParameter) {
    SongHandle module = start(1, 1, 2, {"C-4 01", "... .. .. K17"});
    ASSERT_TRUE(module);
    play_ticks(module.get(), 2);
    EXPECT_EQ(channels[0].key_released, 1);
    EXPECT_EQ(voices[0].volume, 0);  // no volume envelope: cut at once
}

TEST_F(Effects, TremorAlternatesHeardAndSilentTicks) {
    auto heard = [] { return channels[0].voice->volume; };
    SongHandle module = start(1, 8, 2, {"C-4 01 .. T12", "... .. .. T00"});  // 2 on, 3 off
    ASSERT_TRUE(module);
    EXPECT_EQ(after_each_tick(module.get(), 10, heard),
              (std::vector<int>{127, 127, 0, 0, 0, 127, 127, 0, 0, 0}));

    module = start(1, 3, 1, {"C-4 01 .. T00"});  // no tremor set yet: both counts 0
    ASSERT_TRUE(module);
    EXPECT_EQ(after_each_tick(module.get(), 3, heard), (std::vector<int>{0, 0, 0}));
}

TEST_F(Effects, RetriggersRestartTheNoteOnTheirTicks) {
    auto triggered = [] { return channels[0].update_flags & UPDATE_TRIGGER ? 1 : 0; };
    struct {
        const char* row;
        std::vector<int> ticks;
    } cases[] = {
        {"C-4 01 .. E93", {1, 0, 0, 1, 0, 0}},  // tick 3 only
        {"C-4 01 .. E90", {1, 0, 0, 0, 0, 0}},
        {"C-4 01 .. R01", {1, 1, 1, 1, 1, 1}},  // every tick after the row tick
        {"C-4 01 .. R40", {1, 0, 0, 0, 0, 0}},  // interval 0
        {"C-4 01 .. R83", {1, 0, 0, 1, 0, 0}},  // no volume change
    };
    for (const auto& c : cases) {
        SongHandle module = start(1, 6, 1, {c.row});
        ASSERT_TRUE(module);
        EXPECT_EQ(after_each_tick(module.get(), 6, triggered), c.ticks) << c.row;
    }
    SongHandle module = start(1, 6, 2, {"C-4 01 .. R12", "... .. .. R00"});  // R00 repeats
    ASSERT_TRUE(module);
    play_ticks(module.get(), 6);
    EXPECT_EQ(after_each_tick(module.get(), 6, triggered), (std::vector<int>{0, 0, 1, 0, 1, 0}));
}

struct RetriggerVolumeCase {
    int change;
    int volume;
};

class RetriggerVolume : public Effects,
                        public ::testing::WithParamInterface<RetriggerVolumeCase> {};

TEST_P(RetriggerVolume, ChangesTheVolumeByItsTable) {
    const char hex[] = "0123456789ABCDEF";
    SongHandle module = start(1, 2, 1, {std::string("C-4 02 .. R") + hex[GetParam().change] + "1"});
    ASSERT_TRUE(module);
    play_ticks(module.get(), 2);  // from volume 40, one retrigger
    EXPECT_EQ(channels[0].volume, GetParam().volume);
}

INSTANTIATE_TEST_SUITE_P(Effects, RetriggerVolume,
                         ::testing::Values(RetriggerVolumeCase{1, 39}, RetriggerVolumeCase{2, 38},
                                           RetriggerVolumeCase{3, 36}, RetriggerVolumeCase{4, 32},
                                           RetriggerVolumeCase{5, 24},
                                           RetriggerVolumeCase{6, 26},  // 80 / 3
                                           RetriggerVolumeCase{7, 20}, RetriggerVolumeCase{8, 40},
                                           RetriggerVolumeCase{9, 41}, RetriggerVolumeCase{10, 42},
                                           RetriggerVolumeCase{11, 44}, RetriggerVolumeCase{12, 48},
                                           RetriggerVolumeCase{13, 56}, RetriggerVolumeCase{14, 60},
                                           RetriggerVolumeCase{15, 64}));  // 80, limited

TEST_F(Effects, NoteCutSilencesFromItsTick) {
    auto volume = [] { return channels[0].volume; };
    SongHandle module = start(1, 6, 1, {"C-4 01 .. EC3"});
    ASSERT_TRUE(module);
    EXPECT_EQ(after_each_tick(module.get(), 6, volume), (std::vector<int>{64, 64, 64, 0, 0, 0}));
    module = start(1, 6, 1, {"C-4 01 .. EC0"});  // tick 0 is the row tick: never cuts
    ASSERT_TRUE(module);
    EXPECT_EQ(after_each_tick(module.get(), 6, volume).back(), 64);
}

TEST_F(Effects, NoteDelayStartsTheNoteOnItsTickOnly) {
    auto sounding = [] { return channels[0].voice->sample != nullptr ? 1 : 0; };
    SongHandle module = start(1, 6, 1, {"C-4 01 20 ED2"});
    ASSERT_TRUE(module);
    EXPECT_EQ(after_each_tick(module.get(), 6, sounding), (std::vector<int>{0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(channels[0].volume, 16);  // the volume column applies on the delayed tick
    EXPECT_EQ(voices[0].volume, 31);    // 16 of 64 at full scale: 31.9

    for (const char* row : {"C-4 01 .. ED0", "C-4 01 .. ED7"}) {  // never starts
        module = start(1, 6, 1, {row});
        ASSERT_TRUE(module);
        EXPECT_EQ(after_each_tick(module.get(), 6, sounding), (std::vector<int>(6, 0))) << row;
    }
}

TEST_F(Effects, VolumeSlidesShareTheirMemoryAndStayWithinRange) {
    SongHandle module = start(1, 3, 9,
                              {
                                  "C-4 02 .. A02",  // 40, down 2 per later tick
                                  "... .. .. A00",  // memory 02
                                  "... .. .. A30",  // up 3
                                  "... .. .. 600",  // memory 30, with vibrato
                                  "... .. 62 ...",  // column: down 2 on every tick
                                  "... .. 93 ...",  // column: up 3 on the row tick only
                                  "... .. .. A11",  // both nibbles: up only
                                  "... .. .. AF0",  // limited at 64
                                  "... .. .. A0F",  // down 15 twice
                              });
    ASSERT_TRUE(module);
    std::vector<int> rows;
    for (int row = 0; row < 9; ++row)
        rows.push_back(after_each_tick(module.get(), 3, [] { return channels[0].volume; }).back());
    EXPECT_EQ(rows, (std::vector<int>{36, 32, 38, 44, 38, 41, 43, 64, 34}));
}

TEST_F(Effects, GlobalVolumeSlideReachesAChannelWhenItsVolumeIsNextComputed) {
    SongHandle module = start(2, 2, 2, {"... .. .. H0F | C-4 01", "... .. .. H00"});
    ASSERT_TRUE(module);
    play_ticks(module.get(), 2);
    EXPECT_EQ(module->global_volume, 49);
    EXPECT_EQ(voices[1].volume, 127);  // not recomputed on tick 1
    play_tick(module.get());           // row 1's row tick recomputes every channel
    EXPECT_EQ(voices[1].volume, 97);   // 49 of 64 at full scale: 97.6
    play_tick(module.get());           // H00 repeats the memory
    EXPECT_EQ(module->global_volume, 34);
}

TEST_F(Effects, PanningSlidesKeepTheirMemoryAndLimits) {
    auto panning = [] { return channels[0].panning; };
    SongHandle module = start(1, 5, 6,
                              {
                                  "C-4 01 .. 8F0",  // 240, then right 4 x 5: limited at 255
                                  "... .. .. P50",
                                  "... .. .. P0A",  // left 10 per later tick
                                  "... .. .. P00",  // memory 0A
                                  "... .. E3 ...",  // column: right 3 on every tick
                                  "... .. E3 ...",
                              });
    ASSERT_TRUE(module);
    std::vector<int> rows;
    for (int row = 0; row < 5; ++row)
        rows.push_back(after_each_tick(module.get(), 5, panning).back());
    EXPECT_EQ(rows, (std::vector<int>{240, 255, 215, 175, 190}));
    channels[0].panning = panning_limit - 4;  // the column slides have no limit but headroom
    play_ticks(module.get(), 5);
    EXPECT_EQ(channels[0].panning, panning_limit);
    EXPECT_EQ(voices[0].panning, 255);
}

}  // namespace
