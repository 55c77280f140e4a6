#include <GL/gl.h>

#include "player/session.h"
#include "scenes/lines.h"
#include "scenes/scenes.h"
#include "scenes/text.h"
#include "scenes/title_fan_math.h"
#include "scenes/tube.h"

// Scene 2: the wavy tube lying across the screen in front of a turning fan of 64 titles on
// light blue. The tube is drawn from the rings the previous tube frame left, then the 64 fan
// steps each update one ring and print one title. The clock is read afresh for every title,
// while the tube's time and the row hold the readings of the frame's start.
void draw_scene_2() {
    glShadeModel(GL_FLAT);
    const float b = quarter_seconds(song_clock_ms(playing_song()));
    const uint32_t row = song_clock_row(playing_song());

    glLoadIdentity();
    glTranslatef(2.8f, 0.3f, -3.0f);
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);  // the axis runs across the screen, ring 0 at the right
    draw_tube(scene_2_face_colour, b);

    for (int32_t n = 0; n < fan_copies; ++n) {
        update_ring(n, b, scene_2_radius);
        glClearColor(0.3f, 0.5f, 1.0f, 0.0f);  // light blue from the next frame on
        glLoadIdentity();
        set_line_width(3.0f);
        const float t = static_cast<float>(song_clock_ms(playing_song()));
        glTranslatef(0.0f, 0.0f, -5.0f);  // behind the tube
        glRotatef(static_cast<float>(fan_angle(n, t)), 0.0f, 0.0f, 1.0f);
        const QuadColour colour = fan_colour(n, t, random_step());
        glColor3f(colour.red, colour.green, colour.blue);
        print_centered("%s", fan_title(row));
    }
}
