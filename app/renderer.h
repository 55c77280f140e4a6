#pragma once

// Renderer set-up: runs after every successful creation of the rendering context. Puts GL into
// the state every scene starts from, builds the outline font, sets the fog parameters and
// starts the music. Always returns true.
bool setup_renderer();
// The GL state, font and fog of the renderer set-up without its music calls, for programs that
// drive the player themselves.
void setup_scene_state();
// Starts the embedded song from its beginning, the song of an earlier set-up (before a display
// toggle) released first: on the desktop's sound device (app/desktop_music.cpp), or on the
// page's worklet (app/web_renderer.cpp).
void start_music();
// Hand the outline font's glyphs to the text routine, and take them back when the rendering
// context closes: the desktop reads its font (app/font.cpp), the page the baked glyphs.
void build_outline_font();
void free_outline_font();
