#include <GL/gl.h>

#include "player/session.h"
#include "scenes/scenes.h"
#include "scenes/timeline_math.h"

int32_t current_scene = 0;
float song_seconds = 0.0f;

namespace {

using SceneRoutine = void (*)();

// The scene table by index; index 1 and any index past the table draw nothing.
constexpr SceneRoutine scene_table[] = {
    draw_scene_0,  // 0: opening title line, first frame only
    nullptr,       // 1: never chosen by the timeline
    draw_scene_2,  // 2: wavy tube and title fan
    draw_scene_3,  // 3: upright tube and credits
    draw_scene_4,  // 4: bending tunnel and scrolling texts
};
constexpr int32_t scene_table_size = sizeof scene_table / sizeof scene_table[0];
static_assert(scene_table_size == 5);

// Draws the scene with that index, or nothing when the table has no routine for it.
void draw_scene(int32_t index) {
    if (uint32_t(index) < uint32_t(scene_table_size) && scene_table[index] != nullptr) {
        scene_table[index]();
    }
}

}  // namespace

// Puts the timeline back at the start of the show (a show started again).
void timeline_reset() {
    current_scene = 0;
    song_seconds = 0.0f;
}

// One frame of the show. The song clock is read once, so the scene drawn and the choice of
// the next one work on the same snapshot of the music; the choice takes effect one frame later.
bool render_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    song_seconds = song_seconds_from_ms(song_clock_ms(playing_song()));

    // The state every scene starts from, whatever the previous frame's scene left behind.
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);  // the scenes' matrices are model-view ones
    glLoadIdentity();
    glTranslatef(-4.0f, -4.0f, -10.0f);
    glColor3f(1.0f, 1.0f, 1.0f);

    draw_scene(current_scene);

    const int32_t next = next_scene_after(song_seconds);
    if (next == show_over) return false;  // this frame is drawn but not presented
    current_scene = next;
    return true;
}
