// The desktop's music start for the renderer set-up (app/renderer.h): the embedded song on the
// sound server, SDL's audio or the silent device, filled by the player's output thread.
#include <cstdlib>

#include "app/pulse_wave_device.h"
#include "app/renderer.h"
#include "app/sdl_wave_device.h"
#include "data/module_bytes.h"
#include "player/session.h"

namespace {

constexpr int32_t output_rate_hz = 44100;

// Starts the song at 44100 Hz: on the sound server where one answers, unless SDL has been
// pointed at a driver of its own (SDL_AUDIODRIVER, as for the disk and dummy drivers); on SDL's
// device otherwise; on the silent device, which keeps the clock running, when neither opens.
void start_on_a_device(XmModule* song) {
    const char* sdl_driver = std::getenv("SDL_AUDIODRIVER");
    if (sdl_driver == nullptr || *sdl_driver == '\0') {
        if (start_song(song, &pulse_wave_device, output_rate_hz)) return;
    }
    if (start_song(song, &sdl_wave_device, output_rate_hz)) return;
    start_song(song, &silent_wave_device, output_rate_hz);
}

}  // namespace

// Starts the embedded song from its beginning. The song of an earlier set-up (before a display
// toggle) is released first, its playback stopped, so memory stays the same however often the
// display is toggled.
void start_music() {
    release_song(playing_song());
    XmModule* song = load_song(module_bytes, module_size);
    if (song != nullptr) start_on_a_device(song);
}
