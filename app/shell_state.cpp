#include "app/shell_state.h"

#include <cstring>

bool key_down[256];
bool window_active = true;
bool full_screen_mode = true;

void shell_state_reset() {
    std::memset(key_down, 0, sizeof key_down);
    window_active = true;
    full_screen_mode = true;
}
