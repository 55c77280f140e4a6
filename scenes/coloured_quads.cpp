#include "scenes/coloured_quads.h"

#include <GL/gl.h>

void draw_coloured_quads(const float* positions, const float* texcoords, const float* colours,
                         int32_t stride_bytes, int32_t count) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride_bytes, positions);
    glTexCoordPointer(2, GL_FLOAT, stride_bytes, texcoords);
    glColorPointer(3, GL_FLOAT, stride_bytes, colours);
    glDrawArrays(GL_QUADS, 0, count);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}
