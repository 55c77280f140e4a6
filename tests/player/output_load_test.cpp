// The output thread against the SDL audio device on SDL's dummy driver, which takes the ring at
// the output rate without a sound card. The device is wrapped in a test device that, at each
// poll of the output thread, checks every block the device has entered since the last poll: it
// must have been mixed again since the device last entered it (its fill count moved), or the
// device plays stale sound. No refill runs between two polls but right after the first, so a
// block entered between them was copied as the count shows. With every core kept busy by
// spinning threads, twenty seconds (ten laps of the ring) play without a stale block; then a
// stall of the thread shorter than the ring is not heard, and one longer than the ring is,
// once, from the block it stalled before. Stalls are measured in device bytes, not wall time.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "app/sdl_wave_device.h"
#include "data/module_bytes.h"
#include "player/ring.h"
#include "player/session.h"
#include "tests/support/process.h"

namespace {

constexpr uint64_t second_bytes = 44100 * 4;
std::array<uint32_t, 256> fills_at_entry{};
uint64_t polled_bytes = 0;  // the device's position at the output thread's last poll
std::atomic<uint64_t> stale{0};
std::atomic<uint64_t> stall_bytes{0};
std::atomic<uint64_t> stall_start{0};
std::atomic<int64_t> first_stale{-1};
std::atomic<bool> stall_ended{false};

uint64_t played() {
    return sdl_wave_device.position_bytes();
}

// When a stall is asked for: waits until the device has played that much more.
void stall_if_asked() {
    const uint64_t bytes = stall_bytes.exchange(0);
    if (bytes == 0) return;
    stall_start = played();
    while (played() < stall_start + bytes)
        sleep_milliseconds(5);
    stall_ended = true;
}

// On the output thread, before it refills: every block whose first byte the device has taken
// since the last poll; the prefill is the first fill.
uint64_t poll_position() {
    stall_if_asked();
    const uint64_t position = played();
    const uint64_t size = uint64_t(block_frames) * 4;
    for (uint64_t block = (polled_bytes + size - 1) / size; block * size < position; ++block) {
        const size_t index = size_t(block % uint64_t(block_count));
        const uint32_t fills = block_table[index].fills.load(std::memory_order_acquire);
        if (fills == fills_at_entry[index]) {
            ++stale;
            int64_t none = -1;
            first_stale.compare_exchange_strong(none, int64_t(block * size));
        }
        fills_at_entry[index] = fills;
    }
    polled_bytes = position;
    return position;
}

const WaveDevice watched_device = [] {
    WaveDevice device = sdl_wave_device;
    device.position_bytes = poll_position;
    return device;
}();

// Waits until the device has played that far.
bool play_until(uint64_t bytes) {
    return poll_until([bytes] { return played() >= bytes; });
}

// Two spinning threads per core, each walking its own 2 MiB so that the caches are busy too;
// they stop and are joined when the returned threads go.
std::vector<std::jthread> busy_every_core() {
    std::vector<std::jthread> load;
    for (unsigned i = 0; i < 2 * std::max(1u, std::thread::hardware_concurrency()); ++i) {
        load.emplace_back([](std::stop_token stop) {
            std::vector<uint32_t> buffer(512 * 1024, 1);
            uint32_t sum = 0;
            while (!stop.stop_requested()) {
                for (size_t j = 0; j < buffer.size(); j += 16) {
                    sum = sum * 31 + buffer[j];
                    buffer[j] = sum;
                }
            }
        });
    }
    return load;
}

TEST(OutputLoad, KeepsTheRingFreshUnderLoadAndHearsOnlyStallsLongerThanTheRing) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    XmModule* song = load_song(module_bytes, module_size);
    ASSERT_NE(song, nullptr);
    {
        const std::vector<std::jthread> load = busy_every_core();
        ASSERT_TRUE(start_song(song, &watched_device, 44100))
            << "no SDL audio device on the dummy driver";
        ASSERT_TRUE(play_until(20 * second_bytes)) << "the device stopped playing";
    }
    EXPECT_EQ(stale.load(), 0u) << "first stale block at byte " << first_stale.load();
    const uint64_t ring = uint64_t(ring_frames) * 4;
    const uint64_t block = uint64_t(block_frames) * 4;

    stall_bytes = ring / 2;  // half a ring: the device plays blocks mixed long before
    ASSERT_TRUE(play_until(played() + 2 * ring));
    ASSERT_TRUE(stall_ended.exchange(false));
    EXPECT_EQ(stale.load(), 0u) << "first stale block at byte " << first_stale.load();

    stall_bytes = ring * 3 / 2;  // a ring and a half: the device comes round to old blocks
    ASSERT_TRUE(play_until(played() + ring * 3 / 2));
    ASSERT_TRUE(poll_until([] { return stall_ended.load(); }));
    ASSERT_TRUE(play_until(played() + ring + 4 * block));
    const uint64_t stale_after_stall = stale.load();
    EXPECT_GT(stale_after_stall, 0u);
    // The stalled block, a lap on.
    EXPECT_GT(first_stale, int64_t(stall_start)) << "the first stale block came before the stall";
    EXPECT_LE(first_stale, int64_t(stall_start + ring)) << "stall at byte " << stall_start;
    ASSERT_TRUE(play_until(played() + 2 * ring));  // all refilled: nothing stale again
    EXPECT_EQ(stale.load(), stale_after_stall);

    release_song(song);
    session_reset();
}

}  // namespace
