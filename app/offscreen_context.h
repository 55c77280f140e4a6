#pragma once
#include <cstdint>

// A rendering context that needs no window system: Mesa's EGL surfaceless platform with a
// desktop OpenGL compatibility context (the fixed-function calls, client-side vertex arrays
// and fog the scenes use), drawing into a framebuffer object of its own with an 8-bit RGBA colour
// buffer and the 16-bit depth buffer the window asks for. Works the same whether a display is set
// or not. One context per process.

// Creates the context, makes it current and binds a width x height framebuffer to draw and
// read, with the projection for that size. A one-line reason in `failure` when a step fails.
bool open_offscreen_context(int width, int height, const char*& failure);
// Ends the frame drawn as a buffer swap ends it: waits until the renderer has run what was
// queued, so that frames never read back do not pile up in its queue (a flush alone lets the
// software renderer's queue grow by about half a megabyte a frame).
void finish_offscreen_frame();
// Reads the frame drawn, bottom row first, as RGBA bytes (width x height x 4).
void read_offscreen_frame(uint8_t* rgba);
// Releases the framebuffer, the context and the display connection.
void close_offscreen_context();
