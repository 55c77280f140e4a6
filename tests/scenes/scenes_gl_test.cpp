// The timeline and the scenes on a real GL context (an offscreen 640 x 480 surface), read back
// as pixels. The song clock is a one-block table the test sets. Pixel places come from the
// projection, 45 degrees vertically: at depth d one unit is 240 / (d tan 22.5) pixels, so one
// em is 82.8 px at depth 7, 115.9 at 5, 57.9 at 10 and 48.3 at 12. Quad places and colours are
// worked by hand from the ring, tunnel and colour rules at the frame's time. Each test starts
// from the program's start state, so each runs in a process of its own, as ctest runs them.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "app/offscreen_context.h"
#include "app/renderer.h"
#include "data/texts.h"
#include "player/session.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/text.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

constexpr int width = 640, height = 480;
using Rgb = std::array<int, 3>;
constexpr Rgb white{255, 255, 255}, black{0, 0, 0};

bool near(Rgb a, Rgb b, int tolerance = 4) {
    return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])}) <=
           tolerance;
}

struct Frame {
    std::vector<unsigned char> rgb = std::vector<unsigned char>(3 * width * height);
    Rgb at(int x, int y) const {
        return {rgb[3 * (y * width + x)], rgb[3 * (y * width + x) + 1],
                rgb[3 * (y * width + x) + 2]};
    }
    // The colour expected at pixel (x, y), per row {x, y, r, g, b}.
    void expect(std::initializer_list<std::array<int, 5>> pixels, int tolerance = 4) const {
        for (const auto& [x, y, r, g, b] : pixels)
            EXPECT_TRUE(near(at(x, y), {r, g, b}, tolerance)) << x << "," << y;
    }
};

// How many pixels, and their bounds.
struct Box {
    int count = 0, x0 = width, x1 = -1, y0 = height, y1 = -1;
    void add(int x, int y) {
        ++count, x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y),
                 y1 = std::max(y1, y);
    }
};

class Scenes : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* failure = nullptr;
        ASSERT_TRUE(open_offscreen_context(width, height, failure)) << failure;
        setup_scene_state();
    }
    void SetUp() override { hold_song_clock(0, 0); }
    void TearDown() override { stop_song(); }
    // One frame of the timeline at that clock reading, read back before it would be shown.
    Frame frame(uint32_t ms) {
        hold_song_clock(ms, 0);
        render_frame();
        Frame f;
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
        return f;
    }
    // Two frames of a scene at one time (the second draws the rings of that time), the texts
    // drawn or not (the glyphs taken away for the two frames).
    Frame scene(int32_t index, uint32_t ms, bool texts = true) {
        if (!texts) text_reset();
        current_scene = index;
        frame(ms);
        const Frame second = frame(ms);
        build_outline_font();
        return second;
    }
    // Calls f(x, y) for every pixel the texts changed.
    template <typename F>
    static void texts(const Frame& shown, const Frame& bare, F f) {
        for (int i = 0; i < width * height; ++i)
            if (!near(shown.at(i % width, i / width), bare.at(i % width, i / width), 0))
                f(i % width, i / width);
    }
    // The state a scene leaves for the next frame: the shade model, one matrix on the model-view
    // stack, depth test on, fog, textures and the client arrays off; line width, clear colour,
    // current colour.
    static void expect_state(GLint shade, std::array<float, 8> expected) {
        GLint got[2] = {};
        glGetIntegerv(GL_SHADE_MODEL, got);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, got + 1);
        EXPECT_EQ(std::vector<GLint>({got[0], got[1], glIsEnabled(GL_DEPTH_TEST),
                                      glIsEnabled(GL_FOG), glIsEnabled(GL_TEXTURE_2D),
                                      glIsEnabled(GL_VERTEX_ARRAY), glIsEnabled(GL_COLOR_ARRAY),
                                      glIsEnabled(GL_TEXTURE_COORD_ARRAY), GLint(glGetError())}),
                  std::vector<GLint>({shade, 1, 1, 0, 0, 0, 0, 0, GL_NO_ERROR}));
        float state[9];
        glGetFloatv(GL_LINE_WIDTH, state);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, state + 1);
        glGetFloatv(GL_CURRENT_COLOR, state + 5);
        for (int k = 0; k < 8; ++k)
            EXPECT_NEAR(state[k], expected[k], 1e-6) << k;
    }
};

TEST_F(Scenes, TimelineRunsTheShowOnTheSongClockFromTheCommonStartState) {
    current_scene = 1;  // no routine: the frame leaves the state every scene starts from
    glDisable(GL_DEPTH_TEST), glColor3f(0.0f, 0.0f, 0.0f), glMatrixMode(GL_PROJECTION);
    frame(5000);
    expect_state(GL_SMOOTH, {1, 1, 1, 1, 0.5f, 1, 1, 1});
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(std::vector<float>({m[0], m[5], m[10], m[12], m[13], m[14]}),
              std::vector<float>({1, 1, 1, -4, -4, -10}));
    // Each frame draws the scene the one before chose, by the clock strictly past each bound
    // (13700 and 28700 ms read as the floats nearest 13.7 and 28.7, the bounds themselves);
    // the first frame past 79 s reports the end.
    const std::tuple<uint32_t, int32_t, bool> table[] = {
        {19, 2, true},    {13700, 2, true}, {13701, 3, true}, {28700, 3, true}, {28701, 4, true},
        {72000, 4, true}, {72001, 3, true}, {79000, 3, true}, {79001, 3, false}};
    for (const auto& [ms, next, goes_on] : table) {
        hold_song_clock(ms, 0);
        // Braces: the frame runs before the scene it chose is read.
        EXPECT_EQ((std::pair{render_frame(), current_scene}), std::pair(goes_on, next)) << ms;
    }
}

TEST_F(Scenes, FirstFrameShowsTheTitleLineThenTheCollapsedTube) {
    // Black letters at depth 7 centred on column 320, from the baseline (row 240) less a
    // descender of 0.3 em to the caps at 0.85 em: rows 215 .. 311.
    const Frame first = frame(19);
    Box title;
    for (int i = 0; i < width * height; ++i)
        if (!near(first.at(i % width, i / width), white)) title.add(i % width, i / width);
    EXPECT_TRUE(title.count > 500 && std::abs(title.x0 + title.x1 - 640) <= 8 && title.y0 >= 215 &&
                title.y1 <= 311);
    // Scene 2's first frame (texts hidden) draws rings of size 0: every seam falls on the axis,
    // 0.3 units above the centre at depth 3 (row 297.9), one black line 4 px wide on white.
    text_reset();
    const Frame second = frame(38);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 7)
            if (y < 295 || y > 300 || y == 297) {
                EXPECT_TRUE(near(second.at(x, y), y == 297 ? black : white)) << x << "," << y;
            }
}

TEST_F(Scenes, Scene2DrawsTheRippledTubeBeforeTheTurningFan) {
    const Frame shown = scene(2, 10000);
    // A frame takes 3 draws a quad and one a title, so the classic sequence's draw 6179 is next.
    EXPECT_EQ(scene_rand(), 27532);
    // The last title's colour stays: sin(63 cos 63 + 10000), cos(10063 + sin 63), sin 10063.
    expect_state(GL_FLAT, {3, 0.3f, 0.5f, 1, 0, 0.398412f, -0.798446f, -0.460653f});
    // Centres of quads (band i, segment j) = (31, 3), (37, 4), (40, 4) placed from the rings,
    // coloured red sin(2i + j), green cos(2i - j), blue tan(4i/3 + j); light blue behind.
    // clang-format off
    shown.expect({{351, 266, 211, 0, 93}, {238, 297, 131, 161, 0}, {173, 326, 187, 210, 255}, {5, 5, 77, 128, 255}});
    // clang-format on
    // Copy 63, drawn last, turned by sin(10063) + 10000/20 + 15 = 154.54 degrees about the
    // centre at depth 5, in (102, 0, 0): its pixels lie along that line, from 0.3 em below the
    // baseline to 0.85 em above it.
    const double angle = 154.54 * M_PI / 180.0, em = 115.9,
                 half = text_width("TIRVALEX 3") * em / 2 + 4;
    int copy_63 = 0;
    texts(shown, scene(2, 10000, false), [&](int x, int y) {
        if (!near(shown.at(x, y), {102, 0, 0}, 3)) return;
        const double along = (x - 320) * std::cos(angle) + (y - 240) * std::sin(angle);
        const double up = (y - 240) * std::cos(angle) - (x - 320) * std::sin(angle);
        EXPECT_TRUE(std::fabs(along) < half && up > -0.3 * em && up < 0.85 * em) << x << "," << y;
        ++copy_63;
    });
    EXPECT_GT(copy_63, 300);
}

TEST_F(Scenes, Scene3DrawsTheStripedTubeAndTheCreditsBehindIt) {
    const Frame shown = scene(3, 20000);
    // R(0) = 0.8 + 0.45 cos 80 + 0.08 sin 72 (b = 80); two draws a quad and none for the
    // credits: draw 4033 next.
    EXPECT_NEAR(ring_radius[0], 0.770631609293, 1e-11);
    EXPECT_EQ(scene_rand(), 18613);
    expect_state(GL_FLAT, {4, 0.9f, 0, 0.6f, 0, 0, 0, 0});
    // Quads (12, 3), (24, 3), (20, 5): stripes by segment, red cos 4j, green cos(40 - 3j);
    // purple behind.
    // clang-format off
    shown.expect({{518, 144, 215, 233, 0}, {597, 390, 215, 233, 0}, {531, 296, 104, 253, 0}, {5, 475, 230, 0, 153}});
    // clang-format on
    // The credits in black at depth 10, centred 2.5 units left of the centre, their baselines
    // one unit above and below it (rows 297.9 and 182.1).
    Box lines[2];
    texts(shown, scene(3, 20000, false), [&](int x, int y) {
        const int line = y > 240 ? 0 : 1, baseline = line == 0 ? 298 : 182;
        EXPECT_TRUE(near(shown.at(x, y), black) && y > baseline - 18 && y < baseline + 50)
            << x << "," << y;
        lines[line].add(x, y);
    });
    // Both lines drawn; the longer one ends half its width right of its centre.
    EXPECT_TRUE(lines[0].count > 300 && lines[1].count > 300);
    EXPECT_NEAR(lines[1].x1, 320 + (-2.5 + text_width("Music: Vennoli") / 2) * 57.94, 8);
}

TEST_F(Scenes, Scene4DrawsTheFoggedTunnelUnderTwoWhiteLines) {
    glEnable(GL_TEXTURE_2D);  // left on by someone else: the tunnel turns it off
    const Frame shown = scene(4, 60500);
    expect_state(GL_SMOOTH, {3, 0, 0, 0, 0, 1, 1, 1});
    const Frame bare = scene(4, 60500, false);
    // The texture grid goes with each frame's T (textures are off, so no pixel shows it): t(0, 0)
    // = T / 120.
    EXPECT_NEAR(tunnel_texcoords[0][0].t, 2420 / 120.0, 1e-4);
    // T = (60500 + 60500) / 50 = 2420. Quads of rings 8, 10 and 14, one colour a ring by phase
    // T/5 + j, fogged by (30 - depth) / 30: red = blue = sin 492 = 0.90 (x 0.75), green tan 494 =
    // 0.99 (x 0.65), red sin 498.
    // clang-format off
    bare.expect({{192, 417, 172, 0, 172}, {485, 112, 0, 161, 0}, {592, 362, 132, 0, 132}}, 6);
    // clang-format on
    // White lines at depth 12 over everything: the message on the centre line spanning the
    // screen, the greetings 4.5 units (217 px) lower, centred 86 - 2 x 60.5 = -35 units.
    Box lines[2];
    texts(shown, bare, [&](int x, int y) {
        const int line = y > 131 ? 0 : 1, baseline = line == 0 ? 240 : 23;
        EXPECT_TRUE(near(shown.at(x, y), white) && y > baseline - 15 && y < baseline + 42)
            << x << "," << y;
        lines[line].add(x, y);
    });
    EXPECT_TRUE(lines[0].x0 < 3 && lines[0].x1 > 636 && lines[1].count > 1000 &&
                std::abs(lines[1].x1 - (320 + (-35 + text_width(greetings_text) / 2) * 48.28)) < 8);
}

}  // namespace
