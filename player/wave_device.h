#pragma once
#include <cstdint>

// The wave-output device the player writes its looping ring to, as a record of operations so
// that the platform's device, a silent stand-in and test devices are interchangeable.
struct WaveDevice {
    // Opens the device for 16-bit interleaved PCM: rate frames per second, `channels` channels.
    bool (*open)(int32_t rate, int32_t channels);
    // Readies a buffer of `bytes` bytes for playing.
    bool (*prepare)(const int16_t* buffer, uint32_t bytes);
    // Starts playing the prepared buffer from its start, looping over it until reset.
    bool (*write_looping)(const int16_t* buffer, uint32_t bytes);
    // Bytes played since the buffer was written (a 64-bit count, so it never wraps).
    uint64_t (*position_bytes)();
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

// Chooses the device the next audio_init opens; null selects the silent device.
void set_wave_device(const WaveDevice* device);
// The device set_wave_device chose: the silent device until one is chosen.
const WaveDevice* selected_wave_device();
// A device that plays nothing but whose position advances with the wall clock at the output
// rate, so the song clock runs as with sound when no audio device can be opened.
extern const WaveDevice silent_wave_device;
