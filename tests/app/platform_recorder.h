#pragma once
// A platform for the shell's tests: it logs every call, answers from the test's lists, and
// opens, closes and presents real SDL windows, always in a window of the virtual X server. An
// open that the test makes fail at a step up to the window's own builds nothing; one that fails
// later builds the window, so the close that follows has it to tear down.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>

#include "app/sdl_platform.h"
#include "app/shell.h"
#include "scenes/scenes.h"
#include "scenes/text.h"

struct Recorder {
    // One letter a call: Q the start-up question, ? the offer of a window, ! any other box,
    // + an open, - a close, e an event taken, a digit a frame presented with the scene then
    // current (the opening 0 until its first drawn frame chooses scene 2).
    std::string shape;
    // Each box: its icon (I information, Q question, W exclamation, E stop), caption and text.
    std::vector<std::string> boxes;
    // Each window asked for: W windowed or P full screen, then 1 for the first title and 2 for
    // the toggled one, at 640x480 with 16 colour bits, a 16-bit depth buffer and a 640x480
    // mode for full screen; a window at any other size is marked so.
    std::string windows;
    std::deque<OpenStep> opens;  // how each open ends; past the list, opened
    std::deque<Answer> answers;  // each box's answer; past the list, its first button
    std::string script;          // the events, as letters; past its end, none
    CloseFailures close_failures = {};
    bool lists_modes = true;
    DisplayModes modes = {{{640, 480, 24, 60}}, {1024, 768, 24, 60}};
};
inline Recorder rec;

// The events of a script, one letter each: i none (a frame step), E and e Escape down and up, F
// and f F1 down and up, C the window's close, m minimised, r restored.
inline const std::map<char, ShellEvent> events = {
    {'i', {ShellEventKind::none}},
    {'E', {ShellEventKind::key_down, escape_key}},
    {'e', {ShellEventKind::key_up, escape_key}},
    {'F', {ShellEventKind::key_down, f1_key}},
    {'f', {ShellEventKind::key_up, f1_key}},
    {'C', {ShellEventKind::close_requested}},
    {'m', {ShellEventKind::minimised}},
    {'r', {ShellEventKind::restored}},
};

template <typename T>
T take(std::deque<T>& list, T otherwise) {
    if (list.empty()) return otherwise;
    const T front = list.front();
    list.pop_front();
    return front;
}

inline std::string window_name(const WindowRequest& request) {
    const std::string title = request.title;
    const DisplayMode& mode = request.display_mode;
    const bool usual = request.width == 640 && request.height == 480 && request.colour_bits == 16 &&
                       request.depth_bits == 16 && mode.width == 640 && mode.height == 480;
    std::string name = request.full_screen ? "P" : "W";
    if (title == "Tirvalex3") name += "1";
    if (title == "Joka's Outline Font Tutorial") name += "2";
    return usual ? name : name + " at another size";
}

inline OpenStep record_open(const WindowRequest& request) {
    rec.shape += '+';
    rec.windows += (rec.windows.empty() ? "" : " ") + window_name(request);
    const OpenStep step = take(rec.opens, OpenStep::opened);
    if (step != OpenStep::opened && step <= OpenStep::window) return step;
    WindowRequest windowed = request;
    windowed.full_screen = false;  // the test's X server keeps its mode
    const OpenStep opened = sdl_platform.open_window(windowed);
    return step == OpenStep::opened ? opened : step;
}

inline CloseFailures record_close() {
    rec.shape += '-';
    sdl_platform.close_window();
    return rec.close_failures;
}

inline ShellEvent record_event() {
    const char letter = rec.script.empty() ? 'i' : rec.script.front();
    rec.script.erase(0, 1);  // nothing, once the script is used up
    if (letter != 'i') rec.shape += 'e';
    return events.at(letter);
}

inline void record_frame() {
    rec.shape += char('0' + current_scene);
    sdl_platform.present_frame();
}

inline bool record_modes(DisplayModes* modes) {
    *modes = rec.modes;
    return rec.lists_modes;
}

inline Answer record_question(const char* text, const char* caption, Buttons buttons, Icon icon) {
    const std::string caption_text = caption;
    char letter = '!';
    if (caption_text == "HEJD\xC5!") letter = 'Q';
    if (caption_text == "Vimpa - Zelmorint") letter = '?';
    rec.shape += letter;
    rec.boxes.push_back(std::string(1, "IQWE"[static_cast<int>(icon)]) + " " + caption + ": " +
                        text);
    return take(rec.answers, buttons == Buttons::ok ? Answer::ok : Answer::yes);
}

inline const Platform recording_platform = {
    record_open, record_close, record_event, record_frame, record_modes, record_question,
};

// One fixture for the shell: a fresh recording and shell state, the timeline at its start;
// whatever a test left open is closed afterwards. open() opens the show's first window, at
// 640x480 with 16 colour bits.
class Shell : public testing::Test {
protected:
    void SetUp() override {
        rec = Recorder{};
        shell = shell_start(recording_platform);
        timeline_reset();
    }
    void TearDown() override { sdl_platform.close_window(); }
    OpenOutcome open(bool full_screen = false) {
        return open_display_window(shell.window, first_window_title, 640, 480, 16, full_screen);
    }
    ShellState shell = {};
};

// The shell's fixture with the show's first window open, on glyphs read from the start state
// (the font is read once per process).
class OpenWindow : public Shell {
protected:
    void SetUp() override {
        Shell::SetUp();
        text_reset();
        ASSERT_EQ(open(), OpenOutcome::opened);
    }
};
