// Placeholder until the timeline lands.
#include "scenes/scenes.h"

int32_t current_scene = 0;
float song_seconds = 0.0f;

bool render_frame() { return true; }
