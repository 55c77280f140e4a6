#pragma once
#include <cstdint>

// Shell state shared by the main loop and the window.
extern bool key_down[256];  // by virtual-key code
extern bool window_active;  // false while the window is minimised
extern bool full_screen_mode;

// Virtual-key codes the shell reads.
constexpr int VK_ESCAPE = 27;
constexpr int VK_F1 = 112;

// Puts the shell state back to its start values (for test fixtures).
void shell_state_reset();
