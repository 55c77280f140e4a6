#pragma once
#include <cstdint>

#include "app/platform.h"

// The one display window and its OpenGL rendering context, through the platform's record.
struct DisplayWindow {
    const Platform* platform;
    int pixel_format_bits;  // the colour depth of the first open, kept for every later one
};

enum class OpenOutcome : uint8_t {
    opened,   // the window is up, its context current, the renderer set up and the music started
    failed,   // the user has been told why
    waiting,  // the offer of windowed mode waits for its answer: open again on a later step
};

// Opens a window with a client area of width x height, full screen in a mode of that size
// when asked (offering windowed mode when the display has none), sets the projection and runs
// the renderer set-up.
OpenOutcome open_display_window(DisplayWindow& window, const char* title, int width, int height,
                                int bits, bool full_screen);
// Closes it, telling the user of each teardown step that failed.
void close_display_window(DisplayWindow& window);

// Feeds the shell state from the window's events: keys, minimising and restoring, size.
void display_window_proc(const ShellEvent& event);

// Viewport and projection for a client area of that size.
void set_projection(int width, int height);

// The listed mode a full-screen window of the wanted size and depth takes: one at the wanted
// depth, otherwise one at the desktop's depth, otherwise one at any depth. False when the
// display has no mode of that size.
bool choose_full_screen_mode(const DisplayModes& modes, DisplayMode* wanted);
