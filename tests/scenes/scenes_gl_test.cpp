// Scenes 2, 3 and 4 and the timeline on a real GL context (a hidden 640 x 480 window under
// Xvfb with Mesa's software renderer), read back as pixels. The song clock is a one-entry
// block table the test sets, read through the real clock queries. Expected pixels come from
// the scenes' placement, colours and clear colours as the show describes them: the projection
// is 45 degrees vertically over 640 x 480, so at depth d one unit is 240 / (d tan 22.5) pixels.
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/renderer.h"
#include "app/window.h"
#include "player/output.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/text.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

constexpr int width = 640;
constexpr int height = 480;

struct Rgb {
    int r;
    int g;
    int b;
};

constexpr Rgb white{255, 255, 255};
constexpr Rgb black{0, 0, 0};
constexpr Rgb light_blue{77, 128, 255};  // (0.3, 0.5, 1.0)
constexpr Rgb purple{230, 0, 153};       // (0.9, 0, 0.6)

bool near(Rgb a, Rgb b, int tolerance = 3) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// One colour component as the framebuffer holds it: clamped to 0..1, then 8 bits.
int channel(float value) {
    return static_cast<int>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255));
}
Rgb framebuffer_colour(const QuadColour& c) {
    return {channel(c.red), channel(c.green), channel(c.blue)};
}

// A frame read back from the back buffer, rows from the bottom as GL counts them.
struct Frame {
    std::vector<uint8_t> rgb;
    std::vector<float> depth;

    Rgb at(int x, int y) const {
        const size_t k = 3 * (static_cast<size_t>(y) * width + x);
        return {rgb[k], rgb[k + 1], rgb[k + 2]};
    }
    float depth_at(int x, int y) const { return depth[static_cast<size_t>(y) * width + x]; }
    bool operator==(const Frame& other) const { return rgb == other.rgb; }
};

Frame grab() {
    glFinish();
    Frame frame;
    frame.rgb.resize(3 * width * height);
    frame.depth.resize(width * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame.rgb.data());
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, frame.depth.data());
    return frame;
}

int count_near(const Frame& frame, Rgb colour, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            count += near(frame.at(x, y), colour) ? 1 : 0;
    }
    return count;
}

// The pixel a point of the model lands on under a model-view transform built by `place`.
template <typename Place>
void project(Place place, double x, double y, double z, int& px, int& py) {
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    place();
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glPopMatrix();
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx, wy, wz;
    gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz);
    px = static_cast<int>(std::floor(wx));
    py = static_cast<int>(std::floor(wy));
}

// The centre of the quad of band i, segment j as the ring tables stand now.
void quad_centre(int i, int j, double& x, double& y, double& z) {
    x = y = z = 0.0;
    const TubeCorner corners[4] = {tube_corner(i, j), tube_corner(i + 1, j),
                                   tube_corner(i + 1, j + 1), tube_corner(i, j + 1)};
    for (const TubeCorner& c : corners) {
        x += c.x / 4.0;
        y += c.y / 4.0;
        z += c.z / 4.0;
    }
}

struct GlContext {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
};
GlContext gl;

// The GL state the renderer set-up leaves for the scenes, without its music calls.
void put_back_start_state() {
    glShadeModel(GL_SMOOTH);
    glClearColor(1.0f, 1.0f, 1.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_COLOR_MATERIAL);
    setup_fog();
    glEnable(GL_LINE_SMOOTH);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(1.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

class Scenes : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        gl.window = SDL_CreateWindow("scenes test", 0, 0, width, height,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(gl.window, nullptr) << SDL_GetError();
        gl.context = SDL_GL_CreateContext(gl.window);
        ASSERT_NE(gl.context, nullptr) << SDL_GetError();
        SDL_GL_MakeCurrent(gl.window, gl.context);
        set_projection(width, height);
        build_outline_font();
    }
    static void TearDownTestSuite() {
        SDL_GL_DeleteContext(gl.context);
        SDL_DestroyWindow(gl.window);
        SDL_Quit();
    }

    void SetUp() override {
        ASSERT_NE(gl.context, nullptr);
        put_back_start_state();
        ring_tables_reset();
        scene_random_reset();
        tunnel_reset();
        timeline_reset();
        saved_table_ = block_table;
        block_table = clock_entry_;
        clock_block.store(0);
        music_module = &module_;
        glyph_lists_ = font_list_base;
    }
    void TearDown() override {
        block_table = saved_table_;
        music_module = nullptr;
        font_list_base = glyph_lists_;
    }

    void set_clock(uint32_t ms, uint8_t row = 0) {
        clock_entry_[0].time_ms.store(ms);
        clock_entry_[0].row.store(row);
    }
    // One frame of the timeline at that clock reading, read back before it would be presented.
    Frame frame_at(uint32_t ms, uint8_t row = 0) {
        set_clock(ms, row);
        render_frame();
        return grab();
    }
    // Makes every text draw nothing (lists that do not exist), or draw again.
    void hide_texts(bool hidden) { font_list_base = hidden ? glyph_lists_ + 10000 : glyph_lists_; }

    BlockClock clock_entry_[1];
    BlockClock* saved_table_ = nullptr;
    XmModule module_{};  // the clock queries only test the module for null
    uint32_t glyph_lists_ = 0;
};

// Scene 2's tube lies at depth 3 across the screen, 0.3 units above the centre: row 297.9.
constexpr int tube_axis_row = 297;

TEST_F(Scenes, TimelineDrawsTheTitleLineOnTheFirstFrameOnly) {
    const Frame first = frame_at(19);
    EXPECT_EQ(current_scene, 2);
    // Black outline letters between the baseline (row 240) and the cap height on white.
    EXPECT_GT(count_near(first, black, 0, 235, width, 305), 500);
    EXPECT_EQ(count_near(first, black, 0, 0, width, 200), 0);
    EXPECT_EQ(count_near(first, black, 0, 320, width, height), 0);
    EXPECT_EQ(count_near(first, light_blue, 0, 0, width, height), 0);

    // The second frame is scene 2's first: its collapsed tube is one black line across the
    // whole screen, still on white.
    const Frame second = frame_at(38);
    EXPECT_EQ(count_near(second, black, 0, tube_axis_row, width, tube_axis_row + 2), 2 * width);
    EXPECT_TRUE(near(second.at(5, 5), white));
    EXPECT_EQ(current_scene, 2);
}

TEST_F(Scenes, Scene2FirstFrameDrawsCollapsedRingsOnThePreviousClearColour) {
    current_scene = 2;
    const Frame frame = frame_at(1000);
    // Rings of size 0: every seam falls on the axis, four pixels wide, rows 296..299.
    for (int x : {0, 100, 320, 540, 639}) {
        EXPECT_TRUE(near(frame.at(x, tube_axis_row), black)) << x;
        EXPECT_TRUE(near(frame.at(x, tube_axis_row + 1), black)) << x;
    }
    EXPECT_TRUE(near(frame.at(5, 5), white));
    EXPECT_TRUE(near(frame.at(634, 474), white));
}

TEST_F(Scenes, Scene2ShowsTheTubeAcrossTheScreenOnLightBlueFromItsSecondFrame) {
    current_scene = 2;
    frame_at(1000);
    const Frame frame = frame_at(1000);  // same clock: the rings drawn are those of b = 4
    EXPECT_GT(count_near(frame, light_blue, 0, 0, width, height), width * height / 4);
    const float b = 4.0f;
    // Quads facing the eye (segments 3 and 4, round theta = pi/2) along the tube, each in its
    // ripple colour; no random step comes up in the first frames of the sequence.
    for (int band : {20, 33, 45}) {
        for (int segment : {3, 4}) {
            double x, y, z;
            quad_centre(band, segment, x, y, z);
            int px, py;
            project(
                [] {
                    glTranslatef(2.8f, 0.3f, -3.0f);
                    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
                },
                x, y, z, px, py);
            ASSERT_TRUE(px >= 0 && px < width && py >= 0 && py < height) << band;
            const Rgb expected = framebuffer_colour(scene_2_quad_colour(band, segment, b, 0, 0, 0));
            EXPECT_TRUE(near(frame.at(px, py), expected, 4))
                << "band " << band << " segment " << segment << " at " << px << "," << py;
        }
    }
}

TEST_F(Scenes, Scene2LeavesFlatShadingLineWidth3AndLightBlueClear) {
    current_scene = 2;
    frame_at(5000);
    GLint shade = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_FLAT);
    GLfloat line_width = 0, clear[4] = {};
    glGetFloatv(GL_LINE_WIDTH, &line_width);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(line_width, 3.0f);
    EXPECT_FLOAT_EQ(clear[0], 0.3f);
    EXPECT_FLOAT_EQ(clear[1], 0.5f);
    EXPECT_FLOAT_EQ(clear[2], 1.0f);
    EXPECT_FLOAT_EQ(clear[3], 0.0f);
}

TEST_F(Scenes, Scene2TitleCaseFollowsTheRowHeard) {
    // The same two frames with only the row changed: rows 0 and 4 draw the upper-case title,
    // rows 1, 2 and 3 the lower-case one.
    auto fan_frame = [this](uint8_t row) {
        ring_tables_reset();
        scene_random_reset();
        current_scene = 2;
        frame_at(2000, row);
        return frame_at(2000, row);
    };
    const Frame row0 = fan_frame(0);
    const Frame row1 = fan_frame(1);
    EXPECT_TRUE(row0 == fan_frame(4));
    EXPECT_TRUE(row1 == fan_frame(2));
    EXPECT_TRUE(row1 == fan_frame(3));
    EXPECT_FALSE(row0 == row1);
    // Without glyphs the row makes no difference: the change is the title itself.
    hide_texts(true);
    EXPECT_TRUE(fan_frame(0) == fan_frame(1));
}

TEST_F(Scenes, Scene3ShowsTheUprightTubeRightOfCentreOnPurple) {
    current_scene = 3;
    frame_at(20000);
    const Frame frame = frame_at(20000);
    const float b = 80.0f;
    for (int band : {12, 18, 24}) {
        for (int segment : {3, 4}) {
            double x, y, z;
            quad_centre(band, segment, x, y, z);
            int px, py;
            project([] { glTranslatef(0.8f, -1.5f, -3.0f); }, x, y, z, px, py);
            ASSERT_TRUE(px > width / 2 && px < width && py >= 0 && py < height) << band;
            const Rgb expected = framebuffer_colour(scene_3_quad_colour(segment, b, 0, 0));
            EXPECT_TRUE(near(frame.at(px, py), expected, 4))
                << "band " << band << " segment " << segment << " at " << px << "," << py;
        }
    }
    // Away from the credit lines the left half is bare purple from bottom to top.
    EXPECT_EQ(count_near(frame, purple, 0, 0, width / 2, 120), width / 2 * 120);
    EXPECT_EQ(count_near(frame, purple, 0, 380, width / 2, height), width / 2 * 100);
}

TEST_F(Scenes, Scene3CreditsAreBlackLinesOnTheLeftBehindTheTube) {
    current_scene = 3;
    frame_at(20000);
    const Frame with_credits = frame_at(20000);
    hide_texts(true);
    ring_tables_reset();
    scene_random_reset();
    current_scene = 3;
    frame_at(20000);
    const Frame without = frame_at(20000);
    // Centred 2.5 units left at depth 10 (x = 175), baselines one unit above and below the
    // centre line (rows 298 and 182); the letters are black.
    int changed = 0, not_black = 0, outside = 0, leftmost = width, rightmost = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb a = with_credits.at(x, y), b = without.at(x, y);
            if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
            ++changed;
            not_black += near(a, black) ? 0 : 1;
            // Each line from its descenders (0.25 em) to its caps (0.75 em), em = 58 pixels.
            outside += (y >= 160 && y < 230) || (y >= 278 && y < 346) ? 0 : 1;
            leftmost = std::min(leftmost, x);
            rightmost = std::max(rightmost, x);
        }
    }
    EXPECT_EQ(not_black, 0);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(changed, 1000);
    EXPECT_LT(leftmost, 60);
    EXPECT_LT(rightmost, 440);
}

TEST_F(Scenes, Scene3LeavesBlackLineWidth4AndPurpleClear) {
    current_scene = 3;
    frame_at(20000);
    GLint shade = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_FLAT);
    GLfloat line_width = 0, clear[4] = {}, colour[4] = {};
    glGetFloatv(GL_LINE_WIDTH, &line_width);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(line_width, 4.0f);
    EXPECT_FLOAT_EQ(clear[0], 0.9f);
    EXPECT_FLOAT_EQ(clear[1], 0.0f);
    EXPECT_FLOAT_EQ(clear[2], 0.6f);
    EXPECT_EQ(colour[0], 0.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(colour[2], 0.0f);
}

// Pixels where no tunnel quad was drawn keep the clear colour and depth 1.
int background_pixels(const Frame& frame, Rgb colour, int& others) {
    int matching = 0;
    others = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (frame.depth_at(x, y) < 1.0f) continue;
            if (near(frame.at(x, y), colour)) {
                ++matching;
            } else if (!near(frame.at(x, y), white)) {  // the texts write no depth
                ++others;
            }
        }
    }
    return matching;
}

TEST_F(Scenes, Scene4FirstFrameKeepsPurpleThenTurnsBlack) {
    current_scene = 3;
    frame_at(28680);
    frame_at(28720);  // past 28.7 s: the next frame draws the tunnel
    ASSERT_EQ(current_scene, 4);
    const Frame first = frame_at(28740);
    int others = 0;
    EXPECT_GT(background_pixels(first, purple, others), 100);  // through the far end
    EXPECT_EQ(others, 0);
    const Frame second = frame_at(28760);
    EXPECT_GT(background_pixels(second, black, others), 100);
    EXPECT_EQ(others, 0);
}

TEST_F(Scenes, Scene4FogDarkensTheTunnelWithDepth) {
    // The same frame with the fog as set up (linear, 0 to 30) and with it pushed out of reach;
    // texts hidden so that only the tunnel is compared.
    hide_texts(true);
    current_scene = 4;
    const Frame fogged = frame_at(50000);
    tunnel_reset();
    glFogf(GL_FOG_END, 1.0e9f);
    const Frame clear = frame_at(50000);
    setup_fog();
    const double near_plane = static_cast<double>(0.1f), far_plane = 100.0;
    int deep = 0, shallow = 0;
    for (int y = 0; y < height; y += 3) {
        for (int x = 0; x < width; x += 3) {
            const double d = clear.depth_at(x, y);
            if (d >= 1.0) continue;
            // Eye distance along the view axis from the window depth of the perspective.
            const double eye = near_plane * far_plane / (far_plane - d * (far_plane - near_plane));
            const double factor = std::clamp((30.0 - eye) / 30.0, 0.0, 1.0);
            const Rgb lit = clear.at(x, y);
            const Rgb expected{static_cast<int>(std::lround(lit.r * factor)),
                               static_cast<int>(std::lround(lit.g * factor)),
                               static_cast<int>(std::lround(lit.b * factor))};
            ASSERT_TRUE(near(fogged.at(x, y), expected, 4)) << x << "," << y << " at depth " << eye;
            deep += eye > 20.0 ? 1 : 0;
            shallow += eye < 5.0 ? 1 : 0;
        }
    }
    EXPECT_GT(deep, 100);
    EXPECT_GT(shallow, 100);
}

TEST_F(Scenes, Scene4ScrollsTwoWhiteLinesOverTheTunnel) {
    // Each picture is the scene's second frame, so both are cleared black and have the same T.
    auto tunnel_frame = [this] {
        tunnel_reset();
        current_scene = 4;
        frame_at(46000);
        return frame_at(46000);
    };
    const Frame with_texts = tunnel_frame();
    hide_texts(true);
    const Frame without = tunnel_frame();
    // At depth 12 the message's baseline is the centre row 240, the greetings' 4.5 units lower
    // (row 22.7); both longer than the screen is wide.
    int message = 0, greetings = 0;
    int message_left = width, message_right = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb a = with_texts.at(x, y), b = without.at(x, y);
            if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
            ASSERT_TRUE(near(a, white)) << x << "," << y;
            if (y >= 228 && y < 290) {
                ++message;
                message_left = std::min(message_left, x);
                message_right = std::max(message_right, x);
            } else if (y >= 8 && y < 70) {
                ++greetings;
            } else {
                ADD_FAILURE() << "text pixel outside both lines at " << x << "," << y;
                return;
            }
        }
    }
    EXPECT_GT(message, 2000);
    EXPECT_GT(greetings, 2000);
    EXPECT_LT(message_left, 40);
    EXPECT_GT(message_right, width - 40);
}

TEST_F(Scenes, Scene4LeavesFogOffDepthOnWhiteAndBlackClear) {
    current_scene = 4;
    frame_at(40000);
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat line_width = 0, clear[4] = {}, colour[4] = {};
    glGetFloatv(GL_LINE_WIDTH, &line_width);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(line_width, 3.0f);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(clear[k], 0.0f) << k;
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(colour[k], 1.0f) << k;
    GLint matrix_depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &matrix_depth);
    EXPECT_EQ(matrix_depth, 1);  // the push around the tunnel is undone
}

TEST_F(Scenes, EachSceneStartsOnThePreviousScenesClearColour) {
    // Through the whole timeline: scene 2, 3 at 13.7 s, 4 at 28.7 s, 3 again at 72 s. The first
    // frame of each shows the clear colour the scene before set; the second its own. The
    // background is every pixel nothing was drawn on (depth 1; scene 4's texts write none).
    struct Step {
        uint32_t ms;
        int drawn;
        Rgb background;
    };
    const Step steps[] = {
        {19, 0, white},         {40, 2, white},     {60, 2, light_blue}, {13710, 2, light_blue},
        {13730, 3, light_blue}, {13750, 3, purple}, {28710, 3, purple},  {28730, 4, purple},
        {28750, 4, black},      {72010, 4, black},  {72030, 3, black},   {72050, 3, purple},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(current_scene, step.drawn) << step.ms;
        const Frame frame = frame_at(step.ms);
        int others = 0;
        const int matching = background_pixels(frame, step.background, others);
        // The bending tunnel may hide its far end; the other scenes always show background.
        if (step.drawn != 4) {
            EXPECT_GT(matching, 100) << step.ms << " ms";
        }
        EXPECT_EQ(others, 0) << step.ms << " ms";
    }
}

}  // namespace
