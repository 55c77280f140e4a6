// The main loop with real windows and a scripted queue: the start-up question, one message per
// pass with a frame only on an empty queue, Escape, the window's close, the F1 toggle, a
// minimised window, the exit codes; and real key presses going all the way through.
#include "app/main_loop.h"

#include <algorithm>

#include "scenes/scenes.h"
#include "tests/app/platform_recorder.h"

namespace {

constexpr WindowMessage idle = {WM_NULL, 0, 0};
constexpr WindowMessage escape = {WM_KEYDOWN, VK_ESCAPE, 0};
constexpr WindowMessage f1 = {WM_KEYDOWN, VK_F1, 0};
constexpr WindowMessage minimise = {WM_ACTIVATE, make_word_pair(WA_INACTIVE, 1), 0};
constexpr WindowMessage restore = {WM_ACTIVATE, make_word_pair(WA_ACTIVE, 0), 0};

// The Latin-1 question "Välkommen?" under "HEJDÅ!", as the box shows it in UTF-8.
#define ASKED "boxI:HEJD\xC3\x85!:V\xC3\xA4lkommen?"
#define FALLBACK                                                                            \
    "boxW:Vimpa - Zelmorint:The Requested Fullscreen Mode Is Not Supported By\nYour Video " \
    "Card. Use Windowed Mode Instead?"
constexpr const char* first_windowed = "6cf0000 640x480 16 Tirvalex3";
constexpr const char* first_popup = "86000000 640x480 16 Tirvalex3";
constexpr const char* toggled_windowed = "6cf0000 640x480 16 Joka's Outline Font Tutorial";
constexpr const char* toggled_popup = "86000000 640x480 16 Joka's Outline Font Tutorial";

struct LoopCase {
    const char* name;
    std::deque<int> answers;
    std::deque<WindowMessage> script;
    std::vector<std::string> failing;
    int exit_code;
    bool full_screen;  // at the end
    const char* log;   // boxes, modes, windows made and destroyed, passes and swaps
    std::vector<std::string> windows;
};

class MainLoop : public Shell, public testing::WithParamInterface<LoopCase> {
protected:
    void SetUp() override {
        Shell::SetUp();
        timeline_reset();
        rec.script_only = true;
    }
    static std::string loop_log() {
        const std::string kept[] = {"box", "mode", "win", "delwin", "swap", "msg", "idle"};
        std::vector<std::string> calls;
        for (const std::string& call : rec.calls) {
            if (std::any_of(std::begin(kept), std::end(kept),
                            [&](const std::string& k) { return call.rfind(k, 0) == 0; }))
                calls.push_back(call);
        }
        rec.calls = calls;
        return log();
    }
};

TEST_P(MainLoop, RunsTheShow) {
    const LoopCase& c = GetParam();
    rec.answers = c.answers;
    rec.script = c.script;
    rec.failing = c.failing;
    EXPECT_EQ(run_main_loop(), c.exit_code);
    EXPECT_EQ(loop_log(), c.log);
    EXPECT_EQ(rec.windows, c.windows);
    EXPECT_EQ(full_screen_mode, c.full_screen);
    expect_no_handles();
}

// The pass that sees Escape has drawn its frame but does not present it; a toggling pass
// presents its frame, then closes and reopens in the other mode.
INSTANTIATE_TEST_SUITE_P(
    Scripts, MainLoop,
    testing::Values(
        LoopCase{"NoThenEscape",
                 {ID_NO},
                 {idle, idle, escape, idle},
                 {},
                 0,
                 false,
                 ASKED " win idle swap idle swap msg idle delwin",
                 {first_windowed}},
        LoopCase{"YesThenEscape",
                 {ID_YES},
                 {escape, idle},
                 {},
                 0,
                 true,
                 ASKED " mode 640x480x16 win msg idle delwin",
                 {first_popup}},
        LoopCase{"CloseEndsWithTheQuitCode",
                 {ID_NO},
                 {idle, {WM_CLOSE, 0, 0}},
                 {},
                 0,
                 false,
                 ASKED " win idle swap msg delwin",
                 {first_windowed}},
        LoopCase{"OneMessagePerPass",
                 {ID_NO},
                 {{WM_KEYDOWN, 'A', 0},
                  {WM_KEYUP, 'A', 0},
                  f1,
                  idle,
                  {WM_KEYUP, VK_F1, 0},
                  escape,
                  idle},
                 {},
                 0,
                 true,
                 ASKED " win msg msg msg idle swap delwin mode 640x480x16 win msg msg idle delwin",
                 {first_windowed, toggled_popup}},
        LoopCase{"F1TwiceTogglesTwice",
                 {ID_YES},
                 {idle, f1, idle, f1, idle, escape, idle},
                 {},
                 0,
                 true,
                 ASKED " mode 640x480x16 win idle swap msg idle swap delwin win msg idle swap "
                       "delwin mode 640x480x16 win msg idle delwin",
                 {first_popup, toggled_windowed, toggled_popup}},
        LoopCase{"F1WithEscapeTogglesBeforeTheEnd",
                 {ID_NO, ID_YES},
                 {escape, f1, idle},
                 {"mode 640x480x16"},
                 0,
                 false,
                 ASKED " win msg msg idle delwin mode 640x480x16 " FALLBACK " win delwin",
                 {first_windowed, toggled_windowed}},
        LoopCase{"NoWindowAtStart",
                 {ID_NO},
                 {},
                 {"win"},
                 1,
                 false,
                 ASKED " win boxW:ERROR:Window Creation Error.",
                 {first_windowed}},
        LoopCase{"NoWindowAtTheToggle",
                 {ID_NO},
                 {f1, idle},
                 {"ctx#2"},
                 1,
                 true,
                 ASKED " win msg idle swap delwin mode 640x480x16 win delwin "
                       "boxW:ERROR:Can't Create A GL Rendering Context.",
                 {first_windowed, toggled_popup}}),
    [](const testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.name); });

std::vector<int32_t> scenes_at_swap;

// A minimised window swaps but draws nothing, so the opening scene stays until the restore;
// the first frame after it draws the opening and moves on to scene 2 (no music: clock 0).
// Escape still ends the loop while minimised.
TEST_F(MainLoop, MinimisedWindowSwapsWithoutDrawingAndStillTakesEscape) {
    rec.answers = {ID_NO};
    rec.script = {minimise, idle, idle, restore, idle, minimise, escape, idle};
    rec.on_swap = [] { scenes_at_swap.push_back(current_scene); };
    EXPECT_EQ(run_main_loop(), 0);
    EXPECT_EQ(scenes_at_swap, (std::vector<int32_t>{0, 0, 2}));
}

// No display: both texts go to stderr, no answer is not a No, the exit code is 1.
TEST_F(MainLoop, WithoutADisplayTheTextsGoToStderr) {
    rec.no_boxes = true;
    rec.failing = {"reg"};
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_main_loop(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "HEJD\xC3\x85!: V\xC3\xA4lkommen?\nERROR: Failed To Register The Window Class.\n");
    EXPECT_TRUE(full_screen_mode);
}

// Real key presses through SDL's queue: F1 reopens the window under the second title, Escape
// ends the show with 0. A loop that missed them would end after 50 frames with code 99.
TEST_F(MainLoop, PressingF1TogglesAndEscapeEnds) {
    rec.answers = {ID_NO};
    rec.script_only = false;
    rec.on_swap = [] {
        SDL_Event key = {};
        key.type = SDL_KEYDOWN;
        key.key.keysym.sym = rec.windows.size() == 1 ? SDLK_F1 : SDLK_ESCAPE;
        if (!key_down[VK_F1]) SDL_PushEvent(&key);
        static int swaps = 0;
        rec.script_only = ++swaps > 50;
    };
    EXPECT_EQ(run_main_loop(), 0);
    ASSERT_GE(rec.windows.size(), 2u);
    EXPECT_EQ(rec.windows[1], toggled_popup);
}

}  // namespace
