#include "scenes/text.h"

#include <GL/gl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "scenes/lines.h"

std::vector<float> glyph_lines[256];
GlyphMetricsFloat glyph_metrics[256];

namespace {

// The segments of the text being drawn, laid out glyph after glyph. Kept from call to call,
// so that once the longest text has been drawn no call allocates.
std::vector<float> text_lines;

}  // namespace

// Empties the glyphs and zeroes the metrics (a window's fonts freed); text then draws and
// measures nothing.
void text_reset() {
    for (std::vector<float>& lines : glyph_lines)
        lines.clear();
    std::memset(glyph_metrics, 0, sizeof glyph_metrics);
}

// Adds the advances of the text's bytes in order. Bytes 128 to 254 have metrics of their own
// like any other; 255 has none and measures 0.
float text_width(const char* text) {
    float width = 0.0f;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        width += glyph_metrics[*c].cell_inc_x;
    }
    return width;
}

// Formats the line, moves the origin left by half its width and draws every glyph's segments,
// each glyph moved right by the advances of the glyphs before it, as one run of lines from
// a vertex array; then moves the origin on by the whole width. The vertex array is on for the
// draw only: between draws every client array of the program is off.
void print_centered(const char* format, ...) {
    if (format == nullptr) return;
    char text[text_buffer_bytes];
    va_list arguments;
    va_start(arguments, format);
    // vsnprintf never writes past the buffer; a longer result is cut at 511 characters.
    const int formatted = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (formatted <= 0) return;  // an empty text (or none) neither draws nor moves the matrix

    glTranslatef(-text_width(text) / 2.0f, 0.0f, 0.0f);
    text_lines.clear();
    float pen_x = 0.0f;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        const std::vector<float>& lines = glyph_lines[*c];
        for (size_t k = 0; k < lines.size(); k += 2) {
            text_lines.push_back(lines[k] + pen_x);
            text_lines.push_back(lines[k + 1]);
        }
        pen_x += glyph_metrics[*c].cell_inc_x;
    }
    if (!text_lines.empty()) {
        glEnableClientState(GL_VERTEX_ARRAY);
        draw_lines(text_lines.data(), 2, 0, static_cast<int32_t>(text_lines.size() / 2));
        glDisableClientState(GL_VERTEX_ARRAY);
    }
    glTranslatef(pen_x, 0.0f, 0.0f);
}
