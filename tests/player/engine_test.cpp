// The engine's spine: playback start through the program's own start routine, the song
// position through speeds, delays, loops, jumps, breaks and pattern ends, the note periods on
// both frequency tables, and the voice update's volume, panning and step. Expected values are
// worked by hand from the XM rules.
#include "player/engine.h"

#include <gtest/gtest.h>

#include "player/audio_format.h"
#include "player/effects.h"
#include "player/output.h"
#include "player/song_state.h"
#include "tests/player/support/songs.h"

namespace {

using V = std::vector<int>;

// Patterns as "rows: cell | cell; row...", separated by '/'; the orders; "speed restart
// channels song-length" (-1: the orders' count); order x 100 + row after each tick.
const char* const positions[][4] = {
    // Rows of 5, 7, 5 ticks, then F00 and the rows after it one tick each.
    {"8: F05; F07; F05; F00", "0", "6 0 2 -1", "0 0 0 0 0 1 1 1 1 1 1 1 2 2 2 2 2 3 4 5"},
    {"4: EE2", "0", "2 0 2 -1", "0 0 0 0 0 0 1 1 2"},  // 2 + 2 x 2 ticks, then 2 again
    // E60 on row 2 and E62 on row 4: rows 2..4 three times.
    {"8: ; ; E60; ; E62", "0", "1 0 2 -1", "0 1 2 3 4 2 3 4 2 3 4 5 6"},
    {"4: E60; ; E61", "0", "1 0 2 -1", "0 1 2 0 1 2 3 0"},  // a loop from row 0
    // A jump and a break: the break's row, and the jump's order whichever channel comes first.
    {"2: B05 | D10 / 128:", "0 1 1 1 1 1", "1 0 2 -1", "0 510"},
    {"2: D10 | B05 / 128:", "0 1 1 1 1 1", "1 0 2 -1", "0 500"},
    // A break in a row that takes a pattern loop wins: order 1, row 5.
    {"4: ; E60; ; E61 | D05 / 8:", "0 1", "1 0 2 -1", "0 1 2 3 105 106"},  // then order 0
    {"2: D1F / 128:", "0 1", "1 0 2 -1", "0 125"},                         // 10 x 1 + 15
    {"2: D63 / 128:", "0 1", "1 0 2 -1", "0 163"},  // the last row a break reaches
    {"2: D64 / 128:", "0 1", "1 0 2 -1", "0 100"},  // beyond 63: row 0
    {"1: D16 / 16:", "0 1", "1 0 2 -1", "0 100"},   // one past its last row: row 0
    // A break on the last order goes to order 0; running off the end goes to the restart
    // position, or to order 0 when that lies outside the song; a 0-row pattern plays one row.
    {"2: / 2: / 2: D00", "0 1 2", "1 1 2 -1", "0 1 100 101 200 0"},
    {"2: / 2: / 2:", "0 1 2", "1 1 2 -1", "0 1 100 101 200 201 100"},
    {"2: / 1:", "0 1", "1 2 2 -1", "0 1 100 0"},  // restart 2: one past the last order
    {"1: / 0: / 1:", "0 1 2", "1 0 2 -1", "0 100 200 0"},
    // Song length 0: order 0 still names pattern 0, whose F02 makes its 3 rows 2 ticks each.
    {"3: F02", "0", "1 0 2 0", "0 0 1 1 2 2 0"},
    {"1: / 1:", "0 1", "1 1 2 1", "0 0"},  // song length 1, restart 1: order 0 again
    // No channels: no cells and no effects, but the rows still pass.
    {"3: F02", "0", "1 0 0 -1", "0 1 2 0"},
};

TEST(Engine, PositionsFollowTheRowsEffects) {
    for (const auto& c : positions) {
        const V orders = numbers(c[1]);
        const V p = numbers(c[2]);
        const V expected = numbers(c[3]);
        XmImageSong song{.channel_count = uint16_t(p[2]),
                         .tempo = uint16_t(p[0]),
                         .restart_position = uint16_t(p[1]),
                         .orders = {orders.begin(), orders.end()},
                         .song_length_override = p[3]};
        for (const std::string& pattern : split(c[0], '/'))
            song.patterns.push_back(
                pattern_of(pattern.substr(pattern.find(':') + 1), std::stoi(pattern), 2));
        SongHandle module = start_song_image(song);
        ASSERT_TRUE(module);
        Probe where = [](const XmModule& m) { return int(m.order_position * 100 + m.row); };
        EXPECT_EQ(probe_ticks(module.get(), int(expected.size()), where), expected) << c[0];
    }
}

// The song ends at the first row tick that comes back to a row already played, rows that a
// pattern loop plays again not counted. E60 on row 0 and E6y on a later row (in the first or
// the second channel) play the rows between y + 1 times; order 0, row 0 then comes back. A61
// is no loop, though its parameter starts with 6. A row is one tick of 882 frames (speed 1, 125
// BPM), so the ring's first fill at the start reaches the end. A later start on a device stops
// watching: the song ticks as it did before. (Rows, rows played before the end.)
TEST(Engine, SongEndsWhereItComesBackToARowNoLoopPlaysAgain) {
    const std::pair<const char*, int> songs[] = {
        {"E60; E61", 4}, {"| E60; | E62", 6}, {"E60; A61; E62", 9}};
    for (const auto& [rows, played] : songs) {
        SongHandle song = start_song_image(pattern_song(rows, 1, {}));
        const TickRoutine own_tick = song->tick_routine;
        ASSERT_TRUE(start_song_offline(song.get(), 44100));
        EXPECT_EQ(song_end_frame(), played * 882) << rows;
        ASSERT_TRUE(start_song(song.get(), &silent_wave_device, 44100));
        EXPECT_EQ(song->tick_routine, own_tick) << "the start on a device still watches the end";
    }
}

// Frames per tick: trunc(1000 / (bpm x 0.4) x 44100 x 0.001), the constants in single precision
// and the arithmetic in double. By hand, with 0.4f = 0.40000000596 and 0.001f = 0.00100000005:
// BPM 42: 1000 / 16.80000025 x 44100 = 2625000.0, x 0.001f = 2625.00012 -> 2625; BPM 255:
// 432.353 -> 432; BPM 1: 110250.0036 -> 110250. BPM 0 (a division by zero) and below play at
// the format's default 125: 2.5 x 44100 / 125 = 882.
TEST(Engine, FramesPerTickFollowTheTempoRule) {
    XmModule module{};
    for (auto [bpm, frames] : {std::pair{42, 2625}, {255, 432}, {1, 110250}, {0, 882}, {-3, 882}}) {
        set_bpm(&module, bpm);
        EXPECT_EQ(module.samples_per_tick, frames) << "BPM " << bpm;
        EXPECT_EQ(module.bpm, frames == 882 ? 125 : bpm) << "BPM " << bpm;
    }
    // A header's 65535 BPM at 8000 Hz would make ticks of 0.3 frames: they last one frame.
    output_rate = 8000;
    set_bpm(&module, 65535);
    EXPECT_EQ(module.samples_per_tick, 1) << "65535 BPM at 8000 Hz";
    output_rate = 44100;
}

// Playback start, also of a module that has played: the header's speed and tempo, global
// volume 64, order 0 row 0 from its row tick, and every channel's memories back at 0 (the 100
// of row 0 then has no speed to slide with). After 4 ticks: row 1, memory FF, global 32, 64
// BPM, speed 2, tick 1. 150 BPM: 2.5 x 44100 / 150 = 735 frames; heard volume 64 x 64 x 65536
// x 64 x 255 / 2^35 = 127.5 -> 127.
TEST(Engine, StartRoutineSetsTheSongsBeginning) {
    XmImageSong song = pattern_song("C-4 01 .. 100 | ... | ... | ...; 1FF | G20 | F40 | F02", 3,
                                    {looped_instrument()});
    song.bpm = 150;
    SongHandle module = start_song_image(song);
    ASSERT_TRUE(module);
    Probe state = [](const XmModule& m) { return m.row * 10000 + channels[0].period; };
    probe_ticks(module.get(), 4, state);
    reset_song_state(module.get());
    // The first row's tick comes at the ring's first frame: no frames are left of a tick.
    EXPECT_EQ(module->samples_per_tick, 735);
    EXPECT_EQ(module->tick_samples_left, 0);
    EXPECT_EQ(probe_ticks(module.get(), 4, state), numbers("4608 4608 4608 14608"));
    EXPECT_EQ(channels[0].voice->volume, 127);
}

// Periods of C-4 (and of notes at and beyond the table's ends) and the steps of their
// frequencies: linear 7680 - 64 n - f / 2 with 8363 x 2^((4608 - P) / 768) Hz; Amiga P(k) =
// trunc(13.375 x 2^((132 - k) / 12)) moved by f / -128 of the distance to the next note (up
// for positive f, down for negative; note 0 measures towards note 1), 14317056 / P Hz. The
// step's fraction is hertz x 2^32 / 44100. Columns: flags, finetune, note, relative note,
// period, step, fraction.
TEST(Engine, NotePeriodsFollowTheFrequencyTable) {
    for (const char* text : {
             "1 0 49 0 4608 0 814485521",     // 8363 Hz
             "1 -128 49 0 4672 0 768711493",  // 7680 - 3072 + 64: 7893 Hz
             "0 0 49 0 1712 0 814388129",     // 8362 Hz
             "0 64 49 0 1664 0 837956884",    // 1712 + (97 x 64) / -128: 8604 Hz
             "0 -128 49 0 1813 0 769003668",  // the period of note 47: 7896 Hz
             "0 -64 1 0 28161 0 49474906",    // note 0 towards note 1: 27392 + 1538 / 2: 508 Hz
             "1 0 1 -5 7680 0 50838388",      // real note -5 plays 0: 522 Hz
             "1 0 96 30 64 11 1956693604",    // 95 + 30 plays 119: 505191 Hz
         }) {
        const V c = numbers(text);
        XmImageSong song = pattern_song(
            "C-4 01", 2, {looped_instrument(64, 128, int8_t(c[3]), int8_t(c[1]))}, uint16_t(c[0]));
        song.patterns[0].cells[0].note = uint8_t(c[2]);
        SongHandle module = start_song_image(song);
        ASSERT_TRUE(module);
        play_tick(module.get());
        SCOPED_TRACE(text);
        EXPECT_EQ(channels[0].period, c[4]);
        EXPECT_EQ(int(voices[0].step), c[5]);
        EXPECT_EQ(int(voices[0].step_frac), c[6]);
    }
}

// Final volume (v + offset) x env x fadeout x global x 255 / 2^35; final panning p + ((128 -
// |p - 128|) / 32) x (env - 32) within 0..255; gains (255 - pan) x vol / 255 and vol x pan /
// 255. Columns: volume, offset, envelope, fadeout, panning, panning envelope; then the voice's
// volume, panning, left and right. Amiga table: below 100 Hz the step of 100 Hz (100 x 2^32 /
// 44100 = 9739154); a period sum of 0 keeps the step it had.
TEST(Engine, VoiceUpdateFollowsTheFormulas) {
    XmModule module{.global_volume = 64};
    ChannelState& channel = channels[0];
    for (const char* text : {
             "40 12 32 32768 64 40 25 80 17 7",     // 52 x 255 / 512; 64 + 2 x 8
             "64 0 64 65536 200 0 127 168 43 83",   // 200 + 1 x -32
             "64 0 64 65536 -500 64 127 0 127 0",   // (128 - 628) / 32 = -15: further out
             "64 0 64 65536 255 32 127 255 0 127",  // all of it on the right
         }) {
        const V c = numbers(text);
        channel = ChannelState{.update_flags = UPDATE_VOLUME | UPDATE_PANNING,
                               .voice = &voices[0],
                               .volume = c[0],
                               .panning = c[4],
                               .volume_offset = c[1],
                               .volume_env_value = c[2],
                               .panning_env_value = c[5],
                               .fadeout_volume = c[3]};
        update_voice(&channel, nullptr, &module);
        const Voice& v = voices[0];
        SCOPED_TRACE(text);
        EXPECT_EQ(v.volume, c[6]);
        EXPECT_EQ(v.panning, c[7]);
        EXPECT_EQ(v.left_volume, c[8]);
        EXPECT_EQ(v.right_volume, c[9]);
    }
    for (auto [period, offset] : {std::pair{200000, 0}, {1712, -1712}}) {
        channel.period = period;
        channel.period_offset = offset;
        channel.update_flags = UPDATE_FREQUENCY;
        update_voice(&channel, nullptr, &module);
        EXPECT_EQ(voices[0].step_frac, 9739154u) << period;
    }
    // A note start on a sounding voice: the twin, which takes over the old voice's record,
    // starts the note at frame 0 exactly, its fraction too, from silence on the right as on the
    // left. A rewind also puts the voice back at frame 0 exactly.
    XmSample sample{};
    voices[0] = Voice{.sample = &sample, .position_frac = 1u << 31, .ramp_right = 9000};
    channel = ChannelState{.update_flags = UPDATE_TRIGGER, .voice = &voices[0]};
    update_voice(&channel, &sample, &module);
    EXPECT_EQ(voices[32].position_frac, 0u) << "note start";
    EXPECT_EQ(voices[32].ramp_right, 0) << "note start";
    voices[32].position_frac = 1u << 31;
    channel.update_flags = UPDATE_RESTART;
    update_voice(&channel, &sample, &module);
    EXPECT_EQ(voices[32].position_frac, 0u) << "rewind";
}

}  // namespace
