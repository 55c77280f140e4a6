#pragma once
#include <cstdint>

// Shell state shared by the main loop and the window.
extern bool key_down[256];  // by virtual-key code
// A key-down seen since the last frame pass, by virtual-key code: a tap whose key-up came in
// the same batch of messages still counts once at the next frame pass, which clears it.
extern bool key_pressed[256];
extern bool window_active;  // false while the window is minimised
extern bool full_screen_mode;

// Virtual-key codes the shell reads.
constexpr int VK_ESCAPE = 27;
constexpr int VK_F1 = 112;

// Puts the shell state back to its start values (for test fixtures).
void shell_state_reset();
