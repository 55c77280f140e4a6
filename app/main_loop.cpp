#include "app/main_loop.h"

#include <cstdio>
#include <string>

#include "app/sdl_platform.h"
#include "app/shell.h"
#include "player/session.h"

// Without a display no question can be answered and no window opened: it says so once. The
// message box answers at once, so every step either takes an event or draws a frame.
int run_main_loop() {
    std::string no_display_reason;
    if (!display_available(&no_display_reason)) {
        std::fprintf(stderr, "tirvalex3: no display to open a window on (%s)\n",
                     no_display_reason.c_str());
        return exit_window_failed;
    }
    ShellState shell = shell_start(sdl_platform);
    while (shell.phase != ShellPhase::ended)
        shell_step(shell);
    session_reset();  // the sound stops with the window, before the program's exit
    return shell.exit_code;
}
