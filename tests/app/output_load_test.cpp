// The output thread against the SDL audio device on SDL's dummy driver, which takes the ring at
// the output rate without a sound card. A watcher on the device's callback checks every block the
// play cursor enters: it must have been mixed again since the cursor last entered it (its fill
// count moved), or the device replays stale sound. With every core kept busy by spinning
// threads, twenty seconds (ten laps of the ring) play without a stale block; then a stall of the
// thread shorter than the ring is not heard, and one longer than the ring is, once, from the
// block it stalled before. Stalls are measured in device bytes, not wall time.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/sdl_wave_device.h"
#include "data/module_bytes.h"
#include "player/memfile.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"
#include "player/wave_device.h"

namespace {

constexpr uint64_t second_bytes = 44100 * 4;
std::array<uint32_t, 256> fills_at_entry{};
std::atomic<uint64_t> stale{0}, stall_bytes{0}, stall_start{0};
std::atomic<int64_t> first_stale{-1};
std::atomic<bool> stall_ended{false};

uint64_t played() {
    return sdl_wave_device.position_bytes();
}

// Every block whose first byte is in the span about to be played; the prefill is the first fill.
void watch(uint64_t position, uint32_t bytes) {
    const uint64_t size = uint64_t(block_frames) * 4;
    for (uint64_t block = (position + size - 1) / size; block * size < position + bytes; ++block) {
        const size_t index = size_t(block % uint64_t(block_count));
        const uint32_t fills = block_table[index].fills.load(std::memory_order_acquire);
        if (fills == fills_at_entry[index]) {
            ++stale;
            int64_t none = -1;
            first_stale.compare_exchange_strong(none, int64_t(block * size));
        }
        fills_at_entry[index] = fills;
    }
}

// Before a refill, when a stall is asked for: wait until the device has played that much more.
void stall_once() {
    const uint64_t bytes = stall_bytes.exchange(0);
    if (bytes == 0) return;
    stall_start = played();
    while (played() < stall_start + bytes)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stall_ended = true;
}

// Waits until the device has played that far; the bound (a quarter of the output rate) only
// ends a hung test.
bool play_until(uint64_t bytes) {
    const auto give_up =
        std::chrono::steady_clock::now() + std::chrono::seconds(30 + 4 * bytes / second_bytes);
    while (played() < bytes && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return played() >= bytes;
}

TEST(OutputLoad, KeepsTheRingFreshUnderLoadAndHearsOnlyStallsLongerThanTheRing) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    memfile_attach(module_bytes, module_size), set_wave_device(&sdl_wave_device);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ASSERT_TRUE(audio_init(44100)) << "no SDL audio device on the dummy driver";
    XmModule* module = module_load(nullptr, nullptr);
    set_sdl_play_watcher(watch), before_refill.store(stall_once);
    const uint64_t ring = uint64_t(ring_frames) * 4, block = uint64_t(block_frames) * 4;
    {
        // Two spinning threads per core, each walking its own 2 MiB so that the caches are busy
        // too; they stop and are joined at the end of the block.
        std::vector<std::jthread> load;
        for (unsigned i = 0; i < 2 * std::max(1u, std::thread::hardware_concurrency()); ++i)
            load.emplace_back([](std::stop_token stop) {
                std::vector<uint32_t> buffer(512 * 1024, 1);
                for (uint32_t sum = 0; !stop.stop_requested();)
                    for (size_t j = 0; j < buffer.size(); j += 16)
                        buffer[j] = sum = sum * 31 + buffer[j];
            });
        ASSERT_TRUE(player_start(module));
        ASSERT_TRUE(play_until(20 * second_bytes)) << "the device stopped playing";
    }
    EXPECT_EQ(stale.load(), 0u) << "first stale block at byte " << first_stale.load();

    stall_bytes = ring / 2;  // half a ring: the device plays blocks mixed long before
    ASSERT_TRUE(play_until(played() + 2 * ring));
    ASSERT_TRUE(stall_ended.exchange(false));
    EXPECT_EQ(stale.load(), 0u) << "first stale block at byte " << first_stale.load();

    stall_bytes = ring * 3 / 2;  // a ring and a half: the device comes round to old blocks
    ASSERT_TRUE(play_until(played() + ring * 3 / 2));
    while (!stall_ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(play_until(played() + ring + 4 * block));
    const uint64_t stale_after_stall = stale.load();
    EXPECT_GT(stale_after_stall, 0u);
    // The stalled block, a lap on.
    EXPECT_TRUE(first_stale > int64_t(stall_start) && first_stale <= int64_t(stall_start + ring))
        << first_stale << " " << stall_start;
    ASSERT_TRUE(play_until(played() + 2 * ring));  // all refilled: nothing stale again
    EXPECT_EQ(stale.load(), stale_after_stall);

    set_sdl_play_watcher(nullptr), before_refill.store(nullptr), module_free(module),
        output_reset();
}

}  // namespace
