// The renderer set-up, the outline font and the text routine in a real context. Glyph figures
// are those of the bold "Arial" fontconfig gives (Liberation Sans Bold, 2048 units to the em),
// read off the font's own tables: the l is the rectangle (143, 0)-(424, 1484) with an advance
// of 569; the o is two contours of quadratic pieces whose chords end at the points below.
#include <GL/gl.h>

#include <array>
#include <string>

#include "app/font.h"
#include "app/renderer.h"
#include "app/sdl_wave_device.h"
#include "player/audio_format.h"
#include "player/ring.h"
#include "player/wave_device.h"
#include "scenes/text.h"
#include "tests/app/platform_recorder.h"

namespace {

constexpr float em = 2048.0f;

class Gl : public Shell {
protected:
    void SetUp() override {
        Shell::SetUp();
        text_reset();  // the font is read once per process, from its start state
        ASSERT_TRUE(open_offline_window("gl", 640, 480));
    }
    static float x_now() {
        GLfloat m[16];
        return glGetFloatv(GL_MODELVIEW_MATRIX, m), m[12];
    }
};

TEST_F(Gl, SetUpLeavesTheSceneStateAndStartsTheEmbeddedSong) {
    // The fog's ramp (linear from 0 to 30 units into black) shows in the tunnel scene's colours.
    glClearDepth(0.5);  // a value other than GL's start value, which the set-up resets
    EXPECT_TRUE(setup_renderer());
    // clang-format off
    const std::pair<GLenum, std::array<float, 4>> values[] = {
        {GL_DEPTH_CLEAR_VALUE, {1}}, {GL_DEPTH_FUNC, {GL_LEQUAL}}, {GL_PERSPECTIVE_CORRECTION_HINT, {GL_NICEST}},
        {GL_FOG_DENSITY, {0.25f}}, {GL_FOG_HINT, {GL_NICEST}}, {GL_DEPTH_TEST, {1}}, {GL_COLOR_MATERIAL, {1}},
        {GL_LINE_SMOOTH, {1}}, {GL_LIGHTING, {0}}, {GL_BLEND, {0}}, {GL_TEXTURE_2D, {0}}, {GL_FOG, {0}}};
    // clang-format on
    for (const auto& [name, expected] : values) {
        std::array<float, 4> value{};
        glGetFloatv(name, value.data());
        EXPECT_EQ(value, expected) << name;
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // The song: the memory-file callbacks, a sound device at 44100 Hz, the module playing.
    EXPECT_TRUE(file_callbacks_installed() && selected_wave_device() != &silent_wave_device &&
                output_rate == 44100 && music_module != nullptr && current_module == music_module);
    module_free(music_module), music_module = nullptr;  // stops the song
}

// Advances in font units and contour counts. Bytes 0x80-0x9F are Windows-1252 (the euro, Y
// with diaeresis); 0x81 is undefined there and, like 0, gets the missing glyph
// (1536, two contours); 255 has no glyph and measures 0.
TEST_F(Gl, GlyphsAreTheBoldFontsInWindows1252) {
    build_outline_font();
    ASSERT_TRUE(font_outlines_found());
    const std::tuple<int, int, size_t> glyphs[] = {
        {0, 1536, 2},    {'l', 569, 1},   {'A', 1479, 2},  {' ', 569, 0}, {0x80, 1139, 1},
        {0x81, 1536, 2}, {0x9F, 1366, 3}, {0xE5, 1139, 4}, {255, 0, 0}};
    for (const auto& [code, advance, contours] : glyphs)
        EXPECT_EQ(std::pair(glyph_metrics[code].cell_inc_x,
                            code < 255 ? font_outlines()[code].contour_ends.size() : 0u),
                  std::pair(advance / em, contours))
            << code;
    const GlyphMetricsFloat l = glyph_metrics['l'];
    EXPECT_EQ(
        std::vector<float>({l.black_box_x, l.black_box_y, l.origin_x, l.origin_y, l.cell_inc_y}),
        (std::vector<float>{281 / em, 1484 / em, 143 / em, 1484 / em, 0}));
    // The l's list is one loop of four segments (a token and two 2-D vertices each in feedback
    // mode, drawn 5 units deep), then the advance.
    GLfloat feedback[64];
    glFeedbackBuffer(64, GL_2D, feedback), glRenderMode(GL_FEEDBACK);
    glTranslatef(0.0f, 0.0f, -5.0f), glCallList(font_list_base + 'l');
    EXPECT_EQ(glRenderMode(GL_RENDER), 4 * 5);
    EXPECT_EQ(x_now(), 569 / em);
    // The o: on-curve points and the midpoints between two control points, the closing point
    // dropped (the loop closes itself); a midpoint may sit half a unit off.
    const float o[][2] = {{1171, 542},  {1025, 129.5}, {621, -20},      {224, 130}, {80, 542},
                          {224, 952.5}, {627, 1102},   {1031.5, 957.5}, {877, 542}, {814, 822},
                          {631, 909},   {375, 542},    {437.5, 266.5},  {618, 172}};
    const GlyphOutline& drawn = font_outlines()['o'];
    EXPECT_EQ(drawn.contour_ends, (std::vector<uint32_t>{8, 14}));
    ASSERT_EQ(drawn.points.size(), 28u);
    for (int i = 0; i < 28; ++i)
        EXPECT_NEAR(drawn.points[i], o[i / 2][i % 2] / em, 0.5f / em) << i;
    free_outline_font();  // in its context: the lists go
    EXPECT_FALSE(glIsList(font_list_base + 'A'));
}

TEST_F(Gl, WithoutTheFontTextsMeasureNothing) {
    use_font_file("/nonexistent/font.ttf");
    build_outline_font();
    EXPECT_FALSE(font_outlines_found());
    print_centered("Still going strong");
    EXPECT_EQ(x_now(), 0.0f);
    // The real font chosen by its file: asking whether it was found reads it.
    use_font_file(resolve_bold_font("Arial").path.c_str());
    EXPECT_TRUE(font_outlines_found());
}

// A text's width is the sum of its bytes' advances (255 counts 0). print_centered moves the
// origin left by half of it, then each list moves it on; the list state is put back.
TEST_F(Gl, PrintCenteredCentresOnTheOriginAndKeepsTheListBase) {
    glyph_metrics['A'].cell_inc_x = 0.5f;
    glyph_metrics['B'].cell_inc_x = 0.25f;
    glyph_metrics[0xE5].cell_inc_x = 0.125f;
    const std::pair<const char*, float> widths[] = {
        {"", 0}, {"AB", 0.75f}, {"ABA", 1.25f}, {"A\xE5", 0.625f}, {"A\xFF\xFF", 0.5f}};
    for (const auto& [text, width] : widths)
        EXPECT_EQ(text_width(text), width) << text;

    // Now every code but 255 measures 0.5 and has a list that moves the origin by 1.
    font_list_base = glGenLists(256);
    for (int code = 0; code < 255; ++code) {
        glyph_metrics[code].cell_inc_x = 0.5f;
        glNewList(font_list_base + code, GL_COMPILE), glTranslatef(1, 0, 0), glEndList();
    }
    glListBase(5);
    glTranslatef(1.0f, 0.0f, 0.0f);
    print_centered("ABC");
    EXPECT_EQ(x_now(), 1.0f - 0.75f + 3);
    GLint base = 0;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(base + glGetError(), 5u);
    // One character, then "42-xy", then texts that neither draw nor move.
    glLoadIdentity();
    const char* empty = "";  // a variable: the compiler rejects a literal empty format
    print_centered("A"), print_centered("%d-%s", 42, "xy"), print_centered(empty);
    print_centered(nullptr), print_centered("\xFF\xFF\xFF");
    EXPECT_EQ(x_now(), -0.25f + 1 - 1.25f + 5);
    glLoadIdentity();  // a long text is cut at 511 characters: centred on them, then moved by each
    print_centered("%s", std::string(700, 'A').c_str());
    EXPECT_EQ(x_now(), -511 / 4.0f + 511);
}

}  // namespace
