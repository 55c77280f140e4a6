// The main loop with real windows and a scripted queue: the start-up question, one message per
// pass with a frame only on an empty queue, Escape, the window's close, the F1 toggle, a
// minimised window, the exit codes; and real key presses going all the way through.
#include "app/main_loop.h"

#include "scenes/scenes.h"
#include "tests/app/platform_recorder.h"

namespace {

class MainLoop : public Shell {
protected:
    void SetUp() override {
        Shell::SetUp();
        timeline_reset();
        rec.script_only = true;
    }
    // A script, one letter a message: i an empty queue, E and e Escape down and up, F and f F1
    // down and up, A and a the A key down and up, C the window's close, m minimised, r restored.
    static void script(const std::string& letters) {
        // clang-format off
        const std::map<char, WindowMessage> messages = {
            {'E', {WM_KEYDOWN, VK_ESCAPE, 0}}, {'e', {WM_KEYUP, VK_ESCAPE, 0}}, {'F', {WM_KEYDOWN, VK_F1, 0}},
            {'f', {WM_KEYUP, VK_F1, 0}}, {'A', {WM_KEYDOWN, 'A', 0}}, {'a', {WM_KEYUP, 'A', 0}}, {'C', {WM_CLOSE, 0, 0}},
            {'i', {WM_NULL, 0, 0}}, {'m', {WM_ACTIVATE, make_word_pair(0, 1), 0}}, {'r', {WM_ACTIVATE, make_word_pair(1, 0), 0}}};
        // clang-format on
        for (char c : letters)
            rec.script.push_back(messages.at(c));
    }
    // The loop's shape, one letter a call: Q the start-up question "Välkommen?" under "HEJDÅ!",
    // ? the full-screen fallback, ! a failure message, M the 640x480x16 mode asked for, + and -
    // a window made and destroyed, i m s an empty pass, a message taken, a frame presented.
    static std::string shape() {
        // clang-format off
        const std::map<std::string, char> letters = {
            {"boxI:HEJD\xC3\x85!:V\xC3\xA4lkommen?", 'Q'}, {"boxW:Vimpa", '?'}, {"boxW:ERROR", '!'},
            {"mode 640x480x16", 'M'}, {"win", '+'}, {"delwin", '-'}, {"idle", 'i'}, {"msg", 'm'}, {"swap", 's'}};
        // clang-format on
        std::string shape;
        for (const std::string& call : rec.calls)
            if (letters.contains(call.starts_with("boxW:") ? call.substr(0, 10) : call))
                shape += letters.at(call.starts_with("boxW:") ? call.substr(0, 10) : call);
        return shape;
    }
};

// Each row: the answers to the boxes (N No, Y Yes), the script, a failing step, the exit code,
// whether the mode is full screen at the end, the loop's shape, and the windows made (made()).
// The pass that sees Escape draws its frame but does not present it; a toggling pass presents
// its frame, then closes the window and opens the other mode. A close ends with the quit's
// code, 0.
const std::tuple<const char*, const char*, const char*, int, bool, const char*, const char*>
    loop_cases[] = {
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
    for (const auto& [answers, letters, failing, exit_code, full, steps, windows] : loop_cases) {
        SetUp();
        for (const char* a = answers; *a; ++a)
            rec.answers.push_back(*a == 'N' ? ID_NO : ID_YES);
        script(letters);
        if (*failing) rec.failing = {failing};
        EXPECT_EQ(run_main_loop(), exit_code) << letters;
        EXPECT_EQ(shape() + " " + made(), steps + std::string(" ") + windows) << letters;
        EXPECT_EQ(full_screen_mode, full) << letters;
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
    script("miirimEi");
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
    EXPECT_EQ(made(), "W1 P2");
}

}  // namespace
