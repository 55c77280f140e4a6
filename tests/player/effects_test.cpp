// The row tick and the later ticks of every effect and volume-column command, on small songs
// written in memory, loaded through the real loader and played tick by tick. Each case plays
// its rows and reads one value of channel 0 after every tick; the expected values are worked
// by hand from the XM rules. C-4 is real note 48: period 4608 on the linear table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/effects.h"
#include "player/engine.h"
#include "tests/player/support/song_start.h"

namespace {

// Volumes as the voice hears them at full envelope, fadeout and global volume: v x 255 / 128.
const Probe period = [](const XmModule&) { return int(channels[0].period); };
const Probe offset = [](const XmModule&) { return int(channels[0].period_offset); };
const Probe volume = [](const XmModule&) { return int(channels[0].volume); };
const Probe panning = [](const XmModule&) { return int(channels[0].panning); };
const Probe heard = [](const XmModule&) { return int(channels[0].voice->volume); };
const Probe heard_last = [](const XmModule&) { return int(channels[2].voice->volume); };
const Probe global = [](const XmModule& m) { return int(m.global_volume); };
const Probe triggered = [](const XmModule&) {
    return channels[0].update_flags & UPDATE_TRIGGER ? 1 : 0;
};
const Probe position = [](const XmModule&) { return int(channels[0].voice->position); };
const Probe voice_slot = [](const XmModule&) { return int(channels[0].voice - voices); };
const Probe vibrato_at = [](const XmModule&) { return int(channels[0].vibrato_position); };
const Probe tremolo_at = [](const XmModule&) { return int(channels[0].tremolo_position); };
const Probe frames = [](const XmModule& m) { return int(m.samples_per_tick); };

struct TickCase {
    const char* what;
    int speed;
    Probe probe;
    std::vector<std::string> rows;
    std::vector<int> after_each_tick;
    uint16_t flags = 1;  // linear table
};

// Instrument 1: volume 64, panning 128. 2: volume 40, panning 64. 3: auto-vibrato square,
// depth 8, sweep 2, rate 64. 4: volume 20, panning 200, relative note +12.
std::vector<XmImageInstrument> instruments() {
    XmImageInstrument vibrating = looped_instrument();
    vibrating.vibrato_type = 1;
    vibrating.vibrato_depth = 8;
    vibrating.vibrato_sweep = 2;
    vibrating.vibrato_rate = 64;
    return {looped_instrument(), looped_instrument(40, 64), vibrating,
            looped_instrument(20, 200, 12)};
}

class Effects : public ::testing::TestWithParam<TickCase> {
protected:
    void SetUp() override { reset_song_loading(); }
    void TearDown() override { reset_song_loading(); }
};

TEST_P(Effects, GiveTheirValueOnEveryTick) {
    const TickCase& c = GetParam();
    SongHandle module = start_song_image(pattern_song(c.rows, c.speed, instruments(), c.flags));
    ASSERT_TRUE(module);
    EXPECT_EQ(probe_ticks(module.get(), int(c.after_each_tick.size()), c.probe), c.after_each_tick)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Effects,
    ::testing::Values(
        // The row tick plays the plain note, then +4, +7, 0 semitones of 64; 000 does nothing.
        TickCase{"arpeggio",
                 4,
                 offset,
                 {"C-4 01 .. 047", "... .. .. 000"},
                 {0, 256, 448, 0, 0, 0, 0, 0}},
        // Amiga table: periods of notes 52 and 55 (1358, 1142) less that of note 48 (1712).
        TickCase{"arpeggio amiga", 3, offset, {"C-4 01 .. 047"}, {0, -354, -570}, 0},
        // 4 x FF = 1020 down per later tick, 100 repeats FF, and no lower than 56.
        TickCase{"porta up",
                 3,
                 period,
                 {"C-4 01 .. 1FF", "... .. .. 100", "... .. .. 100"},
                 {4608, 3588, 2568, 2568, 1548, 528, 528, 56, 56}},
        TickCase{
            "porta down", 2, period, {"C-4 01 .. 2FF", "... .. .. 200"}, {4608, 5628, 5628, 6648}},
        // Once at the row tick, 4 x y; y = 0 repeats the memory of its own direction.
        TickCase{"fine porta",
                 2,
                 period,
                 {"C-4 01 .. E13", "... .. .. E10", "... .. .. E22", "... .. .. E20"},
                 {4596, 4596, 4584, 4584, 4592, 4592, 4600, 4600}},
        // Once at the row tick, y; X3y does nothing.
        TickCase{
            "extra fine porta",
            1,
            period,
            {"C-4 01 .. X15", "... .. .. X10", "... .. .. X27", "... .. .. X20", "... .. .. X31"},
            {4603, 4598, 4605, 4612, 4612}},
        // E-4 (real note 52) is 4352; 4 x 10 = 64 a later tick (not at the row tick), 300
        // keeps the speed, not past the target.
        TickCase{"tone porta",
                 3,
                 period,
                 {"C-4 01", "E-4 .. .. 310", "... .. .. 300"},
                 {4608, 4608, 4608, 4608, 4544, 4480, 4480, 4416, 4352}},
        // Column F1 aims up at 16 x 1 x 4 = 64 a tick; F0 keeps the speed and the target.
        TickCase{"column tone porta",
                 3,
                 period,
                 {"E-4 01", "C-4 .. F1 ...", "... .. F0 ..."},
                 {4352, 4352, 4352, 4352, 4416, 4480, 4480, 4544, 4608}},
        // 5xy slides towards its own row's note with the speed of the last 3xx.
        TickCase{"porta + slide",
                 3,
                 period,
                 {"C-4 01", "... .. .. 310", "E-4 .. .. 502"},
                 {4608, 4608, 4608, 4608, 4608, 4608, 4608, 4544, 4480}},
        TickCase{"porta + slide volume",
                 3,
                 volume,
                 {"C-4 01", "... .. .. 310", "E-4 .. .. 502", "... .. .. 500"},
                 {64, 64, 64, 64, 64, 64, 64, 62, 60, 60, 58, 56}},
        // Portamento rows start no note.
        TickCase{"no note start",
                 1,
                 triggered,
                 {"C-4 01", "E-4 .. .. 310", "C-4 .. F1 ...", "C-4 .. .. 501", "C-4"},
                 {1, 0, 0, 0, 1}},
        // The instrument number of a portamento row restarts the old sample (volume 40), and
        // the target is D-4 with the old sample's relative note: real note 50, 4480.
        TickCase{"porta row instrument",
                 2,
                 volume,
                 {"C-4 02", "... .. .. C10", "D-4 04 .. 310"},
                 {40, 40, 16, 16, 40, 40}},
        TickCase{"porta row target",
                 3,
                 period,
                 {"C-4 02", "D-4 04 .. 310"},
                 {4608, 4608, 4608, 4608, 4544, 4480}},
        // Sine at positions 0, 0, 4, 8 (0, 0, 97, 181) x 15 >> 5, cleared to multiples of 4.
        TickCase{"vibrato", 4, offset, {"C-4 01 .. 44F"}, {0, 0, -44, -84}},
        // Square 255 x 8 >> 5 = 63 -> 60: position 0 counts as the first half (-60); 400
        // keeps speed 15 and depth 8: positions 30, 30, -19.
        TickCase{"vibrato square",
                 3,
                 offset,
                 {"C-4 01 .. E42", "... .. .. 4F8", "... .. .. 400"},
                 {0, 0, 0, -60, -60, -60, -60, -60, 60}},
        // Ramp at positions 0, 0, 8, 16, 24, -32 (32 wraps): 0, 0, 64, 128, 192, 255 >> 2.
        TickCase{"vibrato ramp",
                 6,
                 offset,
                 {"C-4 01 .. E41", "... .. .. 488"},
                 {0, 0, 0, 0, 0, 0, 0, 0, -16, -32, -48, 60}},
        // Column B8 and 440 both run on later ticks: positions 0 and 4, then 8 and 12.
        TickCase{"column vibrato", 3, offset, {"C-4 01 B8 440"}, {0, -24, -56}},
        // Column A4 sets the speed the 408 vibrato then uses: position 4 on tick 2.
        TickCase{"column vibrato speed", 3, offset, {"C-4 01 A4 408"}, {0, 0, -24}},
        // 6xy runs the vibrato on: sine at 15 (254), 30 (49), -19 (244) x 8 >> 5.
        TickCase{"vibrato + slide",
                 3,
                 offset,
                 {"C-4 01 .. 4F8", "... .. .. 601"},
                 {0, 0, -60, -12, -12, 60}},
        // Instrument 3: square 64 x depth 8 faded in over 2 ticks at positions 0, 64, 128;
        // an instrument start restarts both the sweep and the position.
        TickCase{"auto-vibrato restart", 3, offset, {"C-4 03", "C-4 03"}, {0, 4, -8, 0, 4, -8}},
        // Positions restart at an instrument start unless the waveform nibble is 4 or more.
        TickCase{
            "vibrato restart", 3, vibrato_at, {"C-4 01 .. 4F8", "C-4 01"}, {0, 15, 30, 0, 0, 0}},
        TickCase{"vibrato kept",
                 3,
                 vibrato_at,
                 {"C-4 01 .. E44", "... .. .. 4F8", "C-4 01"},
                 {0, 0, 0, 0, 15, 30, 30, 30, 30}},
        TickCase{
            "tremolo restart", 3, tremolo_at, {"C-4 01 .. 7F8", "C-4 01"}, {0, 15, 30, 0, 0, 0}},
        TickCase{"tremolo kept",
                 3,
                 tremolo_at,
                 {"C-4 01 .. E74", "... .. .. 7F8", "C-4 01"},
                 {0, 0, 0, 0, 15, 30, 30, 30, 30}},
        // Volume 40 (79 heard); sine at 4 gives 97 x 8 >> 6 = 12 (52: 103), which stays when
        // the next row has no tremolo.
        TickCase{
            "tremolo", 3, heard, {"C-4 02 .. 748", "... .. .. ..."}, {79, 79, 103, 103, 103, 103}},
        // E72: square, 255 x 4 >> 6 = 15 from position 0 (55: 109).
        TickCase{"tremolo square", 2, heard, {"C-4 02 .. E72", "... .. .. 714"}, {79, 79, 79, 109}},
        // T12: 2 ticks heard, 3 silent, counted on through the rows; T00 keeps the counts.
        TickCase{"tremor",
                 8,
                 heard,
                 {"C-4 01 .. T12", "... .. .. T00"},
                 {127, 127, 0, 0, 0, 127, 127, 0, 0, 0, 127, 127, 0, 0, 0, 127}},
        TickCase{"tremor restart",
                 3,
                 heard,
                 {"C-4 01 .. T12", "C-4 01 .. T00"},
                 {127, 127, 0, 127, 127, 0}},
        TickCase{"tremor unset", 2, heard, {"C-4 01 .. T00"}, {0, 0}},
        TickCase{"E93", 6, triggered, {"C-4 01 .. E93"}, {1, 0, 0, 1, 0, 0}},
        TickCase{"E90", 6, triggered, {"C-4 01 .. E90"}, {1, 0, 0, 0, 0, 0}},
        TickCase{"R01", 6, triggered, {"C-4 01 .. R01"}, {1, 1, 1, 1, 1, 1}},
        TickCase{"R40", 6, triggered, {"C-4 01 .. R40"}, {1, 0, 0, 0, 0, 0}},
        TickCase{"R83", 6, triggered, {"C-4 01 .. R83"}, {1, 0, 0, 1, 0, 0}},
        TickCase{"R00 repeats",
                 6,
                 triggered,
                 {"C-4 01 .. R12", "... .. .. R00"},
                 {1, 0, 1, 0, 1, 0, 0, 0, 1, 0, 1, 0}},
        TickCase{"EC3", 6, volume, {"C-4 01 .. EC3"}, {64, 64, 64, 0, 0, 0}},
        TickCase{"EC0", 6, volume, {"C-4 01 .. EC0"}, {64, 64, 64, 64, 64, 64}},
        // The cut's tick 5 exists only through the EE2 of channel 1.
        TickCase{
            "cut in delay", 2, volume, {"C-4 01 .. EC5 | ... .. .. EE2"}, {64, 64, 64, 64, 64, 0}},
        // ED2 starts the note on tick 2 with its volume column (16: 31 heard).
        TickCase{"ED2", 6, heard, {"C-4 01 20 ED2"}, {0, 0, 31, 31, 31, 31}},
        TickCase{"ED0", 6, heard, {"C-4 01 .. ED0"}, {0, 0, 0, 0, 0, 0}},
        TickCase{"ED7", 6, heard, {"C-4 01 .. ED7"}, {0, 0, 0, 0, 0, 0}},
        // Until its tick the delayed note leaves the volume it found.
        TickCase{"ED1 keeps", 2, volume, {"C-4 01", "C-4 02 .. ED1"}, {64, 64, 64, 40}},
        // A, 5 and 6 share one memory; up wins over down; limits 0 and 64; the column's 6y and
        // 7y slide on every tick, 8y and 9y at the row tick only; 0x10..0x50 set v - 16.
        TickCase{"volume slides",
                 3,
                 volume,
                 {"C-4 02 .. A02", "... .. .. A00", "... .. .. A30", "... .. .. 600",
                  "... .. 62 ...", "... .. 93 ...", "... .. .. A11", "... .. .. AF0",
                  "... .. 74 ...", "... .. 95 ...", "... .. .. A0F", "... .. 85 ...",
                  "... .. 6F ...", "... .. 83 ...", "... .. 50 ...", "... .. 10 ..."},
                 {40, 38, 36, 36, 34, 32, 32, 35, 38, 38, 41, 44, 42, 40, 38, 41,
                  41, 41, 41, 42, 43, 43, 58, 64, 64, 64, 64, 64, 64, 64, 64, 49,
                  34, 29, 29, 29, 14, 0,  0,  0,  0,  0,  64, 64, 64, 0,  0,  0}},
        // EAy and EBy share one memory, within 0..64.
        TickCase{"fine volume",
                 1,
                 volume,
                 {"C-4 02 .. EA3", "... .. .. EA0", "... .. .. EB0", "... .. .. EB5",
                  "... .. .. EAF", "... .. .. EAF", "... .. .. EBF", "... .. .. EBF",
                  "... .. .. EBF", "... .. .. EBF", "... .. .. EBF"},
                 {43, 46, 43, 38, 53, 64, 49, 34, 19, 4, 0}},
        TickCase{"set volume", 1, volume, {"C-4 01 .. C20", "... .. .. C7F"}, {32, 64}},
        // H0F: 15 down per later tick; H00 repeats; G at most 64; H within 0..64.
        TickCase{"global volume",
                 2,
                 global,
                 {"... .. .. H0F", "... .. .. H00", "... .. .. G50", "... .. .. H20",
                  "... .. .. G05", "... .. .. H0F", "... .. .. H20"},
                 {64, 49, 49, 34, 64, 64, 64, 64, 5, 5, 5, 0, 0, 2}},
        // Channel 0 hears G20 set before its voice update: 16 x 32 x 255 / 8192 = 15; then
        // C7F, still under 32 because the G50 comes later in the row: 63.
        TickCase{"global volume order",
                 1,
                 heard,
                 {"C-4 01 20 G20 | C-4 01 | C-4 01", "... .. .. C7F | ... .. .. G50"},
                 {15, 63}},
        // The channel after the G50 hears it in the same row tick.
        TickCase{"global volume later channel",
                 1,
                 heard_last,
                 {"C-4 01 20 G20 | C-4 01 | C-4 01", "... .. .. C7F | ... .. .. G50"},
                 {63, 127}},
        // 8xx, Pxy within 0..255 with its memory, column Cy, Dy and Ey (no limit), E8y.
        TickCase{
            "panning",
            3,
            panning,
            {"C-4 01 .. 8F0", "... .. .. PF0", "... .. .. P0A", "... .. .. P00", "... .. E3 ...",
             "... .. D5 ...", "... .. C4 ...", "... .. .. E8F", "... .. .. 805", "... .. .. P0F",
             "... .. D3 ..."},
            {240, 240, 240, 240, 255, 255, 255, 245, 235, 235, 225, 215, 218, 221, 224, 219, 214,
             209, 64,  64,  64,  240, 240, 240, 5,   5,   5,   5,   0,   0,   -3,  -6,  -9}},
        // 904 starts at 1024; 900 repeats it on the twin voice; 920 (8192) lies beyond the
        // 4096-frame loop: no note start, the playing sample rewinds; 902 waits for the next.
        TickCase{"sample offset",
                 1,
                 position,
                 {"C-4 01 .. 904", "C-4 .. .. 900", "C-4 .. .. 920", "... .. .. 902", "C-4"},
                 {1024, 1024, 0, 0, 512}},
        // A note start on a sounding voice moves to its twin; one without a note stays.
        TickCase{
            "twin voices", 1, voice_slot, {"C-4 01", "C-4 01", "... 01", "C-4 01"}, {0, 32, 32, 0}},
        // No instrument yet: silent. A key-off or Kxx without volume envelope cuts at once,
        // a note without instrument stays released, an instrument starts it again.
        TickCase{"key off",
                 1,
                 heard,
                 {"C-4", "C-4 01", "===", "C-4", "C-4 01", "... .. .. K00"},
                 {0, 127, 0, 0, 127, 0}},
        // E58 changes later notes of the sample: 7680 - 3072 - 8 / 2, then 15 / 2.
        TickCase{"finetune",
                 1,
                 period,
                 {"C-4 01 .. E58", "C-4 01", "C-4 01 .. E5F", "C-4 01"},
                 {4608, 4604, 4604, 4601}},
        // F20 is a tempo (2.5 x 44100 / 32 = 3445 frames a tick), F7D 125 BPM, F1F a speed.
        TickCase{"tempo",
                 1,
                 frames,
                 {"... .. .. F20", "... .. .. F7D", "... .. .. F1F"},
                 {3445, 882, 882}}));

// Rxy with y = 1 from volume 40, by x: -1 -2 -4 -8 -16, x 2/3, / 2, kept, +1 +2 +4 +8 +16,
// x 3/2, x 2 (80, limited to 64).
TEST(RetriggerVolume, ChangesByTheFormatsTable) {
    const std::vector<int> changed{39, 38, 36, 32, 24, 26, 20, 40, 41, 42, 44, 48, 56, 60, 64};
    std::vector<std::string> rows;
    std::vector<int> expected;
    for (int x = 1; x < 16; ++x) {
        rows.push_back(std::string("C-4 02 .. R") + "0123456789ABCDEF"[x] + "1");
        expected.insert(expected.end(), {40, changed[size_t(x - 1)]});
    }
    SongHandle module = start_song_image(pattern_song(rows, 2, instruments()));
    ASSERT_TRUE(module);
    EXPECT_EQ(probe_ticks(module.get(), int(expected.size()), volume), expected);
    reset_song_loading();
}

// The waveform values w(p): sine |sin(2 x pi/64 x p)| x 256 truncated, ramp 8 k or 255 - 8 k
// with k = p mod 32, square 255.
TEST(Waveforms, GiveTheFormatsValues) {
    const int cases[][3] = {{0, 0, 0},    {0, -32, 0},   {0, 1, 25},  {0, 8, 181},  {0, -8, 181},
                            {0, 16, 255}, {0, -16, 255}, {1, 0, 0},   {1, 5, 40},   {1, 31, 248},
                            {1, -1, 7},   {1, -32, 255}, {2, 3, 255}, {2, -20, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(waveform_value(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

// Tremolo: w x depth >> 6, kept within 0..64 of the volume; its waves by the high nibble, 3
// being the sine; the position moves on by the speed, wrapping above 31.
TEST(Tremolo, KeepsTheVolumeInRange) {
    struct {
        uint8_t waveforms;
        int8_t position;
        uint8_t depth;
        int32_t volume, offset, next;
    } cases[] = {
        {0x00, 16, 15, 60, 4, -28},   // 59, at most 64 - 60
        {0x00, -16, 15, 10, -10, 4},  // -59, not below -10
        {0x30, 8, 8, 32, 22, 28},     // sine 181 x 8 >> 6
        {0x10, 8, 8, 32, 8, 28},      // ramp 64 x 8 >> 6
        {0x23, 8, 8, 32, 31, 28},     // square 255 x 8 >> 6
        {0x00, 11, 8, 32, 28, 31},    // sine 225 x 8 >> 6; 11 + 20 = 31 stays
    };
    for (const auto& c : cases) {
        ChannelState channel{};
        channel.waveforms = c.waveforms;
        channel.tremolo_position = c.position;
        channel.tremolo_depth = c.depth;
        channel.tremolo_speed = 20;
        channel.volume = c.volume;
        tremolo_step(&channel);
        EXPECT_EQ(channel.volume_offset, c.offset) << int(c.waveforms) << " " << int(c.position);
        EXPECT_EQ(channel.tremolo_position, c.next) << int(c.position);
    }
}

}  // namespace
