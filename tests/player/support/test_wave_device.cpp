#include "tests/player/support/test_wave_device.h"

TestDeviceLog test_device_log{};
std::atomic<uint64_t> test_device_position{0};
std::atomic<int> test_device_priority_raises{0};
bool test_device_refuses_open = false;

namespace {

bool open(int32_t rate, int32_t channels) {
    ++test_device_log.opens;
    test_device_log.rate = rate;
    test_device_log.channels = channels;
    return !test_device_refuses_open;
}

bool prepare(const int16_t*, uint32_t) {
    ++test_device_log.prepares;
    return true;
}

bool write_looping(const int16_t* buffer, uint32_t bytes) {
    ++test_device_log.writes;
    test_device_log.buffer = buffer;
    test_device_log.bytes = bytes;
    return true;
}

uint64_t position_bytes() {
    return test_device_position.load();
}
void unprepare() {
    ++test_device_log.unprepares;
}
void reset() {
    ++test_device_log.resets;
}
void close() {
    ++test_device_log.closes;
}
void raise_priority() {
    ++test_device_priority_raises;
}

}  // namespace

const WaveDevice test_wave_device = {open,      prepare, write_looping, position_bytes,
                                     unprepare, reset,   close,         raise_priority};

void test_device_reset() {
    test_device_log = TestDeviceLog{};
    test_device_position.store(0);
    test_device_priority_raises.store(0);
    test_device_refuses_open = false;
}
