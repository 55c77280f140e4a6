// Frames per second of scenes 2, 3 and 4 at 640 x 480: each scene is drawn through the real
// timeline frame after frame in the tools' offscreen context, the song clock moving on by one
// ring block (884 frames at 44100 Hz, about 20 ms) per frame from a time inside the scene's
// stretch of the show, and every frame finished as a buffer swap finishes it. Beside the frame
// rate, the CPU time a frame takes in the whole process (the software renderer's threads
// included): on a machine shared with other work it moves less than the frame rate does. It
// needs no display; with LIBGL_ALWAYS_SOFTWARE=1 it measures Mesa's software renderer.
//
//   bench_scenes [frames per scene, default 200] [scene ...]   (default: 2 3 4)
#include <GL/gl.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/offscreen_context.h"
#include "app/renderer.h"
#include "player/session.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

constexpr int32_t screen_width = 640;
constexpr int32_t screen_height = 480;
constexpr double block_ms = 1000.0 * 884 / 44100;

struct SceneRun {
    int32_t scene;
    uint32_t start_ms;
    const char* name;
};

struct SceneTime {
    double frames_per_second;
    double cpu_ms_per_frame;
};

double process_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Draws `frames` frames of one scene and returns its frame rate and CPU time per frame.
SceneTime time_scene(const SceneRun& run, int32_t frames) {
    const double cpu_start = process_cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    for (int32_t k = 0; k < frames; ++k) {
        const uint32_t ms = run.start_ms + static_cast<uint32_t>(k * block_ms);
        hold_song_clock(ms, static_cast<uint8_t>(k % 64));  // the bench moves the clock itself
        current_scene = run.scene;
        render_frame();
        finish_offscreen_frame();
    }
    glFinish();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double cpu_seconds = process_cpu_seconds() - cpu_start;
    return {frames / elapsed.count(), 1000.0 * cpu_seconds / frames};
}

}  // namespace

int main(int argc, char** argv) {
    const int32_t frames = argc > 1 ? std::atoi(argv[1]) : 200;
    bool chosen[5] = {false, false, argc <= 2, argc <= 2, argc <= 2};
    bool usage_ok = frames >= 1;
    for (int k = 2; k < argc; ++k) {
        const int scene = std::atoi(argv[k]);
        usage_ok = usage_ok && scene >= 2 && scene <= 4;
        if (usage_ok) chosen[scene] = true;
    }
    if (!usage_ok) {
        std::fprintf(stderr, "usage: bench_scenes [frames per scene] [scene 2, 3 or 4 ...]\n");
        return 2;
    }
    const char* failure = nullptr;
    if (!open_offscreen_context(screen_width, screen_height, failure)) {
        std::fprintf(stderr, "bench_scenes: %s\n", failure);
        return 1;
    }
    setup_scene_state();
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
        if (!chosen[run.scene]) continue;
        time_scene(run, 10);  // warm-up: the scene's first frames and the driver's caches
        const SceneTime time = time_scene(run, frames);
        std::printf("%-36s %8.1f frames/s %8.2f ms CPU/frame over %d frames\n", run.name,
                    time.frames_per_second, time.cpu_ms_per_frame, frames);
    }
    stop_song();
    return 0;
}
