// The shell stepped as a main loop steps it, with real windows and scripted events: the
// start-up question, one event per step with a frame only when none waits, Escape, the
// window's close, the F1 toggle, a minimised window, answers that come steps later, the exit
// codes.
#include <map>

#include "tests/app/platform_recorder.h"

namespace {

// A script, one letter an event: i none (a frame step), E and e Escape down and up, F and f F1
// down and up, C the window's close, m minimised, r restored.
const std::map<char, ShellEvent> events = {
    {'i', {ShellEventKind::none, 0, 0, 0}},
    {'E', {ShellEventKind::key_down, escape_key, 0, 0}},
    {'e', {ShellEventKind::key_up, escape_key, 0, 0}},
    {'F', {ShellEventKind::key_down, f1_key, 0, 0}},
    {'f', {ShellEventKind::key_up, f1_key, 0, 0}},
    {'C', {ShellEventKind::close_requested, 0, 0, 0}},
    {'m', {ShellEventKind::minimised, 0, 0, 0}},
    {'r', {ShellEventKind::restored, 0, 0, 0}},
};

// Steps until the shell has ended, or plays with the script used up.
void run(ShellState& shell, const std::string& script) {
    for (char letter : script)
        rec.events.push_back(events.at(letter));
    while (shell.phase != ShellPhase::ended) {
        if (shell.phase == ShellPhase::playing && rec.events.empty()) break;
        shell_step(shell);
    }
}

// The step that sees Escape draws its frame but does not present it; a toggling step presents
// its frame, then closes the window, and the next step opens one in the other mode. Minimised,
// frames are presented but not drawn, so the opening stays until the restore. The shape and
// windows are those of platform_recorder.h.
struct ScriptRun {
    const char* name;
    std::deque<Answer> answers;
    std::deque<OpenStep> opens;
    const char* script;
    const char* shape;
    const char* windows;
    bool full_screen;  // at the end
    ShellPhase phase;  // at the end
    int exit_code;
};

const ScriptRun runs[] = {
    {"no, then Escape", {Answer::no}, {}, "iiEi", "Q+22e-", "W1", false, ShellPhase::ended, 0},
    {"yes, then Escape", {Answer::yes}, {}, "Ei", "Q+e-", "P1", true, ShellPhase::ended, 0},
    {"close request", {Answer::no}, {}, "iC", "Q+2e-", "W1", false, ShellPhase::ended, 0},
    {"minimised and restored",
     {Answer::no},
     {},
     "miirimEi",
     "Q+e00e2ee-",
     "W1",
     false,
     ShellPhase::ended,
     0},
    {"F1 twice",
     {Answer::yes},
     {},
     "iFiFiEi",
     "Q+2e2-+e2-+e-",
     "P1 W2 P2",
     true,
     ShellPhase::ended,
     0},
    // Escape with F1 still toggles before it ends; the display without the mode offers a window.
    {"Escape with F1",
     {Answer::no, Answer::yes},
     {OpenStep::opened, OpenStep::display_mode},
     "EFi",
     "Q+ee-+?+-",
     "W1 P2 W2",
     false,
     ShellPhase::ended,
     0},
    {"first window fails",
     {Answer::no},
     {OpenStep::window},
     "",
     "Q+-!",
     "W1",
     false,
     ShellPhase::ended,
     1},
    {"toggled window fails",
     {Answer::no},
     {OpenStep::opened, OpenStep::gl_context},
     "Fi",
     "Q+e2-+-!",
     "W1 P2",
     true,
     ShellPhase::ended,
     1},
    // Taps: a key-down whose key-up came before the next frame counts at that frame, once; a
    // held key counts once too.
    {"tap of Escape", {Answer::no}, {}, "iEei", "Q+2ee-", "W1", false, ShellPhase::ended, 0},
    {"taps of F1 in one frame",
     {Answer::no},
     {},
     "FfFfii",
     "Q+eeee2-+2",
     "W1 P2",
     true,
     ShellPhase::playing,
     0},
    {"taps of F1 in two frames",
     {Answer::no},
     {},
     "FfiFfi",
     "Q+ee2-+ee2-+",
     "W1 P2 W2",
     false,
     ShellPhase::playing,
     0},
    {"F1 held", {Answer::no}, {}, "Fiiif", "Q+e2-+22e", "W1 P2", true, ShellPhase::playing, 0},
    // Answers that come later: each step asks again.
    {"late answer",
     {Answer::not_yet, Answer::not_yet, Answer::no},
     {},
     "iEi",
     "QQQ+2e-",
     "W1",
     false,
     ShellPhase::ended,
     0},
    {"late offer",
     {Answer::no, Answer::not_yet, Answer::not_yet, Answer::yes},
     {OpenStep::opened, OpenStep::display_mode, OpenStep::display_mode, OpenStep::display_mode},
     "Fi",
     "Q+e2-+?+?+?+",
     "W1 P2 P2 P2 W2",
     false,
     ShellPhase::playing,
     0},
};

TEST_F(Shell, RunsTheShowByItsScript) {
    for (const ScriptRun& row : runs) {
        SetUp();
        rec.answers = row.answers;
        rec.opens = row.opens;
        run(shell, row.script);
        EXPECT_EQ(rec.shape, row.shape) << row.name;
        EXPECT_EQ(rec.windows, row.windows) << row.name;
        EXPECT_EQ(full_screen_mode, row.full_screen) << row.name;
        EXPECT_EQ(shell.phase, row.phase) << row.name;
        EXPECT_EQ(shell.exit_code, row.exit_code) << row.name;
        TearDown();
    }
}

// What each step tells a page's frame callback: go on at once after an answer, an opened
// window and an event; wait for the next frame after an unanswered question, a frame and the
// end.
TEST_F(Shell, EachStepSaysWhetherTheNextMayFollowAtOnce) {
    rec.answers = {Answer::not_yet, Answer::yes};
    rec.events = {events.at('i'), events.at('E')};
    EXPECT_FALSE(shell_step(shell));
    EXPECT_EQ(shell.phase, ShellPhase::question);
    EXPECT_TRUE(shell_step(shell));
    EXPECT_EQ(shell.phase, ShellPhase::opening);
    EXPECT_TRUE(shell_step(shell));
    EXPECT_EQ(shell.phase, ShellPhase::playing);
    EXPECT_FALSE(shell_step(shell));
    EXPECT_TRUE(shell_step(shell));
    EXPECT_FALSE(shell_step(shell));
    EXPECT_EQ(shell.phase, ShellPhase::ended);
    EXPECT_FALSE(shell_step(shell));
    EXPECT_EQ(rec.shape, "QQ+2e-");
}

// No box can be shown: the question and the failure go to stderr, no answer is not a No, the
// exit is 1.
TEST_F(Shell, WithoutBoxesTheTextsGoToStderr) {
    rec.answers = {Answer::none, Answer::none};
    rec.opens = {OpenStep::video};
    testing::internal::CaptureStderr();
    run(shell, "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "HEJD\xC3\x85!: V\xC3\xA4lkommen?\nERROR: Failed To Register The Window Class.\n");
    EXPECT_EQ(shell.exit_code, 1);
    EXPECT_TRUE(full_screen_mode);
}

}  // namespace
