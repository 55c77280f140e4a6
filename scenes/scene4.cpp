#include "scenes/scenes.h"

// Placeholder until the scene lands.
void draw_scene_4() {}
