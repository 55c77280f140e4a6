// Placeholder until the renderer set-up lands.
#include "app/renderer.h"

bool setup_renderer() { return true; }
void setup_fog() {}
void build_outline_font() {}
void free_outline_font() {}
