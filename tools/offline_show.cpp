#include "tools/offline_show.h"

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

int64_t device_block = 0;  // the block the device plays, counted from the start

}  // namespace

bool start_offline_show() {
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    if (!ring_set_rate(offline_output_rate)) return false;
    engine_reset();
    timeline_reset();  // first: it forgets the module playing
    music_module = module_load(nullptr, nullptr);
    if (music_module == nullptr) return false;
    ring_allocate();
    reset_song_state(music_module);
    prefill_ring();
    device_block = 0;
    scene_random_reset();
    ring_tables_reset();
    tunnel_reset();
    return true;
}

// One block at a time, so that a jump of more than a ring's length still refills every block
// in turn instead of only those up to the ring position reached.
void play_offline_until(int64_t block) {
    while (device_block < block) {
        ++device_block;
        refill_played_blocks(int32_t(device_block % block_count));
    }
}
