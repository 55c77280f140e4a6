#pragma once
#include <cstdint>

// The timeline and the scenes it chooses from the song clock.

extern int32_t current_scene;  // the scene the next frame draws
extern float song_seconds;     // the song clock in seconds, read once per frame

// Draws one frame and chooses the next scene; false once the show is over.
bool render_frame();
// Puts the scene index and song_seconds back to their start values (a show started again
// offline or in the page).
void timeline_reset();

void draw_scene_0();
void draw_scene_2();
void draw_scene_3();
void draw_scene_4();
