#include "scenes/tube.h"

#include <GL/gl.h>

namespace {

// One corner with its texture coordinate first, as the tube's vertices are issued.
void issue_corner(int32_t k, int32_t m) {
    const TubeCorner corner = tube_corner(k, m);
    glTexCoord2f(corner.s, corner.t);
    glVertex3f(corner.x, corner.y, corner.z);
}

// The four corners of the cell of band i, segment j, in the order the quads and the seams
// take them: along the band, across, and back.
void issue_cell(int32_t i, int32_t j) {
    issue_corner(i, j);
    issue_corner(i + 1, j);
    issue_corner(i + 1, j + 1);
    issue_corner(i, j + 1);
}

}  // namespace

// Bands outer, segments inner, for both passes. As lines, each cell's four corners make the
// two lengthwise edges, so every seam is drawn twice and none runs round a ring.
void draw_tube(QuadColourRule colour_rule, float b) {
    glBegin(GL_QUADS);
    for (int32_t i = 0; i < band_count; ++i) {
        for (int32_t j = 0; j < tube_segments; ++j) {
            const QuadColour colour = colour_rule(i, j, b);
            glColor3f(colour.red, colour.green, colour.blue);
            issue_cell(i, j);
        }
    }
    glEnd();

    glColor3f(0.0f, 0.0f, 0.0f);
    glLineWidth(4.0f);
    glBegin(GL_LINES);
    for (int32_t i = 0; i < band_count; ++i) {
        for (int32_t j = 0; j < tube_segments; ++j)
            issue_cell(i, j);
    }
    glEnd();
}
