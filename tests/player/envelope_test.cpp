// Envelopes, fadeout and auto-vibrato tick by tick: segments in 16.16 fixed point, the sustain
// point, loops, the last point, Lxx, the panning envelope's reach, key-off with an envelope,
// and envelopes a well-formed file cannot hold. A segment from 64 to 0 over 10 ticks steps by
// -4194304 / 10 = -419430 per tick, so its values are 64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/effects.h"
#include "player/engine.h"
#include "tests/player/support/song_start.h"

namespace {

const std::vector<int> falling_ten{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0};

XmImageEnvelope envelope(std::vector<std::pair<uint16_t, uint16_t>> points, uint8_t type,
                         uint8_t sustain = 0, uint8_t loop_start = 0, uint8_t loop_end = 0) {
    XmImageEnvelope made;
    made.points = std::move(points);
    made.type = type;
    made.sustain_point = sustain;
    made.loop_start = loop_start;
    made.loop_end = loop_end;
    return made;
}

SongHandle start(uint16_t tempo, const std::vector<std::string>& lines,
                 const XmImageEnvelope& volume, const XmImageEnvelope& panning = {},
                 uint16_t fadeout = 0) {
    XmImageSample sample;
    sample.frames.assign(4096, 10);
    sample.loop_bits = 1;
    sample.loop_length = 4096;
    XmImageInstrument instrument;
    instrument.samples = {sample};
    instrument.volume_envelope = volume;
    instrument.panning_envelope = panning;
    instrument.fadeout = fadeout;
    XmImageSong song;
    song.channel_count = 1;
    song.tempo = tempo;
    song.patterns = {xm_pattern(int(lines.size()), 1, lines)};
    song.instruments = {instrument};
    return start_song_image(song);
}

std::vector<int> volume_values(XmModule* module, int ticks) {
    std::vector<int> values;
    for (int i = 0; i < ticks; ++i) {
        play_tick(module);
        values.push_back(channels[0].volume_env_value);
    }
    return values;
}

class Envelope : public ::testing::Test {
protected:
    void SetUp() override {
        reset_song_loading();
        engine_reset();
    }
    void TearDown() override { reset_song_loading(); }
};

TEST_F(Envelope, RunsItsSegmentAndStopsDoneAtTheLastPoint) {
    SongHandle module = start(16, {"C-4 01"}, envelope({{0, 64}, {10, 0}}, ENVELOPE_ON));
    ASSERT_TRUE(module);
    std::vector<int> expected = falling_ten;
    expected.insert(expected.end(), 3, 0);
    EXPECT_EQ(volume_values(module.get(), 14), expected);
    EXPECT_EQ(channels[0].volume_env_done, 1);
    EXPECT_EQ(channels[0].volume_env_tick, 10u);  // it stops advancing
}

TEST_F(Envelope, SustainHoldsUntilKeyOffThenTheReleaseAndFadeoutRun) {
    SongHandle module = start(4, {"C-4 01", "===", "C-4", "", "", "", "", "", "", "", ""},
                              envelope({{0, 64}, {10, 0}}, ENVELOPE_ON | ENVELOPE_SUSTAIN, 0), {},
                              1024);  // fadeout 2048 per tick once released
    ASSERT_TRUE(module);
    EXPECT_EQ(volume_values(module.get(), 4), (std::vector<int>(4, 64)));
    EXPECT_EQ(channels[0].fadeout_volume, 65536);
    // The key-off row, then a note without instrument: the release runs on.
    EXPECT_EQ(volume_values(module.get(), 11), std::vector<int>(falling_ten));
    EXPECT_EQ(channels[0].fadeout_volume, 65536 - 11 * 2048);
    EXPECT_EQ(channels[0].key_released, 1);
    play_ticks(module.get(), 21);  // 43008 left: 21 more ticks
    EXPECT_EQ(channels[0].fadeout_volume, 0);
}

TEST_F(Envelope, LoopsBackFromItsLoopEndAndNeverEnds) {
    // 8 per tick up to 32 and back; the loop end is the last point.
    SongHandle module = start(
        31, {"C-4 01"}, envelope({{0, 0}, {4, 32}, {8, 0}}, ENVELOPE_ON | ENVELOPE_LOOP, 0, 0, 2));
    ASSERT_TRUE(module);
    EXPECT_EQ(volume_values(module.get(), 18),
              (std::vector<int>{0, 8, 16, 24, 32, 24, 16, 8, 0, 8, 16, 24, 32, 24, 16, 8, 0, 8}));
    EXPECT_EQ(channels[0].volume_env_done, 0);

    // A sustain point on the loop end, with the loop starting elsewhere, never holds.
    module = start(31, {"C-4 01"},
                   envelope({{0, 0}, {4, 32}, {8, 0}},
                            ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP, 2, 1, 2));
    ASSERT_TRUE(module);
    EXPECT_EQ(volume_values(module.get(), 16),
              (std::vector<int>{0, 8, 16, 24, 32, 24, 16, 8, 32, 24, 16, 8, 32, 24, 16, 8}));
}

TEST_F(Envelope, PanningEnvelopeMovesThePanningByUpToFourPerUnit) {
    SongHandle module = start(8, {"C-4 01"}, {}, envelope({{0, 32}, {4, 64}}, ENVELOPE_ON));
    ASSERT_TRUE(module);
    std::vector<int> panning;
    for (int i = 0; i < 6; ++i) {
        play_tick(module.get());
        panning.push_back(voices[0].panning);
    }
    EXPECT_EQ(panning, (std::vector<int>{128, 160, 192, 224, 255, 255}));  // 128 + 4 x (v - 32)
    EXPECT_EQ(channels[0].panning_env_done, 1);
}

TEST_F(Envelope, PositionEffectMovesTheVolumeEnvelopeOnly) {
    SongHandle module =
        start(3, {"C-4 01 .. L05", "... .. .. L20"}, envelope({{0, 64}, {10, 0}}, ENVELOPE_ON));
    ASSERT_TRUE(module);
    // Tick 5 of the segment: 4194304 - 5 x 419430 = 2097154, value 32; then on from tick 5.
    EXPECT_EQ(volume_values(module.get(), 3), (std::vector<int>{32, 25, 19}));
    EXPECT_EQ(channels[0].volume_env_point, 1u);
    play_tick(module.get());  // past the last point: its value, done
    EXPECT_EQ(channels[0].volume_env_value, 0);
    EXPECT_EQ(channels[0].volume_env_done, 1);

    module = start(3, {"C-4 01 .. L05"}, {});  // no volume envelope: nothing moves
    ASSERT_TRUE(module);
    EXPECT_EQ(volume_values(module.get(), 3), (std::vector<int>{64, 64, 64}));
}

TEST_F(Envelope, MalformedEnvelopesStayInRangeAndComeToAnEnd) {
    // Ticks that go back and forth, values up to 299, 15 points and a loop start beyond them.
    XmInstrument instrument{};
    for (int i = 0; i < envelope_point_capacity; ++i)
        instrument.volume_envelope[i] = {uint16_t((i * 37) % 50), uint16_t((i * 91) % 300)};
    instrument.volume_envelope[0] = {0, 200};
    instrument.volume_point_count = 15;
    instrument.volume_type = ENVELOPE_ON | ENVELOPE_LOOP;
    instrument.volume_loop_start = 14;
    instrument.volume_loop_end = 3;
    ChannelState channel{};
    reset_for_instrument(&channel, &empty_sample);
    std::vector<int> values;
    for (int i = 0; i < 200 && !channel.volume_env_done; ++i) {
        run_envelopes(channel, instrument);
        values.push_back(channel.volume_env_value);
    }
    EXPECT_EQ(values.front(), 64);  // 200 plays as 64
    EXPECT_EQ(channel.volume_env_done, 1);
    EXPECT_EQ(channel.volume_env_point, 11u);  // the twelfth point is the last one read
    EXPECT_EQ(channel.volume_env_value, 64);   // its 101 plays as 64
    for (int value : values) {
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 64);
    }

    // A loop back to a later tick runs for ever, inside the range.
    instrument.volume_loop_start = 1;
    reset_for_instrument(&channel, &empty_sample);
    for (int i = 0; i < 10000; ++i) {
        run_envelopes(channel, instrument);
        ASSERT_GE(channel.volume_env_value, 0);
        ASSERT_LE(channel.volume_env_value, 64);
    }
    EXPECT_EQ(channel.volume_env_done, 0);
}

TEST_F(Envelope, AutoVibratoFollowsItsWaveAndSweep) {
    struct {
        uint8_t type;
        std::vector<int> offsets;
    } cases[] = {
        // Depth 8 at positions 0, 64, 128, 192: wave x 8 >> 6.
        {0, {0, 7, 0, -8}},   // sine: 0, 63, 0, -63
        {1, {8, 8, -8, -8}},  // square: 64, 64, -64, -64
        {2, {0, -4, 8, 4}},   // 0, -32, 64, 32
        {3, {0, 4, 8, -4}},   // 0, 32, 64, -32
        {4, {0, 0, 0, 0}},    // no such wave
    };
    for (const auto& c : cases) {
        XmInstrument instrument{};
        instrument.vibrato_type = c.type;
        instrument.vibrato_depth = 8;
        instrument.vibrato_rate = 64;
        ChannelState channel{};
        std::vector<int> offsets;
        for (int i = 0; i < 4; ++i) {
            channel.period_offset = 0;
            auto_vibrato_step(&channel, &instrument);
            offsets.push_back(channel.period_offset);
        }
        EXPECT_EQ(offsets, c.offsets) << int(c.type);
        EXPECT_EQ(channel.auto_vibrato_position, 0);  // 256 wraps to 0
        EXPECT_EQ(channel.update_flags & UPDATE_FREQUENCY, UPDATE_FREQUENCY);
    }

    XmInstrument swept{};
    swept.vibrato_type = 1;
    swept.vibrato_depth = 8;
    swept.vibrato_sweep = 4;
    ChannelState channel{};
    std::vector<int> offsets;
    for (int i = 0; i < 6; ++i) {
        channel.period_offset = 0;
        auto_vibrato_step(&channel, &swept);
        offsets.push_back(channel.period_offset);
    }
    EXPECT_EQ(offsets, (std::vector<int>{0, 2, 4, 6, 8, 8}));  // 512 x ticks / 4 >> 6
}

}  // namespace
