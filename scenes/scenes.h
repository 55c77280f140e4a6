#pragma once
#include <cstdint>

#include "player/module.h"

// The timeline and the scenes it chooses from the song clock.

extern int32_t current_scene;  // the scene the next frame draws
extern float song_seconds;     // the song clock in seconds, read once per frame
// The module playing, whose clock the show follows; set by the renderer set-up, null when none is.
extern XmModule* music_module;

// Draws one frame and chooses the next scene; false once the show is over.
bool render_frame();
// Puts the scene index and song_seconds back to their start values and forgets the module
// playing (for test fixtures).
void timeline_reset();

void draw_scene_0();
void draw_scene_2();
void draw_scene_3();
void draw_scene_4();
