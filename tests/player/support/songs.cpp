#include "tests/player/support/songs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

#include "player/engine.h"
#include "player/memfile.h"
#include "player/output.h"

XmModule* load_xm_image(const std::vector<uint8_t>& image, SampleReader sample_reader) {
    if (sample_reader == nullptr) return load_song(image.data(), uint32_t(image.size()));
    memfile_attach(image.data(), uint32_t(image.size()));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    XmModule* module = module_load(nullptr, sample_reader);
    memfile_reset();
    return module;
}

SongHandle start_song_image(const XmImageSong& song) {
    SongHandle module(load_xm_image(write_xm_image(song)));
    if (module) {
        engine_reset();
        reset_song_state(module.get());
    }
    return module;
}

void expect_module_sound(XmModule* module) {
    ASSERT_NE(module, nullptr);
    ASSERT_LE(module->channel_count, 32);
    ASSERT_LE(module->song_length, 256);
    for (int i = 0; i < module->song_length; ++i)
        ASSERT_LT(module->orders[i], module->pattern_count);
    volatile int64_t sum = 0;  // every value read, so that a sanitizer checks every read
    for (int p = 0; p < module->pattern_count; ++p) {
        const XmPattern& pattern = module->patterns[p];
        const int64_t cells = int64_t(pattern.row_count) * module->channel_count;
        ASSERT_EQ(pattern.cells == nullptr, cells == 0);
        for (const XmCell* c = pattern.cells; c < pattern.cells + cells; ++c) {
            ASSERT_TRUE(c->note <= 96 || c->note == 255) << "note " << int(c->note);
            ASSERT_LE(c->instrument, 128);
        }
    }
    for (const XmInstrument* in = module->instruments;
         in < module->instruments + module->instrument_count; ++in) {
        ASSERT_LE(in->sample_count, 16);
        ASSERT_LE(in->volume_point_count, 12);
        ASSERT_LE(in->panning_point_count, 12);
        for (int slot = 0; slot < 16; ++slot) {
            const XmSample* s = in->samples[slot];
            SCOPED_TRACE(::testing::Message() << "sample slot " << slot);
            ASSERT_NE(s, nullptr);
            ASSERT_EQ(s == &empty_sample, slot >= in->sample_count);
            ASSERT_EQ(s->bits == 16, s != &empty_sample) << "bits " << int(s->bits);
            ASSERT_EQ(s->data == nullptr, s->length == 0) << "length " << s->length;
            if (s->length > 0) {
                ASSERT_GT(s->loop_length, 0u);
                ASSERT_LT(s->loop_start, s->length);
                ASSERT_LE(s->loop_length, s->length - s->loop_start);
            }
            for (uint32_t f = 0; s->length > 0 && f < s->length + 8; ++f)
                sum = sum + s->data[f];
        }
    }
    engine_reset();
    reset_song_state(module);
    for (int tick = 0; tick < 12; ++tick)
        play_tick(module);
}

XmImageInstrument looped_instrument(uint8_t volume, uint8_t panning, int8_t relative_note,
                                    int8_t finetune) {
    return {.samples = {{.frames = std::vector<int16_t>(4096, 10),
                         .loop_length = 4096,
                         .loop_bits = 1,
                         .volume = volume,
                         .finetune = finetune,
                         .panning = panning,
                         .relative_note = relative_note}}};
}

XmImagePattern pattern_of(const std::string& text, int rows, int channels) {
    std::vector<std::string> lines = split(text, ';');
    for (std::string& line : lines) {
        std::string cells;
        for (const std::string& cell : split(line, '|'))
            cells +=
                (cell.size() == 3 && !strchr("-#=.", cell[1]) ? "... .. .. " : "") + cell + "|";
        line = cells.substr(0, cells.empty() ? 0 : cells.size() - 1);
    }
    if (channels == 0 && !lines.empty())
        channels = int(std::count(lines[0].begin(), lines[0].end(), '|')) + 1;
    return xm_pattern(rows >= 0 ? rows : int(lines.size()), channels, lines);
}

XmImageSong pattern_song(const std::string& rows, int speed,
                         std::vector<XmImageInstrument> instruments, uint16_t flags) {
    const XmImagePattern pattern = pattern_of(rows);
    return {.channel_count = uint16_t(pattern.cells.size() / size_t(pattern.rows)),
            .flags = flags,
            .tempo = uint16_t(speed),
            .patterns = {pattern},
            .instruments = std::move(instruments)};
}

std::vector<int> numbers(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<int>(in), std::istream_iterator<int>()};
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        const size_t first = std::min(part.find_first_not_of(' '), part.size());
        parts.push_back(part.substr(first, part.find_last_not_of(' ') + 1 - first));
    }
    return parts;
}

std::vector<int> probe_ticks(XmModule* module, int ticks, Probe probe) {
    std::vector<int> values;
    while (int(values.size()) < ticks) {
        play_tick(module);
        values.push_back(probe(*module));
    }
    return values;
}
