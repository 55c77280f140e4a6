// The display window: every opening and teardown step made to fail in turn (the steps that ran,
// the teardown that follows, the user's message, no handle left), the full-screen fallback, the
// pixel-format request, the projection and the window procedure. The step orders, texts and
// matrices are the window's rules written out by hand.
#include <GL/gl.h>

#include <cstring>

#include "tests/app/platform_recorder.h"

namespace {

// Opening a windowed window and closing it, step by step (names in platform_recorder.h).
#define OPENED "mod reg win dc choose setpf ctx cur show setup"
#define CLOSED "uncur delctx reldc delwin unreg"
#define OFFER                                                                               \
    "boxW:Vimpa - Zelmorint:The Requested Fullscreen Mode Is Not Supported By\nYour Video " \
    "Card. Use Windowed Mode Instead?"
#define REFUSED "mod reg mode 640x480x16 " OFFER
#define UNMADE "mod reg mode 640x480x16 cursor0 win restore cursor1 " OFFER
#define CLOSES " boxE:ERROR:Program Will Now Close."

// Each row: the failing step, the mode asked for (W windowed, P full screen; Y and N full screen
// and the offer of a window answered Yes or No), the windows made, the steps logged and the
// failure message shown under "ERROR" with the exclamation icon.
const std::tuple<const char*, char, const char*, const char*, const char*> open_cases[] = {
    // clang-format off
    {"",       'W', "W1", OPENED, ""},
    {"",       'P', "P1", "mod reg mode 640x480x16 cursor0 win dc choose setpf ctx cur show setup", ""},
    {"reg",    'P', "",   "mod reg", "Failed To Register The Window Class."},
    {"win",    'W', "W1", "mod reg win unreg", "Window Creation Error."},
    {"dc",     'W', "W1", "mod reg win dc delwin unreg", "Can't Create A GL Device Context."},
    {"choose", 'W', "W1", "mod reg win dc choose reldc delwin unreg", "Can't Find A Suitable PixelFormat."},
    {"setpf",  'W', "W1", "mod reg win dc choose setpf reldc delwin unreg", "Can't Set The PixelFormat."},
    {"ctx",    'W', "W1", "mod reg win dc choose setpf ctx reldc delwin unreg", "Can't Create A GL Rendering Context."},
    {"cur",    'W', "W1", "mod reg win dc choose setpf ctx cur " CLOSED, "Can't Activate The GL Rendering Context."},
    {"setup",  'W', "W1", OPENED " " CLOSED, "Initialization Failed."},
    // A refused mode: Yes opens windowed without touching the cursor; No ends.
    {"mode 640x480x16", 'Y', "W1", REFUSED " win dc choose setpf ctx cur show setup", ""},
    {"mode 640x480x16", 'N', "",   REFUSED CLOSES, ""},
    // A full-screen window that cannot be made is a mode the display could not take: display
    // and cursor are put back before the same offer.
    {"win#1",  'Y', "P1 W1", UNMADE " win dc choose setpf ctx cur show setup", ""},
    {"win#1",  'N', "P1",    UNMADE CLOSES, ""},
    // clang-format on
};

TEST_F(Shell, OpeningRunsItsStepsInOrderAndTearsDownWhatWasBuiltOnFailure) {
    for (const auto& [failing, mode, windows, steps, message] : open_cases) {
        SetUp();
        rec.failing = {failing};
        rec.answers = {mode == 'Y' ? ID_YES : ID_NO};
        const bool opened = open_display_window("Tirvalex3", 640, 480, 16, mode != 'W');
        EXPECT_EQ(log() + " | " + rec.windows,
                  steps + std::string(*message ? " boxW:ERROR:" : "") + message + " | " + windows);
        EXPECT_EQ(opened, !*message && std::string(steps).ends_with("setup")) << failing;
        if (!opened) expect_no_handles();
        TearDown();
    }
}

// The full-screen request (640x480 at 16 bits) against the modes a display lists: a 16-bit
// mode wherever it is listed, else one at the desktop's depth, else any 640x480 one; no 640x480
// mode at all is not supported. Formats: RGB565 is stored in 16 bits, RGB888 in 32 (padded),
// RGB24 in 24, INDEX8 in 8. Each row: the modes listed, the desktop's format, the format chosen
// (0: none).
DisplayModeList listed;
bool lists = true;
constexpr SDL_DisplayMode m(int w, int h, uint32_t format) {
    return {format, w, h, 60, nullptr};
}
constexpr uint32_t B16 = SDL_PIXELFORMAT_RGB565, B32 = SDL_PIXELFORMAT_RGB888,
                   B24 = SDL_PIXELFORMAT_RGB24, B8 = SDL_PIXELFORMAT_INDEX8;
// clang-format off
const std::tuple<std::vector<SDL_DisplayMode>, uint32_t, uint32_t> mode_cases[] = {
    {{m(640, 480, B32), m(640, 480, B16)}, B32, B16}, {{m(800, 600, B16), m(640, 480, B32)}, B32, B32},
    {{m(640, 480, B8), m(640, 480, B24)}, B24, B24}, {{m(640, 480, B8)}, B32, B8},
    {{m(640, 400, B16), m(480, 640, B16)}, B16, 0}, {{}, B16, 0}};
// clang-format on

TEST_F(Shell, FullScreenTakesA640x480ModeAtSixteenBitsOrTheDesktopsDepth) {
    platform.change_display_settings = sdl_platform.change_display_settings;
    platform.list_display_modes = [](DisplayModeList* list) { return *list = listed, lists; };
    const DisplayModeRequest request = {640, 480, 16};
    for (const auto& [modes, desktop, format] : mode_cases) {
        listed = {modes, m(1024, 768, desktop)};
        platform.change_display_settings(nullptr, 0);  // forgets the last choice
        EXPECT_EQ(platform.change_display_settings(&request, CDS_FULLSCREEN),
                  format ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE);
        SDL_DisplayMode chosen = {};
        EXPECT_EQ(chosen_full_screen_mode(&chosen), format != 0);
        EXPECT_EQ(std::tuple(chosen.format, chosen.w, chosen.h),
                  std::tuple(format, format ? 640 : 0, format ? 480 : 0))
            << modes.size();
    }
    lists = false;  // a display that cannot tell its modes
    EXPECT_EQ(platform.change_display_settings(&request, CDS_FULLSCREEN), DISP_CHANGE_FAILED);
}

// Closing with nothing open (as at the start, full_screen_mode still true), then a windowed
// window whose every teardown step fails: each failure is reported with its own text and the
// steps after it still run.
#define SHUTDOWN " boxI:SHUTDOWN ERROR:"
TEST_F(Shell, ClosingReportsEachFailedStepAndGoesOn) {
    close_display_window();
    EXPECT_EQ(log(), "restore cursor1 unreg");
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    log();
    rec.failing = {"uncur", "delctx", "reldc", "delwin", "unreg"};
    close_display_window();
    EXPECT_EQ(log(), "uncur" SHUTDOWN "Release Of DC And RC Failed. delctx" SHUTDOWN
                     "Release Rendering Context Failed. reldc" SHUTDOWN
                     "Release Device Context Failed. delwin" SHUTDOWN
                     "Could Not Release hWnd. unreg" SHUTDOWN "Could Not Unregister Class.");
    expect_no_handles();
}

// The pixel-format request is made on the first open and kept, colour depth included: 40
// bytes, version 1, draw to window | OpenGL | double buffer (0x25), RGBA, 16-bit depth buffer,
// nothing else. A later open at 32 bits makes its window (W2) at the first open's 16.
TEST_F(Shell, ReopeningKeepsTheFirstPixelFormatRequest) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    close_display_window();
    ASSERT_TRUE(open_display_window("Joka's Outline Font Tutorial", 640, 480, 32, false));
    EXPECT_EQ(rec.windows, "W1 W2");
    const PixelFormatRequest expected = {40, 1, 0x25, PFD_TYPE_RGBA, 16, 0, 0, 16, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&pixel_format_request, &expected, sizeof expected), 0);
}

// 45 degrees vertically: m[5] = 1 / tan(22.5 deg) = 2.4142136, m[0] = m[5] / aspect; near 0.1
// and far 100 give m[10] = (far + near) / (near - far) = -1.002002 and m[14] = 2 far near /
// (near - far) = -0.2002002. A height of 0 counts as 1; the aspect is a ratio of the integers.
// Each row: the client size, set by the opening (640 x 480) or by a size message, and the aspect.
TEST_F(Shell, ProjectionIsFortyFiveDegreesOverTheClientAreaFromATenthToAHundred) {
    // clang-format off
    const std::tuple<int, int, double> sizes[] = {{640, 480, 640.0 / 480.0}, {800, 600, 800.0 / 600.0}, {800, 0, 800.0}};
    // clang-format on
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    for (const auto& [width, height, aspect] : sizes) {
        const WindowMessage size = {WM_SIZE, 0, intptr_t(make_word_pair(width, height))};
        EXPECT_EQ(width == 640 ? 0 : display_window_proc(window_handle, &size), 0);
        GLfloat p[16];
        GLint view[4];
        glGetFloatv(GL_PROJECTION_MATRIX, p);
        glGetIntegerv(GL_VIEWPORT, view);
        // clang-format off
        const double expected[][2] = {{p[0], 2.4142136 / aspect}, {p[5], 2.4142136}, {p[10], -1.002002},
            {p[14], -0.2002002}, {p[11], -1}};
        // clang-format on
        for (const auto& [got, want] : expected)
            EXPECT_NEAR(got, want, 1e-6) << width;
        EXPECT_EQ(std::vector<GLint>(view, view + 4),
                  (std::vector<GLint>{0, 0, width, std::max(height, 1)}));
    }
}

// The window procedure, message after message: its result, then Escape's and F1's entries and
// the active flag ("1" set), and what went to the platform. Only the high word of the
// activation (minimised) counts: the low word would flip both activation rows. Key codes past the
// table are ignored.
TEST_F(Shell, WindowProcedureFeedsTheShellState) {
    // clang-format off
    const std::pair<WindowMessage, const char*> steps[] = {
        {{WM_KEYDOWN, 27, 0}, "0 101"}, {{WM_KEYDOWN, 112, 0}, "0 111"}, {{WM_KEYUP, 27, 0}, "0 011"},
        {{WM_KEYDOWN, 0x10000 + 27, 0}, "0 011"}, {{WM_KEYUP, 256, 0}, "0 011"},
        {{WM_ACTIVATE, make_word_pair(WA_INACTIVE, 1), 0}, "0 010"}, {{WM_ACTIVATE, make_word_pair(WA_ACTIVE, 0), 0}, "0 011"},
        {{WM_SYSCOMMAND, SC_SCREENSAVE, 0}, "0 011"}, {{WM_SYSCOMMAND, SC_MONITORPOWER, 0}, "0 011"},
        {{WM_SYSCOMMAND, SC_SCREENSAVE + 1, 0}, "7 011default"}, {{WM_CLOSE, 0, 0}, "0 011quit"}, {{WM_NULL, 0, 0}, "7 011default"}};
    // clang-format on
    for (const auto& [message, expected] : steps) {
        const intptr_t result = display_window_proc(nullptr, &message);
        EXPECT_EQ(std::to_string(result) + " " + char('0' + key_down[27]) +
                      char('0' + key_down[112]) + char('0' + window_active) + log(),
                  expected)
            << message.code << " " << message.wparam;
    }
}

}  // namespace
