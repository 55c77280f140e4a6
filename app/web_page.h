#pragma once
#include <cstdint>

// The page around the show (web/page.js): its question box, its picture in the page or full
// screen, its notice that the show has ended, and the automation surface tests read.

// Written in JavaScript (EM_JS), so with C linkage.
extern "C" {

// The runtime is up: the page fetches the glyphs and calls web_start.
void page_loaded();
// Shows the question with its Yes and No buttons, Yes the default; the texts are Latin-1. The
// answer comes later, through web_answer.
void page_ask_question(const char* text, const char* caption);
// Shows the picture full screen (through the browser's request, keeping 4:3) or at its size in
// the page, and titles the page.
void page_open_picture(bool full_screen, const char* title);
// Leaves full screen.
void page_close_picture();
// Says the show has ended and offers to play it again.
void page_show_ended();
// A frame of the show was drawn at this song time.
void page_frame_drawn(uint32_t clock_ms);
// A frame read back for a time asked for: RGBA rows, bottom row first.
void page_frame_grabbed(uint32_t requested_ms, uint32_t clock_ms, const uint8_t* rgba);
}

// A WebGL context on the page's canvas, width x height, with the GL emulation started on it;
// false when the browser gives none.
bool page_create_context(int width, int height);
