// The main loop with real windows and a scripted queue: the start-up question, one message per
// pass with a frame only on an empty queue, Escape, the window's close, the F1 toggle, a
// minimised window, the exit codes.
#include "app/main_loop.h"

#include "tests/app/platform_recorder.h"

namespace {

class MainLoop : public Shell {};

// A script, one letter a message: i an empty queue, E and e Escape down and up, F and f F1 down
// and up, C the window's close, m minimised, r restored.
// clang-format off
const std::map<char, WindowMessage> messages = {
    {'E', {WM_KEYDOWN, VK_ESCAPE, 0}}, {'e', {WM_KEYUP, VK_ESCAPE, 0}}, {'F', {WM_KEYDOWN, VK_F1, 0}},
    {'f', {WM_KEYUP, VK_F1, 0}}, {'C', {WM_CLOSE, 0, 0}},
    {'i', {WM_NULL, 0, 0}}, {'m', {WM_ACTIVATE, make_word_pair(0, 1), 0}}, {'r', {WM_ACTIVATE, make_word_pair(1, 0), 0}}};
// The loop's shape, one letter a call: Q the start-up question "Välkommen?" under "HEJDÅ!", ?
// the full-screen fallback, ! a failure message, M the 640x480x16 mode asked for, + and - a
// window made and destroyed, i m an empty pass, a message taken; a digit a frame presented, with
// the scene then current (the opening 0 until its first drawn frame chooses scene 2).
const std::map<std::string, char> letters = {
    {"boxI:HEJD\xC3\x85!:V\xC3\xA4lkommen?", 'Q'}, {"boxW:Vimpa", '?'}, {"boxW:ERROR", '!'},
    {"mode 640x480x16", 'M'}, {"win", '+'}, {"delwin", '-'}, {"idle", 'i'}, {"msg", 'm'}, {"swap0", '0'}, {"swap2", '2'}};
// clang-format on

// Each row: the answers to the boxes, the script, a failing step, the exit code, whether the mode
// is full screen at the end, the loop's shape, and the windows made. The pass that sees Escape
// draws its frame but does not present it; a toggling pass presents its frame, then closes the
// window and opens the other mode. A close ends with the quit's code, 0. Minimised, frames are
// presented but not drawn, so the opening stays until the restore, and Escape still ends the loop.
const std::tuple<std::deque<int>, const char*, const char*, int, bool, const char*, const char*>
    loop_cases[] = {
        // clang-format off
    {{ID_NO},         "iiEi",     "",                 0, false, "Q+i2i2mi-",           "W1"},
    {{ID_YES},        "Ei",       "",                 0, true,  "QM+mi-",              "P1"},
    {{ID_NO},         "iC",       "",                 0, false, "Q+i2m-",              "W1"},
    {{ID_NO},         "miirimEi", "",                 0, false, "Q+mi0i0mi2mmi-",      "W1"},
    {{ID_YES},        "iFiFiEi",  "",                 0, true,  "QM+i2mi2-+mi2-M+mi-", "P1 W2 P2"},
    {{ID_NO, ID_YES}, "EFi",      "mode 640x480x16",  0, false, "Q+mmi-M?+-",          "W1 W2"},
    {{ID_NO},         "",         "win",              1, false, "Q+!",                 "W1"},
    {{ID_NO},         "Fi",       "ctx#2",            1, true,  "Q+mi2-M+-!",          "W1 P2"},
    // Taps: a key-down whose key-up came before the next empty pass counts at that pass, once;
    // a held key counts once too. Lost taps would end with the script's 99 or toggle less.
    {{ID_NO},         "iEei",     "",                 0, false, "Q+i2mmi-",            "W1"},
    {{ID_NO},         "FfFfii",   "",                99, true,  "Q+mmmmi2-M+i2-",      "W1 P2"},
    {{ID_NO},         "FfiFfi",   "",                99, false, "Q+mmi2-M+mmi2-+-",    "W1 P2 W2"},
    {{ID_NO},         "Fiiif",    "",                99, true,  "Q+mi2-M+i2i2m-",      "W1 P2"},
        // clang-format on
};

TEST_F(MainLoop, RunsTheShowByItsScript) {
    for (const auto& [answers, script, failing, exit_code, full, steps, windows] : loop_cases) {
        SetUp();
        rec.answers = answers;
        for (char c : std::string(script))
            rec.script.push_back(messages.at(c));
        rec.failing = {failing};
        EXPECT_EQ(run_main_loop(), exit_code) << script;
        std::string shape;
        for (const std::string& call : rec.calls) {
            const std::string key = call.substr(0, call.starts_with("boxW:") ? 10 : call.npos);
            if (letters.contains(key)) shape += letters.at(key);
        }
        EXPECT_EQ(shape + " " + rec.windows, steps + std::string(" ") + windows) << script;
        EXPECT_EQ(full_screen_mode, full) << script;
        expect_no_handles();
        TearDown();
    }
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

}  // namespace
