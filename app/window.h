#pragma once

// The one display window and its OpenGL rendering context.

// Opens a window with a client area of width x height (full screen at that mode when asked,
// offering windowed mode when the mode is refused), a double-buffered RGBA context with a
// depth buffer, the projection and the renderer set-up. False after a reported failure.
bool open_display_window(const char* title, int width, int height, int bits, bool full_screen);
// Undoes all of it; safe with any subset of the handles present.
void close_display_window();
// Viewport and projection for a client area of that size.
void set_projection(int width, int height);
