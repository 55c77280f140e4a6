#include "scenes/tube.h"

#include <GL/gl.h>

#include "scenes/coloured_quads.h"
#include "scenes/lines.h"

namespace {

// One corner of one quad as the tube's arrays hold it: where it lies, its texture coordinate
// and the colour of its quad.
struct TubeVertex {
    TubeCorner corner;
    QuadColour colour;
};

constexpr int32_t tube_vertex_count = band_count * tube_segments * 4;

// The quads of the frame, band after band, segment after segment, four corners each.
TubeVertex tube_vertices[tube_vertex_count];

}  // namespace

// Bands outer, segments inner, each cell's corners along the band, across and back: the face
// pass draws them as quads in their colours. The seam pass draws the same corners as lines,
// in black: each cell's four corners make its two lengthwise edges, so every seam is drawn
// twice and none runs round a ring. The colour rule is called once per quad in that order,
// which keeps the random draws in sequence. Client arrays are on for the two draws only.
void draw_tube(QuadColourRule colour_rule, float b) {
    TubeCorner corners[ring_count][tube_segments + 1];
    for (int32_t k = 0; k < ring_count; ++k) {
        for (int32_t m = 0; m <= tube_segments; ++m)
            corners[k][m] = tube_corner(k, m);
    }
    TubeVertex* vertex = tube_vertices;
    for (int32_t i = 0; i < band_count; ++i) {
        for (int32_t j = 0; j < tube_segments; ++j) {
            const QuadColour colour = colour_rule(i, j, b);
            *vertex++ = {corners[i][j], colour};
            *vertex++ = {corners[i + 1][j], colour};
            *vertex++ = {corners[i + 1][j + 1], colour};
            *vertex++ = {corners[i][j + 1], colour};
        }
    }

    constexpr int32_t stride = sizeof(TubeVertex);
    draw_coloured_quads(&tube_vertices[0].corner.x, &tube_vertices[0].corner.s,
                        &tube_vertices[0].colour.red, stride, tube_vertex_count);
    glColor3f(0.0f, 0.0f, 0.0f);
    set_line_width(4.0f);
    draw_lines(&tube_vertices[0].corner.x, 3, stride, tube_vertex_count);
    glDisableClientState(GL_VERTEX_ARRAY);
}
