#pragma once
#include <cstdint>

#include "app/platform.h"
#include "app/window.h"

// The shell: the start-up question, the window and the show, as a state machine that a main
// loop steps once per pass. The desktop's loop steps it until it has ended; a page's frame
// callback steps it until a step asks for the next frame.

// Shell state shared by the shell and its window.
extern bool key_down[256];  // which keys are held, by virtual-key index
extern bool window_active;  // false while the window is minimised
extern bool full_screen_mode;

// The virtual-key indices the shell reads.
constexpr uint8_t escape_key = 27;
constexpr uint8_t f1_key = 112;

constexpr int exit_normal = 0;         // Escape, the window closed, the show over
constexpr int exit_window_failed = 1;  // a window could not be opened; the user has been told

// The window titles: the first window, and every window the F1 toggle opens.
constexpr const char* first_window_title = "Tirvalex3";
constexpr const char* toggled_window_title = "Joka's Outline Font Tutorial";

enum class ShellPhase : uint8_t {
    question,  // the start-up question waits for its answer
    opening,   // the first window is to be opened (its offer of windowed mode may wait)
    playing,   // the show runs
    toggling,  // F1 closed the window: one in the other mode is to be opened
    ended,     // the window is closed; exit_code is the program's result
};

struct ShellState {
    ShellPhase phase;
    int exit_code;
    DisplayWindow window;
    bool end_after_toggle;  // Escape or the show's end came with the F1 that toggled
    // Key-downs since the last frame, by virtual-key index: a tap whose key-up came before the
    // frame still counts once at that frame.
    bool pressed[256];
};

// A shell at its start on that platform, with the shell state at its start values: no key
// held, the window active, full screen until the answer says otherwise.
ShellState shell_start(const Platform& platform);

// One pass: asks the question, opens a window, takes one event, or draws and presents one
// frame. True when the next step may follow at once (an event was taken, a window opened);
// false when a frame was presented, an answer is awaited or the shell has ended.
bool shell_step(ShellState& shell);
