// The in-memory XM writer, checked byte by byte against the 1.04 layout: where each header field
// lands, how cells are packed and how sample frames are delta-coded.
#include "tools/xm_image.h"

#include <gtest/gtest.h>

namespace {

uint32_t read16(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8;
}

uint32_t read32(const std::vector<uint8_t>& bytes, size_t at) {
    return read16(bytes, at) | read16(bytes, at + 2) << 16;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t at, size_t count) {
    return std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + count));
}

}  // namespace

TEST(XmImageCells, TextReadsAsTrackerColumns) {
    XmImageCell cell = xm_cell("C-4 01 40 F05");
    EXPECT_EQ(cell.note, 49);  // octave 4 x 12 + C + 1
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.volume, 0x40);
    EXPECT_EQ(cell.effect, 0xF);
    EXPECT_EQ(cell.param, 0x05);

    EXPECT_EQ(xm_cell("C-0").note, 1);
    EXPECT_EQ(xm_cell("B-7").note, 96);
    EXPECT_EQ(xm_cell("F#2").note, 2 * 12 + 6 + 1);
    EXPECT_EQ(xm_cell("===").note, 97);
    EXPECT_EQ(xm_cell("off").note, 97);
    EXPECT_EQ(xm_cell("... 128").instrument, 128);

    XmImageCell effect_only = xm_cell("... .. .. A0F");
    EXPECT_EQ(effect_only.note, 0);
    EXPECT_EQ(effect_only.instrument, 0);
    EXPECT_EQ(effect_only.volume, 0);
    EXPECT_EQ(effect_only.effect, 10);
    EXPECT_EQ(effect_only.param, 0x0F);
    EXPECT_EQ(xm_cell("--- -- -- Z01").effect, 35);
    EXPECT_EQ(xm_cell("").note, 0);
}

TEST(XmImageCells, PatternTextFillsRowsAndChannels) {
    XmImagePattern pattern =
        xm_pattern(4, 2, {"C-4 01 .. ... | ... .. .. F06", "", "=== | D-1 02"});
    ASSERT_EQ(pattern.cells.size(), 8u);
    EXPECT_EQ(pattern.rows, 4);
    EXPECT_EQ(pattern.cells[0].note, 49);
    EXPECT_EQ(pattern.cells[1].effect, 0xF);
    EXPECT_EQ(pattern.cells[1].param, 6);
    EXPECT_EQ(pattern.cells[2].note, 0);
    EXPECT_EQ(pattern.cells[4].note, 97);
    EXPECT_EQ(pattern.cells[5].note, 1 * 12 + 2 + 1);
    EXPECT_EQ(pattern.cells[5].instrument, 2);
    EXPECT_EQ(pattern.cells[7].note, 0);
}

TEST(XmImageCellsDeathTest, UnreadableTextAbortsNamingIt) {
    EXPECT_DEATH(xm_cell("H-4"), "H-4");
    EXPECT_DEATH(xm_cell("C-4 01 40 F05 99"), "F05 99");
    EXPECT_DEATH(xm_pattern(1, 1, {"C-4 | D-4"}), "more cells");
}

TEST(XmImageLayout, ModuleHeaderFieldsSitAtTheirOffsets) {
    XmImageSong song;
    song.channel_count = 6;
    song.flags = 1;
    song.tempo = 5;
    song.bpm = 130;
    song.restart_position = 2;
    song.orders = {0, 1, 0};
    song.patterns = {XmImagePattern{}, XmImagePattern{}};
    song.patterns[0].empty_data = true;
    song.patterns[1].empty_data = true;
    std::vector<uint8_t> image = write_xm_image(song);

    EXPECT_EQ(std::string(image.begin(), image.begin() + 17), "Extended Module: ");
    EXPECT_EQ(image[37], 0x1A);
    EXPECT_EQ(read16(image, 58), 0x0104u);
    EXPECT_EQ(read32(image, 60), 276u);
    EXPECT_EQ(read16(image, 64), 3u);  // song length
    EXPECT_EQ(read16(image, 66), 2u);
    EXPECT_EQ(read16(image, 68), 6u);
    EXPECT_EQ(read16(image, 70), 2u);
    EXPECT_EQ(read16(image, 72), 0u);
    EXPECT_EQ(read16(image, 74), 1u);
    EXPECT_EQ(read16(image, 76), 5u);
    EXPECT_EQ(read16(image, 78), 130u);
    EXPECT_EQ(image[81], 1);
    // Two empty patterns of 9 header bytes each follow the 336-byte module header.
    ASSERT_EQ(image.size(), 336u + 9 + 9);
    EXPECT_EQ(read32(image, 336), 9u);
    EXPECT_EQ(read16(image, 336 + 5), 64u);
    EXPECT_EQ(read16(image, 336 + 7), 0u);
}

TEST(XmImageLayout, CellsArePackedByTheirNonZeroFields) {
    XmImageSong song;
    song.channel_count = 3;
    song.patterns = {xm_pattern(1, 3, {"... | C-4 02 | C-4 02 40 A0F"})};
    std::vector<uint8_t> image = write_xm_image(song);
    // 0x80 alone; flags 0x83 with note and instrument; a full cell in five plain bytes.
    std::vector<uint8_t> expected = {0x80, 0x83, 49, 2, 49, 2, 0x40, 10, 0x0F};
    EXPECT_EQ(read16(image, 336 + 5), 1u);
    EXPECT_EQ(read16(image, 336 + 7), expected.size());
    EXPECT_EQ(slice(image, 336 + 9, expected.size()), expected);
    EXPECT_EQ(image.size(), 336u + 9 + expected.size());

    song.patterns[0].pack = false;
    image = write_xm_image(song);
    expected = {0, 0, 0, 0, 0, 49, 2, 0, 0, 0, 49, 2, 0x40, 10, 0x0F};
    EXPECT_EQ(slice(image, 336 + 9, expected.size()), expected);
}

TEST(XmImageLayout, SamplesAreDeltaCodedAfterTheirHeaders) {
    XmImageSong song;
    song.patterns.clear();
    song.orders.clear();
    XmImageInstrument instrument;
    instrument.fadeout = 128;
    instrument.volume_envelope.points = {{0, 64}, {10, 32}};
    instrument.volume_envelope.type = 1;
    XmImageSample eight;
    eight.frames = {1, 2, 1, 127, -128};
    eight.loop_start = 1;
    eight.loop_length = 3;
    eight.loop_bits = 1;
    XmImageSample sixteen;
    sixteen.sixteen_bit = true;
    sixteen.frames = {256, 512, -32768};
    sixteen.loop_start = 1;
    sixteen.loop_length = 2;
    sixteen.loop_bits = 2;
    instrument.samples = {eight, sixteen};
    song.instruments = {instrument};
    std::vector<uint8_t> image = write_xm_image(song);

    size_t at = 336;
    EXPECT_EQ(read32(image, at), 263u);
    EXPECT_EQ(read16(image, at + 27), 2u);
    EXPECT_EQ(read32(image, at + 29), 40u);
    EXPECT_EQ(read16(image, at + 129 + 4), 10u);  // second volume point's tick
    EXPECT_EQ(image[at + 225], 2);                // volume point count
    EXPECT_EQ(image[at + 233], 1);                // volume type
    EXPECT_EQ(read16(image, at + 239), 128u);     // fadeout as given
    size_t first = at + 263, second = first + 40;
    EXPECT_EQ(read32(image, first), 5u);
    EXPECT_EQ(read32(image, first + 4), 1u);
    EXPECT_EQ(read32(image, first + 8), 3u);
    EXPECT_EQ(image[first + 14], 0x01);
    EXPECT_EQ(read32(image, second), 6u);  // lengths and loops in bytes
    EXPECT_EQ(read32(image, second + 4), 2u);
    EXPECT_EQ(read32(image, second + 8), 4u);
    EXPECT_EQ(image[second + 14], 0x12);
    size_t data = second + 40;
    // 1, 2, 1, 127, -128 as differences: 1, 1, -1, 126, -255 (wrapping to 1).
    std::vector<uint8_t> expected = {0x01, 0x01, 0xFF, 0x7E, 0x01};
    // 256, 512, -32768 as word differences: 256, 256, -33280 (0x7E00 after wrapping).
    std::vector<uint8_t> words = {0x00, 0x01, 0x00, 0x01, 0x00, 0x7E};
    expected.insert(expected.end(), words.begin(), words.end());
    EXPECT_EQ(slice(image, data, expected.size()), expected);
    EXPECT_EQ(image.size(), data + expected.size());
}

TEST(XmImageLayout, InstrumentWithoutSamplesIsThirtyThreeBytes) {
    XmImageSong song;
    song.patterns.clear();
    song.instruments = {XmImageInstrument{}, XmImageInstrument{}};
    song.instruments[1].header_size_override = 29;
    std::vector<uint8_t> image = write_xm_image(song);
    EXPECT_EQ(read32(image, 336), 33u);
    EXPECT_EQ(read16(image, 336 + 27), 0u);
    EXPECT_EQ(read32(image, 336 + 33), 29u);
    EXPECT_EQ(image.size(), 336u + 33 + 29);
}
