#pragma once
// A virtual X server of the caller's own, with one screen of a chosen size and depth, met as a
// user meets it: windows found by the start of their titles, keys and clicks sent through
// xdotool, the screen's pixels and the pointer's cursor read back.
#include <string>
#include <vector>

#include "tests/support/pixels.h"
#include "tests/support/process.h"

typedef struct _XDisplay Display;  // as Xlib declares it

struct XDisplay {
    ChildProcess server;
    std::string name;               // ":N", empty when the server did not start
    Display* connection = nullptr;  // the caller's own, kept open while the server runs
};

// Starts Xvfb with one screen ("640x480x16", "1024x768x24") and waits until it takes clients.
// Key auto-repeat is off, so a key held down is one key press, however long it is held.
XDisplay start_x_display(const std::string& screen);
void stop_x_display(XDisplay& display);

// The environment entry that points a child at the display.
std::string display_entry(const XDisplay& display);

// A viewable top-level window: its id, its position and its size on the screen.
struct ScreenWindow {
    unsigned long id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The viewable window whose title (UTF-8) starts with `title`; false when there is none now.
bool find_window(const XDisplay& display, const std::string& title, ScreenWindow* window = nullptr);
// Waits until such a window exists; false when none came within wait_bound_seconds.
bool wait_for_window(const XDisplay& display, const std::string& title, ScreenWindow* window);

// Runs xdotool on the display with these arguments ("mousemove", "100", "200", "click", "1");
// false when it fails.
bool xdotool(const XDisplay& display, std::vector<std::string> arguments);
// Focuses the window and taps the keys (xdotool key names: "Return", "F1"), each pressed and
// released a few milliseconds apart.
bool tap_key(const XDisplay& display, const ScreenWindow& window, const std::string& key);

// Whether the cursor the server shows now is wholly transparent; false when it cannot be told.
bool cursor_hidden(const XDisplay& display);

// The colours of a rectangle of the screen, row by row from the top left; empty when they cannot
// be read. Reading the screen rather than a window keeps a window that closes meanwhile from
// turning into an X error.
std::vector<Rgb> screen_pixels(const XDisplay& display, int x, int y, int width, int height);
