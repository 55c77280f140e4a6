#pragma once
#include <string>

#include "app/platform.h"

// The desktop's platform: SDL2's video, events and message boxes.
extern const Platform sdl_platform;

// Whether there is a display to open a window on. SDL would otherwise go on quietly to a
// driver that draws off screen, where nobody can answer a question. False, with the cause in
// `reason`, when neither DISPLAY nor WAYLAND_DISPLAY names a display, or the one named cannot
// be reached; true without a look when SDL_VIDEODRIVER names a driver of the user's choice.
bool display_available(std::string* reason);
