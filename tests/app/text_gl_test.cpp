// The renderer set-up, the outline font and the text routine in a real context. Glyph figures
// are those of the bold "Arial" fontconfig gives (Liberation Sans Bold, 2048 units to the em),
// read off the font's own tables: the l is the rectangle (143, 0)-(424, 1484) with an advance
// of 569; the o is two contours of quadratic pieces whose chords end at the points below.
#include <GL/gl.h>

#include <array>
#include <string>

#include "app/font.h"
#include "app/renderer.h"
#include "player/session.h"
#include "scenes/text.h"
#include "tests/app/platform_recorder.h"

namespace {

constexpr float em = 2048.0f;

class Gl : public OpenWindow {
protected:
    static float x_now() {
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        return m[12];
    }
    // Cleared to black, one unit a pixel, then `scale` pixels to the em from an origin at
    // column 320 on the middle of row 100; lines without smoothing, one pixel wide.
    static void pixel_units(float scale) {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_LINE_SMOOTH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 640, 0, 480, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(320.0f, 100.5f, 0.0f);
        glScalef(scale, scale, 1.0f);
    }
    // The runs of drawn pixels on a row (bottom row 0), each as its first and past-last column.
    using Runs = std::vector<std::pair<int, int>>;
    static Runs runs_on_row(int y) {
        std::array<unsigned char, 640> row{};
        glReadPixels(0, y, 640, 1, GL_RED, GL_UNSIGNED_BYTE, row.data());
        Runs runs;
        for (int x = 0; x < 640; ++x) {
            if (row[x] == 0) continue;
            if (runs.empty() || runs.back().second != x) runs.push_back({x, x});
            ++runs.back().second;
        }
        return runs;
    }
};

TEST_F(Gl, SetUpLeavesTheSceneStateAndStartsTheEmbeddedSong) {
    // The fog's ramp (linear from 0 to 30 units into black) shows in the tunnel scene's colours;
    // lighting, blending, texturing and fog are left off as GL starts, and the scenes' pixels
    // would show any of them on.
    glClearDepth(0.5);  // a value other than GL's start value, which the set-up resets
    setenv("SDL_AUDIODRIVER", "dummy", 1);  // a sound device that opens without a sound card
    setup_renderer();
    const std::pair<GLenum, float> values[] = {
        {GL_DEPTH_CLEAR_VALUE, 1},
        {GL_DEPTH_FUNC, GL_LEQUAL},
        {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST},
        {GL_FOG_DENSITY, 0.25f},
        {GL_FOG_HINT, GL_NICEST},
        {GL_DEPTH_TEST, 1},
        {GL_COLOR_MATERIAL, 1},
        {GL_LINE_SMOOTH, 1},
    };
    for (const auto& [name, expected] : values) {
        GLfloat value[4];
        glGetFloatv(name, value);
        EXPECT_EQ(value[0], expected) << name;
    }
    // The song playing on a sound device at 44100 Hz.
    ASSERT_NE(playing_song(), nullptr);
    EXPECT_NE(selected_wave_device(), &silent_wave_device);
    EXPECT_EQ(ring_block_frames(), 884) << "not 44100 Hz";
    release_song(playing_song());
}

// Advances in font units and segment counts (a contour of n points closes in n segments).
// Bytes 0x80-0x9F are Windows-1252 (the euro, Y with diaeresis); 0x81 is undefined there and
// gets the missing glyph (1536, two squares); 255 has no glyph and measures 0.
TEST_F(Gl, GlyphsAreTheBoldFontsInWindows1252) {
    build_outline_font();
    ASSERT_TRUE(font_outlines_found());
    const std::tuple<int, int, size_t> glyphs[] = {
        {'l', 569, 4},   {'A', 1479, 15},  {' ', 569, 0},    {0x80, 1139, 32},
        {0x81, 1536, 8}, {0x9F, 1366, 17}, {0xE5, 1139, 54}, {255, 0, 0}};
    for (const auto& [code, advance, segments] : glyphs) {
        EXPECT_EQ(glyph_metrics[code].cell_inc_x, advance / em) << code;
        EXPECT_EQ(glyph_lines[code].size(), 4 * segments) << code;
    }
    const GlyphMetricsFloat l = glyph_metrics['l'];
    EXPECT_EQ(
        std::vector<float>({l.black_box_x, l.black_box_y, l.origin_x, l.origin_y, l.cell_inc_y}),
        (std::vector<float>{281 / em, 1484 / em, 143 / em, 1484 / em, 0}));
    // The o: its segments start at the on-curve points and the midpoints between two control
    // points (x, y of each), contour after contour (8 and 6); a midpoint may sit half a unit off.
    const float o[] = {1171, 542,   1025, 129.5, 621,    -20,   224, 130, 80,  542,
                       224,  952.5, 627,  1102,  1031.5, 957.5, 877, 542, 814, 822,
                       631,  909,   375,  542,   437.5,  266.5, 618, 172};
    ASSERT_EQ(glyph_lines['o'].size(), 14u * 4);
    for (int i = 0; i < 28; ++i)
        EXPECT_NEAR(glyph_lines['o'][4 * (i / 2) + i % 2], o[i] / em, 0.5f / em) << i;
    // The l on screen at 256 px to the em: each stem a segment from the baseline up, its
    // column 143 or 424 units from a pen 569 / 2 units left of column 320: 302.3 and 337.4.
    pixel_units(256);
    print_centered("l");
    EXPECT_EQ(runs_on_row(150), (Runs{{302, 303}, {337, 338}}));
    close_display_window(shell.window);  // its texts measure nothing until the next window
    EXPECT_EQ(text_width("l"), 0.0f);
}

// A text's width is the sum of its bytes' advances. print_centered draws each glyph moved on by
// the advances before it, the whole text centred on the origin (so its left end shows the
// width), and leaves the origin moved right by half the width.
TEST_F(Gl, PrintCenteredLaysTheGlyphsOutCentredOnTheOrigin) {
    // Each glyph a dash along the baseline over the first half of its advance.
    const std::pair<unsigned char, float> advances[] = {{'A', 0.5f}, {'B', 0.25f}, {0xE5, 0.125f}};
    for (const auto& [code, advance] : advances) {
        glyph_metrics[code].cell_inc_x = advance;
        glyph_lines[code] = {0, 0, advance / 2, 0};
    }
    // 1.375 em = 176 px from column 232: A, B, a with ring and A take 64, 32, 16 and 64 px.
    pixel_units(128);
    print_centered("AB\xE5\x41");  // \x41 is A: the \xE5 ends before it
    EXPECT_EQ(runs_on_row(100), (Runs{{232, 264}, {296, 312}, {328, 336}, {344, 376}}));
    EXPECT_EQ(x_now(), 320.0f + 88);
    // Texts that neither draw nor move, then a formatted one cut at 511 characters.
    glLoadIdentity();
    const char* empty = "";  // a variable: the compiler rejects a literal empty format
    print_centered(empty);
    print_centered(nullptr);
    EXPECT_EQ(x_now(), 0.0f);
    print_centered("%s", std::string(700, 'A').c_str());
    EXPECT_EQ(x_now(), 511 / 4.0f);
}

}  // namespace
