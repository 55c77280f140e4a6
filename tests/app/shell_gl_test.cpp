// The shell stepped as a main loop steps it, with real windows and scripted events: the
// start-up question, one event per step with a frame only when none waits, Escape, the
// window's close, the F1 toggle, a minimised window, answers that come steps later, the exit
// codes.
#include "tests/app/platform_recorder.h"

namespace {

using enum Answer;
using enum OpenStep;

// Steps until the shell has ended, or plays with the script used up.
void run(ShellState& shell) {
    while (shell.phase != ShellPhase::ended) {
        if (shell.phase == ShellPhase::playing && rec.script.empty()) break;
        shell_step(shell);
    }
}

// The step that sees Escape draws its frame but does not present it; a toggling step presents
// its frame, then closes the window, and the next step opens one in the other mode. Minimised,
// frames are presented but not drawn, so the opening stays until the restore. The script,
// shape and windows are those of platform_recorder.h.
struct ScriptRun {
    const char* name;
    std::deque<Answer> answers;
    std::deque<OpenStep> opens;
    const char* script;
    const char* shape;
    const char* windows;
    bool full_screen;  // at the end
    int exit_code;     // or still_playing
};

constexpr int still_playing = -1;

const ScriptRun runs[] = {
    {"yes, then Escape", {yes}, {}, "Ei", "Q+e-", "P1", true, 0},
    {"close request", {no}, {}, "iC", "Q+2e-", "W1", false, 0},
    {"minimised and restored", {no}, {}, "miirimEi", "Q+e00e2ee-", "W1", false, 0},
    {"F1 twice", {yes}, {}, "iFiFiEi", "Q+2e2-+e2-+e-", "P1 W2 P2", true, 0},
    // Escape with F1 still toggles before it ends; the display without the mode offers a window.
    {"Escape with F1", {no, yes}, {opened, display_mode}, "EFi", "Q+ee-+?+-", "W1 P2 W2", false, 0},
    {"first window fails", {no}, {window}, "", "Q+-!", "W1", false, 1},
    {"toggled window fails", {no}, {opened, gl_context}, "Fi", "Q+e2-+-!", "W1 P2", true, 1},
    // Taps: a key-down whose key-up came before the next frame counts at that frame, once; a
    // held key counts once too.
    {"tap of Escape", {no}, {}, "iEei", "Q+2ee-", "W1", false, 0},
    {"taps of F1 in one frame", {no}, {}, "FfFfii", "Q+eeee2-+2", "W1 P2", true, still_playing},
    {"taps of F1 in two frames",
     {no},
     {},
     "FfiFfi",
     "Q+ee2-+ee2-+",
     "W1 P2 W2",
     false,
     still_playing},
    {"F1 held", {no}, {}, "Fiiif", "Q+e2-+22e", "W1 P2", true, still_playing},
    // The offer's answer comes later: each step opens again and asks again.
    {"late offer",
     {no, not_yet, not_yet, yes},
     {opened, display_mode, display_mode, display_mode},
     "Fi",
     "Q+e2-+?+?+?+",
     "W1 P2 P2 P2 W2",
     false,
     still_playing},
};

TEST_F(Shell, RunsTheShowByItsScript) {
    for (const ScriptRun& row : runs) {
        SetUp();
        SCOPED_TRACE(row.name);
        rec.answers = row.answers;
        rec.opens = row.opens;
        rec.script = row.script;
        run(shell);
        EXPECT_EQ(rec.shape, row.shape);
        EXPECT_EQ(rec.windows, row.windows);
        EXPECT_EQ(full_screen_mode, row.full_screen);
        EXPECT_EQ(shell.phase == ShellPhase::ended ? shell.exit_code : still_playing,
                  row.exit_code);
        TearDown();
    }
}

// What each step tells a page's frame callback: go on at once (+) after an answer, an opened
// window and an event; wait for the next frame (.) after an unanswered question (asked again at
// the next step), a frame and the end. Each step as its phase after it (q question, o opening,
// p playing, t toggling, e ended) and what it told. Escape with F1 toggles first: the step that
// opens the other window then ends the show, and waits too.
TEST_F(Shell, EachStepSaysWhetherTheNextMayFollowAtOnce) {
    rec.answers = {not_yet, not_yet, yes};
    rec.script = "iEF";
    std::string steps;
    for (int step = 0; step < 10; ++step) {
        const bool at_once = shell_step(shell);
        steps += "qopte"[static_cast<int>(shell.phase)];
        steps += at_once ? '+' : '.';
    }
    EXPECT_EQ(steps, "q.q.o+p+p.p+p+t.e.e.");
    EXPECT_EQ(rec.shape, "QQQ+2ee-+-");
}

// No box can be shown: the question and the failure go to stderr, no answer is not a No, the
// exit is 1.
TEST_F(Shell, WithoutBoxesTheTextsGoToStderr) {
    rec.answers = {none, none};
    rec.opens = {video};
    testing::internal::CaptureStderr();
    run(shell);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "HEJD\xC3\x85!: V\xC3\xA4lkommen?\nERROR: Failed To Register The Window Class.\n");
    EXPECT_EQ(shell.exit_code, 1);
    EXPECT_TRUE(full_screen_mode);
}

}  // namespace
