// The output thread against the SDL audio device on SDL's dummy driver, which takes the ring at
// the output rate without a sound card. A watcher on the device's callback checks every block
// the play cursor enters: the block must have been mixed again since the cursor last entered it
// (its fill count moved), or the device is replaying stale sound. With both cores kept busy by
// spinning threads, a minute of the embedded song plays without one stale block; a stall of the
// output thread longer than the ring is seen as stale blocks, and one shorter than the ring is
// not. Stalls are made by the refill hook and measured in device bytes, not wall time.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

constexpr uint64_t frame_bytes = 4;
constexpr int32_t rate = 44100;
constexpr uint64_t bytes_per_second = uint64_t(rate) * frame_bytes;
constexpr size_t max_blocks = 256;

uint64_t block_bytes() {
    return uint64_t(block_frames) * frame_bytes;
}

uint64_t ring_bytes() {
    return uint64_t(ring_frames) * frame_bytes;
}

uint64_t device_position() {
    return sdl_wave_device.position_bytes();
}

// What the device watcher saw. The fill counts at the last entry are touched only on SDL's
// audio thread; the totals are read by the test.
struct PlayWatch {
    std::array<uint32_t, max_blocks> fills_at_entry{};
    std::atomic<uint64_t> entries{0};
    std::atomic<uint64_t> stale{0};
    std::atomic<int64_t> first_stale_position{-1};
};
PlayWatch watch;

// For every block whose first byte lies in the span about to be copied: stale when its fill
// count is the one it had when the cursor last entered it. The prefill counts as the first
// fill, so the first lap over the ring is fresh.
void watch_play(uint64_t position_bytes, uint32_t bytes) {
    const uint64_t size = block_bytes();
    const uint64_t end = position_bytes + bytes;
    for (uint64_t block = (position_bytes + size - 1) / size; block * size < end; ++block) {
        const size_t index = size_t(block % uint64_t(block_count));
        const uint32_t fills = block_table[index].fills.load(std::memory_order_acquire);
        if (fills == watch.fills_at_entry[index]) {
            watch.stale.fetch_add(1);
            int64_t none = -1;
            watch.first_stale_position.compare_exchange_strong(none, int64_t(block * size));
        }
        watch.fills_at_entry[index] = fills;
        watch.entries.fetch_add(1);
    }
}

// How far the output thread trails the device: at each refill, the blocks from the one about to
// be mixed to the one being played. 1 when the thread keeps up; the ring's block count would
// mean the device has come round to the block being mixed.
std::atomic<int32_t> most_blocks_behind{0};
void measure_trail() {
    const uint64_t frame = device_position() / frame_bytes;
    const int32_t play_block = int32_t(frame % uint64_t(ring_frames)) / block_frames;
    const int32_t behind = (play_block - write_block + block_count) % block_count;
    int32_t most = most_blocks_behind.load();
    while (behind > most && !most_blocks_behind.compare_exchange_weak(most, behind)) {
    }
}

// A stall of the output thread before one refill: once armed, the next refill waits until the
// device has played stall_bytes more. The device positions at the start and end are kept.
std::atomic<bool> stall_armed{false};
std::atomic<uint64_t> stall_bytes{0};
std::atomic<uint64_t> stall_start{0};
std::atomic<uint64_t> stall_end{0};
void stall_once() {
    if (!stall_armed.exchange(false)) return;
    const uint64_t start = device_position();
    stall_start.store(start);
    while (device_position() < start + stall_bytes.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stall_end.store(device_position());
}

// Waits until the device has played `bytes`. The bound only ends a hung test: it allows the
// dummy driver to run at a quarter of the output rate.
bool play_until(uint64_t bytes) {
    const auto seconds = 30 + 4 * bytes / bytes_per_second;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (device_position() < bytes) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Waits for the stall to end; it ends once the device has played on, so the bound only ends a
// hung test.
bool eventually_stall_ended() {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (stall_end.load() == 0) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Spinning threads, two per core, each walking its own 2 MiB buffer so that the caches are
// busy too; they run at the output thread's priority until stopped.
class StressLoad {
public:
    StressLoad() {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < 2 * cores; ++i)
            workers_.emplace_back([this] { spin(); });
    }
    ~StressLoad() {
        stop_.store(true);
        for (std::thread& worker : workers_)
            worker.join();
    }
    size_t threads() const { return workers_.size(); }

private:
    void spin() {
        std::vector<uint32_t> buffer(512 * 1024, 1);
        uint32_t sum = 0;
        while (!stop_.load(std::memory_order_relaxed)) {
            for (size_t i = 0; i < buffer.size(); i += 16) {
                sum = sum * 31 + buffer[i];
                buffer[i] = sum;
            }
        }
        sink_.fetch_add(sum, std::memory_order_relaxed);
    }
    std::atomic<bool> stop_{false};
    std::atomic<uint32_t> sink_{0};
    std::vector<std::thread> workers_;
};

class OutputLoad : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        output_reset();
        loader_reset();
        watch.fills_at_entry.fill(0);
        watch.entries.store(0);
        watch.stale.store(0);
        watch.first_stale_position.store(-1);
        most_blocks_behind.store(0);
        stall_armed.store(false);
        stall_start.store(0);
        stall_end.store(0);
        memfile_attach(module_bytes, module_size);
        set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
        set_wave_device(&sdl_wave_device);
        ASSERT_TRUE(audio_init(rate)) << "no SDL audio device on the dummy driver";
        ASSERT_LE(size_t(block_count), max_blocks);
        module = module_load(nullptr, nullptr);
        ASSERT_NE(module, nullptr);
        set_sdl_play_watcher(watch_play);
    }
    void TearDown() override {
        set_sdl_play_watcher(nullptr);
        if (module) module_free(module);
        output_reset();
        set_wave_device(nullptr);
        loader_reset();
        memfile_reset();
    }

    XmModule* module = nullptr;
};

// A minute of the song on a machine whose every core is busy: every block the device enters has
// been mixed again since it last played.
TEST_F(OutputLoad, KeepsTheRingFreshForAMinuteWithEveryCoreBusy) {
    StressLoad load;
    before_refill.store(measure_trail);
    ASSERT_TRUE(player_start(module));
    ASSERT_TRUE(play_until(60 * bytes_per_second)) << "the device stopped playing";
    EXPECT_GE(watch.entries.load(), 20 * uint64_t(block_count));  // thirty laps round the ring
    EXPECT_EQ(watch.stale.load(), 0u)
        << "first stale block at byte " << watch.first_stale_position.load();
    std::printf(
        "load: %zu spinning threads, %llu blocks entered, %llu stale, the thread at most "
        "%d blocks behind the device\n",
        load.threads(), static_cast<unsigned long long>(watch.entries.load()),
        static_cast<unsigned long long>(watch.stale.load()), most_blocks_behind.load());
}

// A stall lasting one and a half rings lets the device come round to blocks that were not mixed
// again: they are counted. Once the thread runs again it refills everything behind the device,
// and from the next lap on no block is stale.
TEST_F(OutputLoad, CountsTheBlocksAStallLongerThanTheRingLeavesStale) {
    before_refill.store(stall_once);
    stall_bytes.store(ring_bytes() * 3 / 2);
    ASSERT_TRUE(player_start(module));
    ASSERT_TRUE(play_until(bytes_per_second / 2));
    stall_armed.store(true);
    ASSERT_TRUE(play_until(bytes_per_second / 2 + ring_bytes() * 3 / 2));
    ASSERT_FALSE(stall_armed.load());
    ASSERT_TRUE(eventually_stall_ended());
    ASSERT_TRUE(play_until(stall_end.load() + ring_bytes() + 4 * block_bytes()));
    const uint64_t stale_after_stall = watch.stale.load();
    EXPECT_GT(stale_after_stall, 0u);
    // The first stale block is the one the thread stalled before mixing, a lap later.
    EXPECT_GT(watch.first_stale_position.load(), int64_t(stall_start.load()));
    EXPECT_LE(watch.first_stale_position.load(), int64_t(stall_start.load() + ring_bytes()));
    ASSERT_TRUE(play_until(device_position() + 2 * ring_bytes()));
    EXPECT_EQ(watch.stale.load(), stale_after_stall);
    std::printf("stall of %.2f s of sound against a ring of %.2f s: %llu stale blocks\n",
                double(stall_bytes.load()) / double(bytes_per_second),
                double(ring_bytes()) / double(bytes_per_second),
                static_cast<unsigned long long>(stale_after_stall));
}

// A stall of half a ring is absorbed: the device plays blocks mixed long before.
TEST_F(OutputLoad, HidesAStallShorterThanTheRing) {
    before_refill.store(stall_once);
    stall_bytes.store(ring_bytes() / 2);
    ASSERT_TRUE(player_start(module));
    ASSERT_TRUE(play_until(bytes_per_second / 2));
    stall_armed.store(true);
    ASSERT_TRUE(play_until(device_position() + 2 * ring_bytes()));
    ASSERT_FALSE(stall_armed.load());
    ASSERT_TRUE(eventually_stall_ended());
    EXPECT_EQ(watch.stale.load(), 0u)
        << "first stale block at byte " << watch.first_stale_position.load();
}

}  // namespace
