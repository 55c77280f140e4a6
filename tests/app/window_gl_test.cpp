// The display window: every opening step made to fail in turn (the teardown that follows, the
// user's message), the full-screen mode and its fallback, every teardown failure, the pixel
// format, the projection and the events. The texts, orders and matrices are the window's rules
// written out by hand.
#include <GL/gl.h>

#include "tests/app/platform_recorder.h"

namespace {

using enum Answer;
using enum OpenStep;

constexpr const char* offer =
    "W Vimpa - Zelmorint: The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use "
    "Windowed Mode Instead?";
constexpr const char* closing = "E ERROR: Program Will Now Close.";
// Modes of a display without a 640x480 one.
const std::vector<DisplayMode> no_vga_modes = {{640, 400, 16, 60}, {480, 640, 16, 60}};

// A step from the window's buffers on fails: what was built is torn down (-), then the user is
// told under "ERROR" with the exclamation icon (W).
const std::pair<OpenStep, const char*> torn_down[] = {
    {buffers, "W ERROR: Can't Set The PixelFormat."},
    {window, "W ERROR: Window Creation Error."},
    {surface, "W ERROR: Can't Create A GL Device Context."},
    {pixel_format, "W ERROR: Can't Find A Suitable PixelFormat."},
    {gl_context, "W ERROR: Can't Create A GL Rendering Context."},
    {gl_current, "W ERROR: Can't Activate The GL Rendering Context."},
};

TEST_F(Shell, AFailedStepIsToldAfterTheTeardown) {
    for (const auto& [step, box] : torn_down) {
        SetUp();
        rec.opens = {step};
        EXPECT_EQ(open(), OpenOutcome::failed) << box;
        EXPECT_EQ(rec.shape, "+-!") << box;
        EXPECT_EQ(rec.boxes, std::vector<std::string>{box});
        TearDown();
    }
}

// Full screen, with its fallback. Each row: how the first open ends on the platform, whether
// the display lists a 640x480 mode, the offer's answer; the outcome, the shape and windows of
// platform_recorder.h and the boxes. Video that does not start leaves
// nothing to tear down; a display without the mode, or one that would not take it, offers a
// window, which Yes opens and No declines with the stop icon. (The shell's script runs
// "Escape with F1" and "late offer" take the offer after a refused mode, and leave it waiting.)
struct FullScreenOpen {
    OpenStep step;
    bool mode_listed;
    Answer offer_answer;
    OpenOutcome outcome;
    const char* shape;
    const char* windows;
    std::vector<std::string> boxes;
};

const FullScreenOpen full_screen_opens[] = {
    {opened, true, yes, OpenOutcome::opened, "+", "P1", {}},
    {video,
     true,
     yes,
     OpenOutcome::failed,
     "+!",
     "P1",
     {"W ERROR: Failed To Register The Window Class."}},
    {opened, false, yes, OpenOutcome::opened, "?+", "W1", {offer}},
    {opened, false, no, OpenOutcome::failed, "?!", "", {offer, closing}},
    {display_mode, true, no, OpenOutcome::failed, "+?!", "P1", {offer, closing}},
};

TEST_F(Shell, FullScreenOffersAWindowWhenTheDisplayHasNoMode) {
    for (const FullScreenOpen& row : full_screen_opens) {
        SetUp();
        rec.opens = {row.step};
        rec.answers = {row.offer_answer};
        if (!row.mode_listed) rec.modes.modes = no_vga_modes;
        const OpenOutcome outcome = open(true);
        SCOPED_TRACE(row.shape);
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(rec.shape, row.shape);
        EXPECT_EQ(rec.windows, row.windows);
        EXPECT_EQ(rec.boxes, row.boxes);
        TearDown();
    }
}

// A display that cannot list its modes is asked for the 640x480 mode at 16 bits itself.
TEST_F(Shell, ADisplayThatCannotListItsModesIsAskedForTheModeItself) {
    rec.lists_modes = false;
    rec.modes.modes.clear();
    EXPECT_EQ(open(true), OpenOutcome::opened);
    EXPECT_EQ(rec.windows, "P1");
}

// The full-screen mode for 640x480 at 16 bits: a 16-bit mode wherever it is listed, else one
// at the desktop's depth, else any 640x480 one (no 640x480 mode at all is none: the offers of a
// window above). Each row: the modes listed, the desktop's depth, the depth chosen.
struct ModeChoice {
    std::vector<DisplayMode> modes;
    int desktop_bits;
    int chosen_bits;
};

DisplayMode vga(int bits) {
    return {640, 480, bits, 60};
}

TEST(FullScreenMode, TakesSixteenBitsOrTheDesktopsDepthOrAny) {
    const ModeChoice choices[] = {
        {{vga(32), vga(16)}, 32, 16},
        {{{800, 600, 16, 60}, vga(32)}, 32, 32},
        {{vga(8), vga(24)}, 24, 24},
        {{vga(8)}, 32, 8},
    };
    for (const ModeChoice& choice : choices) {
        const DisplayModes modes = {choice.modes, {1024, 768, choice.desktop_bits, 60}};
        DisplayMode wanted = vga(16);
        EXPECT_TRUE(choose_full_screen_mode(modes, &wanted));
        EXPECT_EQ(wanted.bits_per_pixel, choice.chosen_bits) << "the depth chosen";
    }
}

// Every teardown step that failed is told under "SHUTDOWN ERROR" with the information icon,
// in the order of the steps.
TEST_F(Shell, ClosingReportsEachFailedStep) {
    ASSERT_EQ(open(), OpenOutcome::opened);
    rec.close_failures = {true, true, true, true, true};
    close_display_window(shell.window);
    const std::vector<std::string> boxes = {
        "I SHUTDOWN ERROR: Release Of DC And RC Failed.",
        "I SHUTDOWN ERROR: Release Rendering Context Failed.",
        "I SHUTDOWN ERROR: Release Device Context Failed.",
        "I SHUTDOWN ERROR: Could Not Release hWnd.",
        "I SHUTDOWN ERROR: Could Not Unregister Class.",
    };
    EXPECT_EQ(rec.boxes, boxes);
}

// The colour depth of the first open is kept for every later one: a later open at 32 bits asks
// for 16 (W2).
TEST_F(Shell, ReopeningKeepsTheFirstColourDepth) {
    open();
    close_display_window(shell.window);
    open_display_window(shell.window, toggled_window_title, 640, 480, 32, false);
    EXPECT_EQ(rec.windows, "W1 W2");
}

// 45 degrees vertically: m[5] = 1 / tan(22.5 deg) = 2.4142136, m[0] = m[5] / aspect; near 0.1
// and far 100 give m[10] = (far + near) / (near - far) = -1.002002 and m[14] = 2 far near /
// (near - far) = -0.2002002. A height of 0 counts as 1; the aspect is a ratio of the integers.
// Each row: the client size a size event sets, and the aspect. (The opening's own call shows in
// the offscreen test: its window draws as the offscreen context does.)
struct Projection {
    int width;
    int height;
    double aspect;
};

TEST_F(Shell, ProjectionIsFortyFiveDegreesOverTheClientAreaFromATenthToAHundred) {
    const Projection sizes[] = {
        {800, 600, 800.0 / 600.0},
        {800, 0, 800.0},
    };
    ASSERT_EQ(open(), OpenOutcome::opened);
    for (const Projection& size : sizes) {
        SCOPED_TRACE(size.height);
        display_window_proc({ShellEventKind::resized, 0, size.width, size.height});
        GLfloat p[16];
        GLint view[4];
        glGetFloatv(GL_PROJECTION_MATRIX, p);
        glGetIntegerv(GL_VIEWPORT, view);
        EXPECT_NEAR(p[0], 2.4142136 / size.aspect, 1e-6);
        EXPECT_NEAR(p[5], 2.4142136, 1e-6);
        EXPECT_NEAR(p[10], -1.002002, 1e-6);
        EXPECT_NEAR(p[14], -0.2002002, 1e-6);
        EXPECT_EQ(p[11], -1.0f);
        EXPECT_EQ(std::vector<GLint>(view, view + 4),
                  (std::vector<GLint>{0, 0, size.width, std::max(size.height, 1)}));
    }
}

// Key events, one after another: Escape's and F1's entries after each ("1" held). (Minimising
// and restoring show in the shell's script runs.)
TEST_F(Shell, KeyEventsFeedTheShellState) {
    const std::pair<char, const char*> steps[] = {
        {'E', "10"}, {'F', "11"}, {'e', "01"}, {'f', "00"}};
    for (const auto& [letter, expected] : steps) {
        display_window_proc(events.at(letter));
        const std::string held = {char('0' + key_down[escape_key]), char('0' + key_down[f1_key])};
        EXPECT_EQ(held, expected) << letter;
    }
}

}  // namespace
