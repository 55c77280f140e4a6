#include "app/renderer.h"

#include <malloc.h>

#include <cstdlib>

#include "app/pulse_wave_device.h"
#include "app/sdl_wave_device.h"
#include "data/module_bytes.h"
#include "player/session.h"
#include "scenes/scenes.h"
#include "scenes/start_state.h"

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

// Starts the embedded song from its beginning. The song of an earlier set-up (before a display
// toggle) is released first, its playback stopped, so memory stays the same however often the
// display is toggled.
void start_music() {
    release_song(playing_song());
    XmModule* song = load_song(module_bytes, module_size);
    if (song != nullptr) start_on_a_device(song);
}

// Mesa's software renderer takes the memory for a frame's drawing in blocks of 64 KiB, several
// megabytes for a frame of the title fan, and frees them all when the frame is done. Left to
// its defaults the C library hands that memory back to the system at once and takes it again
// page by page in the next frame, and those page faults cost more than the drawing itself.
// Freed memory is kept for reuse up to 64 MiB instead, unless the environment sets the
// library's own threshold.
void keep_frame_memory() {
#if defined(__GLIBC__)
    if (std::getenv("MALLOC_TRIM_THRESHOLD_") == nullptr) mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace

// The state every scene starts from (with the fog parameters), then the font of the new
// context.
void setup_scene_state() {
    keep_frame_memory();
    set_scene_start_state();
    build_outline_font();
}

// The scenes' start state, then the music from the beginning of the song. The results of the
// GL, font and music calls are ignored.
bool setup_renderer() {
    setup_scene_state();
    start_music();
    return true;
}
