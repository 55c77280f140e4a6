#include <GL/gl.h>

#include <algorithm>

#include "data/texts.h"
#include "player/session.h"
#include "scenes/coloured_quads.h"
#include "scenes/lines.h"
#include "scenes/scenes.h"
#include "scenes/text.h"
#include "scenes/tunnel_math.h"

namespace {

// One corner of one tunnel quad as the arrays hold it: the grid point, its texture coordinate
// and the colour of its ring of quads.
struct TunnelVertex {
    TunnelPoint point;
    TunnelTexcoord st;
    QuadColour colour;
};

constexpr int32_t tunnel_quads = tunnel_size - 1;  // per strip and per ring
constexpr int32_t tunnel_vertex_count = tunnel_quads * tunnel_quads * 4;

// The quads of the frame, strip after strip, ring after ring, four corners each.
TunnelVertex tunnel_vertices[tunnel_vertex_count];

// The GL clamps each colour to 0..1 before it fogs it. The colours are clamped here already, so
// that a GL which fogs them unclamped (the page's fixed-function emulation) shows the same tunnel.
QuadColour clamped(const QuadColour& colour) {
    return {std::clamp(colour.red, 0.0f, 1.0f), std::clamp(colour.green, 0.0f, 1.0f),
            std::clamp(colour.blue, 0.0f, 1.0f)};
}

// The 32 strips of the tunnel, strip i from grid column i to i+1, one quad per ring j with
// the corners (i, j), (i+1, j), (i+1, j+1), (i, j+1) and one colour per ring of quads; all
// of them in one draw. Client arrays are on for the draw only.
void draw_tunnel(float time_value) {
    QuadColour ring_colours[tunnel_quads];
    for (int32_t j = 0; j < tunnel_quads; ++j)
        ring_colours[j] = clamped(tunnel_ring_colour(j, time_value));
    TunnelVertex* vertex = tunnel_vertices;
    for (int32_t i = 0; i < tunnel_quads; ++i) {
        for (int32_t j = 0; j < tunnel_quads; ++j) {
            const int32_t corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& [u, v] : corners)
                *vertex++ = {tunnel_points[u][v], tunnel_texcoords[u][v], ring_colours[j]};
        }
    }

    draw_coloured_quads(&tunnel_vertices[0].point.x, &tunnel_vertices[0].st.s,
                        &tunnel_vertices[0].colour.red, sizeof(TunnelVertex), tunnel_vertex_count);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

// Scene 4: the eye looks down a fogged tunnel that bends with the time value T, and two white
// lines scroll over it. T adds this frame's clock reading to the one the previous frame
// stored, so the scene's first frame moves at half speed. The texts are drawn with fog and the
// depth test off, over the tunnel in full white.
void draw_scene_4() {
    const uint32_t song_ms = song_clock_ms(playing_song());
    tunnel_time = tunnel_time_value(song_ms, tunnel_prev_clock);
    tunnel_prev_clock = song_clock_ms(playing_song());  // a second reading, as heard now

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
    set_line_width(3.0f);
    print_centered("%s", scroller_text);
    glLoadIdentity();
    glTranslatef(greetings_x(song_seconds), -4.5f, -12.0f);
    set_line_width(3.0f);
    print_centered("%s", greetings_text);
    glEnable(GL_DEPTH_TEST);
}
