#pragma once
#include <atomic>
#include <cstdint>

#include "player/wave_device.h"

// A wave device for tests: it plays nothing, its position moves only when a test sets it, and
// it counts every call, so refills, bursts and wrap-around are tested without a clock.

struct TestDeviceLog {
    int opens, prepares, writes, unprepares, resets, closes;
    int32_t rate, channels;
    const int16_t* buffer;  // as given to write_looping
    uint32_t bytes;
};

extern TestDeviceLog test_device_log;                 // touched by the main thread only
extern std::atomic<uint64_t> test_device_position;    // bytes "played", set by the test
extern std::atomic<int> test_device_priority_raises;  // from the output thread
extern bool test_device_refuses_open;
extern const WaveDevice test_wave_device;

// Clears the log, the position and the refusal.
void test_device_reset();
