#include "app/shell_state.h"

#include <cstring>

bool key_down[256];
bool key_pressed[256];
bool window_active = true;
bool full_screen_mode = true;

void shell_state_reset() {
    std::memset(key_down, 0, sizeof key_down);
    std::memset(key_pressed, 0, sizeof key_pressed);
    window_active = true;
    full_screen_mode = true;
}
