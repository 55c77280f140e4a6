// The main loop with real windows and a scripted queue: the start-up question, one message per
// pass with a frame only on an empty queue, Escape, the window's close, the F1 toggle, a
// minimised window, the exit codes; and real key presses going all the way through.
#include "app/main_loop.h"

#include "scenes/scenes.h"
#include "tests/app/platform_recorder.h"

namespace {

// A script, one letter a message: i an empty queue, E and e Escape down and up, F and f F1
// down and up, A and a the A key down and up, C the window's close, m minimised, r restored.
std::deque<WindowMessage> script(const std::string& letters) {
    std::deque<WindowMessage> messages;
    for (char c : letters) {
        const uintptr_t key = (c == 'E' || c == 'e')   ? VK_ESCAPE
                              : (c == 'A' || c == 'a') ? 'A'
                                                       : VK_F1;
        const uint32_t code = std::string("EFA").find(c) != std::string::npos   ? WM_KEYDOWN
                              : std::string("efa").find(c) != std::string::npos ? WM_KEYUP
                              : c == 'C'                                        ? WM_CLOSE
                              : c == 'i'                                        ? WM_NULL
                                                                                : WM_ACTIVATE;
        messages.push_back(
            {code, code == WM_ACTIVATE ? make_word_pair(c == 'r', c == 'm') : key, 0});
    }
    return messages;
}

class MainLoop : public Shell {
protected:
    void SetUp() override {
        Shell::SetUp();
        timeline_reset();
        rec.script_only = true;
    }
    // The loop's shape, one letter a call: Q the start-up question "Välkommen?" under "HEJDÅ!",
    // ? the full-screen fallback, ! a failure message, M the 640x480x16 mode asked for, + and -
    // a window made and destroyed, i m s an empty pass, a message taken, a frame presented.
    static std::string shape() {
        std::string letters;
        for (const std::string& call : rec.calls) {
            if (call == "boxI:HEJD\xC3\x85!:V\xC3\xA4lkommen?")
                letters += 'Q';
            else if (call.rfind("boxW:Vimpa - Zelmorint:", 0) == 0)
                letters += '?';
            else if (call.rfind("boxW:ERROR:", 0) == 0)
                letters += '!';
            else if (call == "mode 640x480x16")
                letters += 'M';
            else if (call == "win" || call == "delwin")
                letters += call == "win" ? '+' : '-';
            else if (call == "idle" || call == "msg" || call == "swap")
                letters += call[0];
        }
        return letters;
    }
};

// Each row: the answers to the boxes (N No, Y Yes), the script, a failing step, the exit code,
// whether the mode is full screen at the end, the loop's shape, and the windows made (W
// windowed, P full-screen popup; 1 "Tirvalex3", 2 "Joka's Outline Font Tutorial"). The pass
// that sees Escape draws its frame but does not present it; a toggling pass presents its frame,
// then closes the window and opens the other mode. A close ends with the quit's code, 0.
struct LoopCase {
    const char *answers, *letters, *failing;
    int exit_code;
    bool full_screen;
    const char *shape, *windows;
};
const LoopCase loop_cases[] = {
    // clang-format off
    {"N",  "iiEi",     "",                0, false, "Q+isismi-",                  "W1"},
    {"Y",  "Ei",       "",                0, true,  "QM+mi-",                     "P1"},
    {"N",  "iC",       "",                0, false, "Q+ism-",                     "W1"},
    {"N",  "AaFifEi",  "",                0, true,  "Q+mmmis-M+mmi-",             "W1 P2"},
    {"Y",  "iFiFiEi",  "",                0, true,  "QM+ismis-+mis-M+mi-",        "P1 W2 P2"},
    {"NY", "EFi",      "mode 640x480x16", 0, false, "Q+mmi-M?+-",                 "W1 W2"},
    {"N",  "",         "win",             1, false, "Q+!",                        "W1"},
    {"N",  "Fi",       "ctx#2",           1, true,  "Q+mis-M+-!",                 "W1 P2"},
    // Taps: a key-down whose key-up came before the next empty pass counts at that pass, once;
    // a held key counts once too. Lost taps would end with the script's 99 or toggle less.
    {"N",  "iEei",     "",                0, false, "Q+ismmi-",                   "W1"},
    {"N",  "Ffiii",    "",               99, true,  "Q+mmis-M+isis-",             "W1 P2"},
    {"N",  "FfFfii",   "",               99, true,  "Q+mmmmis-M+is-",             "W1 P2"},
    {"N",  "FfiFfi",   "",               99, false, "Q+mmis-M+mmis-+-",           "W1 P2 W2"},
    {"N",  "Fiiif",    "",               99, true,  "Q+mis-M+isism-",             "W1 P2"},
    // clang-format on
};

TEST_F(MainLoop, RunsTheShowByItsScript) {
    for (const LoopCase& c : loop_cases) {
        SetUp();
        for (const char* a = c.answers; *a; ++a)
            rec.answers.push_back(*a == 'N' ? ID_NO : ID_YES);
        rec.script = script(c.letters);
        if (*c.failing) rec.failing = {c.failing};
        EXPECT_EQ(run_main_loop(), c.exit_code) << c.letters;
        EXPECT_EQ(shape(), c.shape) << c.letters;
        std::string windows;
        for (const std::string& w : rec.windows)
            windows += std::string(windows.empty() ? "" : " ") + (w[0] == '8' ? 'P' : 'W') +
                       (w.find("Joka's") == std::string::npos ? '1' : '2');
        EXPECT_EQ(windows, c.windows) << c.letters;
        EXPECT_EQ(rec.windows[0].substr(rec.windows[0].find(' ')), " 640x480+0+0 16 Tirvalex3");
        EXPECT_EQ(full_screen_mode, c.full_screen) << c.letters;
        expect_no_handles();
        TearDown();
    }
}

// Minimised, frames are swapped but not drawn, so the opening scene stays until the restore;
// the first frame after it draws the opening and moves on to scene 2 (no music: clock 0).
// Escape still ends the loop while minimised.
TEST_F(MainLoop, MinimisedWindowSwapsWithoutDrawingAndStillTakesEscape) {
    static std::vector<int32_t> scenes;
    rec.answers = {ID_NO};
    rec.script = script("miirimEi");
    rec.on_swap = [] { scenes.push_back(current_scene); };
    EXPECT_EQ(run_main_loop(), 0);
    EXPECT_EQ(scenes, (std::vector<int32_t>{0, 0, 2}));
}

// No display: the question and the failure go to stderr, no answer is not a No, the exit is 1.
TEST_F(MainLoop, WithoutADisplayTheTextsGoToStderr) {
    rec.no_boxes = true;
    rec.failing = {"reg"};
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_main_loop(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "HEJD\xC3\x85!: V\xC3\xA4lkommen?\nERROR: Failed To Register The Window Class.\n");
    EXPECT_TRUE(full_screen_mode);
}

// Real key presses through SDL's queue: F1 reopens the window in the other mode under the
// second title, Escape ends the show with 0. A loop that missed them would end with 99.
TEST_F(MainLoop, PressingF1TogglesAndEscapeEnds) {
    rec.answers = {ID_NO};
    rec.script_only = false;
    rec.on_swap = [] {
        static int swaps = 0;
        SDL_Event key = {};
        key.type = SDL_KEYDOWN;
        key.key.keysym.sym = rec.windows.size() == 1 ? SDLK_F1 : SDLK_ESCAPE;
        if (!key_down[VK_F1]) SDL_PushEvent(&key);
        rec.script_only = ++swaps > 50;
    };
    EXPECT_EQ(run_main_loop(), 0);
    ASSERT_GE(rec.windows.size(), 2u);
    EXPECT_EQ(rec.windows[1], "86000000 640x480+0+0 16 Joka's Outline Font Tutorial");
}

}  // namespace
