#pragma once
#include <cstdint>

// Draws `count` vertices as quads from client arrays: a position (x, y, z), a texture
// coordinate (s, t) and a colour (red, green, blue) for each, the three lists `stride_bytes`
// apart from one vertex to the next. The texture coordinate and colour arrays are on for the
// draw only; the vertex array is left on, pointing at `positions`, for a draw of the same
// corners as lines, and its caller turns it off.
void draw_coloured_quads(const float* positions, const float* texcoords, const float* colours,
                         int32_t stride_bytes, int32_t count);
