#include "player/session.h"

#include "player/engine.h"
#include "player/loader.h"
#include "player/memfile.h"
#include "player/output.h"
#include "player/ring.h"
#include "player/song_end.h"

// The session strings the player's parts together in the one order each use needs: the memory
// file and the loader for a load; the device, the ring and the output thread for a start; the
// same ring and block filler, moved on by hand, offline.

namespace {

int64_t offline_device_block;  // the block the offline device plays, counted from the start
XmModule still_song{};         // what plays while the clock stands still: no song at all

// The ring block that holds absolute block `block`.
int32_t ring_block(int64_t block) {
    return int32_t(block % int64_t(block_count));
}

}  // namespace

// The image is read through the memory file, which is detached again once the load is done.
XmModule* load_song(const uint8_t* bytes, uint32_t size) {
    memfile_attach(bytes, size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    XmModule* module = module_load(nullptr, nullptr);
    memfile_reset();
    return module;
}

const char* load_song_failure() {
    return module_load_failure();
}

bool start_song(XmModule* module, const WaveDevice* device, int32_t rate) {
    if (module == nullptr) return false;
    set_wave_device(device);
    if (!audio_init(rate)) return false;
    unwatch_song_end(module);
    return player_start(module);
}

void stop_song() {
    player_stop(current_module);
}

// The still is no song of its own: releasing it only ends it.
void release_song(XmModule* module) {
    if (module == nullptr) return;
    player_stop(module);
    if (module != &still_song) module_free(module);
}

XmModule* playing_song() {
    return current_module;
}

bool start_song_offline(XmModule* module, int32_t rate) {
    if (module == nullptr) return false;
    player_stop(current_module);
    if (!size_playback(rate)) return false;
    watch_song_end(module);
    start_ring(module);
    offline_device_block = 0;
    return true;
}

// One block at a time, so that a jump of more than a ring's length still refills every block
// in turn instead of only those up to the ring position reached.
void play_offline_until(int64_t device_block) {
    if (wave_buffer == nullptr) return;  // no song started, or a still: no ring to fill
    while (offline_device_block < device_block) {
        ++offline_device_block;
        refill_played_blocks(ring_block(offline_device_block));
    }
}

const int16_t* heard_block_pcm(int64_t block) {
    if (wave_buffer == nullptr || block < offline_device_block ||
        block >= offline_device_block + block_count) {
        return nullptr;
    }
    return wave_buffer + 2 * size_t(ring_block(block)) * size_t(block_frames);
}

int32_t ring_block_frames() {
    return block_frames;
}

int32_t ring_block_count() {
    return block_count;
}

int64_t song_end_frame() {
    return watched_song_end_frame();
}

// A one-entry clock table, which the clock queries read like any other.
void hold_song_clock(uint32_t ms, uint8_t row) {
    if (current_module != &still_song) {
        player_stop(current_module);
        block_table = new BlockClock[1]();
        clock_block.store(0);
        current_module = &still_song;
    }
    block_table[0].time_ms.store(ms);
    block_table[0].row.store(row);
}

void session_reset() {
    output_reset();
    loader_reset();
    engine_reset();
}
