#include <GL/gl.h>

#include "data/texts.h"
#include "player/output.h"
#include "scenes/scenes.h"
#include "scenes/text.h"
#include "scenes/tunnel_math.h"

namespace {

// The 32 strips of the tunnel, each its own run of quads; one colour per ring of quads.
void draw_tunnel(float time_value) {
    for (int32_t i = 0; i < tunnel_size - 1; ++i) {
        glBegin(GL_QUADS);
        for (int32_t j = 0; j < tunnel_size - 1; ++j) {
            const QuadColour colour = tunnel_ring_colour(j, time_value);
            glColor3f(colour.red, colour.green, colour.blue);
            const int32_t corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& corner : corners) {
                const TunnelTexcoord& st = tunnel_texcoords[corner[0]][corner[1]];
                const TunnelPoint& point = tunnel_points[corner[0]][corner[1]];
                glTexCoord2f(st.s, st.t);
                glVertex3f(point.x, point.y, point.z);
            }
        }
        glEnd();
    }
}

}  // namespace

// Scene 4: the eye looks down a fogged tunnel that bends with the time value T, and two white
// lines scroll over it. T adds this frame's clock reading to the one the previous frame
// stored, so the scene's first frame moves at half speed. The texts are drawn with fog and the
// depth test off, over the tunnel in full white.
void draw_scene_4() {
    const uint32_t song_ms = song_clock_ms(music_module);
    tunnel_time = tunnel_time_value(song_ms, tunnel_prev_clock);
    tunnel_prev_clock = song_clock_ms(music_module);  // a second reading, as heard now

    glDisable(GL_TEXTURE_2D);
    glPushMatrix();
    glLoadIdentity();  // the eye at the origin, looking down -z into the tunnel
    glColor3f(1.0f, 1.0f, 1.0f);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    fill_tunnel_texcoords(tunnel_time);
    glEnable(GL_FOG);
    fill_tunnel_points(tunnel_time);
    draw_tunnel(tunnel_time);
    glPopMatrix();

    glColor3f(1.0f, 1.0f, 1.0f);
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glLoadIdentity();
    glTranslatef(scroller_x(song_seconds), 0.0f, -12.0f);
    glLineWidth(3.0f);
    print_centered("%s", scroller_text);
    glLoadIdentity();
    glTranslatef(greetings_x(song_seconds), -4.5f, -12.0f);
    glLineWidth(3.0f);
    print_centered("%s", greetings_text);
    glEnable(GL_DEPTH_TEST);
}
