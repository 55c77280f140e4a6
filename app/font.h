#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "scenes/text.h"

// The outline font of the texts: the "Arial" family at bold weight as fontconfig resolves it,
// read once per process with FreeType into flat outlines in em units. build_outline_font hands
// them to the text routine in every new rendering context.

// Character codes with a glyph: 0 to 254. Code 255 has no segments and zero metrics.
constexpr int outline_glyph_count = 255;

// One glyph as the text routine draws it: every contour a closed run of line segments.
struct GlyphOutline {
    std::vector<float> lines;   // x, y of each segment's start and end in em units
    GlyphMetricsFloat metrics;  // em units; cell_inc_x is the advance
};

// The Unicode code point a Windows-1252 byte stands for. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control points of the same value.
uint32_t windows_1252_code_point(uint8_t code);

// The font file fontconfig chooses for a family at bold weight (with its face index); an
// empty path when fontconfig offers none.
struct FontFile {
    std::string path;
    int face_index;
};
FontFile resolve_bold_font(const char* family);

// Reads the outlines of codes 0 to 254 from a font file. Every curve piece becomes its
// straight chord: conic and cubic segments are a line to their end point, with no points in
// between. Codes the font has no glyph for get the font's missing-glyph outline, as the
// system's text drawing shows them. False, with all outlines empty, when the file cannot be
// read as an outline font.
bool read_glyph_outlines(const FontFile& file, GlyphOutline (&outlines)[outline_glyph_count]);

// The outlines of the text font: read on first use, kept for the process.
const GlyphOutline (&font_outlines())[outline_glyph_count];
// Whether the font was found and read (false: every glyph is empty, every metric zero).
bool font_outlines_found();
