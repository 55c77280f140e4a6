#pragma once
#include <cstdint>

// The ring's frames are 16-bit stereo, as every device plays them.
constexpr uint32_t ring_frame_bytes = 4;

// What a device holds between the ring and the speaker, as the sound server or the driver last
// reported it: by the moment `reported_ns` (steady clock), `taken_bytes` had been taken from the
// ring since it was written, and `queued_bytes` of them were not yet heard.
struct DeviceQueue {
    uint64_t taken_bytes = 0;
    uint64_t queued_bytes = 0;
    int64_t reported_ns = 0;
};

// The wave-output device the player writes its looping ring to, as a record of operations so
// that the platform's device, a silent stand-in and test devices are interchangeable.
struct WaveDevice {
    // Opens the device for 16-bit interleaved PCM: rate frames per second, `channels` channels.
    bool (*open)(int32_t rate, int32_t channels);
    // Readies a buffer of `bytes` bytes for playing.
    bool (*prepare)(const int16_t* buffer, uint32_t bytes);
    // Starts playing the prepared buffer from its start, looping over it until reset.
    bool (*write_looping)(const int16_t* buffer, uint32_t bytes);
    // Bytes taken from the ring since the buffer was written (a 64-bit count, so it never wraps).
    uint64_t (*position_bytes)();
    // The last report of the queue between the ring and the speaker. May be null for a device
    // that holds nothing: what it has taken is heard.
    DeviceQueue (*queue)();
    // Releases the buffer's preparation.
    void (*unprepare)();
    // Stops playing at once.
    void (*reset)();
    // Closes the device.
    void (*close)();
    // Called on the output thread: asks for the highest priority the system grants. May be
    // null; a refusal leaves the thread at normal priority.
    void (*raise_thread_priority)();
};

// The steady clock (monotonic, in nanoseconds) that queue reports are dated by.
int64_t steady_now_ns();
// Chooses the device the next audio_init opens; null selects the silent device.
void set_wave_device(const WaveDevice* device);
// The device set_wave_device chose: the silent device until one is chosen.
const WaveDevice* selected_wave_device();
// A device that plays nothing but whose position advances with the wall clock at the output
// rate, so the song clock runs as with sound when no audio device can be opened.
extern const WaveDevice silent_wave_device;

// Called on a device's own thread before it copies from the ring: orders the copy after the
// blocks the output thread has refilled so far, so that it reads their new sound whole.
void acquire_ring_refills();
