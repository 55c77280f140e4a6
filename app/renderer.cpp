#include "app/renderer.h"

#include <GL/gl.h>
#include <malloc.h>

#include <cstdlib>

#include <cstdlib>

#include "app/pulse_wave_device.h"
#include "app/sdl_wave_device.h"
#include "data/module_bytes.h"
#include "player/memfile.h"
#include "player/module.h"
#include "player/output.h"
#include "player/wave_device.h"
#include "scenes/scenes.h"

namespace {

// Fog colour: black, opaque.
constexpr GLfloat fog_colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};

// Opens the output at 44100 Hz: a stream on the sound server where one answers, unless SDL has
// been pointed at a driver of its own (SDL_AUDIODRIVER, as for the disk and dummy drivers);
// SDL's device otherwise. The player falls back to a silent device that keeps the clock running
// when neither opens.
void open_audio() {
    const char* sdl_driver = std::getenv("SDL_AUDIODRIVER");
    if (sdl_driver == nullptr || *sdl_driver == '\0') {
        set_wave_device(&pulse_wave_device);
        if (audio_init(44100)) return;
    }
    set_wave_device(&sdl_wave_device);
    audio_init(44100);
}

// Starts the embedded song from its beginning. A module of an earlier set-up (before a display
// toggle) is released first: freeing it stops its playback, so the device and voice reset of
// audio_init never meets a running fill, and memory stays the same however often the display
// is toggled. The new module is stored before playback starts so that the clock reads it.
void start_music() {
    if (music_module != nullptr) {
        module_free(music_module);
        music_module = nullptr;
    }
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    open_audio();
    music_module = module_load(nullptr, nullptr);
    player_start(music_module);
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

// Fog parameters for the tunnel scene, which switches fog on and off itself: linear from the
// eye to 30 units, fading into black.
void setup_fog() {
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogfv(GL_FOG_COLOR, fog_colour);
    glFogf(GL_FOG_DENSITY, 0.25f);
    glHint(GL_FOG_HINT, GL_NICEST);
    glFogf(GL_FOG_START, 0.0f);
    glFogf(GL_FOG_END, 30.0f);
}

// The state every scene starts from, then the font and fog of the new context. Lighting,
// blending, texturing and fog stay off; the scenes switch on what they need.
void setup_scene_state() {
    keep_frame_memory();
    glShadeModel(GL_SMOOTH);
    glClearColor(1.0f, 1.0f, 1.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_COLOR_MATERIAL);
    build_outline_font();
    setup_fog();
    glEnable(GL_LINE_SMOOTH);
}

// The scenes' start state, then the music from the beginning of the song. The results of the
// GL, font and music calls are ignored.
bool setup_renderer() {
    setup_scene_state();
    start_music();
    return true;
}
