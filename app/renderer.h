#pragma once

// Renderer set-up: runs after every successful creation of the rendering context. Puts GL into
// the state every scene starts from, builds the outline font, sets the fog parameters and
// starts the music. Always returns true.
bool setup_renderer();
// The GL state, font and fog of the renderer set-up without its music calls, for programs that
// drive the player themselves.
void setup_scene_state();
// Hand the outline font's glyphs to the text routine, and take them back when the rendering
// context closes.
void build_outline_font();
void free_outline_font();
