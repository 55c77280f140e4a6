#pragma once
#include <cstdint>

#include "app/platform.h"

// The page's platform record, over the page around the show (web/page.js): the picture in the
// page or full screen as the window, the page's keys as events, the page's question box. The
// browser presents a frame when the frame's callback returns.
extern const Platform web_platform;

// A WebGL context on the page's canvas, width x height, with the GL emulation started on it;
// false when the browser gives none. The one context serves every window the shell opens.
bool page_create_context(int width, int height);

// The page around the show, written in JavaScript (so with C linkage).
extern "C" {
// The runtime is up: the page fetches the glyphs and calls web_start.
void page_loaded();
// Says the show has ended and offers to play it again.
void page_show_ended();
// A frame read back for a time asked for: RGBA rows, bottom row first.
void page_frame_grabbed(uint32_t requested_ms, uint32_t clock_ms, const uint8_t* rgba);
}

// The user's answer to the question the page shows.
void answer_question(bool yes);
// Reads back each frame presented once the clock reaches the next of these times (ascending).
void grab_frames_at(const uint32_t* times_ms, int32_t count);
