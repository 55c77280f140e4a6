// One hostile-input sweep for the engine: songs whose cells are random bytes (every effect,
// parameter, volume-column byte and note value), whose instruments carry envelopes and
// auto-vibrato settings no well-formed file holds, and whose headers name orders, restart
// positions, lengths, tempos and row counts out of range. Each plays thousands of ticks; the
// sanitizer builds see any access outside a buffer or signed overflow, and the test checks the
// ranges the mixer relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "player/engine.h"
#include "tests/player/support/song_start.h"

namespace {

constexpr int seeds = 200;
constexpr int ticks_per_song = 4000;
constexpr int hostile_channels = 4;
constexpr int hostile_rows = 32;

XmImageSample sample(uint8_t loop_bits, bool sixteen_bit, uint32_t length) {
    XmImageSample made;
    made.sixteen_bit = sixteen_bit;
    made.frames.assign(length, 5);
    made.loop_bits = loop_bits;
    made.loop_start = length / 4;
    made.loop_length = length / 2;
    return made;
}

XmImageSong random_song(std::mt19937& random) {
    auto byte = [&] { return uint8_t(random() & 0xFF); };
    XmImageSong song;
    song.channel_count = hostile_channels;
    song.flags = uint16_t(random() & 1);
    song.tempo = uint16_t(1 + random() % 8);
    song.orders = {0, 1, 0, 1};
    for (int p = 0; p < 2; ++p) {
        XmImagePattern pattern;
        pattern.rows = hostile_rows;
        for (int i = 0; i < hostile_rows * hostile_channels; ++i) {
            XmImageCell cell;
            cell.note = uint8_t(random() % 98);
            cell.instrument = uint8_t(random() % 4);
            cell.volume = byte();
            cell.effect = uint8_t(random() % 40);
            cell.param = byte();
            pattern.cells.push_back(cell);
        }
        song.patterns.push_back(pattern);
    }
    XmImageInstrument first, second;
    first.samples = {sample(1, false, 600), sample(2, true, 300)};
    first.note_samples.assign(96, 0);
    for (int n = 48; n < 96; ++n)
        first.note_samples[size_t(n)] = 1;
    first.volume_envelope.points = {{0, 64}, {5, 20}, {9, 40}, {20, 0}};
    first.volume_envelope.type = 7;
    first.volume_envelope.sustain_point = 1;
    first.volume_envelope.loop_start = 1;
    first.volume_envelope.loop_end = 2;
    first.panning_envelope.points = {{0, 0}, {10, 64}};
    first.panning_envelope.type = 1;
    first.fadeout = 500;
    second.samples = {sample(0, false, 100)};
    song.instruments = {first, second};
    return song;
}

// Settings a well-formed file cannot hold, written straight into the loaded module.
void spoil(XmModule& module, std::mt19937& random) {
    auto pick = [&](int low, int high) { return low + int(random() % uint32_t(high - low + 1)); };
    for (int i = 0; i < module.instrument_count; ++i) {
        XmInstrument& instrument = module.instruments[i];
        for (XmEnvelopePoint* points : {instrument.volume_envelope, instrument.panning_envelope}) {
            for (int p = 0; p < envelope_point_capacity; ++p)
                points[p] = {uint16_t(pick(0, 65535)), uint16_t(pick(0, 65535))};
        }
        instrument.volume_point_count = uint8_t(pick(0, 255));
        instrument.panning_point_count = uint8_t(pick(0, 255));
        instrument.volume_sustain_point = uint8_t(pick(0, 255));
        instrument.volume_loop_start = uint8_t(pick(0, 30));
        instrument.volume_loop_end = uint8_t(pick(0, 30));
        instrument.panning_loop_start = uint8_t(pick(0, 30));
        instrument.panning_loop_end = uint8_t(pick(0, 30));
        instrument.volume_type = uint8_t(pick(0, 255));
        instrument.panning_type = uint8_t(pick(0, 255));
        instrument.vibrato_type = uint8_t(pick(0, 255));
        instrument.vibrato_sweep = uint8_t(pick(0, 255));
        instrument.vibrato_depth = uint8_t(pick(0, 255));
        instrument.vibrato_rate = uint8_t(pick(0, 255));
        instrument.fadeout = uint16_t(pick(0, 65535));
        for (int s = 0; s < instrument.sample_count; ++s) {
            instrument.samples[s]->volume = uint8_t(pick(0, 255));
            instrument.samples[s]->relative_note = int8_t(pick(-128, 127));
            instrument.samples[s]->finetune = int8_t(pick(-128, 127));
        }
    }
    for (int p = 0; p < module.pattern_count; ++p) {
        XmPattern& pattern = module.patterns[p];
        for (int c = 0; c < pattern.row_count * module.channel_count; ++c) {
            if (random() % 16 == 0) pattern.cells[c].note = uint8_t(pick(97, 255));
        }
        if (random() % 4 == 0) pattern.row_count = pick(0, pattern.row_count);
    }
    for (int o = 0; o < 256; ++o)
        module.orders[o] = uint8_t(pick(0, 255));
    module.song_length = int16_t(pick(-3, 300));
    module.restart_position = int16_t(pick(-3, 300));
    module.default_bpm = int16_t(pick(-5, 40));
    module.default_speed = int16_t(pick(-2, 40));
}

class PlayHostile : public ::testing::Test {
protected:
    void SetUp() override {
        reset_song_loading();
        engine_reset();
    }
    void TearDown() override { reset_song_loading(); }
};

TEST_F(PlayHostile, RandomCellsAndSpoiledSettingsPlayWithinTheirRanges) {
    for (int seed = 0; seed < seeds; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random{uint32_t(seed)};
        SongHandle module = start_song_image(random_song(random));
        ASSERT_TRUE(module);
        if (seed % 2 == 1) {
            spoil(*module, random);
            start_song(module.get());
        }
        for (int tick = 0; tick < ticks_per_song; ++tick) {
            play_tick(module.get());
            ASSERT_GE(module->samples_per_tick, 1);
            ASSERT_GE(module->global_volume, 0);
            ASSERT_LE(module->global_volume, 64);
            for (int v = 0; v < mixed_voice_count; ++v) {
                const Voice& voice = voices[v];
                ASSERT_TRUE(voice.volume >= 0 && voice.volume <= 127) << v;
                ASSERT_TRUE(voice.panning >= 0 && voice.panning <= 255) << v;
                ASSERT_TRUE(voice.left_volume >= 0 && voice.left_volume <= 127) << v;
                ASSERT_TRUE(voice.right_volume >= 0 && voice.right_volume <= 127) << v;
                if (voice.sample != nullptr && voice.sample->length > 0) {
                    ASSERT_LT(voice.position, voice.sample->length) << v;
                }
            }
            for (int c = 0; c < hostile_channels; ++c) {
                ASSERT_TRUE(channels[c].volume >= 0 && channels[c].volume <= 64) << c;
                ASSERT_TRUE(channels[c].volume_env_value >= 0 &&
                            channels[c].volume_env_value <= 64);
                ASSERT_TRUE(channels[c].panning_env_value >= 0 &&
                            channels[c].panning_env_value <= 64);
            }
        }
    }
}

}  // namespace
