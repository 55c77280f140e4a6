#include "app/shell.h"

#include <cstring>

#include "app/first_frame_report.h"
#include "app/message_box.h"
#include "scenes/scenes.h"

bool key_down[256];
bool window_active = true;
bool full_screen_mode = true;

namespace {

constexpr int window_width = 640;
constexpr int window_height = 480;
constexpr int window_bits = 16;

void end(ShellState& shell, int exit_code) {
    shell.phase = ShellPhase::ended;
    shell.exit_code = exit_code;
}

// Latin-1: "Välkommen?" and "HEJDÅ!". Yes, or no box at all, leaves full screen on.
bool ask_start_up_question(ShellState& shell) {
    const Answer answer = message_box(*shell.window.platform, "V\xE4lkommen?", "HEJD\xC5!",
                                      Buttons::yes_no, Icon::question);
    if (answer == Answer::not_yet) return false;
    note_start_up_answer();
    if (answer == Answer::no) full_screen_mode = false;
    shell.phase = ShellPhase::opening;
    return true;
}

// Opens the window of the phase; a failed open ends the program.
bool open_window(ShellState& shell, const char* title) {
    const OpenOutcome outcome = open_display_window(shell.window, title, window_width,
                                                    window_height, window_bits, full_screen_mode);
    if (outcome == OpenOutcome::waiting) return false;
    if (outcome == OpenOutcome::failed) {
        end(shell, exit_window_failed);
        return false;
    }
    shell.phase = ShellPhase::playing;
    if (shell.end_after_toggle) {
        close_display_window(shell.window);
        end(shell, exit_normal);
        return false;
    }
    return true;
}

// Keys and the window's state go to the window; a close request ends the show at once.
bool take_event(ShellState& shell, const ShellEvent& event) {
    if (event.kind == ShellEventKind::close_requested) {
        close_display_window(shell.window);
        end(shell, exit_normal);
        return false;
    }
    if (event.kind == ShellEventKind::key_down) shell.pressed[event.key] = true;
    display_window_proc(event);
    return true;
}

// A minimised window draws nothing but still presents and still honours Escape. The frame that
// finds the show over has been drawn but is not presented. F1 then closes the window and the
// next step opens one in the other mode, whose set-up starts the music and so the show again.
bool play_frame(ShellState& shell) {
    const bool escape = key_down[escape_key] || shell.pressed[escape_key];
    const bool toggle = key_down[f1_key] || shell.pressed[f1_key];
    std::memset(shell.pressed, 0, sizeof shell.pressed);
    const bool over = (window_active && !render_frame()) || escape;
    if (!over) {
        shell.window.platform->present_frame();
        note_frame_presented();
    }
    if (toggle) {
        key_down[f1_key] = false;  // one toggle per key-down, auto-repeat included
        close_display_window(shell.window);
        full_screen_mode = !full_screen_mode;
        shell.end_after_toggle = over;
        shell.phase = ShellPhase::toggling;
    } else if (over) {
        close_display_window(shell.window);
        end(shell, exit_normal);
    }
    return false;
}

}  // namespace

ShellState shell_start(const Platform& platform) {
    std::memset(key_down, 0, sizeof key_down);
    window_active = true;
    full_screen_mode = true;
    ShellState shell = {};
    shell.phase = ShellPhase::question;
    shell.exit_code = exit_normal;
    shell.window.platform = &platform;
    return shell;
}

// One event per pass: a pass that takes an event draws nothing, so frames are drawn only when
// no event waits. There is no frame cap; the song clock paces the show.
bool shell_step(ShellState& shell) {
    switch (shell.phase) {
        case ShellPhase::question:
            return ask_start_up_question(shell);
        case ShellPhase::opening:
            return open_window(shell, first_window_title);
        case ShellPhase::toggling:
            return open_window(shell, toggled_window_title);
        case ShellPhase::playing: {
            const ShellEvent event = shell.window.platform->next_event();
            if (event.kind != ShellEventKind::none) return take_event(shell, event);
            return play_frame(shell);
        }
        case ShellPhase::ended:
            return false;
    }
    return false;
}
