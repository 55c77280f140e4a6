#include "tests/e2e/support/demo.h"

std::string demo_binary() {
    return std::string(TIRVALEX_BINARY_DIR) + "/tirvalex3";
}

ChildProcess start_demo(const XServer& server) {
    Environment environment = display_environment(server);
    environment.push_back({"SDL_AUDIODRIVER", "dummy"});
    environment.push_back({"LIBGL_ALWAYS_SOFTWARE", "1"});
    return start_process({demo_binary()}, environment);
}

ChildProcess start_demo_playing_to_file(const XServer& server, const std::string& audio_path) {
    Environment environment = display_environment(server);
    environment.push_back({"SDL_AUDIODRIVER", "disk"});
    environment.push_back({"SDL_DISKAUDIOFILE", audio_path});
    environment.push_back({"LIBGL_ALWAYS_SOFTWARE", "1"});
    return start_process({demo_binary()}, environment);
}
