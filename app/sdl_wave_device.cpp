#include "app/sdl_wave_device.h"

#include <SDL.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

// The ring fields are changed by the main thread only under SDL's audio lock, so the callback
// sees them whole; the byte count is an atomic, so the output thread reads it without a lock.
// SDL tells nothing of the driver's queue beneath it, only the size of its own buffer: the span
// a callback copies is counted as queued from that moment, and heard as the time goes by.

namespace {

constexpr Uint16 callback_frames = 1024;  // about 23 ms at 44100 Hz

SDL_AudioDeviceID device_id = 0;
const uint8_t* ring = nullptr;  // the looping buffer, while prepared
uint32_t ring_bytes = 0;
uint32_t cursor = 0;   // next byte of the ring to play
bool playing = false;  // between write_looping and reset
std::atomic<uint64_t> bytes_played{0};
std::mutex report_lock;  // held only to copy the report in or out
DeviceQueue last_report;

// Copies the next `length` bytes of the ring, wrapping at its end; silence when nothing plays.
// The copy is ordered after the output thread's refills of the blocks it copies.
void SDLCALL fill_device(void*, Uint8* stream, int length) {
    if (!playing || !ring || ring_bytes == 0) {
        std::memset(stream, 0, size_t(length));
        return;
    }
    acquire_ring_refills();
    uint32_t left = uint32_t(length);
    while (left > 0) {
        const uint32_t chunk = std::min(left, ring_bytes - cursor);
        std::memcpy(stream, ring + cursor, chunk);
        stream += chunk;
        left -= chunk;
        cursor = cursor + chunk == ring_bytes ? 0 : cursor + chunk;
    }
    const uint64_t taken = bytes_played.fetch_add(uint64_t(length), std::memory_order_release);
    const std::lock_guard<std::mutex> hold(report_lock);
    last_report = {taken + uint64_t(length), uint64_t(length), steady_now_ns()};
}

bool sdl_open(int32_t rate, int32_t channels) {
    if (device_id != 0) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = Uint8(channels);
    wanted.samples = callback_frames;
    wanted.callback = fill_device;
    SDL_AudioSpec obtained{};
    device_id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);  // SDL converts
    if (device_id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    ring = nullptr;
    ring_bytes = cursor = 0;
    playing = false;
    bytes_played.store(0);
    return true;
}

bool sdl_prepare(const int16_t* buffer, uint32_t bytes) {
    if (device_id == 0) return false;
    SDL_LockAudioDevice(device_id);
    ring = reinterpret_cast<const uint8_t*>(buffer);
    ring_bytes = bytes & ~3u;
    cursor = 0;
    SDL_UnlockAudioDevice(device_id);
    return true;
}

bool sdl_write_looping(const int16_t* buffer, uint32_t bytes) {
    if (device_id == 0 || reinterpret_cast<const uint8_t*>(buffer) != ring) return false;
    SDL_LockAudioDevice(device_id);
    ring_bytes = bytes & ~3u;
    cursor = 0;
    bytes_played.store(0);
    {
        const std::lock_guard<std::mutex> hold(report_lock);
        last_report = {};
    }
    playing = true;
    SDL_UnlockAudioDevice(device_id);
    SDL_PauseAudioDevice(device_id, 0);
    return true;
}

uint64_t sdl_position_bytes() {
    return bytes_played.load(std::memory_order_acquire);
}

DeviceQueue sdl_queue() {
    const std::lock_guard<std::mutex> hold(report_lock);
    return last_report;
}

void sdl_unprepare() {
    if (device_id == 0) return;
    SDL_LockAudioDevice(device_id);
    playing = false;
    ring = nullptr;
    ring_bytes = cursor = 0;
    SDL_UnlockAudioDevice(device_id);
}

void sdl_reset() {
    if (device_id == 0) return;
    SDL_PauseAudioDevice(device_id, 1);
    SDL_LockAudioDevice(device_id);
    playing = false;
    SDL_UnlockAudioDevice(device_id);
}

void sdl_close() {
    if (device_id == 0) return;
    SDL_CloseAudioDevice(device_id);
    device_id = 0;
    ring = nullptr;
    playing = false;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

// The real-time round-robin policy at its lowest priority (below a sound server's own threads),
// not passed on to child processes; where that is refused, SDL's time-critical priority (the
// lowest nice value, or what the desktop's real-time broker grants). A refusal of both leaves
// the thread as it was.
void raise_audio_thread_priority() {
    sched_param lowest_real_time{};
    lowest_real_time.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR | SCHED_RESET_ON_FORK, &lowest_real_time) ==
        0)
        return;
    (void)SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
}

const WaveDevice sdl_wave_device = {
    sdl_open,      sdl_prepare, sdl_write_looping, sdl_position_bytes,          sdl_queue,
    sdl_unprepare, sdl_reset,   sdl_close,         raise_audio_thread_priority,
};
