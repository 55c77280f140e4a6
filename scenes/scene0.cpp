#include <GL/gl.h>

#include "scenes/scenes.h"
#include "scenes/text.h"

// The opening title frame, drawn on the very first frame only: one line of black outline
// letters on the white clear colour, centred on the view axis seven units in front of the
// viewer, its baseline on the horizontal centre line. Nothing else is changed.
void draw_scene_0() {
    glColor3f(0.0f, 0.0f, 0.0f);
    glLoadIdentity();  // drops the common translation of the frame
    glTranslatef(0.0f, 0.0f, -7.0f);
    print_centered("Still going strong");
}
