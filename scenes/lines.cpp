#include "scenes/lines.h"

#include <GL/gl.h>

#include <cmath>
#include <vector>

bool lines_as_quads = false;

namespace {

float current_width = 1.0f;

// The quads of the lines being drawn: four corners of x, y, z, w in clip coordinates each.
// Kept from call to call, so that once the longest text has been drawn no call allocates.
std::vector<float> quad_corners;

struct ClipPoint {
    float x;
    float y;
    float z;
    float w;
};

// The column-major product of two 4 x 4 matrices.
void multiply(const float (&a)[16], const float (&b)[16], float (&out)[16]) {
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
    }
}

ClipPoint to_clip(const float (&m)[16], const float* v, int32_t components) {
    const float z = components == 3 ? v[2] : 0.0f;
    return {m[0] * v[0] + m[4] * v[1] + m[8] * z + m[12],
            m[1] * v[0] + m[5] * v[1] + m[9] * z + m[13],
            m[2] * v[0] + m[6] * v[1] + m[10] * z + m[14],
            m[3] * v[0] + m[7] * v[1] + m[11] * z + m[15]};
}

// Offsets across a line (half the rectangle's width) and along it (half a pixel), in normalised
// device units.
struct LineOffsets {
    float across_x;
    float across_y;
    float along_x;
    float along_y;
};

// A corner of a line's rectangle: the end moved across the line (+1 or -1) and along it (-1 at
// the start, +1 at the end), in clip coordinates.
void add_corner(const ClipPoint& p, const LineOffsets& o, float across, float along) {
    quad_corners.insert(quad_corners.end(),
                        {p.x + (across * o.across_x + along * o.along_x) * p.w,
                         p.y + (across * o.across_y + along * o.along_y) * p.w, p.z, p.w});
}

// Each line becomes the rectangle a smoothed GL line of its width covers when blending is off,
// as the desktop draws them: one pixel wider than the line and reaching half a pixel past each
// end (the edge pixels the smoothing would fade are drawn in full). Its corners are the ends
// moved across and along the line in clip coordinates, so the GL divides them as it would the
// ends themselves and the depths along the rectangle are those along the line. Lines with an end
// behind the eye, and lines of no length on the screen, are left out.
void draw_lines_as_quads(const float* vertices, int32_t components, int32_t stride_bytes,
                         int32_t count) {
    float modelview[16];
    float projection[16];
    float to_clip_space[16];
    GLint viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    multiply(projection, modelview, to_clip_space);
    const float half_width = (current_width + 1.0f) / 2.0f;
    const float pixel_x = 2.0f / float(viewport[2]);  // one pixel in normalised device units
    const float pixel_y = 2.0f / float(viewport[3]);
    const int32_t stride = stride_bytes != 0 ? stride_bytes : components * 4;
    const char* bytes = reinterpret_cast<const char*>(vertices);

    quad_corners.clear();
    for (int32_t k = 0; k + 1 < count; k += 2) {
        const float* start = reinterpret_cast<const float*>(bytes + k * stride);
        const float* end = reinterpret_cast<const float*>(bytes + (k + 1) * stride);
        const ClipPoint a = to_clip(to_clip_space, start, components);
        const ClipPoint b = to_clip(to_clip_space, end, components);
        if (a.w <= 0.0f || b.w <= 0.0f) continue;
        const float dx = (b.x / b.w - a.x / a.w) / pixel_x;  // in pixels
        const float dy = (b.y / b.w - a.y / a.w) / pixel_y;
        const float length = std::sqrt(dx * dx + dy * dy);
        if (length == 0.0f) continue;
        const float ux = dx / length;
        const float uy = dy / length;
        const LineOffsets o = {-uy * half_width * pixel_x, ux * half_width * pixel_y,
                               ux * 0.5f * pixel_x, uy * 0.5f * pixel_y};
        add_corner(a, o, 1.0f, -1.0f);
        add_corner(b, o, 1.0f, 1.0f);
        add_corner(b, o, -1.0f, 1.0f);
        add_corner(a, o, -1.0f, -1.0f);
    }
    if (quad_corners.empty()) return;

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glVertexPointer(4, GL_FLOAT, 0, quad_corners.data());
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(quad_corners.size() / 4));
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glVertexPointer(components, GL_FLOAT, stride_bytes, vertices);
}

}  // namespace

void set_line_width(float width) {
    current_width = width;
    glLineWidth(width);
}

float line_width() {
    return current_width;
}

void draw_lines(const float* vertices, int32_t components, int32_t stride_bytes, int32_t count) {
    if (lines_as_quads) {
        draw_lines_as_quads(vertices, components, stride_bytes, count);
        return;
    }
    glVertexPointer(components, GL_FLOAT, stride_bytes, vertices);
    glDrawArrays(GL_LINES, 0, count);
}

void lines_reset() {
    current_width = 1.0f;
}
