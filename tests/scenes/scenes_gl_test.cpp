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
#include "scenes/tunnel_math.h"
#include "tests/support/pixels.h"

namespace {

constexpr int width = 640;
constexpr int height = 480;
constexpr int tolerance = 4;  // what the software renderer's rounding leaves of a colour

// A pixel a scene is expected to show: where it lies, what draws it there, its colour.
struct ExpectedPixel {
    int x;
    int y;
    const char* what;
    Rgb colour;
};

struct Frame {
    std::vector<uint8_t> rgb = std::vector<uint8_t>(3 * width * height);
    Rgb at(int x, int y) const {
        const size_t first = 3 * size_t(y * width + x);
        return {rgb[first], rgb[first + 1], rgb[first + 2]};
    }
    void expect(std::initializer_list<ExpectedPixel> pixels, int allowed = tolerance) const {
        for (const ExpectedPixel& pixel : pixels) {
            EXPECT_TRUE(near(at(pixel.x, pixel.y), pixel.colour, allowed))
                << pixel.what << " at " << pixel.x << "," << pixel.y;
        }
    }
};

// How many pixels, and their columns' bounds.
struct Box {
    int count = 0;
    int x0 = width;
    int x1 = -1;
    void add(int x) {
        ++count;
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
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
    // One frame of the timeline at that clock reading, read back before it would be shown. The
    // client arrays are on only while a draw uses them.
    Frame frame(uint32_t ms) {
        hold_song_clock(ms, 0);
        render_frame();
        for (const GLenum array : {GL_VERTEX_ARRAY, GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY})
            EXPECT_FALSE(glIsEnabled(array)) << "client array " << array << " left on at " << ms;
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
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (shown.at(x, y) != bare.at(x, y)) f(x, y);
            }
        }
    }
    // The pixels the texts changed, as two lines split at row `split`, the upper one first:
    // each pixel in `colour`, from `descent` rows under its line's baseline to `ascent` rows
    // over it. The boxes of the two lines.
    static std::array<Box, 2> text_lines(const Frame& shown, const Frame& bare, Rgb colour,
                                         int split, std::array<int, 2> baselines, int descent,
                                         int ascent) {
        std::array<Box, 2> lines;
        texts(shown, bare, [&](int x, int y) {
            const size_t line = y > split ? 0 : 1;
            EXPECT_TRUE(near(shown.at(x, y), colour, tolerance)) << x << "," << y;
            EXPECT_GT(y, baselines[line] - descent) << x << "," << y;
            EXPECT_LT(y, baselines[line] + ascent) << x << "," << y;
            lines[line].add(x);
        });
        return lines;
    }
    // The state a scene leaves for the next frame: the shade model, one matrix on the model-view
    // stack, depth test on, fog, textures and the client arrays off; line width, clear colour,
    // current colour. A failure names the state by its GL number.
    static void expect_state(float shade, float line_width, std::array<float, 4> clear,
                             std::array<float, 3> colour) {
        const std::pair<GLenum, std::vector<float>> values[] = {
            {GL_SHADE_MODEL, {shade}},
            {GL_MODELVIEW_STACK_DEPTH, {1}},
            {GL_DEPTH_TEST, {1}},
            {GL_FOG, {0}},
            {GL_TEXTURE_2D, {0}},
            {GL_VERTEX_ARRAY, {0}},
            {GL_COLOR_ARRAY, {0}},
            {GL_TEXTURE_COORD_ARRAY, {0}},
            {GL_LINE_WIDTH, {line_width}},
            {GL_COLOR_CLEAR_VALUE, {clear.begin(), clear.end()}},
            {GL_CURRENT_COLOR, {colour.begin(), colour.end()}},
        };
        for (const auto& [name, expected] : values) {
            std::array<float, 4> value{};
            glGetFloatv(name, value.data());
            for (size_t k = 0; k < expected.size(); ++k)
                EXPECT_NEAR(value[k], expected[k], 1e-6) << "state " << name << ", value " << k;
        }
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
};

TEST_F(Scenes, TimelineRunsTheShowOnTheSongClockFromTheCommonStartState) {
    current_scene = 5;  // past the table: the frame leaves the state every scene starts from
    glDisable(GL_DEPTH_TEST);
    glColor3f(0.0f, 0.0f, 0.0f);
    glMatrixMode(GL_PROJECTION);
    frame(5000);
    expect_state(GL_SMOOTH, 1, {1, 1, 1, 0.5f}, {1, 1, 1});
    // The model-view matrix: no scaling, moved by (-4, -4, -10).
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const std::pair<int, float> entries[] = {{0, 1},   {5, 1},   {10, 1},
                                             {12, -4}, {13, -4}, {14, -10}};
    for (const auto& [index, value] : entries)
        EXPECT_EQ(m[index], value) << "entry " << index;
    // Each frame draws the scene the one before chose, by the clock strictly past each bound
    // (13700 and 28700 ms read as the floats nearest 13.7 and 28.7, the bounds themselves);
    // the first frame past 79 s reports the end.
    struct Step {
        uint32_t ms;
        int32_t next_scene;
        bool goes_on;
    };
    const Step steps[] = {{19, 2, true},    {13700, 2, true}, {13701, 3, true}, {28700, 3, true},
                          {28701, 4, true}, {72000, 4, true}, {79000, 3, true}, {79001, 3, false}};
    for (const Step& step : steps) {
        hold_song_clock(step.ms, 0);
        EXPECT_EQ(render_frame(), step.goes_on) << step.ms << " ms";
        EXPECT_EQ(current_scene, step.next_scene) << step.ms << " ms";
    }
}

TEST_F(Scenes, FirstFrameShowsTheTitleLineThenTheCollapsedTube) {
    // Black letters on the white clear colour at depth 7, centred on column 320, from the
    // baseline (row 240) less a descender of 0.3 em to the caps at 0.85 em: rows 215 .. 311.
    // One line: every row lies above the split at -1.
    Frame bare;
    bare.rgb.assign(bare.rgb.size(), 255);
    const Box title = text_lines(frame(19), bare, black, -1, {240, 240}, 26, 72)[0];
    EXPECT_GT(title.count, 500);
    EXPECT_NEAR(title.x0 + title.x1, 640, 8) << "the title's centre, twice";
    // Scene 2's first frame (texts hidden) draws rings of size 0: every seam falls on the axis,
    // 0.3 units above the centre at depth 3 (row 297.9), one black line 4 px wide on white.
    text_reset();
    const Frame second = frame(38);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 7)
            if (y < 295 || y > 300 || y == 297) {
                const Rgb expected = y == 297 ? black : white;
                EXPECT_TRUE(near(second.at(x, y), expected, tolerance)) << x << "," << y;
            }
}

TEST_F(Scenes, Scene2DrawsTheRippledTubeBeforeTheTurningFan) {
    const Frame shown = scene(2, 10000);
    // A frame takes 3 draws a quad and one a title, so the classic sequence's draw 6179 is next.
    EXPECT_EQ(scene_rand(), 27532);
    // The last title's colour stays: sin(63 cos 63 + 10000), cos(10063 + sin 63), sin 10063.
    expect_state(GL_FLAT, 3, {0.3f, 0.5f, 1, 0}, {0.398412f, -0.798446f, -0.460653f});
    // Centres of quads (band i, segment j) = (31, 3), (37, 4), (40, 4) placed from the rings,
    // coloured red sin(2i + j), green cos(2i - j), blue tan(4i/3 + j); light blue behind.
    // Quad (14, 0), a band's first segment, shows only where the tube bends up at the right:
    // corners at (632, 375), (616, 363), (631, 367) and (651, 380); (631, 372) lies between
    // its seams (the nearer face hides seam 0's inner half). Red sin 28 = 0.27, no green or blue.
    shown.expect({{351, 266, "quad (31, 3)", {211, 0, 93}},
                  {631, 372, "quad (14, 0)", {69, 0, 0}},
                  {238, 297, "quad (37, 4)", {131, 161, 0}},
                  {173, 326, "quad (40, 4)", {187, 210, 255}},
                  {5, 5, "the clear colour", light_blue}});
    // Copy 63, drawn last, turned by sin(10063) + 10000/20 + 15 = 154.54 degrees about the
    // centre at depth 5, in (102, 0, 0): its pixels lie along that line, from 0.3 em below the
    // baseline to 0.85 em above it.
    const double angle = 154.54 * M_PI / 180.0;
    const double em = 115.9;
    const double half = text_width("TIRVALEX 3") * em / 2 + 4;
    int copy_63 = 0;
    texts(shown, scene(2, 10000, false), [&](int x, int y) {
        if (!near(shown.at(x, y), {102, 0, 0}, 3)) return;
        const double along = (x - 320) * std::cos(angle) + (y - 240) * std::sin(angle);
        const double up = (y - 240) * std::cos(angle) - (x - 320) * std::sin(angle);
        EXPECT_LT(std::fabs(along), half) << x << "," << y;
        EXPECT_GT(up, -0.3 * em) << x << "," << y;
        EXPECT_LT(up, 0.85 * em) << x << "," << y;
        ++copy_63;
    });
    EXPECT_GT(copy_63, 300);
}

TEST_F(Scenes, Scene3DrawsTheStripedTubeAndTheCreditsBehindIt) {
    const Frame shown = scene(3, 20000);
    // Two draws a quad and none for the credits: draw 4033 next.
    EXPECT_EQ(scene_rand(), 18613);
    expect_state(GL_FLAT, 4, {0.9f, 0, 0.6f, 0}, {0, 0, 0});
    // Quads (12, 3), (24, 3), (20, 5): stripes by segment, red cos 4j, green cos(40 - 3j);
    // purple behind.
    shown.expect({{518, 144, "quad (12, 3)", {215, 233, 0}},
                  {597, 390, "quad (24, 3)", {215, 233, 0}},
                  {531, 296, "quad (20, 5)", {104, 253, 0}},
                  {5, 475, "the clear colour", purple}});
    // The credits in black at depth 10, centred 2.5 units left of the centre, their baselines
    // one unit above and below it (rows 297.9 and 182.1).
    const auto lines = text_lines(shown, scene(3, 20000, false), black, 240, {298, 182}, 18, 50);
    // Both lines drawn; the longer one ends half its width right of its centre.
    EXPECT_GT(lines[0].count, 300) << "the first line";
    EXPECT_GT(lines[1].count, 300) << "the second line";
    EXPECT_NEAR(lines[1].x1, 320 + (-2.5 + text_width("Music: Vennoli") / 2) * 57.94, 8);
    // At 20.5 s (b = 82) ring 0's corner 10 lies at (414.3, -3.6), ring 1's at (424.3, 8.0):
    // their seam, 4 px wide, is the tube's left outline at the bottom edge. Its left half lies
    // over the clear colour: on row 4, black from 418.7 to its centre at 421.3.
    scene(3, 20500).expect({{419, 4, "the seam from ring 0", black}});
}

TEST_F(Scenes, Scene4DrawsTheFoggedTunnelUnderTwoWhiteLines) {
    glEnable(GL_TEXTURE_2D);  // left on by someone else: the tunnel turns it off
    const Frame shown = scene(4, 60500);
    expect_state(GL_SMOOTH, 3, {0, 0, 0, 0}, {1, 1, 1});
    const Frame bare = scene(4, 60500, false);
    // The texture grid goes with each frame's T (textures are off, so no pixel shows it): t(0, 0)
    // = T / 120.
    EXPECT_NEAR(tunnel_texcoords[0][0].t, 2420 / 120.0, 1e-4);
    // T = (60500 + 60500) / 50 = 2420. Quads of rings 8, 10 and 14, one colour a ring by phase
    // T/5 + j, fogged by (30 - depth) / 30: red = blue = sin 492 = 0.90 (x 0.75), green tan 494 =
    // 0.99 (x 0.65), red sin 498.
    bare.expect({{192, 417, "ring 8", {172, 0, 172}},
                 {485, 112, "ring 10", {0, 161, 0}},
                 {592, 362, "ring 14", {132, 0, 132}}},
                6);
    // White lines at depth 12 over everything: the message on the centre line spanning the
    // screen, the greetings 4.5 units (217 px) lower, centred 86 - 2 x 60.5 = -35 units.
    const auto lines = text_lines(shown, bare, white, 131, {240, 23}, 15, 42);
    EXPECT_LT(lines[0].x0, 3) << "the message's left end";
    EXPECT_GT(lines[0].x1, 636) << "the message's right end";
    EXPECT_GT(lines[1].count, 1000) << "the greetings";
    EXPECT_NEAR(lines[1].x1, 320 + (-35 + text_width(greetings_text) / 2) * 48.28, 8);
}

}  // namespace
