#pragma once
#include <cstdint>
#include <vector>

// Outline-font text. The font module fills one glyph per character code (Windows-1252) for
// codes 0 to 254: its outline as line segments one em high in the z = 0 plane, and its
// metrics. Code 255 stays empty and measures 0.

struct GlyphMetricsFloat {
    float black_box_x;
    float black_box_y;
    float origin_x;
    float origin_y;
    float cell_inc_x;  // advance in em units; the only field the text routine uses
    float cell_inc_y;
};

// Per code, x and y of each segment's start and end in em units, segment after segment.
extern std::vector<float> glyph_lines[256];
extern GlyphMetricsFloat glyph_metrics[256];

constexpr int text_buffer_bytes = 512;

// Empties every glyph and zeroes every metric (a window's fonts freed).
void text_reset();

// Width in em units of a text: the sum of its characters' advances.
float text_width(const char* text);
// Formats one line (into 512 bytes, cut at 511 characters) and draws it centred horizontally
// on the current origin, in the current colour and line width. The model-view matrix is left
// moved by half the text's width.
void print_centered(const char* format, ...) __attribute__((format(printf, 1, 2)));
