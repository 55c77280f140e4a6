#pragma once
// Finding windows by name and driving them, as a user would, with the X command-line tools:
// xwininfo to list and measure, xprop to read properties, xdotool to focus, type and click.
#include <string>
#include <vector>

#include "bench/support/x_server.h"

struct XWindow {
    unsigned long id = 0;
    std::string name;  // UTF-8, as the window set it
    int x = 0;         // position on the screen
    int y = 0;
    int width = 0;  // the window's size without a frame: the client area (no window manager)
    int height = 0;
    bool viewable = false;
};

// The named top-level windows of the screen, viewable or not.
std::vector<XWindow> list_windows(const XServer& server);

// The viewable window with exactly that name; false when there is none now.
bool find_window(const XServer& server, const std::string& name, XWindow* window);

// Waits until a viewable window of that name exists (bounded by e2e_wait_seconds).
bool wait_for_window(const XServer& server, const std::string& name, XWindow* window);

// Waits until no viewable window of that name is left.
bool wait_for_window_gone(const XServer& server, const std::string& name);

// The screen's size.
bool screen_size(const XServer& server, int* width, int* height);

// Gives the window the keyboard and waits until it has it.
bool focus_window(const XServer& server, const XWindow& window);

// Focuses the window and presses and releases a key (an xdotool key name: "Return", "F1").
bool tap_key(const XServer& server, const XWindow& window, const std::string& key);

// Focuses the window and presses a key without releasing it, or releases it. Holding a key
// until its effect shows makes sure a program that reads the key's state between frames sees it.
bool press_key(const XServer& server, const XWindow& window, const std::string& key);
bool release_key(const XServer& server, const std::string& key);

// Moves the pointer to (x, y) inside the window and clicks the left button there.
bool click_in_window(const XServer& server, const XWindow& window, int x, int y);

// Moves the pointer to (x, y) inside the window.
bool move_pointer_into(const XServer& server, const XWindow& window, int x, int y);

// Answers a two-button message box: Return takes the first button (its Return default), a
// click on the right half of the button row takes the second.
bool answer_first_button(const XServer& server, const XWindow& box);
bool answer_second_button(const XServer& server, const XWindow& box);
