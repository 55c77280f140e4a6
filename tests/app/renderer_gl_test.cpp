// The renderer set-up, the outline font and the opening frame, in a real GL context on the
// software renderer. Glyph expectations are the Arial Bold advance widths (2048 units to the
// em), which the resolved font shares; the pixel positions follow from the 45-degree
// projection of a 640 x 480 view and the text seven units in front of the viewer.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "app/font.h"
#include "app/renderer.h"
#include "app/shell_state.h"
#include "player/module.h"
#include "scenes/scenes.h"
#include "scenes/text.h"
#include "tests/app/gl_test_window.h"

namespace {

constexpr float units_per_em = 2048.0f;

class Renderer : public testing::Test {
protected:
    void SetUp() override {
        shell_state_reset();
        timeline_reset();
        text_reset();
        font_reset();
        open_and_set_up();
    }
    void TearDown() override {
        close_gl_test_window(gl_);
        module_free(music_module);  // stops the song the set-up started
        music_module = nullptr;
    }

    void open_and_set_up() {
        gl_ = open_gl_test_window(640, 480);
        ASSERT_NE(gl_.context, nullptr) << SDL_GetError();
        set_test_perspective(640, 480);
        EXPECT_TRUE(setup_renderer());
    }

    GlTestWindow gl_{};
};

GLint integer_of(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

float float_of(GLenum name) {
    GLfloat value = 0.0f;
    glGetFloatv(name, &value);
    return value;
}

TEST_F(Renderer, SetupLeavesTheStateEverySceneStartsFrom) {
    EXPECT_EQ(integer_of(GL_SHADE_MODEL), GL_SMOOTH);
    GLfloat clear_colour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear_colour);
    EXPECT_EQ(std::vector<float>(clear_colour, clear_colour + 4),
              (std::vector<float>{1.0f, 1.0f, 1.0f, 0.5f}));
    EXPECT_EQ(float_of(GL_DEPTH_CLEAR_VALUE), 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(integer_of(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(integer_of(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));
    // What the scenes switch on themselves stays off.
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Renderer, FogIsLinearIntoBlackFromZeroToThirtyAndStaysOff) {
    EXPECT_EQ(integer_of(GL_FOG_MODE), GL_LINEAR);
    GLfloat colour[4];
    glGetFloatv(GL_FOG_COLOR, colour);
    EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(float_of(GL_FOG_DENSITY), 0.25f);
    EXPECT_EQ(integer_of(GL_FOG_HINT), GL_NICEST);
    EXPECT_EQ(float_of(GL_FOG_START), 0.0f);
    EXPECT_EQ(float_of(GL_FOG_END), 30.0f);
    EXPECT_FALSE(glIsEnabled(GL_FOG));
}

TEST_F(Renderer, GlyphListsDrawTheBoldFontOneUnitPerEm) {
    ASSERT_TRUE(font_outlines_found());
    ASSERT_NE(font_list_base, 0u);
    for (int code = 0; code < 255; ++code) {
        EXPECT_TRUE(glIsList(font_list_base + code)) << code;
    }
    EXPECT_FLOAT_EQ(glyph_metrics['A'].cell_inc_x, 1479 / units_per_em);
    EXPECT_FLOAT_EQ(glyph_metrics['W'].cell_inc_x, 1933 / units_per_em);
    EXPECT_FLOAT_EQ(glyph_metrics[' '].cell_inc_x, 569 / units_per_em);
    // Bytes 128 to 159 are read in Windows-1252: the euro sign and the right quote, not the
    // missing-character box (1536 units) that the control points of those values would give.
    EXPECT_FLOAT_EQ(glyph_metrics[0x80].cell_inc_x, 1139 / units_per_em);
    EXPECT_FLOAT_EQ(glyph_metrics[0x92].cell_inc_x, 569 / units_per_em);
    EXPECT_EQ(glyph_metrics[255].cell_inc_x, 0.0f);
    EXPECT_EQ(glyph_metrics[255].black_box_y, 0.0f);

    // The l is a plain rectangle: one loop of four segments, then the advance.
    set_test_text_view();
    EXPECT_EQ(count_line_segments([] { glCallList(font_list_base + 'l'); }), 4);
    EXPECT_FLOAT_EQ(modelview_x(), 569 / units_per_em);
    // One contour per loop: the A and the O have an outer edge and a counter each, the a with
    // ring two more for the ring.
    EXPECT_EQ(font_outlines()['A'].contour_ends.size(), 2u);
    EXPECT_EQ(font_outlines()['O'].contour_ends.size(), 2u);
    EXPECT_EQ(font_outlines()[0xE5].contour_ends.size(), 4u);
}

TEST_F(Renderer, SetupStartsTheEmbeddedSongAndReplacesAnEarlierOne) {
    EXPECT_TRUE(file_callbacks_installed());
    ASSERT_NE(music_module, nullptr);
    EXPECT_GT(music_module->song_length, 0);
    // A second set-up, as after a display toggle, frees the first module and loads a new one.
    EXPECT_TRUE(setup_renderer());
    ASSERT_NE(music_module, nullptr);
    EXPECT_GT(music_module->song_length, 0);
}

// The on-curve points of a glyph's stored outline plus the implied on-curve midpoints between
// consecutive conic control points: the end points of its curve pieces, in em units.
std::vector<std::pair<float, float>> piece_end_points(FT_Face face, uint32_t code_point) {
    std::vector<std::pair<float, float>> points;
    FT_Load_Char(face, code_point, FT_LOAD_NO_SCALE);
    const FT_Outline& outline = face->glyph->outline;
    int first = 0;
    for (int contour = 0; contour < outline.n_contours; ++contour) {
        const int last = outline.contours[contour];
        for (int i = first; i <= last; ++i) {
            const int next = i == last ? first : i + 1;
            const int tag = FT_CURVE_TAG(outline.tags[i]);
            const FT_Vector& p = outline.points[i];
            if (tag == FT_CURVE_TAG_ON) points.emplace_back(p.x / units_per_em, p.y / units_per_em);
            if (tag == FT_CURVE_TAG_CONIC &&
                FT_CURVE_TAG(outline.tags[next]) == FT_CURVE_TAG_CONIC) {
                const FT_Vector& q = outline.points[next];
                points.emplace_back((p.x + q.x) / 2.0f / units_per_em,
                                    (p.y + q.y) / 2.0f / units_per_em);
            }
        }
        first = last + 1;
    }
    return points;
}

TEST_F(Renderer, CurvePiecesAreDrawnAsTheirChords) {
    const FontFile file = resolve_bold_font("Arial");
    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Face(library, file.path.c_str(), file.face_index, &face), 0);
    ASSERT_EQ(face->units_per_EM, 2048);
    for (const int code : {int{'O'}, int{'S'}, int{'g'}, int{'@'}, 0xE5}) {
        const GlyphOutline& outline = font_outlines()[code];
        std::vector<std::pair<float, float>> drawn;
        for (size_t i = 0; i < outline.points.size(); i += 2) {
            drawn.emplace_back(outline.points[i], outline.points[i + 1]);
        }
        const std::vector<std::pair<float, float>> expected =
            piece_end_points(face, windows_1252_code_point(code));
        ASSERT_EQ(drawn.size(), expected.size()) << code;
        // Each end point drawn once; midpoints may sit half a font unit off where the walk
        // halves in whole units.
        for (const std::pair<float, float>& point : expected) {
            const auto match = std::find_if(drawn.begin(), drawn.end(), [&](const auto& d) {
                return std::fabs(d.first - point.first) <= 0.5f / units_per_em &&
                       std::fabs(d.second - point.second) <= 0.5f / units_per_em;
            });
            ASSERT_NE(match, drawn.end()) << code << ": " << point.first << "," << point.second;
            drawn.erase(match);
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

TEST_F(Renderer, GlyphListsExistAgainInTheNextContext) {
    close_gl_test_window(gl_);
    free_outline_font();  // as the last step of a window's teardown: no context is current
    open_and_set_up();
    ASSERT_NE(font_list_base, 0u);
    EXPECT_TRUE(glIsList(font_list_base + 'A'));
    set_test_text_view();
    EXPECT_EQ(count_line_segments([] { glCallList(font_list_base + 'l'); }), 4);
    EXPECT_FLOAT_EQ(glyph_metrics['A'].cell_inc_x, 1479 / units_per_em);
}

TEST_F(Renderer, AMissingFontLeavesEmptyListsAndZeroMetrics) {
    for (const char* path : {"/nonexistent/font.ttf", TIRVALEX_SOURCE_DIR "/README.md"}) {
        font_reset();
        use_font_file(path);
        build_outline_font();
        EXPECT_FALSE(font_outlines_found()) << path;
        for (int code = 0; code < 256; ++code) {
            EXPECT_EQ(glyph_metrics[code].cell_inc_x, 0.0f) << code;
        }
        set_test_text_view();
        EXPECT_EQ(count_line_segments([] { print_centered("Still going strong"); }), 0);
        EXPECT_EQ(modelview_x(), 0.0f);
    }
}

// The opening frame as a person sees it. Seven units in front of a 45-degree view, one em is
// 240 / (7 tan 22.5 degrees) = 82.77 pixels; the view axis is column 320, the baseline lies on
// the line between rows 239 and 240.
class OpeningFrame : public Renderer {
protected:
    static constexpr int width = 640;
    static constexpr int height = 480;
    const float pixels_per_em = 240.0f / (7.0f * std::tan(22.5f * 3.14159265f / 180.0f));

    float column_of(float x_em) const { return 320.0f + x_em * pixels_per_em; }
    float row_of(float y_em) const { return 240.0f + y_em * pixels_per_em; }
    bool ink_at(int column, int row) const { return pixels_[(row * width + column) * 3] < 128; }
    // Whether a pixel within one column of x_em at the row of y_em is dark.
    bool ink_near(float x_em, float y_em) const {
        const int column = static_cast<int>(column_of(x_em));
        const int row = static_cast<int>(row_of(y_em));
        return ink_at(column - 1, row) || ink_at(column, row) || ink_at(column + 1, row);
    }

    std::vector<unsigned char> pixels_;
};

TEST_F(OpeningFrame, ShowsOnlyTheTitleLineCentredOnTheViewAxis) {
    ASSERT_TRUE(font_outlines_found());
    EXPECT_TRUE(render_frame());
    EXPECT_EQ(current_scene, 2);  // the song has only just started
    pixels_ = read_back_pixels(width, height);

    // White and grey-to-black pixels only, the dark ones inside the band of the line: from the
    // g's descender (434 units below the baseline) to the top of the l (1484 above).
    int ink = 0;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned char* p = &pixels_[(row * width + column) * 3];
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << column << "," << row;
            if (p[0] == 255) continue;
            ++ink;
            EXPECT_GE(row, static_cast<int>(row_of(-434 / units_per_em)) - 2) << column;
            EXPECT_LE(row, static_cast<int>(row_of(1484 / units_per_em)) + 2) << column;
        }
    }
    EXPECT_GT(ink, 1000);

    // "Still going strong" in Arial Bold widths: S 1366, t 682, i 569, l 569, space 569,
    // g 1251, o 1251, n 1251, s 1139, r 797; 16837 units in all, centred on x = 0.
    const float left = -16837 / units_per_em / 2.0f;
    const float second_l = left + (1366 + 682 + 569 + 569) / units_per_em;
    // The l's stem is drawn as its outline: two vertical edges (at 143 and 424 units from
    // the l's origin) with nothing between them.
    const float stem_height = 0.35f;
    EXPECT_TRUE(ink_near(second_l + 143 / units_per_em, stem_height));
    EXPECT_TRUE(ink_near(second_l + 424 / units_per_em, stem_height));
    EXPECT_FALSE(ink_near(second_l + 283 / units_per_em, stem_height));
    // The two spaces are empty from the top of the band to the bottom.
    const float spaces[2] = {left + 3755 / units_per_em,
                             left + (3755 + 569 + 1251 * 4 + 569) / units_per_em};
    for (const float space : spaces) {
        const int first_column = static_cast<int>(std::ceil(column_of(space))) + 1;
        const int last_column = static_cast<int>(column_of(space + 569 / units_per_em)) - 1;
        ASSERT_LT(first_column + 10, last_column);
        for (int column = first_column; column <= last_column; ++column) {
            for (int row = 0; row < height; ++row) {
                EXPECT_FALSE(ink_at(column, row)) << column << "," << row;
            }
        }
    }
}

}  // namespace
