#include "app/main_loop.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/first_frame_report.h"
#include "app/message_box.h"
#include "app/platform.h"
#include "app/shell_state.h"
#include "app/window.h"
#include "scenes/scenes.h"

namespace {

constexpr int window_width = 640;
constexpr int window_height = 480;
constexpr int window_bits = 16;

}  // namespace

// One message per pass: a pass that takes a message only dispatches it, so frames are drawn
// only when the queue is empty. There is no frame cap and no sleep; the song clock paces the
// show. The F1 toggle re-creates the window in the other mode, which restarts the music.
int run_main_loop() {
    // Without a display no question can be answered and no window opened: say so once.
    std::string no_display_reason;
    if (!display_available(&no_display_reason)) {
        std::fprintf(stderr, "tirvalex3: no display to open a window on (%s)\n",
                     no_display_reason.c_str());
        return exit_window_failed;
    }
    // Latin-1: "Välkommen?" and "HEJDÅ!".
    const int answer = message_box("V\xE4lkommen?", "HEJD\xC5!", MB_YESNO | MB_ICONQUESTION);
    note_start_up_answer();
    if (answer == ID_NO) full_screen_mode = false;
    if (!open_display_window(first_window_title, window_width, window_height, window_bits,
                             full_screen_mode)) {
        return exit_window_failed;
    }

    bool done = false;
    int exit_code = exit_normal;
    WindowMessage message = {};
    while (!done) {
        if (platform.peek_message(&message)) {
            if (message.code == WM_QUIT) {
                done = true;
                exit_code = static_cast<int>(message.wparam);  // 0, as the close posts it
            } else {
                display_window_proc(window_handle, &message);
            }
            continue;
        }
        // A key held down counts, and so does a tap whose key-up came with its key-down in
        // the messages since the last frame; each key-down counts at one frame pass only.
        const bool escape = key_down[VK_ESCAPE] || key_pressed[VK_ESCAPE];
        const bool toggle = key_down[VK_F1] || key_pressed[VK_F1];
        std::memset(key_pressed, 0, sizeof key_pressed);
        // A minimised window draws nothing but still swaps and still honours Escape. The
        // frame that finds the show over has been drawn but is not presented.
        if ((window_active && !render_frame()) || escape) {
            done = true;
        } else {
            platform.swap_buffers(device_context);
            note_frame_presented();
        }
        if (toggle) {
            key_down[VK_F1] = false;  // one toggle per key-down, auto-repeat included
            close_display_window();
            full_screen_mode = !full_screen_mode;
            if (!open_display_window(toggled_window_title, window_width, window_height, window_bits,
                                     full_screen_mode)) {
                return exit_window_failed;
            }
        }
    }
    close_display_window();
    return exit_code;
}
