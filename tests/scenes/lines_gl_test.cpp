// The scenes' lines drawn as quads, as the page draws them, against the
// desktop's GL drawing them itself, smoothed as the scenes draw them (with blending off, so the
// smoothing's fading edge pixels are drawn in full). With a projection of one unit per pixel a
// smoothed line of width w and length L covers a rectangle w + 1 wide and L + 1 long: across,
// from 100 to 200 at row 240, width 4, covers rows 237.5 .. 242.5 and columns 99.5 .. 200.5.
// A view that leans gives each point w = 1 + lean (x + y + z), as a perspective view does, and
// draws it at (x / w, y / w).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/offscreen_context.h"
#include "scenes/lines.h"

namespace {

constexpr int width = 640;
constexpr int height = 480;

struct Line {
    const char* name;
    float x0, y0, x1, y1;
    float line_width;
    int pixels;   // the rectangle's area, where it lies along the pixel grid; 0 elsewhere
    float z = 0;  // the depth of both ends; the view keeps -3 .. 1
    float lean = 0;
};

const Line lines[] = {
    {"across, 4 wide", 100, 240, 200, 240, 4, 5 * 101},
    {"up, 4 wide", 320, 100, 320, 160, 4, 5 * 61},
    {"across, 3 wide, on a pixel row", 100, 240.5f, 150, 240.5f, 3, 4 * 51},
    {"across from x = 0", 0, 240, 100, 240, 4, 0},
    {"up from y = 0", 320, 0, 320, 60, 4, 0},
    {"across, beyond the far plane", 100, 240, 200, 240, 4, 0, -4},
    {"slanting, near the far plane, in a leaning view", 100, 100, 300, 200, 3, 0, -2.9f, 0.002f},
    {"crossing the far plane, in a leaning view", 20, 20, 300, 200, 3, 0, -3.5f, 0.002f},
};

class Lines : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* failure = nullptr;
        ASSERT_TRUE(open_offscreen_context(width, height, failure)) << failure;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, width, 0, height, -1, 3);
        glMatrixMode(GL_MODELVIEW);
        glClearColor(1, 1, 1, 1);
        glColor3f(0, 0, 0);
        glEnable(GL_LINE_SMOOTH);
    }
    // The red of every pixel after one line is drawn black on white (with blending off, 0 or 255).
    static std::vector<unsigned char> draw(const Line& line, bool as_quads) {
        lines_as_quads = as_quads;
        set_line_width(line.line_width);
        const float lean = line.lean;
        const float view[16] = {1, 0, 0, lean, 0, 1, 0, lean, 0, 0, 1, lean, 0, 0, 0, 1};
        glLoadMatrixf(view);
        glClear(GL_COLOR_BUFFER_BIT);
        // The line comes second in its array, after one that lies off the screen.
        const float vertices[] = {-50,     -50,     line.z, -40,     -50,     line.z,
                                  line.x0, line.y0, line.z, line.x1, line.y1, line.z};
        glEnableClientState(GL_VERTEX_ARRAY);
        draw_lines(vertices, 3, 0, 4);
        // The matrices and the vertex array are left as they were.
        float after[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, after);
        EXPECT_TRUE(std::equal(view, view + 16, after)) << line.name << ": the model-view matrix";
        void* pointer = nullptr;
        glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
        EXPECT_EQ(pointer, vertices) << line.name << ": the vertex array";
        glDisableClientState(GL_VERTEX_ARRAY);
        std::vector<unsigned char> red(width * height);
        glReadPixels(0, 0, width, height, GL_RED, GL_UNSIGNED_BYTE, red.data());
        return red;
    }
};

TEST_F(Lines, LinesAsQuadsCoverWhatTheGLsSmoothedLinesCover) {
    for (const Line& line : lines) {
        const std::vector<unsigned char> quads = draw(line, true);
        const std::vector<unsigned char> gl = draw(line, false);
        EXPECT_TRUE(quads == gl) << line.name << ": the quads cover other pixels";
        if (line.pixels != 0) {
            EXPECT_EQ(std::ranges::count(quads, 0), line.pixels) << line.name;
        }
    }
}

}  // namespace
