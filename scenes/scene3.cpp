#include <GL/gl.h>

#include "player/session.h"
#include "scenes/scenes.h"
#include "scenes/text.h"
#include "scenes/tube.h"

// Scene 3: the tube standing upright right of centre, striped lengthwise, on purple, with the
// two credit lines to the left behind it. The credits are printed with the black and the line
// width 4 the seams left. Each of the 64 ring steps would print them at the same place in the
// same colour, every copy writing the same pixels and depths as the first, so they are
// printed once, after the rings: the same picture at a 64th of the cost.
void draw_scene_3() {
    glShadeModel(GL_FLAT);
    const float b = quarter_seconds(song_clock_ms(playing_song()));

    glLoadIdentity();
    glTranslatef(0.8f, -1.5f, -3.0f);  // ring 0 at the bottom
    draw_tube(scene_3_face_colour, b);

    for (int32_t n = 0; n < ring_count; ++n)
        update_ring(n, b, scene_3_radius);
    glClearColor(0.9f, 0.0f, 0.6f, 0.0f);  // purple from the next frame on
    glLoadIdentity();
    glTranslatef(-2.5f, 1.0f, -10.0f);
    print_centered("Code: Jorp");
    glLoadIdentity();
    glTranslatef(-2.5f, -1.0f, -10.0f);
    print_centered("Music: Vennoli");
}
