#include "player/output.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "player/audio_format.h"
#include "player/channel.h"
#include "player/engine.h"
#include "player/mixer.h"
#include "player/ring.h"
#include "player/session.h"
#include "player/song_state.h"
#include "player/wave_device.h"

// The ring is mixed ahead of the device: the whole of it before playback starts, then each
// block again as soon as it has been heard. The device takes the ring some way ahead of the
// speaker (a sound server keeps a queue of its own), so the output thread polls for the
// position being heard: what the device has taken, less the queue it last reported, plus the
// time since that report. It refills every block heard to its end and moves clock_block onto
// the block being heard; the blocks taken but not yet heard keep their clock entries, and the
// ring keeps its two seconds less that queue as slack.
//
// Hand-off between the threads: everything the output thread uses is set up by the main thread
// before the thread is created and released only after it has been joined; while it runs the
// main thread reads only clock_block and block_table, both atomics written by the thread.

namespace {

std::atomic<bool> stop_requested;  // asks the output thread to finish

constexpr auto poll_interval = std::chrono::milliseconds(5);
constexpr int64_t report_age_limit_ns = 10'000'000'000;  // a report's age counts up to 10 s
constexpr int32_t output_channels = 2;

const WaveDevice* open_device = nullptr;  // the device audio_init opened, null when closed
bool ring_with_device = false;            // the ring has been handed to the device
// The running output thread. Left undestroyed while it runs, so that the process may end with
// the music still playing, as the show does.
std::thread* output_worker = nullptr;

// Ends the playback in progress, if any: the output thread finishes its fill and is joined,
// the device stops playing the ring, and the ring, the mixing buffer and the clock table are
// released, so a restart starts from nothing and memory does not grow.
void stop_playback() {
    if (output_worker) {
        stop_requested.store(true);
        output_worker->join();
        delete output_worker;
        output_worker = nullptr;
    }
    if (ring_with_device) {
        open_device->reset();
        open_device->unprepare();
        ring_with_device = false;
    }
    release_mix_buffer();
    release_block_table();
    release_wave_buffer();
    current_module = nullptr;
}

// The clock entry of the block being heard. The index is read again after the entry: if the
// output thread moved it meanwhile, the entry may already belong to a block mixed two seconds
// ahead, so the reading is taken again.
template <typename Field>
uint32_t read_clock(Field BlockClock::*field) {
    if (!block_table) return 0;
    for (;;) {
        const int32_t block = clock_block.load();
        const uint32_t value = (block_table[block].*field).load();
        if (clock_block.load() == block) return value;
    }
}

}  // namespace

// The device's last queue report carried forward by the time since it was made, at the output
// rate.
uint64_t device_bytes_heard(const WaveDevice& device, uint64_t heard_before) {
    const uint64_t taken = device.position_bytes();
    uint64_t heard = taken;
    if (device.queue) {
        const DeviceQueue report = device.queue();
        const int64_t age_ns =
            std::clamp<int64_t>(steady_now_ns() - report.reported_ns, 0, report_age_limit_ns);
        const uint64_t since = uint64_t(age_ns) * uint64_t(output_rate) / 1000000000u;
        const uint64_t queued = std::min(report.queued_bytes, report.taken_bytes);
        heard = std::min(taken, report.taken_bytes - queued + since * ring_frame_bytes);
    }
    return std::max(heard, heard_before);
}

// Stops any earlier playback first, so that no earlier output thread touches the voices or the
// device while they are replaced. When the chosen device cannot be opened, the silent device
// stands in, so that the show still runs on time; the result then reports the failure.
bool audio_init(int32_t rate) {
    if (rate < min_output_rate || rate > max_output_rate) return false;
    audio_close();
    size_playback(rate);
    const WaveDevice* chosen = selected_wave_device();
    const bool opened = chosen->open(rate, output_channels);
    open_device = opened ? chosen : &silent_wave_device;
    if (!opened) silent_wave_device.open(rate, output_channels);
    return opened;
}

// The ring's sizes follow the rate; every channel and voice starts at rest.
bool size_playback(int32_t rate) {
    if (!ring_set_rate(rate)) return false;
    engine_reset();
    return true;
}

// The song state first, so that the prefill mixes the song from its first tick.
void start_ring(XmModule* module) {
    reset_song_state(module);
    ring_allocate();
    prefill_ring();
}

// Playback cannot outlive its device: it is stopped first.
void audio_close() {
    stop_playback();
    if (!open_device) return;
    open_device->reset();
    open_device->close();
    open_device = nullptr;
}

// Song state at the start of a module: speed and tempo from the module, first row of the first
// order, clock at 0; the channels of the module are cleared and linked to their first voices.
void reset_song_state(XmModule* module) {
    module->global_volume = module->initial_global_volume;
    module->next_order = -1;
    module->next_row = -1;
    module->speed = module->default_speed;
    module->row = 0;
    module->order_position = 0;
    module->tick_samples_left = 0;
    module->tick = 0;
    module->pattern_delay = 0;
    module->song_time_ms = 0;
    set_bpm(module, module->default_bpm);
    for (int i = 0; i < played_channel_count(*module); ++i) {
        channels[i] = ChannelState{};
        channels[i].voice = &voices[i];
    }
    current_module = module;
}

// Needs an open device (audio_init has run); restarting while a ring plays stops that one.
bool player_start(XmModule* module) {
    if (!module || !open_device) return false;
    stop_playback();
    start_ring(module);
    const uint32_t ring_bytes = uint32_t(ring_frames) * ring_frame_bytes;
    open_device->prepare(wave_buffer, ring_bytes);
    open_device->write_looping(wave_buffer, ring_bytes);
    ring_with_device = true;
    stop_requested.store(false);
    output_worker = new std::thread(output_thread);
    return true;
}

// Stops the playback of `module`. Another module than the one playing is left playing, so
// that freeing an earlier module never silences the current one.
bool player_stop(XmModule* module) {
    if (!module) return false;
    if (module == current_module) stop_playback();
    return true;
}

// Mixes every block of the ring from its first, the clock on block 0.
void prefill_ring() {
    write_block = 0;
    clock_block.store(0);
    for (int32_t i = 0; i < block_count; ++i)
        fill_block();
}

// Every block between the last one refilled and the one being heard has been heard and is mixed
// again, moving the clock onto the next block before the entry it leaves is rewritten.
void refill_played_blocks(int32_t play_block) {
    while (write_block != play_block && !stop_requested.load()) {
        const int32_t next = clock_block.load() + 1;
        clock_block.store(next == block_count ? 0 : next);
        fill_block();
    }
}

// Polls the device every 5 ms; the block being heard follows from the position heard.
int output_thread() {
    const WaveDevice* device = open_device;
    if (device->raise_thread_priority) device->raise_thread_priority();
    uint64_t heard = 0;
    while (!stop_requested.load()) {
        heard = device_bytes_heard(*device, heard);
        const uint64_t frame = heard / ring_frame_bytes;
        refill_played_blocks(int32_t(frame % uint64_t(ring_frames)) / block_frames);
        std::this_thread::sleep_for(poll_interval);
    }
    return 0;
}

// The clock is moved on before every refill, so a device thread that reads it sees every refill
// but the one in progress, which is of a block the device is not about to play.
void acquire_ring_refills() {
    (void)clock_block.load(std::memory_order_acquire);
}

uint32_t song_clock_ms(const XmModule* module) {
    return module ? read_clock(&BlockClock::time_ms) : 0;
}

uint32_t song_clock_row(const XmModule* module) {
    return module ? read_clock(&BlockClock::row) : 0;
}

void output_reset() {
    audio_close();
    stop_requested.store(false);
}
