// Audio output and the song clock on a test device whose position moves only when the test sets
// it: ring sizes, the prefill, refills after each block and in bursts, the clock of the block
// being heard, stopping and restarting. The module's tick routine is a stand-in with 882-frame
// ticks (125 BPM at 44100 Hz), so the clock values follow from the mixer's rules alone: the
// first block adds 19 ms, and so does the second.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "player/audio_format.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"
#include "player/wave_device.h"
#include "tests/player/support/test_wave_device.h"

namespace {

constexpr uint32_t frame_bytes = 4;

// Ticks of 882 frames; a row every `speed` ticks.
void stand_in_tick(XmModule* module) {
    module->samples_per_tick = 882;
    if (++module->tick >= module->speed) {
        module->tick = 0;
        ++module->row;
    }
}

XmModule stand_in_module() {
    XmModule module{};
    module.default_bpm = 125;
    module.default_speed = 6;
    module.initial_global_volume = 64;
    module.tick_routine = stand_in_tick;
    return module;
}

// Waits for a condition the output thread brings about. The bound only ends a hung test.
template <typename Condition>
bool eventually(Condition condition) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// True once the thread has moved the clock onto `block` and finished the refill that goes
// with it: the flag is set before the clock moves and cleared after the block is mixed, so
// reading it after the clock tells that the refill is complete, and the thread's writes are
// then visible here.
bool refilled_up_to(int32_t block) {
    return clock_block.load() == block && !fill_in_progress.load();
}

uint64_t block_start_bytes(int32_t block) {
    return uint64_t(block) * uint64_t(block_frames) * frame_bytes;
}

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        output_reset();
        engine_reset();
        loader_reset();
        test_device_reset();
        set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
        set_wave_device(&test_wave_device);
        module = stand_in_module();
    }
    void TearDown() override {
        output_reset();
        set_wave_device(nullptr);
        loader_reset();
    }

    // Moves the device into `block` and waits until the thread has refilled up to it.
    void play_into(int32_t block, uint64_t lap = 0) {
        test_device_position.store(lap * uint64_t(ring_frames) * frame_bytes +
                                   block_start_bytes(block));
        ASSERT_TRUE(eventually([&] { return refilled_up_to(block); }));
    }

    XmModule module{};
};

struct RingSizes {
    int32_t rate;
    int32_t block_frames, ring_frames, block_count, ramp_length;
};

class OutputSizes : public Output, public ::testing::WithParamInterface<RingSizes> {};

// Blocks of 20 ms rounded up to 4 frames, 100 of them, and a 128-frame ramp at 44100 Hz.
TEST_P(OutputSizes, FollowTheRate) {
    const RingSizes& sizes = GetParam();
    ASSERT_TRUE(audio_init(sizes.rate));
    EXPECT_EQ(test_device_log.opens, 1);
    EXPECT_EQ(test_device_log.rate, sizes.rate);
    EXPECT_EQ(test_device_log.channels, 2);
    EXPECT_EQ(output_rate, sizes.rate);
    EXPECT_EQ(block_frames, sizes.block_frames);
    EXPECT_EQ(ring_frames, sizes.ring_frames);
    EXPECT_EQ(ramp_length, sizes.ramp_length);
    EXPECT_FLOAT_EQ(ramp_reciprocal, 1.0f / float(sizes.ramp_length));
    EXPECT_FLOAT_EQ(inverse_rate, 1.0f / float(sizes.rate));
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(block_count, sizes.block_count);
    EXPECT_EQ(test_device_log.bytes, uint32_t(sizes.ring_frames) * frame_bytes);
}

INSTANTIATE_TEST_SUITE_P(Rates, OutputSizes,
                         ::testing::Values(RingSizes{22050, 444, 44400, 100, 64},
                                           RingSizes{44100, 884, 88400, 100, 128},
                                           RingSizes{48000, 960, 96000, 100, 139}));

// The whole ring is mixed before the device starts, and handed to it once as one looping
// buffer of 353600 bytes; the clock then reads block 0: 19 ms, row 0.
TEST_F(Output, PrefillsTheWholeRingAndHandsItOverOnce) {
    ASSERT_TRUE(audio_init(44100));
    EXPECT_EQ(voices[7].index, 7);
    EXPECT_EQ(voices[7].step, 1u);
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(test_device_log.prepares, 1);
    EXPECT_EQ(test_device_log.writes, 1);
    EXPECT_EQ(test_device_log.buffer, wave_buffer);
    EXPECT_EQ(test_device_log.bytes, 353600u);
    EXPECT_EQ(write_block, 0);  // wrapped after all 100 blocks
    EXPECT_EQ(block_table[0].time_ms.load(), 19u);
    EXPECT_EQ(block_table[1].time_ms.load(), 38u);
    for (int block = 1; block < block_count; ++block)
        EXPECT_GT(block_table[block].time_ms.load(), block_table[block - 1].time_ms.load());
    EXPECT_EQ(song_clock_ms(&module), 19u);
    EXPECT_EQ(song_clock_row(&module), 0u);
    EXPECT_TRUE(eventually([] { return test_device_priority_raises.load() == 1; }));
}

// When the device enters block 1, the thread refills block 0 with music two seconds later in
// the song and the clock reads block 1's entry: 38.
TEST_F(Output, ClockFollowsTheBlockBeingHeard) {
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    const uint32_t ring_end_ms = block_table[99].time_ms.load();
    play_into(1);
    EXPECT_EQ(write_block, 1);
    EXPECT_EQ(song_clock_ms(&module), 38u);
    EXPECT_GT(block_table[0].time_ms.load(), ring_end_ms);
}

std::atomic<int> refill_hook_calls{0};
void count_refill() {
    ++refill_hook_calls;
}

// A position of 1000000 bytes is frame 250000, ring frame 73200, block 82; a thread that finds
// the device there refills the 82 finished blocks in one burst, calling the refill hook before
// each and counting a second fill on each of them.
TEST_F(Output, RefillsEveryFinishedBlockInOneBurst) {
    refill_hook_calls.store(0);
    before_refill.store(count_refill);
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    const uint32_t ring_end_ms = block_table[99].time_ms.load();
    test_device_position.store(1000000);
    ASSERT_TRUE(eventually([] { return refilled_up_to(82); }));
    EXPECT_EQ(write_block, 82);
    EXPECT_EQ(refill_hook_calls.load(), 82);
    for (int block = 0; block < 82; ++block) {
        EXPECT_GT(block_table[block].time_ms.load(), ring_end_ms) << "block " << block;
        EXPECT_EQ(block_table[block].fills.load(), 2u) << "block " << block;
    }
    EXPECT_LE(block_table[82].time_ms.load(), ring_end_ms);  // still from the prefill
    EXPECT_EQ(block_table[82].fills.load(), 1u);
    EXPECT_EQ(song_clock_ms(&module), block_table[82].time_ms.load());
}

// The ring wraps: the block index goes back to 0 after the last block, and the 64-bit position
// keeps giving the right block past 2^32 bytes (frame 2^30 is ring frame 35424, block 40).
TEST_F(Output, WrapsAroundTheRingAndPast32BitPositions) {
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    const uint32_t ring_end_ms = block_table[99].time_ms.load();
    play_into(99);
    play_into(0, 1);
    EXPECT_EQ(write_block, 0);
    // Block 0 now holds the block mixed right after the prefill; block 99 the one just mixed.
    EXPECT_GT(song_clock_ms(&module), ring_end_ms);
    EXPECT_GT(block_table[99].time_ms.load(), song_clock_ms(&module));
    test_device_position.store(uint64_t(1) << 32);
    ASSERT_TRUE(eventually([] { return refilled_up_to(40); }));
    EXPECT_EQ(write_block, 40);
}

// Stopping ends the thread, stops the device playing the ring and releases the ring; the clock
// of a stopped player, like that of a null module, reads 0.
TEST_F(Output, StopEndsThreadAndClock) {
    EXPECT_EQ(song_clock_ms(nullptr), 0u);
    EXPECT_EQ(song_clock_row(nullptr), 0u);
    EXPECT_FALSE(player_start(nullptr));
    EXPECT_FALSE(player_stop(nullptr));
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(song_clock_ms(nullptr), 0u);
    play_into(3);
    EXPECT_TRUE(player_stop(&module));
    EXPECT_TRUE(thread_finished.load());
    EXPECT_FALSE(fill_in_progress.load());
    EXPECT_EQ(test_device_log.resets, 1);
    EXPECT_EQ(test_device_log.unprepares, 1);
    EXPECT_EQ(block_table, nullptr);
    EXPECT_EQ(current_module, nullptr);
    EXPECT_EQ(song_clock_ms(&module), 0u);
    EXPECT_EQ(song_clock_row(&module), 0u);
    EXPECT_TRUE(player_stop(&module));  // nothing left to stop
}

// Freeing or stopping an earlier module must not silence the one playing.
TEST_F(Output, StoppingAnotherModuleLeavesPlaybackRunning) {
    XmModule earlier = stand_in_module();
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    EXPECT_TRUE(player_stop(&earlier));
    EXPECT_EQ(current_module, &module);
    play_into(2);
    EXPECT_EQ(song_clock_ms(&module), 57u);
}

// A display-mode toggle runs audio_init and player_start again: the earlier thread is stopped
// and its device closed before anything is reset, and the new playback starts from the
// beginning of the song, the clock at 19 wherever the earlier one stood.
TEST_F(Output, RestartStartsTheClockAgain) {
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    play_into(40);
    EXPECT_GT(song_clock_ms(&module), 700u);

    XmModule fresh = stand_in_module();
    ASSERT_TRUE(audio_init(44100));
    EXPECT_EQ(test_device_log.closes, 1);
    EXPECT_EQ(current_module, nullptr);
    EXPECT_TRUE(thread_finished.load());
    test_device_position.store(0);  // the reopened device starts from 0
    ASSERT_TRUE(player_start(&fresh));
    EXPECT_EQ(test_device_log.opens, 2);
    EXPECT_EQ(test_device_log.writes, 2);
    EXPECT_EQ(song_clock_ms(&fresh), 19u);
    EXPECT_EQ(fresh.song_time_ms, block_table[99].time_ms.load());
    play_into(1);
    EXPECT_EQ(song_clock_ms(&fresh), 38u);
}

// A second player_start without audio_init takes the ring back from the device before handing
// over the new one, and starts the song again.
TEST_F(Output, StartingAgainRestartsWithoutReopening) {
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    play_into(10);
    test_device_position.store(0);
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(test_device_log.opens, 1);
    EXPECT_EQ(test_device_log.resets, 1);
    EXPECT_EQ(test_device_log.writes, 2);
    EXPECT_EQ(song_clock_ms(&module), 19u);
}

// Without the file callbacks audio_init refuses and opens nothing; without an open device
// there is nothing to start. A rate the ring cannot be sized for is refused too.
TEST_F(Output, InitRefusesWithoutCallbacksOrWithABadRate) {
    loader_reset();
    EXPECT_FALSE(audio_init(44100));
    EXPECT_EQ(test_device_log.opens, 0);
    EXPECT_FALSE(player_start(&module));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    EXPECT_FALSE(audio_init(0));
    EXPECT_FALSE(audio_init(-44100));
    EXPECT_FALSE(audio_init(1000000));
    EXPECT_EQ(test_device_log.opens, 0);
}

// When the device cannot be opened, audio_init reports it, but the music runs on the silent
// device, whose position follows the wall clock: the song clock still moves on.
TEST_F(Output, PlaysOnTheSilentDeviceWhenNoDeviceOpens) {
    test_device_refuses_open = true;
    EXPECT_FALSE(audio_init(44100));
    EXPECT_EQ(test_device_log.opens, 1);
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(test_device_log.writes, 0);
    EXPECT_EQ(song_clock_ms(&module), 19u);
    EXPECT_TRUE(eventually([&] { return song_clock_ms(&module) >= 38u; }));
}

// The silent device's position stands at 0 until the ring is written, then advances in whole
// frames, and holds where it was when reset.
TEST(SilentDevice, PositionFollowsTheClockWhilePlaying) {
    const WaveDevice& device = silent_wave_device;
    ASSERT_TRUE(device.open(44100, 2));
    EXPECT_EQ(device.position_bytes(), 0u);
    int16_t ring[8] = {};
    ASSERT_TRUE(device.prepare(ring, sizeof ring));
    ASSERT_TRUE(device.write_looping(ring, sizeof ring));
    ASSERT_TRUE(eventually([&] { return device.position_bytes() > 0; }));
    EXPECT_EQ(device.position_bytes() % 4, 0u);
    device.reset();
    const uint64_t held = device.position_bytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(device.position_bytes(), held);
    device.close();
    EXPECT_FALSE(device.open(0, 2));
}

}  // namespace
