#pragma once
#include <cstdint>

#include "app/font.h"

// The page's parts of the renderer set-up (app/renderer.h): start_music and the glyph hand-over,
// with the glyphs baked from the desktop's font. The page has no threads, so the song is started
// offline and the ring is refilled here, from the page's loop and from every report of the
// worklet (a hidden page gets no frames, but the reports go on arriving), and each refilled
// block is handed to the worklet.

// The glyphs the set-up hands to the text routine.
extern GlyphOutline baked_glyphs[outline_glyph_count];

// Refills every block the worklet has played since the last call.
void keep_ring_filled();
// Stops the music and releases its song.
void stop_music();
// From the next set-up on, plays the song silently with its clock moved on `blocks` ring
// blocks after every frame presented, as the offline capture moves it; 0 plays it on the
// worklet again.
void step_music(int32_t blocks);
// After a frame is presented: the stepped clock moves on.
void music_frame_presented();
// Frames of the song heard so far, 0 without a device.
uint64_t music_frames_heard();
