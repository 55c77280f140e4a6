#pragma once
#include <cstdint>

// Outline-font text. The glyph lists are built by the font module into 256 consecutive display
// lists from font_list_base; list font_list_base + c draws character c (Windows-1252) as line
// loops one em high and ends by translating by the glyph's advance. Code 255 stays empty.

struct GlyphMetricsFloat {
    float black_box_x;
    float black_box_y;
    float origin_x;
    float origin_y;
    float cell_inc_x;  // advance in em units; the only field the text routine uses
    float cell_inc_y;
};

extern uint32_t font_list_base;
extern GlyphMetricsFloat glyph_metrics[256];

constexpr int text_buffer_bytes = 512;

// Zeroes font_list_base and every metric (for test fixtures).
void text_reset();

// Width in em units of a text: the sum of its characters' advances.
float text_width(const char* text);
// Formats one line (into 512 bytes, cut at 511 characters) and draws it centred horizontally
// on the current origin. The model-view matrix is left moved by half the text's width.
void print_centered(const char* format, ...) __attribute__((format(printf, 1, 2)));
