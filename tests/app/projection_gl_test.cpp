// The projection the window sets: a 45-degree vertical field of view, the aspect of the client
// area, near plane 0.1 and far plane 100, read back from the matrix GL holds. A perspective
// matrix has m[5] = cot(fov / 2), m[0] = m[5] / aspect, m[10] = (far + near) / (near - far),
// m[14] = 2 far near / (near - far) and m[11] = -1; near and far follow back from the last two.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "app/shell_state.h"
#include "app/window.h"
#include "tests/app/platform_recorder.h"

namespace {

constexpr double pi = 3.14159265358979323846;

bool no_renderer_setup() {
    return true;
}

class Projection : public testing::Test {
protected:
    void SetUp() override {
        shell_state_reset();
        window_reset();
        platform_reset();
        platform.setup_renderer = no_renderer_setup;
        ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    }
    void TearDown() override {
        close_display_window();
        platform_reset();
        window_reset();
    }

    struct Perspective {
        double fov_degrees;
        double aspect;
        double near_plane;
        double far_plane;
        GLint viewport[4];
        GLint matrix_mode;
        GLfloat modelview[16];
    };

    static Perspective read_back() {
        Perspective p{};
        GLfloat m[16];
        glGetFloatv(GL_PROJECTION_MATRIX, m);
        EXPECT_FLOAT_EQ(m[11], -1.0f);
        EXPECT_FLOAT_EQ(m[15], 0.0f);
        p.fov_degrees = 2.0 * std::atan(1.0 / m[5]) * 180.0 / pi;
        p.aspect = static_cast<double>(m[5]) / m[0];
        p.near_plane = m[14] / (m[10] - 1.0);
        p.far_plane = m[14] / (m[10] + 1.0);
        glGetIntegerv(GL_VIEWPORT, p.viewport);
        glGetIntegerv(GL_MATRIX_MODE, &p.matrix_mode);
        glGetFloatv(GL_MODELVIEW_MATRIX, p.modelview);
        return p;
    }
};

void expect_identity(const GLfloat* m) {
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << "element " << i;
}

TEST_F(Projection, OpeningSetsFortyFiveDegreesFromPointOneToAHundred) {
    const Perspective p = read_back();
    EXPECT_NEAR(p.fov_degrees, 45.0, 1e-4);
    EXPECT_NEAR(p.aspect, 640.0 / 480.0, 1e-6);
    EXPECT_NEAR(p.near_plane, 0.1, 1e-5);
    EXPECT_NEAR(p.far_plane, 100.0, 0.05);
    EXPECT_EQ(p.viewport[0], 0);
    EXPECT_EQ(p.viewport[1], 0);
    EXPECT_EQ(p.viewport[2], 640);
    EXPECT_EQ(p.viewport[3], 480);
    EXPECT_EQ(p.matrix_mode, GL_MODELVIEW);
    expect_identity(p.modelview);
}

TEST_F(Projection, HeightZeroIsTakenAsOne) {
    set_projection(300, 0);

    const Perspective p = read_back();
    EXPECT_NEAR(p.aspect, 300.0, 1e-3);
    EXPECT_NEAR(p.fov_degrees, 45.0, 1e-4);
    EXPECT_EQ(p.viewport[2], 300);
    EXPECT_EQ(p.viewport[3], 1);
}

TEST_F(Projection, AspectIsTheRatioOfTheTwoIntegers) {
    set_projection(1001, 3);  // an integer division would give 333

    EXPECT_NEAR(read_back().aspect, 1001.0 / 3.0, 1e-3);
}

TEST_F(Projection, SizeMessageSetsTheProjectionForTheNewClientArea) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const WindowMessage size = {WM_SIZE, 0, static_cast<intptr_t>(make_word_pair(800, 0))};

    EXPECT_EQ(display_window_proc(window_handle, &size), 0);

    const Perspective p = read_back();
    EXPECT_NEAR(p.aspect, 800.0, 1e-2);
    EXPECT_EQ(p.viewport[2], 800);
    EXPECT_EQ(p.viewport[3], 1);
    EXPECT_EQ(p.matrix_mode, GL_MODELVIEW);
}

}  // namespace
