#pragma once
#include <cstdint>

// A rendering context that needs no window system, for the programs and tests that draw the
// show offline: Mesa's EGL surfaceless platform with a desktop OpenGL compatibility context
// (the fixed-function calls, client-side vertex arrays and fog the scenes use), drawing into an
// offscreen surface of the format the window gets on a 24-bit display, so that each frame is the
// one the window shows, pixel for pixel, on the same renderer. A surface and not a framebuffer
// object: the renderer runs a surface's rows the way it runs a window's, and rows the other way
// up move an edge pixel here and there. Works the same whether a display is set or not. One
// context per process.

// Creates the context and a width x height surface to draw and read, makes them current and
// sets the projection for that size. A one-line reason in `failure` when a step fails.
bool open_offscreen_context(int width, int height, const char*& failure);
// Ends the frame drawn as a buffer swap ends it: waits until the renderer has run what was
// queued, so that frames never read back do not pile up in its queue (a flush alone lets the
// software renderer's queue grow by about half a megabyte a frame).
void finish_offscreen_frame();
// Reads the frame drawn, bottom row first, as RGBA bytes (width x height x 4).
void read_offscreen_frame(uint8_t* rgba);
// Releases the surface, the context and the display connection.
void close_offscreen_context();
