#include "tests/player/support/xm_load.h"

#include <gtest/gtest.h>

#include "player/memfile.h"

void reset_loader_state() {
    loader_reset();
    memfile_reset();
}

XmModule* load_xm_bytes(const uint8_t* bytes, uint32_t size, SampleReader sample_reader) {
    memfile_attach(bytes, size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    XmModule* module = module_load(nullptr, sample_reader);
    memfile_reset();
    return module;
}

XmModule* load_xm_image(const std::vector<uint8_t>& image, SampleReader sample_reader) {
    return load_xm_bytes(image.data(), uint32_t(image.size()), sample_reader);
}

XmImageSong feature_song() {
    XmImageSong song;
    song.channel_count = 3;
    song.orders = {0, 1, 0};
    song.patterns = {xm_pattern(4, 3, {"C-4 01 40 F05 | ... | === 02", "", "D#3 .. .. A0F"}),
                     xm_pattern(2, 3, {"C-4 01 30 C20 | C-5 02 30 C20 | C-6 03 30 C20"})};
    song.patterns[1].pack = false;
    XmImageSample eight;
    eight.frames = {5, 6};
    XmImageSample more_eight;
    more_eight.frames = {1, 2, 3};
    XmImageSample sixteen;
    sixteen.sixteen_bit = true;
    sixteen.frames = {1000, -1000, 2000, -2000, 3000};
    sixteen.loop_start = 1;
    sixteen.loop_length = 3;
    sixteen.loop_bits = 2;
    XmImageInstrument first, last;
    first.samples = {eight};
    last.samples = {more_eight, sixteen};
    last.volume_envelope.points = {{0, 64}, {4, 0}};
    last.volume_envelope.type = 1;
    song.instruments = {first, XmImageInstrument{}, last};
    return song;
}

namespace {

void expect_sample_sound(const XmSample* sample) {
    ASSERT_NE(sample, nullptr);
    if (sample == &empty_sample) return;
    EXPECT_EQ(sample->bits, 16);
    if (sample->length == 0) {
        EXPECT_EQ(sample->data, nullptr);
        EXPECT_EQ(sample->loop_type, LOOP_NONE);
        return;
    }
    ASSERT_NE(sample->data, nullptr);
    EXPECT_TRUE(sample->loop_type == LOOP_NONE || sample->loop_type == LOOP_FORWARD ||
                sample->loop_type == LOOP_PINGPONG);
    EXPECT_GT(sample->loop_length, 0u);
    EXPECT_LT(sample->loop_start, sample->length);
    EXPECT_LE(sample->loop_length, sample->length - sample->loop_start);
    int64_t sum = 0;
    for (uint32_t i = 0; i < sample->length + 8; ++i) {
        sum += sample->data[i];
    }
    volatile int64_t sink = sum;  // keeps the reads of every frame of storage
    (void)sink;
}

}  // namespace

void expect_module_sound(const XmModule* module) {
    ASSERT_NE(module, nullptr);
    ASSERT_GE(module->channel_count, 1);
    ASSERT_LE(module->channel_count, 32);
    EXPECT_GE(module->song_length, 0);
    EXPECT_LE(module->song_length, 256);
    EXPECT_GE(module->restart_position, 0);
    EXPECT_GE(module->pattern_count, module->used_pattern_count);
    EXPECT_LE(module->pattern_count, 256);
    for (int i = 0; i < module->song_length; ++i) {
        EXPECT_LT(module->orders[i], module->pattern_count);
    }
    ASSERT_TRUE(module->pattern_count == 0 || module->patterns != nullptr);
    for (int p = 0; p < module->pattern_count; ++p) {
        const XmPattern& pattern = module->patterns[p];
        ASSERT_GE(pattern.row_count, 0);
        int64_t cell_count = int64_t(pattern.row_count) * module->channel_count;
        ASSERT_EQ(pattern.cells == nullptr, cell_count == 0);
        for (int64_t i = 0; i < cell_count; ++i) {
            const XmCell& cell = pattern.cells[i];
            EXPECT_TRUE(cell.note <= 96 || cell.note == 255) << int(cell.note);
            EXPECT_LE(cell.instrument, 128);
        }
    }
    ASSERT_GE(module->instrument_count, 0);
    ASSERT_TRUE(module->instrument_count == 0 || module->instruments != nullptr);
    for (int i = 0; i < module->instrument_count; ++i) {
        const XmInstrument& instrument = module->instruments[i];
        ASSERT_GE(instrument.sample_count, 0);
        ASSERT_LE(instrument.sample_count, 16);
        for (int slot = 0; slot < 16; ++slot) {
            if (slot >= instrument.sample_count) {
                EXPECT_EQ(instrument.samples[slot], &empty_sample);
            } else {
                expect_sample_sound(instrument.samples[slot]);
            }
        }
        EXPECT_LE(instrument.volume_point_count, 12);
        EXPECT_LE(instrument.panning_point_count, 12);
        if (instrument.volume_point_count < 2) {
            EXPECT_EQ(instrument.volume_type, 0);
        }
        if (instrument.panning_point_count < 2) {
            EXPECT_EQ(instrument.panning_type, 0);
        }
    }
}
