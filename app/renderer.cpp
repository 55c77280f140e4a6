#include "app/renderer.h"

#include <malloc.h>

#include <cstdlib>

#include "scenes/start_state.h"

namespace {

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
