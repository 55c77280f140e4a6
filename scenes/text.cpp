#include "scenes/text.h"

#include <GL/gl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

uint32_t font_list_base = 0;
GlyphMetricsFloat glyph_metrics[256];

// Forgets the glyph lists and metrics (for test fixtures); text then measures 0.
void text_reset() {
    font_list_base = 0;
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

// Formats the line, moves the origin left by half its width and calls one glyph list per byte,
// each of which draws its character and moves the origin on by the advance. The list base is
// saved and restored around the calls so that callers' list state stays as it was.
void print_centered(const char* format, ...) {
    if (format == nullptr) return;
    char text[text_buffer_bytes];
    va_list arguments;
    va_start(arguments, format);
    // vsnprintf never writes past the buffer; a longer result is cut at 511 characters.
    int formatted = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (formatted < 0) return;
    const size_t length = std::strlen(text);
    if (length == 0) return;  // an empty text neither draws nor moves the matrix

    glTranslatef(-text_width(text) / 2.0f, 0.0f, 0.0f);
    glPushAttrib(GL_LIST_BIT);
    glListBase(font_list_base);
    glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}
