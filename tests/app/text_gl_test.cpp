// print_centered and text_width: the width comes from the glyph metrics, the matrix moves
// left by half of it, the lists then move it on by the advances. Most cases use hand-made
// metrics and lists; the Latin-1 case uses the real font, whose advances are those of the
// Arial Bold metrics (2048 units to the em).
#include <gtest/gtest.h>

#include <string>

#include "app/font.h"
#include "app/renderer.h"
#include "scenes/text.h"
#include "tests/app/gl_test_window.h"

namespace {

class Text : public testing::Test {
protected:
    void SetUp() override {
        text_reset();
        font_reset();
        gl_ = open_gl_test_window();
        ASSERT_NE(gl_.context, nullptr) << SDL_GetError();
        set_test_text_view();
    }
    void TearDown() override { close_gl_test_window(gl_); }

    // Gives every code a list that only moves the origin by `list_advance` (0: empty lists)
    // and the metrics `advance`, except code 255, which stays empty and zero.
    void use_hand_made_font(float advance, float list_advance) {
        font_list_base = glGenLists(256);
        for (int code = 0; code < 255; ++code) {
            glyph_metrics[code].cell_inc_x = advance;
            glNewList(font_list_base + code, GL_COMPILE);
            if (list_advance != 0.0f) glTranslatef(list_advance, 0.0f, 0.0f);
            glEndList();
        }
    }

    // Draws a text centred in a view one em and a quarter high (baseline at the bottom) and
    // counts the dark pixels between two heights in em.
    int ink_between_heights(const char* text, float low, float high) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1.0, 1.0, 0.0, 1.25, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0.0f, 0.0f, 0.0f);
        print_centered("%s", text);
        const std::vector<unsigned char> pixels = read_back_pixels(640, 480);
        int ink = 0;
        for (int row = 0; row < 480; ++row) {
            const float height = (row + 0.5f) * 1.25f / 480.0f;
            if (height < low || height > high) continue;
            for (int column = 0; column < 640; ++column) {
                ink += pixels[(row * 640 + column) * 3] < 128;
            }
        }
        glLoadIdentity();
        return ink;
    }

    GlTestWindow gl_{};
};

TEST_F(Text, WidthAddsTheAdvancesOfTheBytesWithCode255MeasuringZero) {
    glyph_metrics['A'].cell_inc_x = 0.5f;
    glyph_metrics['B'].cell_inc_x = 0.25f;
    glyph_metrics[0xE5].cell_inc_x = 0.125f;
    glyph_metrics[255].cell_inc_x = 0.0f;
    EXPECT_EQ(text_width(""), 0.0f);
    EXPECT_EQ(text_width("AB"), 0.75f);
    EXPECT_EQ(text_width("ABA"), 1.25f);
    EXPECT_EQ(text_width("A\xE5"), 0.625f);  // a byte above 127 has its own metrics
    EXPECT_EQ(text_width("A\xFF\xFF"), 0.5f);
}

TEST_F(Text, PrintCenteredMovesTheMatrixLeftByHalfTheFormattedWidth) {
    use_hand_made_font(0.5f, 0.0f);  // lists that draw nothing and do not move
    glTranslatef(1.0f, 0.0f, 0.0f);
    print_centered("ABC");
    EXPECT_FLOAT_EQ(modelview_x(), 1.0f - 0.75f);

    glLoadIdentity();
    print_centered("%d-%s", 42, "xy");  // "42-xy": five characters
    EXPECT_FLOAT_EQ(modelview_x(), -1.25f);
}

TEST_F(Text, EmptyOrNullTextNeitherDrawsNorMovesTheMatrix) {
    use_hand_made_font(0.5f, 0.5f);
    glTranslatef(3.0f, 0.0f, 0.0f);
    const int segments = count_line_segments([] {
        const char* empty = "";  // through a variable: the compiler rejects a literal ""
        print_centered(empty);
        print_centered(nullptr);
        print_centered("%s", "");
    });
    EXPECT_EQ(segments, 0);
    EXPECT_FLOAT_EQ(modelview_x(), 3.0f);
}

TEST_F(Text, CodeTwoFiftyFiveNeitherMeasuresNorMoves) {
    build_outline_font();
    EXPECT_EQ(glyph_metrics[255].cell_inc_x, 0.0f);
    print_centered("\xFF\xFF\xFF");
    EXPECT_EQ(modelview_x(), 0.0f);
}

TEST_F(Text, ALongerTextIsCutAt511CharactersInsideTheBuffer) {
    use_hand_made_font(1.0f, 1.0f);  // each character one unit wide and moving one unit
    const std::string long_text(700, 'A');
    print_centered("%s", long_text.c_str());
    // 511 characters measured and drawn: -511/2 for the centring, then +511 by the lists.
    EXPECT_FLOAT_EQ(modelview_x(), 255.5f);
}

TEST_F(Text, LatinOneLettersAreMeasuredAndDrawnWithTheirOwnGlyphs) {
    build_outline_font();
    ASSERT_TRUE(font_outlines_found());
    // a with ring and A with ring share the advances of a (1139) and A (1479).
    EXPECT_FLOAT_EQ(text_width("\xE5"), 1139.0f / 2048.0f);
    EXPECT_FLOAT_EQ(text_width("\xC5"), 1479.0f / 2048.0f);
    EXPECT_FLOAT_EQ(text_width("h\xE5l"), (1251.0f + 1139.0f + 569.0f) / 2048.0f);
    // Drawn large, the a with ring has ink above the a's x-height (1122 of 2048 units), where
    // the plain a has none: the ring is drawn from the byte's own glyph.
    EXPECT_GT(ink_between_heights("\xE5", 0.6f, 0.8f), 0);
    EXPECT_EQ(ink_between_heights("a", 0.6f, 0.8f), 0);
    EXPECT_GT(ink_between_heights("a", 0.1f, 0.5f), 0);
    // After the text the origin is half its width right of where it was.
    glLoadIdentity();
    print_centered("h\xE5l");
    EXPECT_FLOAT_EQ(modelview_x(), (1251.0f + 1139.0f + 569.0f) / 2048.0f / 2.0f);
}

}  // namespace
