#pragma once
#include <cstdint>

// The scenes' lines: the tube's seams and the outline text. The scenes keep their own record
// of the line width, because where the GL cannot draw lines wider than one pixel (a browser's
// WebGL) the lines are drawn as quads instead, each covering what the desktop's GL covers
// with a smoothed line of that width.

// Draws the lines as quads (false, the start value: as GL lines). The page sets it; the
// desktop's GL draws wide lines itself.
extern bool lines_as_quads;

// Sets the width, in pixels, of the lines drawn from now on, GL's line width included.
void set_line_width(float width);
// The width set last: 1 at the start.
float line_width();

// Draws `count` vertices, two for each line, in the current colour at the current transform:
// `components` floats (x, y or x, y, z) each, `stride_bytes` apart (0: packed). The vertex
// array must be the only client array on; it is left on, pointing at `vertices`.
void draw_lines(const float* vertices, int32_t components, int32_t stride_bytes, int32_t count);

// Puts the width back to 1 (the page's stepped show starts from it).
void lines_reset();
