#pragma once
// The real demo executable under a test's own X server, with silent audio and software GL.
#include <string>

#include "tests/e2e/support/process.h"
#include "tests/e2e/support/x_server.h"

// The names the demo's windows and message boxes carry on screen (UTF-8).
inline const std::string start_up_caption = "HEJD\xC3\x85!";
inline const std::string fallback_caption = "Vimpa - Zelmorint";
inline const std::string error_caption = "ERROR";
inline const std::string first_title = "Tirvalex3";
inline const std::string toggled_title = "Joka's Outline Font Tutorial";

// Path of the built demo.
std::string demo_binary();

// Starts the demo on the server's display.
ChildProcess start_demo(const XServer& server);

// Starts the demo on the server's display with SDL's disk audio driver, which writes what the
// demo plays to `audio_path` as raw 16-bit stereo frames at the device rate, paced as a sound
// card would take them; `extra` adds to or replaces entries of the demo's environment.
ChildProcess start_demo_playing_to_file(const XServer& server, const std::string& audio_path,
                                        const Environment& extra = {});
