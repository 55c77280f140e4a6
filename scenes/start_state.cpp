#include "scenes/start_state.h"

#include <GL/gl.h>

namespace {

// Fog colour: black, opaque.
constexpr GLfloat fog_colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};

}  // namespace

// Lighting, blending, texturing and fog stay off; the scenes switch on what they need.
void set_scene_start_state() {
    glShadeModel(GL_SMOOTH);
    glClearColor(1.0f, 1.0f, 1.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_COLOR_MATERIAL);
    set_fog_parameters();
    glEnable(GL_LINE_SMOOTH);
}

// For the tunnel scene, which switches fog on and off itself: linear from the eye to 30 units,
// fading into black.
void set_fog_parameters() {
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogfv(GL_FOG_COLOR, fog_colour);
    glFogf(GL_FOG_DENSITY, 0.25f);
    glHint(GL_FOG_HINT, GL_NICEST);
    glFogf(GL_FOG_START, 0.0f);
    glFogf(GL_FOG_END, 30.0f);
}
