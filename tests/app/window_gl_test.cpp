// The display window: every opening and teardown step made to fail in turn (the steps that ran,
// the teardown that follows, the user's message, no handle left), the full-screen fallback, the
// pixel-format request, the projection and the window procedure. The step orders, texts and
// matrices are the window's rules written out by hand.
#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "tests/app/platform_recorder.h"

namespace {

// Opening a windowed window and closing it, step by step (names in platform_recorder.h).
#define OPENED "mod reg win dc choose setpf ctx cur show setup"
#define CLOSED "uncur delctx reldc delwin unreg"
#define FAILED "boxW:ERROR:"
#define OFFER                                                                               \
    "boxW:Vimpa - Zelmorint:The Requested Fullscreen Mode Is Not Supported By\nYour Video " \
    "Card. Use Windowed Mode Instead?"
#define REFUSED "mod reg mode 640x480x16 " OFFER
#define UNMADE "mod reg mode 640x480x16 cursor0 win restore cursor1 " OFFER
#define CLOSES " boxE:ERROR:Program Will Now Close."
constexpr const char* windowed = "6cf0000 640x480+0+0 16 Tirvalex3";  // overlapped | clip children
constexpr const char* popup = "86000000 640x480+0+0 16 Tirvalex3";    // popup | clip children

// Each row: the failing step, the mode asked for (W windowed, P full screen; Y, N and C full
// screen and the offer of a window answered Yes, No or closed), the windows made (W windowed,
// P popup), the steps logged and the failure message shown under "ERROR" with the exclamation
// icon.
struct OpenCase {
    const char* failing;
    char mode;
    const char *windows, *steps, *message;
};
const OpenCase open_cases[] = {
    // clang-format off
    {"",       'W', "W", OPENED, ""},
    {"",       'P', "P", "mod reg mode 640x480x16 cursor0 win dc choose setpf ctx cur show setup", ""},
    {"reg",    'P', "",  "mod reg", "Failed To Register The Window Class."},
    {"win",    'W', "W", "mod reg win unreg", "Window Creation Error."},
    {"dc",     'W', "W", "mod reg win dc delwin unreg", "Can't Create A GL Device Context."},
    {"choose", 'W', "W", "mod reg win dc choose reldc delwin unreg", "Can't Find A Suitable PixelFormat."},
    {"setpf",  'W', "W", "mod reg win dc choose setpf reldc delwin unreg", "Can't Set The PixelFormat."},
    {"ctx",    'W', "W", "mod reg win dc choose setpf ctx reldc delwin unreg",
                         "Can't Create A GL Rendering Context."},
    {"cur",    'W', "W", "mod reg win dc choose setpf ctx cur " CLOSED,
                         "Can't Activate The GL Rendering Context."},
    {"setup",  'W', "W", OPENED " " CLOSED, "Initialization Failed."},
    // A refused mode: Yes opens windowed without touching the cursor; No or a closed box ends.
    {"mode 640x480x16", 'Y', "W", REFUSED " win dc choose setpf ctx cur show setup", ""},
    {"mode 640x480x16", 'N', "",  REFUSED CLOSES, ""},
    {"mode 640x480x16", 'C', "",  REFUSED CLOSES, ""},
    // A full-screen window that cannot be made is a mode the display could not take: display
    // and cursor are put back before the same offer.
    {"win#1",  'Y', "PW", UNMADE " win dc choose setpf ctx cur show setup", ""},
    {"win#1",  'N', "P",  UNMADE CLOSES, ""},
    {"win",    'Y', "PW", UNMADE " win unreg", "Window Creation Error."},
    // clang-format on
};

TEST_F(Shell, OpeningRunsItsStepsInOrderAndTearsDownWhatWasBuiltOnFailure) {
    for (const OpenCase& c : open_cases) {
        SetUp();
        if (*c.failing) rec.failing = {c.failing};
        rec.answers = {c.mode == 'Y' ? ID_YES : c.mode == 'N' ? ID_NO : -1};
        const bool opened = open_display_window("Tirvalex3", 640, 480, 16, c.mode != 'W');
        EXPECT_EQ(log(), c.steps + std::string(*c.message ? " " FAILED : "") + c.message);
        std::string windows;
        for (const std::string& w : rec.windows)
            windows += w == popup ? 'P' : w == windowed ? 'W' : '?';
        EXPECT_EQ(windows, c.windows) << c.failing;
        EXPECT_EQ(opened, !*c.message && std::string(c.steps).ends_with("setup")) << c.failing;
        if (opened) {
            EXPECT_EQ(full_screen_mode, c.mode == 'P');
            EXPECT_NE(instance_handle, nullptr);
            EXPECT_EQ(device_context, window_handle);  // the window is its own device context
            EXPECT_EQ(SDL_GL_GetCurrentContext(), render_context);
            EXPECT_STREQ(SDL_GetWindowTitle(window_handle), "Tirvalex3");
        } else {
            expect_no_handles();
        }
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
struct ModeCase {
    std::vector<SDL_DisplayMode> modes;
    uint32_t desktop, chosen;
};
constexpr SDL_DisplayMode mode(int width, int height, uint32_t format) {
    return {format, width, height, 60, nullptr};
}
const ModeCase mode_cases[] = {
    {{mode(640, 480, SDL_PIXELFORMAT_RGB888), mode(640, 480, SDL_PIXELFORMAT_RGB565)},
     SDL_PIXELFORMAT_RGB888,
     SDL_PIXELFORMAT_RGB565},
    {{mode(800, 600, SDL_PIXELFORMAT_RGB565), mode(640, 480, SDL_PIXELFORMAT_RGB888)},
     SDL_PIXELFORMAT_RGB888,
     SDL_PIXELFORMAT_RGB888},
    {{mode(640, 480, SDL_PIXELFORMAT_INDEX8), mode(640, 480, SDL_PIXELFORMAT_RGB24)},
     SDL_PIXELFORMAT_RGB24,
     SDL_PIXELFORMAT_RGB24},
    {{mode(640, 480, SDL_PIXELFORMAT_INDEX8)}, SDL_PIXELFORMAT_RGB888, SDL_PIXELFORMAT_INDEX8},
    {{mode(640, 400, SDL_PIXELFORMAT_RGB565), mode(480, 640, SDL_PIXELFORMAT_RGB565)},
     SDL_PIXELFORMAT_RGB565,
     0},
    {{}, SDL_PIXELFORMAT_RGB565, 0},
};

TEST_F(Shell, FullScreenTakesA640x480ModeAtSixteenBitsOrTheDesktopsDepth) {
    platform.change_display_settings = sdl_platform.change_display_settings;
    platform.list_display_modes = [](DisplayModeList* list) { return *list = listed, lists; };
    const DisplayModeRequest request = {640, 480, 16};
    for (const ModeCase& c : mode_cases) {
        listed = {c.modes, mode(1024, 768, c.desktop)};
        platform.change_display_settings(nullptr, 0);  // forgets the last choice
        EXPECT_EQ(platform.change_display_settings(&request, CDS_FULLSCREEN),
                  c.chosen ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE);
        SDL_DisplayMode chosen = {};
        EXPECT_EQ(chosen_full_screen_mode(&chosen), c.chosen != 0);
        EXPECT_EQ(chosen.format, c.chosen) << c.modes.size();
        EXPECT_EQ(chosen.w * 1000 + chosen.h, c.chosen ? 640480 : 0);
    }
    lists = false;  // a display that cannot tell its modes
    EXPECT_EQ(platform.change_display_settings(&request, CDS_FULLSCREEN), DISP_CHANGE_FAILED);
}

// Each row: the failing steps, what was open (0 nothing, as at the start with full_screen_mode
// still true; 1 windowed, 2 full screen) and the log. A failed step is reported and the steps
// after it still run.
#define SHUTDOWN "boxI:SHUTDOWN ERROR:"
const std::pair<std::pair<std::vector<std::string>, int>, const char*> close_cases[] = {
    // clang-format off
    {{{}, 0}, "restore cursor1 unreg"},
    {{{}, 2}, "restore cursor1 " CLOSED},
    {{{"uncur"}, 1}, "uncur " SHUTDOWN "Release Of DC And RC Failed. delctx reldc delwin unreg"},
    {{{"delctx"}, 1}, "uncur delctx " SHUTDOWN "Release Rendering Context Failed. reldc delwin unreg"},
    {{{"reldc"}, 1}, "uncur delctx reldc " SHUTDOWN "Release Device Context Failed. delwin unreg"},
    {{{"delwin"}, 1}, "uncur delctx reldc delwin " SHUTDOWN "Could Not Release hWnd. unreg"},
    {{{"unreg"}, 1}, CLOSED " " SHUTDOWN "Could Not Unregister Class."},
    {{{"uncur", "delctx", "reldc", "delwin", "unreg"}, 1},
     "uncur " SHUTDOWN "Release Of DC And RC Failed. delctx " SHUTDOWN "Release Rendering Context "
     "Failed. reldc " SHUTDOWN "Release Device Context Failed. delwin " SHUTDOWN "Could Not "
     "Release hWnd. unreg " SHUTDOWN "Could Not Unregister Class."},
    // clang-format on
};

TEST_F(Shell, ClosingReportsEachFailedStepAndGoesOn) {
    for (const auto& [setting, expected] : close_cases) {
        SetUp();
        const int opened = setting.second;
        ASSERT_TRUE(opened == 0 || open_display_window("Tirvalex3", 640, 480, 16, opened == 2));
        log();
        rec.failing = setting.first;
        close_display_window();
        EXPECT_EQ(log(), expected);
        expect_no_handles();
        TearDown();
    }
}

// The request is made on the first open and kept, colour depth included: 40 bytes, version 1,
// draw to window | OpenGL | double buffer (0x25), RGBA, 16-bit depth buffer, nothing else.
TEST_F(Shell, ReopeningKeepsTheFirstPixelFormatRequest) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    close_display_window();
    log();
    ASSERT_TRUE(open_display_window("Joka's Outline Font Tutorial", 640, 480, 32, false));
    EXPECT_EQ(log(), OPENED);
    EXPECT_EQ(rec.windows.back(), "6cf0000 640x480+0+0 16 Joka's Outline Font Tutorial");
    const PixelFormatRequest expected = {40, 1, 0x25, PFD_TYPE_RGBA, 16, 0, 0, 16, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&pixel_format_request, &expected, sizeof expected), 0);
}

// The offline window: windowed, not shown, no set-up and no messages; a failed step is false.
TEST_F(Shell, OfflineWindowIsAnUnshownWindowedContext) {
    ASSERT_TRUE(open_offline_window("offline", 320, 200));
    EXPECT_EQ(log(), "reg win dc choose setpf ctx cur");
    EXPECT_EQ(rec.windows, std::vector<std::string>{"6cf0000 320x200+0+0 16 offline"});
    EXPECT_FALSE(full_screen_mode);
    close_display_window();
    log();
    rec.failing = {"ctx"};
    EXPECT_FALSE(open_offline_window("offline", 320, 200));
    EXPECT_EQ(log(), "reg win dc choose setpf ctx");
}

// 45 degrees vertically: m[5] = 1 / tan(22.5 deg) = 2.4142136, m[0] = m[5] / aspect; near 0.1
// and far 100 give m[10] = (far + near) / (near - far) = -1.002002 and m[14] = 2 far near /
// (near - far) = -0.2002002. A height of 0 counts as 1; the aspect is a ratio of the integers.
// Each row: the client size, set by the opening (640 x 480), by set_projection or by a size
// message; the model-view matrix is left as the identity.
TEST_F(Shell, ProjectionIsFortyFiveDegreesOverTheClientAreaFromATenthToAHundred) {
    const struct {
        int width, height;
        bool by_message;
        double aspect;
    } sizes[] = {{640, 480, false, 640.0 / 480.0},
                 {300, 0, false, 300.0},
                 {1001, 3, false, 1001.0 / 3.0},
                 {800, 600, true, 800.0 / 600.0},
                 {800, 0, true, 800.0}};
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    for (const auto& c : sizes) {
        if (c.width != 640) {
            glTranslatef(1.0f, 0.0f, 0.0f);
            const WindowMessage size = {WM_SIZE, 0, intptr_t(make_word_pair(c.width, c.height))};
            EXPECT_EQ(c.by_message ? display_window_proc(window_handle, &size)
                                   : (set_projection(c.width, c.height), 0),
                      0);
        }
        GLfloat m[16], modelview[16];
        GLint viewport[4], mode;
        glGetFloatv(GL_PROJECTION_MATRIX, m);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_NEAR(m[5], 2.4142136, 1e-6);
        EXPECT_NEAR(m[0], 2.4142136 / c.aspect, 1e-6) << c.width;
        EXPECT_NEAR(m[10], -1.002002, 1e-6);
        EXPECT_NEAR(m[14], -0.2002002, 1e-6);
        EXPECT_EQ(m[11], -1.0f);
        EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4),
                  (std::vector<GLint>{0, 0, c.width, std::max(c.height, 1)}));
        EXPECT_EQ(mode, GL_MODELVIEW);
        EXPECT_EQ(modelview[0] + modelview[5] + modelview[10] + modelview[15] + modelview[12], 4);
    }
}

// The window procedure, message after message: its result, then Escape's and F1's entries and
// the active flag ("1" set), and what went to the platform. Only the high word of the
// activation (minimised) counts; key codes past the table are ignored.
TEST_F(Shell, WindowProcedureFeedsTheShellState) {
    struct Step {
        WindowMessage message;
        intptr_t result;
        const char* state;
        const char* log;
    };
    const Step steps[] = {
        {{WM_KEYDOWN, 27, 0}, 0, "101", ""},
        {{WM_KEYDOWN, 112, 0}, 0, "111", ""},
        {{WM_KEYUP, 27, 0}, 0, "011", ""},
        {{WM_KEYDOWN, 0x10000 + 27, 0}, 0, "011", ""},
        {{WM_KEYUP, 256, 0}, 0, "011", ""},
        {{WM_ACTIVATE, make_word_pair(WA_INACTIVE, 1), 0}, 0, "010", ""},
        {{WM_ACTIVATE, make_word_pair(WA_ACTIVE, 0), 0}, 0, "011", ""},
        {{WM_ACTIVATE, make_word_pair(WA_ACTIVE, 1), 0}, 0, "010", ""},
        {{WM_ACTIVATE, make_word_pair(WA_INACTIVE, 0), 0}, 0, "011", ""},
        {{WM_SYSCOMMAND, SC_SCREENSAVE, 0}, 0, "011", ""},
        {{WM_SYSCOMMAND, SC_MONITORPOWER, 0}, 0, "011", ""},
        {{WM_SYSCOMMAND, SC_SCREENSAVE + 1, 0}, 7, "011", "default"},
        {{WM_SYSCOMMAND, 0xF020, 0}, 7, "011", "default"},  // minimise
        {{WM_CLOSE, 0, 0}, 0, "011", "quit"},
        {{WM_NULL, 0, 0}, 7, "011", "default"},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(display_window_proc(nullptr, &step.message), step.result) << step.message.code;
        const std::string state = {char('0' + key_down[27]), char('0' + key_down[112]),
                                   char('0' + window_active)};
        EXPECT_EQ(state, step.state) << step.message.code << " " << step.message.wparam;
        EXPECT_EQ(log(), step.log) << step.message.code;
    }
    // The posted quit carries code 0 and comes once the queue is empty.
    SDL_InitSubSystem(SDL_INIT_EVENTS);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    WindowMessage message = {};
    ASSERT_TRUE(sdl_platform.peek_message(&message));
    EXPECT_EQ(message.code, WM_QUIT);
    EXPECT_EQ(message.wparam, 0u);
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

}  // namespace
