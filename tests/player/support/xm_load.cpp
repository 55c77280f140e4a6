#include "tests/player/support/xm_load.h"

#include <gtest/gtest.h>

#include "player/memfile.h"

XmModule* load_xm_image(const std::vector<uint8_t>& image, SampleReader sample_reader) {
    memfile_attach(image.data(), uint32_t(image.size()));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    XmModule* module = module_load(nullptr, sample_reader);
    memfile_reset();
    return module;
}

void expect_module_sound(const XmModule* module) {
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(module->channel_count >= 1 && module->channel_count <= 32 &&
                module->song_length >= 0 && module->song_length <= 256);
    for (int i = 0; i < module->song_length; ++i)
        ASSERT_LT(module->orders[i], module->pattern_count);
    int64_t sum = 0;  // every value read, so that a sanitizer checks every read
    for (int p = 0; p < module->pattern_count; ++p) {
        const XmPattern& pattern = module->patterns[p];
        const int64_t cells = int64_t(pattern.row_count) * module->channel_count;
        ASSERT_EQ(pattern.cells == nullptr, cells == 0);
        for (int64_t i = 0; i < cells; ++i) {
            ASSERT_TRUE((pattern.cells[i].note <= 96 || pattern.cells[i].note == 255) &&
                        pattern.cells[i].instrument <= 128);
        }
    }
    for (int i = 0; i < module->instrument_count; ++i) {
        const XmInstrument& instrument = module->instruments[i];
        ASSERT_TRUE(instrument.sample_count >= 0 && instrument.sample_count <= 16 &&
                    instrument.volume_point_count <= 12 && instrument.panning_point_count <= 12);
        for (int slot = 0; slot < 16; ++slot) {
            const XmSample* sample = instrument.samples[slot];
            ASSERT_TRUE(slot < instrument.sample_count ? sample != nullptr
                                                       : sample == &empty_sample);
            ASSERT_TRUE((sample->bits == 16) == (sample != &empty_sample) &&
                        (sample->data == nullptr) == (sample->length == 0));
            if (sample->length == 0) continue;
            ASSERT_TRUE(sample->loop_length > 0 && sample->loop_start < sample->length &&
                        sample->loop_length <= sample->length - sample->loop_start);
            for (uint32_t f = 0; f < sample->length + 8; ++f)
                sum += sample->data[f];
        }
    }
    volatile int64_t sink = sum;
    (void)sink;
}
