// The offscreen context draws what the program's window draws on a 24-bit display (the tests'
// virtual X server): the same frames of scene 2, its tube in front of the title fan, are the
// same pixels in both. A depth buffer of another precision, or rows rasterised the other way
// up, change some of them.
#include <GL/gl.h>

#include <vector>

#include "app/offscreen_context.h"
#include "app/renderer.h"
#include "player/session.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/tube_math.h"
#include "tests/app/platform_recorder.h"

namespace {

// Two frames of scene 2 at 6 s from the scenes' start state (the second draws the rings of
// that time), read back as RGB.
std::vector<uint8_t> scene_2_at_six_seconds() {
    setup_scene_state();
    scene_random_reset();
    ring_tables_reset();
    song_seconds = 6.0f;
    for (int frame = 0; frame < 2; ++frame) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        draw_scene_2();
    }
    std::vector<uint8_t> rgb(640 * 480 * 3);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

TEST_F(OpenWindow, OffscreenFramesAreTheWindowsPixelForPixel) {
    release_song(playing_song());  // the song the window started: the clock then reads 0 in both
    const std::vector<uint8_t> window = scene_2_at_six_seconds();
    close_display_window(shell.window);
    const char* failure = nullptr;
    ASSERT_TRUE(open_offscreen_context(640, 480, failure)) << failure;
    const std::vector<uint8_t> offscreen = scene_2_at_six_seconds();
    close_offscreen_context();
    EXPECT_TRUE(window == offscreen) << "the offscreen frame differs from the window's";
}

}  // namespace
