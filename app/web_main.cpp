// The show in a browser page: the entry point and the loop the browser calls once per
// animation frame. The page runs the desktop's shell on its own platform record
// (app/web_platform.h) and renderer set-up (app/web_renderer.h): the same question, window
// modes, F1 and Escape. After the end the page offers to play again, which starts the shell
// anew, as starting the program again would.
#include <emscripten.h>

#include <cstdint>

#include "app/glyph_file.h"
#include "app/shell.h"
#include "app/web_platform.h"
#include "app/web_renderer.h"
#include "player/session.h"
#include "scenes/lines.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

constexpr int picture_width = 640;
constexpr int picture_height = 480;

ShellState shell = {};
bool started = false;

// Steps the shell until it waits for the next frame or an answer. The show's end stops the
// music (the desktop ends its process there) and the page says so.
void step_shell() {
    if (!started || shell.phase == ShellPhase::ended) return;
    while (shell_step(shell)) {
    }
    if (shell.phase == ShellPhase::ended) {
        stop_music();
        page_show_ended();
    }
}

void frame() {
    keep_ring_filled();
    step_shell();
}

}  // namespace

extern "C" {

// The page has loaded the program and the glyph file: the shell starts with its question.
EMSCRIPTEN_KEEPALIVE bool web_start(const uint8_t* glyphs, uint32_t size) {
    if (!glyphs_from_bytes(glyphs, size, baked_glyphs)) return false;
    if (!page_create_context(picture_width, picture_height)) return false;
    lines_as_quads = true;
    shell = shell_start(web_platform);
    started = true;
    emscripten_set_main_loop(frame, 0, 0);
    step_shell();
    return true;
}

// The answer, given inside the user's gesture (a click or a key): the shell takes it at once,
// so the full-screen request and the sound's start belong to the gesture.
EMSCRIPTEN_KEEPALIVE void web_answer(int yes) {
    answer_question(yes != 0);
    step_shell();
}

// After the show has ended: the shell from its start, the question first.
EMSCRIPTEN_KEEPALIVE void web_play_again() {
    if (shell.phase != ShellPhase::ended) return;
    step_music(0);
    shell = shell_start(web_platform);
    step_shell();
}

// The browser has left full screen by itself (its own Escape): the show plays on in the page.
EMSCRIPTEN_KEEPALIVE void web_left_full_screen() {
    full_screen_mode = false;
}

// The worklet has reported its position: blocks heard are refilled, in a hidden page too.
EMSCRIPTEN_KEEPALIVE void web_keep_ring_filled() {
    keep_ring_filled();
}

// The automation surface: the song clock and the frames heard of the playing song.
EMSCRIPTEN_KEEPALIVE uint32_t web_clock_ms() {
    return song_clock_ms(playing_song());
}

EMSCRIPTEN_KEEPALIVE double web_frames_heard() {
    return double(music_frames_heard());
}

EMSCRIPTEN_KEEPALIVE void web_grab_frames(const uint32_t* times_ms, int32_t count) {
    grab_frames_at(times_ms, count);
}

// The show again in the page, silent, with the clock stepped `blocks` ring blocks a frame from
// the first frame and the scenes at their start, as the offline capture draws it, so that its
// frames can be set beside the capture's pictures.
EMSCRIPTEN_KEEPALIVE void web_step_show(int32_t blocks) {
    stop_music();
    timeline_reset();
    scene_random_reset();
    ring_tables_reset();
    tunnel_reset();
    lines_reset();
    lines_as_quads = true;
    step_music(blocks);
    shell = shell_start(web_platform);
    full_screen_mode = false;
    shell.phase = ShellPhase::opening;
    step_shell();
}

}  // extern "C"

int main() {
    page_loaded();
    return 0;
}
