#include "player/wave_device.h"

#include <atomic>
#include <chrono>

// The silent device keeps no sound, only the play position: frames elapsed on the steady clock
// at the output rate since the ring was written, so everything timed by the song clock runs as
// it would with a sound device. Its fields are atomics because the output thread asks for the
// position while the main thread may reset or close the device.

namespace {

const WaveDevice* chosen_device = nullptr;

// The silent device: zero, as atomics start, until open sets it.
std::atomic<int32_t> silent_rate;
std::atomic<int32_t> silent_frame_bytes;
std::atomic<bool> silent_playing;
std::atomic<int64_t> silent_start_ns;
std::atomic<uint64_t> silent_stopped_bytes;  // the position held while not playing

// Bytes the device would have played by now; whole seconds and the rest are scaled apart, so
// the product stays in range however long the show runs.
uint64_t silent_elapsed_bytes() {
    const int64_t elapsed_ns = steady_now_ns() - silent_start_ns.load();
    if (elapsed_ns <= 0) return 0;
    const uint64_t rate = uint64_t(silent_rate.load());
    const uint64_t seconds = uint64_t(elapsed_ns) / 1000000000u;
    const uint64_t rest_ns = uint64_t(elapsed_ns) % 1000000000u;
    const uint64_t frames = seconds * rate + rest_ns * rate / 1000000000u;
    return frames * uint64_t(silent_frame_bytes.load());
}

bool silent_open(int32_t rate, int32_t channels) {
    if (rate <= 0 || channels <= 0) return false;
    silent_rate.store(rate);
    silent_frame_bytes.store(2 * channels);
    silent_playing.store(false);
    silent_stopped_bytes.store(0);
    return true;
}

bool silent_prepare(const int16_t*, uint32_t) {
    return true;
}

bool silent_write_looping(const int16_t*, uint32_t) {
    silent_start_ns.store(steady_now_ns());
    silent_stopped_bytes.store(0);
    silent_playing.store(true);
    return true;
}

uint64_t silent_position_bytes() {
    return silent_playing.load() ? silent_elapsed_bytes() : silent_stopped_bytes.load();
}

void silent_unprepare() {}

void silent_reset() {
    if (silent_playing.exchange(false)) silent_stopped_bytes.store(silent_elapsed_bytes());
}

void silent_close() {
    silent_reset();
}

}  // namespace

int64_t steady_now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The silent device holds nothing between its position and the speaker.
const WaveDevice silent_wave_device = {
    silent_open,           silent_prepare, silent_write_looping,
    silent_position_bytes, nullptr,        silent_unprepare,
    silent_reset,          silent_close,   nullptr,
};

void set_wave_device(const WaveDevice* device) {
    chosen_device = device;
}

const WaveDevice* selected_wave_device() {
    return chosen_device ? chosen_device : &silent_wave_device;
}
