// A machine without the text font, met through fontconfig itself: it offers no font at all, so
// every glyph is empty, every text measures nothing and the texts draw nothing, while the window
// and the rest of the renderer's set-up go on. A file that is not a font reads as none too.
#include <GL/gl.h>

#include <cstdlib>

#include "app/font.h"
#include "scenes/text.h"
#include "tests/app/platform_recorder.h"

namespace {

class NoFont : public OpenWindow {
protected:
    void SetUp() override {
        // Before anything in the process asks fontconfig: the window's set-up reads the font.
        setenv("FONTCONFIG_FILE", TIRVALEX_SOURCE_DIR "/tests/app/no-fonts.conf", 1);
        OpenWindow::SetUp();
    }
};

TEST_F(NoFont, TextsMeasureAndMoveNothing) {
    EXPECT_EQ(resolve_bold_font("Arial").path, "");
    EXPECT_FALSE(font_outlines_found());
    EXPECT_EQ(text_width("Still going strong"), 0.0f);
    print_centered("Still going strong");
    GLfloat modelview[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    EXPECT_EQ(modelview[12], 0.0f) << "the pen moved by a text without glyphs";
    static GlyphOutline outlines[outline_glyph_count];
    const FontFile not_a_font{TIRVALEX_SOURCE_DIR "/tests/app/no-fonts.conf", 0};
    EXPECT_FALSE(read_glyph_outlines(not_a_font, outlines)) << "a file that is not a font";
}

}  // namespace
