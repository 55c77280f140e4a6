// Frames per second of scenes 2, 3 and 4 at 640 x 480: each scene is drawn through the real
// timeline frame after frame in the tools' offscreen context, the song clock moving on by one
// ring block (884 frames at 44100 Hz, about 20 ms) per frame from a time inside the scene's
// stretch of the show, and every frame finished as a buffer swap finishes it. It needs no
// display; with LIBGL_ALWAYS_SOFTWARE=1 it measures Mesa's software renderer.
//
//   bench_scenes [frames per scene, default 200]
#include <GL/gl.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/offscreen_context.h"
#include "app/renderer.h"
#include "player/output.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

constexpr int32_t screen_width = 640;
constexpr int32_t screen_height = 480;
constexpr double block_ms = 1000.0 * 884 / 44100;

// The clock: one block-table entry the bench moves itself, read through the clock queries.
BlockClock bench_clock[1];
XmModule bench_module{};  // the queries only test the module for null

struct SceneRun {
    int32_t scene;
    uint32_t start_ms;
    const char* name;
};

// Draws `frames` frames of one scene and returns its frames per second.
double time_scene(const SceneRun& run, int32_t frames) {
    const auto start = std::chrono::steady_clock::now();
    for (int32_t k = 0; k < frames; ++k) {
        const uint32_t ms = run.start_ms + static_cast<uint32_t>(k * block_ms);
        bench_clock[0].time_ms.store(ms);
        bench_clock[0].row.store(static_cast<uint8_t>(k % 64));
        current_scene = run.scene;
        render_frame();
        finish_offscreen_frame();
    }
    glFinish();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return frames / elapsed.count();
}

}  // namespace

int main(int argc, char** argv) {
    const int32_t frames = argc > 1 ? std::atoi(argv[1]) : 200;
    if (frames < 1) {
        std::fprintf(stderr, "usage: bench_scenes [frames per scene]\n");
        return 2;
    }
    const char* failure = nullptr;
    if (!open_offscreen_context(screen_width, screen_height, failure)) {
        std::fprintf(stderr, "bench_scenes: %s\n", failure);
        return 1;
    }
    setup_scene_state();
    block_table = bench_clock;
    clock_block.store(0);
    music_module = &bench_module;
    scene_random_reset();
    ring_tables_reset();
    tunnel_reset();

    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    const SceneRun runs[] = {
        {2, 2000, "scene 2 (wavy tube, title fan)"},
        {3, 16000, "scene 3 (upright tube, credits)"},
        {4, 40000, "scene 4 (tunnel, scrolling texts)"},
    };
    for (const SceneRun& run : runs) {
        time_scene(run, 10);  // warm-up: the scene's first frames and the driver's caches
        std::printf("%-36s %8.1f frames/s over %d frames\n", run.name, time_scene(run, frames),
                    frames);
    }
    block_table = nullptr;
    music_module = nullptr;
    return 0;
}
