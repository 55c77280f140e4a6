#pragma once

// The program's one loop on the main thread: asks the start-up question, opens the window and
// runs the show until Escape, the window's close or the show's end.

constexpr int exit_normal = 0;         // Escape, the window closed, the show over
constexpr int exit_window_failed = 1;  // a window could not be opened; the user has been told

// The window titles: the first window, and every window the F1 toggle re-creates.
constexpr const char* first_window_title = "Tirvalex3";
constexpr const char* toggled_window_title = "Joka's Outline Font Tutorial";

// Runs the whole program and returns its exit code.
int run_main_loop();
