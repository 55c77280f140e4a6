// The glyph file the page draws its letters from: baked from the desktop's font, it reads back
// as the very outlines and metrics the desktop draws, and a file cut short anywhere or of
// another kind is refused whole. (It needs the font parts the display build links.)
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/font.h"
#include "app/glyph_file.h"

namespace {

GlyphOutline read_back[outline_glyph_count];

TEST(GlyphFile, ReadsBackTheFontsOutlinesAndMetrics) {
    ASSERT_TRUE(font_outlines_found());
    const std::vector<uint8_t> bytes = glyph_file_bytes(font_outlines());
    ASSERT_TRUE(glyphs_from_bytes(bytes.data(), bytes.size(), read_back));
    for (int code = 0; code < outline_glyph_count; ++code) {
        const GlyphOutline& font = font_outlines()[code];
        EXPECT_EQ(read_back[code].lines, font.lines) << "code " << code;
        EXPECT_EQ(std::memcmp(&read_back[code].metrics, &font.metrics, sizeof font.metrics), 0)
            << "code " << code;
    }
    EXPECT_FALSE(read_back['A'].lines.empty());
}

TEST(GlyphFile, RefusesCutAndForeignFiles) {
    std::vector<uint8_t> bytes = glyph_file_bytes(font_outlines());
    for (size_t size = 0; size < bytes.size(); size += size < 1000 ? 1 : 97) {
        EXPECT_FALSE(glyphs_from_bytes(bytes.data(), size, read_back)) << size << " bytes";
        EXPECT_TRUE(read_back['A'].lines.empty()) << size << " bytes";
    }
    const auto reads = [&] { return glyphs_from_bytes(bytes.data(), bytes.size(), read_back); };
    bytes.push_back(0);
    EXPECT_FALSE(reads()) << "one byte more";
    bytes.pop_back();
    bytes[0] = 'X';
    EXPECT_FALSE(reads()) << "another magic";
    bytes[0] = 'T';
    bytes[4] = 254;
    EXPECT_FALSE(reads()) << "254 glyphs";
}

}  // namespace
