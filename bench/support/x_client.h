#pragma once
// The few X requests the command-line tools cannot make, sent through the X library loaded at
// run time (the tests link no X library of their own).
#include <cstdint>
#include <string>
#include <vector>

// Switches the server's key auto-repeat on or off.
bool set_key_repeat(const std::string& display, bool on);

// Asks a window to close the way a window manager's close button does (WM_DELETE_WINDOW).
bool request_window_close(const std::string& display, unsigned long window);

// Whether the cursor the server shows now is fully transparent (the window under the pointer
// hides it). False when it cannot be told.
bool cursor_is_hidden(const std::string& display);

// The pixels of a rectangle of the screen as the server holds them, as 8-bit red, green and
// blue triples row by row from the top left. Reading the screen rather than a window keeps a
// window that closes meanwhile from turning into an X error. False when it cannot be read.
bool read_screen_pixels(const std::string& display, int x, int y, int width, int height,
                        std::vector<uint8_t>* rgb);
