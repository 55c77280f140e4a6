#include "tests/e2e/support/demo.h"

std::string demo_binary() {
    return std::string(TIRVALEX_BINARY_DIR) + "/tirvalex3";
}

namespace {

// The demo on the server's display with software GL and the given audio settings.
ChildProcess start_demo_with(const XServer& server, const Environment& audio) {
    Environment environment = display_environment(server);
    environment.insert(environment.end(), audio.begin(), audio.end());
    environment.push_back({"LIBGL_ALWAYS_SOFTWARE", "1"});
    return start_process({demo_binary()}, environment);
}

}  // namespace

ChildProcess start_demo(const XServer& server) {
    return start_demo_with(server, {{"SDL_AUDIODRIVER", "dummy"}});
}

ChildProcess start_demo_playing_to_file(const XServer& server, const std::string& audio_path,
                                        const Environment& extra) {
    Environment environment = {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", audio_path}};
    environment.insert(environment.end(), extra.begin(), extra.end());
    return start_demo_with(server, environment);
}
