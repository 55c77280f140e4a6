// Envelopes, fadeout and auto-vibrato tick by tick: segments in 16.16 fixed point, the sustain
// point, loops, the last point, Lxx, the panning envelope's reach and the restart of both at an
// instrument start. A segment from 64 to 0 over 10 ticks steps by -4194304 / 10 = -419430 a
// tick, so its values are 64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/effects.h"
#include "player/engine.h"
#include "tests/player/support/song_start.h"

namespace {

using Points = std::vector<std::pair<uint16_t, uint16_t>>;

struct Shape {
    Points points;
    uint8_t type = 0;
    uint8_t sustain = 0, loop_start = 0, loop_end = 0;
};

struct EnvelopeCase {
    const char* what;
    int speed;
    Shape volume, panning;
    std::vector<std::string> rows;
    Probe probe;
    std::vector<int> after_each_tick;
    uint16_t fadeout = 0;  // as in the file; the loader doubles it
};

constexpr uint8_t ON = ENVELOPE_ON, SUSTAIN = ENVELOPE_SUSTAIN, LOOP = ENVELOPE_LOOP;
const Points falling{{0, 64}, {10, 0}};
const Points triangle{{0, 0}, {4, 32}, {8, 0}};
const Probe value = [](const XmModule&) { return int(channels[0].volume_env_value); };
const Probe heard_panning = [](const XmModule&) { return int(channels[0].voice->panning); };
const Probe fadeout = [](const XmModule&) { return int(channels[0].fadeout_volume); };

XmImageEnvelope written(const Shape& shape) {
    XmImageEnvelope envelope;
    envelope.points = shape.points;
    envelope.type = shape.type;
    envelope.sustain_point = shape.sustain;
    envelope.loop_start = shape.loop_start;
    envelope.loop_end = shape.loop_end;
    return envelope;
}

class Envelopes : public ::testing::TestWithParam<EnvelopeCase> {
protected:
    void SetUp() override { reset_song_loading(); }
    void TearDown() override { reset_song_loading(); }
};

TEST_P(Envelopes, GiveTheirValueOnEveryTick) {
    const EnvelopeCase& c = GetParam();
    XmImageInstrument instrument = looped_instrument();
    instrument.volume_envelope = written(c.volume);
    instrument.panning_envelope = written(c.panning);
    instrument.fadeout = c.fadeout;
    SongHandle module = start_song_image(pattern_song(c.rows, c.speed, {instrument}));
    ASSERT_TRUE(module);
    EXPECT_EQ(probe_ticks(module.get(), int(c.after_each_tick.size()), c.probe), c.after_each_tick)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Envelopes,
    ::testing::Values(
        // The segment, then the last point's value for good.
        EnvelopeCase{"segment",
                     16,
                     {falling, ON},
                     {},
                     {"C-4 01"},
                     value,
                     {64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0, 0}},
        // Holds at the sustain point until the key-off row; a note without instrument lets
        // the release run on.
        EnvelopeCase{"sustain",
                     4,
                     {falling, ON | SUSTAIN, 0},
                     {},
                     {"C-4 01", "===", "C-4", ""},
                     value,
                     {64, 64, 64, 64, 64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0}},
        // After key-off the fadeout falls by twice the file's 16384 a tick, down to 0.
        EnvelopeCase{"fadeout",
                     2,
                     {falling, ON},
                     {},
                     {"C-4 01", "===", "C-4"},
                     fadeout,
                     {65536, 65536, 32768, 0, 0, 0},
                     16384},
        // 8 a tick up to 32 and down again; the loop end is the last point: never done.
        EnvelopeCase{"loop",
                     31,
                     {triangle, ON | LOOP, 0, 0, 2},
                     {},
                     {"C-4 01"},
                     value,
                     {0, 8, 16, 24, 32, 24, 16, 8, 0, 8, 16, 24, 32, 24, 16, 8, 0, 8}},
        // A sustain point on the loop end, with the loop starting elsewhere, never holds.
        EnvelopeCase{"sustain on loop end",
                     31,
                     {triangle, ON | SUSTAIN | LOOP, 2, 1, 2},
                     {},
                     {"C-4 01"},
                     value,
                     {0, 8, 16, 24, 32, 24, 16, 8, 32, 24, 16, 8, 32, 24, 16, 8}},
        // An instrument start puts a done envelope back at its first point and tick 0.
        EnvelopeCase{"restart",
                     4,
                     {{{0, 64}, {2, 0}}, ON},
                     {},
                     {"C-4 01", "C-4 01"},
                     value,
                     {64, 32, 0, 0, 64, 32, 0, 0}},
        // A first point at tick 2: until then the accumulator stands (0 at first, then the
        // 56 it held), since the start clears the step; -524288 a tick after 2.
        EnvelopeCase{"late first point",
                     4,
                     {{{2, 64}, {10, 0}}, ON},
                     {},
                     {"C-4 01", "C-4 01"},
                     value,
                     {0, 0, 64, 56, 56, 56, 64, 56}},
        // Panning 128 + 4 x (value - 32): 32, 48, 64 (done), again after the restart.
        EnvelopeCase{"panning",
                     4,
                     {},
                     {{{0, 32}, {2, 64}}, ON},
                     {"C-4 01", "C-4 01"},
                     heard_panning,
                     {128, 192, 255, 255, 128, 192, 255, 255}},
        // Without a panning envelope its value stays at the centre the start gives it.
        EnvelopeCase{"no panning envelope", 1, {}, {}, {"C-4 01"}, heard_panning, {128}},
        // L05: 4194304 - 5 x 419430 = 2097154 (32), then on from tick 5; L20 lies past the
        // last point: its value, done.
        EnvelopeCase{"position",
                     3,
                     {falling, ON},
                     {},
                     {"C-4 01 .. L05", "... .. .. L20"},
                     value,
                     {32, 25, 19, 0}},
        // L0C in the second segment (0 to 64 over 10): 2 x 419430 = 838860 (12), then 19.
        EnvelopeCase{"position later",
                     2,
                     {{{0, 64}, {10, 0}, {20, 64}}, ON},
                     {},
                     {"C-4 01 .. L0C"},
                     value,
                     {12, 19}},
        EnvelopeCase{
            "position without envelope", 3, {}, {}, {"C-4 01 .. L05"}, value, {64, 64, 64}},
        // A value above 64 plays as 64: 64 down to 0 over 4 ticks.
        EnvelopeCase{"value above 64",
                     8,
                     {{{0, 200}, {4, 0}}, ON},
                     {},
                     {"C-4 01"},
                     value,
                     {64, 48, 32, 16, 0}}));

// Auto-vibrato at depth 8, rate 64: the wave at positions 0, 64, 128, 192, 0, 64 (256 wraps)
// x 8 >> 6; with a sweep of 4 the depth fades in over 4 ticks.
TEST(AutoVibrato, FollowsItsWaveAndSweep) {
    struct {
        uint8_t type, sweep, rate;
        std::vector<int> offsets;
    } cases[] = {
        {0, 0, 64, {0, 7, 0, -8, 0, 7}},   // sine 0, 63, 0, -63
        {1, 0, 64, {8, 8, -8, -8, 8, 8}},  // square 64, 64, -64, -64
        {2, 0, 64, {0, -4, 8, 4, 0, -4}},  // 0, -32, 64, 32
        {3, 0, 64, {0, 4, 8, -4, 0, 4}},   // 0, 32, 64, -32
        {4, 0, 64, {0, 0, 0, 0, 0, 0}},    // no such wave
        {1, 4, 0, {0, 2, 4, 6, 8, 8}},     // 512 x ticks / 4 >> 6
    };
    for (const auto& c : cases) {
        XmInstrument instrument{};
        instrument.vibrato_type = c.type;
        instrument.vibrato_depth = 8;
        instrument.vibrato_sweep = c.sweep;
        instrument.vibrato_rate = c.rate;
        ChannelState channel{};
        std::vector<int> offsets;
        for (int i = 0; i < 6; ++i) {
            channel.period_offset = 0;
            auto_vibrato_step(&channel, &instrument);
            offsets.push_back(channel.period_offset);
        }
        EXPECT_EQ(offsets, c.offsets) << int(c.type);
    }
}

}  // namespace
