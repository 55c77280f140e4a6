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
#define REFUSED                                                                            \
    "mod reg mode 640x480x16 boxW:Vimpa - Zelmorint:The Requested Fullscreen Mode Is Not " \
    "Supported By\nYour Video Card. Use Windowed Mode Instead?"
constexpr const char* windowed = "6cf0000 640x480 16 Tirvalex3";  // overlapped | clip children
constexpr const char* popup = "86000000 640x480 16 Tirvalex3";    // popup | clip children

struct OpenCase {
    std::vector<std::string> failing;
    bool full_screen;
    int answer;
    const char* log;
    const char* window;  // the create_window request, "" when none is made
};

class Opening : public Shell, public testing::WithParamInterface<OpenCase> {};

TEST_P(Opening, RunsItsStepsInOrderAndTearsDownWhatWasBuiltOnFailure) {
    const OpenCase& c = GetParam();
    rec.failing = c.failing;
    rec.answers = {c.answer};
    const bool opened = open_display_window("Tirvalex3", 640, 480, 16, c.full_screen);
    EXPECT_EQ(log(), c.log);
    EXPECT_EQ(rec.windows,
              (*c.window ? std::vector<std::string>{c.window} : std::vector<std::string>{}));
    if (opened) {
        EXPECT_EQ(full_screen_mode, c.window == popup);
        EXPECT_NE(instance_handle, nullptr);
        EXPECT_EQ(device_context, window_handle);  // the window is its own device context
        EXPECT_EQ(SDL_GL_GetCurrentContext(), render_context);
        EXPECT_STREQ(SDL_GetWindowTitle(window_handle), "Tirvalex3");
    } else {
        expect_no_handles();
        if (c.full_screen) sdl_platform.unregister_window_class();  // the program would end
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, Opening,
    testing::Values(
        OpenCase{{}, false, 0, OPENED, windowed},
        OpenCase{{},
                 true,
                 0,
                 "mod reg mode 640x480x16 cursor0 win dc choose setpf ctx cur show setup",
                 popup},
        OpenCase{{"reg"}, true, 0, "mod reg " FAILED "Failed To Register The Window Class.", ""},
        OpenCase{{"win"}, false, 0, "mod reg win unreg " FAILED "Window Creation Error.", windowed},
        OpenCase{{"win"},
                 true,
                 0,
                 "mod reg mode 640x480x16 cursor0 win restore cursor1 unreg " FAILED
                 "Window Creation Error.",
                 popup},
        OpenCase{{"dc"},
                 false,
                 0,
                 "mod reg win dc delwin unreg " FAILED "Can't Create A GL Device Context.",
                 windowed},
        OpenCase{{"choose"},
                 false,
                 0,
                 "mod reg win dc choose reldc delwin unreg " FAILED
                 "Can't Find A Suitable PixelFormat.",
                 windowed},
        OpenCase{{"setpf"},
                 false,
                 0,
                 "mod reg win dc choose setpf reldc delwin unreg " FAILED
                 "Can't Set The PixelFormat.",
                 windowed},
        OpenCase{{"ctx"},
                 false,
                 0,
                 "mod reg win dc choose setpf ctx reldc delwin unreg " FAILED
                 "Can't Create A GL Rendering Context.",
                 windowed},
        OpenCase{{"cur"},
                 false,
                 0,
                 "mod reg win dc choose setpf ctx cur " CLOSED " " FAILED
                 "Can't Activate The GL Rendering Context.",
                 windowed},
        OpenCase{
            {"setup"}, false, 0, OPENED " " CLOSED " " FAILED "Initialization Failed.", windowed},
        // A refused mode: Yes opens windowed without touching the cursor; No or a closed box ends.
        OpenCase{{"mode 640x480x16"},
                 true,
                 ID_YES,
                 REFUSED " win dc choose setpf ctx cur show setup",
                 windowed},
        OpenCase{
            {"mode 640x480x16"}, true, ID_NO, REFUSED " boxE:ERROR:Program Will Now Close.", ""},
        OpenCase{
            {"mode 640x480x16"}, true, -1, REFUSED " boxE:ERROR:Program Will Now Close.", ""}));

struct CloseCase {
    std::vector<std::string> failing;
    int opened;  // 0: nothing open, 1: windowed, 2: full screen
    const char* log;
};

class Closing : public Shell, public testing::WithParamInterface<CloseCase> {};

// A failed teardown step is reported and the steps after it still run.
TEST_P(Closing, ReportsEachFailedStepAndGoesOn) {
    const CloseCase& c = GetParam();
    ASSERT_TRUE(c.opened == 0 || open_display_window("Tirvalex3", 640, 480, 16, c.opened == 2));
    log();
    rec.failing = c.failing;
    close_display_window();
    EXPECT_EQ(log(), c.log);
    expect_no_handles();
}

#define SHUTDOWN "boxI:SHUTDOWN ERROR:"
INSTANTIATE_TEST_SUITE_P(
    EveryStep, Closing,
    testing::Values(
        CloseCase{{}, 0, "restore cursor1 unreg"}, CloseCase{{}, 2, "restore cursor1 " CLOSED},
        CloseCase{{"uncur"},
                  1,
                  "uncur " SHUTDOWN "Release Of DC And RC Failed. delctx reldc delwin unreg"},
        CloseCase{{"delctx"},
                  1,
                  "uncur delctx " SHUTDOWN "Release Rendering Context Failed. reldc delwin unreg"},
        CloseCase{{"reldc"},
                  1,
                  "uncur delctx reldc " SHUTDOWN "Release Device Context Failed. delwin unreg"},
        CloseCase{
            {"delwin"}, 1, "uncur delctx reldc delwin " SHUTDOWN "Could Not Release hWnd. unreg"},
        CloseCase{{"unreg"}, 1, CLOSED " " SHUTDOWN "Could Not Unregister Class."},
        CloseCase{{"uncur", "delctx", "reldc", "delwin", "unreg"},
                  1,
                  "uncur " SHUTDOWN "Release Of DC And RC Failed. delctx " SHUTDOWN
                  "Release Rendering Context Failed. reldc " SHUTDOWN
                  "Release Device Context Failed. delwin " SHUTDOWN
                  "Could Not Release hWnd. unreg " SHUTDOWN "Could Not Unregister Class."}));

// The request is made on the first open and kept, colour depth included: 40 bytes, version 1,
// draw to window | OpenGL | double buffer (0x25), RGBA, 16-bit depth buffer, nothing else.
TEST_F(Shell, ReopeningKeepsTheFirstPixelFormatRequest) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    close_display_window();
    log();
    ASSERT_TRUE(open_display_window("Joka's Outline Font Tutorial", 640, 480, 32, false));
    EXPECT_EQ(log(), OPENED);
    EXPECT_EQ(rec.windows.back(), "6cf0000 640x480 16 Joka's Outline Font Tutorial");
    const PixelFormatRequest expected = {40, 1, 0x25, PFD_TYPE_RGBA, 16, 0, 0, 16, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&pixel_format_request, &expected, sizeof expected), 0);
}

// The offline window: windowed, not shown, no set-up and no messages; a failed step is false.
TEST_F(Shell, OfflineWindowIsAnUnshownWindowedContext) {
    ASSERT_TRUE(open_offline_window("offline", 320, 200));
    EXPECT_EQ(log(), "reg win dc choose setpf ctx cur");
    EXPECT_EQ(rec.windows, std::vector<std::string>{"6cf0000 320x200 16 offline"});
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
struct ProjectionCase {
    int width, height;
    bool by_message;
    double aspect;
};

class Projection : public Shell, public testing::WithParamInterface<ProjectionCase> {};

TEST_P(Projection, IsFortyFiveDegreesOverTheClientAreaFromATenthToAHundred) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    const ProjectionCase& c = GetParam();
    if (c.width != 640) {  // a model-view move that the projection's set-up undoes
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
    EXPECT_NEAR(m[0], 2.4142136 / c.aspect, 1e-6);
    EXPECT_NEAR(m[10], -1.002002, 1e-6);
    EXPECT_NEAR(m[14], -0.2002002, 1e-6);
    EXPECT_EQ(m[11], -1.0f);
    EXPECT_EQ(viewport[2], c.width);
    EXPECT_EQ(viewport[3], std::max(c.height, 1));
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(modelview[0] + modelview[5] + modelview[10] + modelview[15], 4.0f);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Projection,
                         testing::Values(ProjectionCase{640, 480, false, 640.0 / 480.0},
                                         ProjectionCase{300, 0, false, 300.0},
                                         ProjectionCase{1001, 3, false, 1001.0 / 3.0},
                                         ProjectionCase{800, 600, true, 800.0 / 600.0},
                                         ProjectionCase{800, 0, true, 800.0}));

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
        {{WM_KEYUP, 256 + 112, 0}, 0, "011", ""},
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
