#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/font.h"

// The outline glyphs of the text font as bytes: baked on the desktop from the font it reads
// (tools/bake_glyphs) for the page, which has no font files and no font reader of its own.
// The layout is little-endian: the magic "TXG1", the glyph count (255), then per glyph its six
// metrics as 32-bit floats, its count of line floats and those floats.

// The bytes of the outlines of codes 0 to 254.
std::vector<uint8_t> glyph_file_bytes(const GlyphOutline (&outlines)[outline_glyph_count]);
// Reads outlines from such bytes. False, with every outline empty, when the bytes are not a
// whole glyph file.
bool glyphs_from_bytes(const uint8_t* bytes, size_t size,
                       GlyphOutline (&outlines)[outline_glyph_count]);

// Hands outlines to the text routine: segments and metrics of codes 0 to 254; code 255 stays
// empty.
void hand_glyphs_to_text(const GlyphOutline (&outlines)[outline_glyph_count]);
