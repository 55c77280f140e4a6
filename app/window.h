#pragma once
#include <cstdint>

#include "app/platform.h"
#include "app/window_message.h"

// The one display window and its OpenGL rendering context.

// Opens a window with a client area of width x height (full screen at that mode when asked,
// offering windowed mode when the mode is refused), a double-buffered RGBA context with a
// depth buffer, the projection and the renderer set-up. False after a reported failure.
bool open_display_window(const char* title, int width, int height, int bits, bool full_screen);
// Undoes all of it; safe with any subset of the handles present.
void close_display_window();
// Viewport and projection for a client area of that size.
void set_projection(int width, int height);

// The window procedure: feeds the shell state from the window's messages (keys, activation,
// size, close) and hands the rest to the platform's default handling.
intptr_t display_window_proc(WindowHandle window, const WindowMessage* message);

// The handles of the open window, all null while it is closed.
extern WindowHandle window_handle;
extern DeviceContext device_context;
extern RenderContext render_context;
extern InstanceHandle instance_handle;

// The pixel-format request, filled on the first open that creates a window and reused by
// every later one unchanged.
extern PixelFormatRequest pixel_format_request;

// Closes nothing; forgets the handles and the pixel-format request (for test fixtures).
void window_reset();
