// Audio output and the song clock on a device whose position moves only when the test sets
// it. The tick routine is a stand-in with 882-frame ticks (125 BPM at 44100 Hz) and a row every
// 6 ticks, so the clock follows from the mixer's rules alone: 884-frame blocks add 19 ms
// (882 frames, 19.99 ms truncated) + 0 ms (2 frames) at first, then 19 per block for a while.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "player/engine.h"
#include "player/memfile.h"
#include "player/output.h"
#include "player/ring.h"
#include "player/wave_device.h"

namespace {

struct DeviceLog {
    int opens, prepares, writes, unprepares, resets, closes, rate, channels;
    uint32_t bytes;
    const int16_t* buffer;
} device_log;
std::atomic<uint64_t> device_position{0};
std::atomic<int> priority_raises{0}, refills{0};
bool device_refuses = false;

const WaveDevice test_device = {
    [](int32_t rate, int32_t channels) {
        ++device_log.opens, device_log.rate = rate, device_log.channels = channels;
        return !device_refuses;
    },
    [](const int16_t*, uint32_t) { return bool(++device_log.prepares); },
    [](const int16_t* buffer, uint32_t bytes) {
        ++device_log.writes, device_log.buffer = buffer, device_log.bytes = bytes;
        return true;
    },
    [] { return device_position.load(); },
    [] { ++device_log.unprepares; },
    [] { ++device_log.resets; },
    [] { ++device_log.closes; },
    [] { ++priority_raises; }};

template <typename Condition>
bool eventually(Condition condition) {  // the bound only ends a hung test
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition() && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        output_reset();
        engine_reset();
        device_log = DeviceLog{};
        device_position = 0, priority_raises = 0, refills = 0, device_refuses = false;
        set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
        set_wave_device(&test_device);
        module = stand_in();
    }
    void TearDown() override {
        output_reset();
        set_wave_device(nullptr);
        loader_reset();
    }
    static XmModule stand_in() {
        XmModule m{};
        m.default_bpm = 125, m.default_speed = 6, m.channel_count = 4;
        m.tick_routine = [](XmModule* module) {
            module->samples_per_tick = 882;
            if (++module->tick >= module->speed) module->tick = 0, ++module->row;
        };
        return m;
    }
    // Sets the device's byte position and waits until the thread has refilled up to `block`
    // (the flag is set before the clock moves and cleared after the refill).
    void play_into(int32_t block, uint64_t bytes) {
        device_position = bytes;
        ASSERT_TRUE(eventually([&] { return clock_block == block && !fill_in_progress; }));
    }
    XmModule module{};
};

// Blocks of 20 ms rounded up to 4 frames, 100 of them in the ring; a 128-frame ramp at 44100 Hz
// and in proportion at other rates; the ring goes to the device once as 4-byte stereo frames.
TEST_F(Output, RingSizesFollowTheRateAndTheWholeRingIsPrefilled) {
    const int32_t sizes[][4] = {
        {22050, 444, 44400, 64}, {48000, 960, 96000, 139}, {44100, 884, 88400, 128}};
    for (const auto& size : sizes) {
        ASSERT_TRUE(audio_init(size[0]));
        ASSERT_TRUE(player_start(&module));
        EXPECT_EQ(block_frames, size[1]);
        EXPECT_EQ(ring_frames, size[2]);
        EXPECT_EQ(block_count, 100);
        EXPECT_EQ(ramp_length, size[3]);
        EXPECT_EQ(ramp_reciprocal, 1.0f / float(size[3]));
        EXPECT_EQ(device_log.rate, size[0]);
        EXPECT_EQ(device_log.channels, 2);
        EXPECT_EQ(device_log.bytes, uint32_t(size[2]) * 4);
        EXPECT_EQ(device_log.buffer, wave_buffer);
    }
    EXPECT_EQ(voices[7].index, 7);
    EXPECT_EQ(voices[7].step, 1u);
    EXPECT_EQ(channels[3].voice, &voices[3]);
    EXPECT_EQ(device_log.prepares, 3);
    EXPECT_EQ(device_log.writes, 3);
    EXPECT_EQ(write_block, 0);  // wrapped after all 100 blocks
    EXPECT_EQ(module.speed, 6);
    EXPECT_EQ(module.samples_per_tick, 882);
    // Block k (k < 100) mixes 882 - 2k frames up to a tick and 2 + 2k after it; the truncated
    // milliseconds of those runs add up to 38 after block 1 and 1904 after block 99.
    EXPECT_EQ(block_table[1].time_ms.load(), 38u);
    EXPECT_EQ(block_table[99].time_ms.load(), 1904u);
    EXPECT_EQ(block_table[99].row.load(), 16);  // ticks run: 101, 6 to a row
    EXPECT_EQ(song_clock_ms(&module), 19u);
    EXPECT_EQ(song_clock_row(&module), 0u);
    EXPECT_TRUE(eventually([] { return priority_raises == 3; }));
}

// Entering block 1 refills block 0 with music two seconds on and the clock reads 38; a position
// of 1000000 bytes is frame 250000, ring frame 73200, block 82: the blocks up to it are refilled
// in one burst, each after the refill hook; the ring wraps, and frame 2^30 is block 40.
TEST_F(Output, ClockFollowsTheBlockBeingHeard) {
    before_refill = [] { ++refills; };
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    play_into(1, 884 * 4);
    EXPECT_EQ(song_clock_ms(&module), 38u);
    EXPECT_EQ(block_table[0].time_ms.load(), 1904u + 19);
    EXPECT_EQ(block_table[0].fills.load(), 2u);
    play_into(82, 1000000);
    EXPECT_EQ(write_block, 82);
    EXPECT_EQ(refills, 82);
    EXPECT_EQ(block_table[81].fills.load(), 2u);
    EXPECT_EQ(block_table[82].fills.load(), 1u);
    EXPECT_EQ(song_clock_ms(&module), block_table[82].time_ms.load());
    play_into(99, 99 * 884 * 4);
    play_into(0, 88400 * 4);
    EXPECT_EQ(block_table[99].fills.load(), 2u);
    play_into(40, uint64_t(1) << 32);
    EXPECT_EQ(write_block, 40);
}

// Stopping another module leaves playback running; stopping this one ends the thread, takes the
// ring back from the device and ends the clock. Starting again (a display-mode toggle) starts
// the song from its beginning: the clock reads 19 again.
TEST_F(Output, StopAndRestart) {
    EXPECT_FALSE(player_start(&module));  // no device yet
    EXPECT_FALSE(player_start(nullptr));
    EXPECT_FALSE(player_stop(nullptr));
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    XmModule earlier = stand_in();
    EXPECT_TRUE(player_stop(&earlier));
    play_into(2, 2 * 884 * 4);
    EXPECT_EQ(song_clock_ms(nullptr), 0u);
    EXPECT_EQ(song_clock_row(nullptr), 0u);
    EXPECT_TRUE(player_stop(&module));
    EXPECT_TRUE(thread_finished.load());
    EXPECT_EQ(device_log.resets, 1);
    EXPECT_EQ(device_log.unprepares, 1);
    EXPECT_EQ(block_table, nullptr);
    EXPECT_EQ(current_module, nullptr);
    EXPECT_EQ(song_clock_ms(&module), 0u);
    device_position = 0;
    ASSERT_TRUE(player_start(&module));
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(device_log.resets, 2);
    EXPECT_EQ(song_clock_ms(&module), 19u);
    ASSERT_TRUE(audio_init(44100));
    EXPECT_EQ(device_log.closes, 1);
    EXPECT_EQ(current_module, nullptr);
    EXPECT_EQ(device_log.opens, 2);
}

// Without the file callbacks or with a rate the ring cannot be sized for, audio_init refuses
// and opens nothing; a device that does not open is replaced by the silent device, whose
// position follows the wall clock, so the song clock still moves on.
TEST_F(Output, RefusalsAndTheSilentDevice) {
    for (int32_t rate : {7999, 192001, 0}) {
        EXPECT_FALSE(audio_init(rate));
    }
    loader_reset();
    EXPECT_FALSE(audio_init(44100));
    EXPECT_EQ(device_log.opens, 0);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    EXPECT_TRUE(audio_init(8000));
    EXPECT_TRUE(audio_init(192000));
    device_refuses = true;
    EXPECT_FALSE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(device_log.writes, 0);
    EXPECT_TRUE(eventually([&] { return song_clock_ms(&module) >= 38u; }));
    output_reset();
    const WaveDevice& silent = silent_wave_device;
    EXPECT_FALSE(silent.open(0, 2));
    EXPECT_FALSE(silent.open(44100, 0));
    ASSERT_TRUE(silent.open(44100, 2));
    EXPECT_EQ(silent.position_bytes(), 0u);
    ASSERT_TRUE(silent.write_looping(nullptr, 0));
    ASSERT_TRUE(eventually([&] { return silent.position_bytes() >= 4 * 441; }));  // 10 ms
    silent.reset();
    const uint64_t held = silent.position_bytes();
    EXPECT_EQ(held % 4, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(silent.position_bytes(), held);
    EXPECT_EQ(selected_wave_device(), &test_device);
    set_wave_device(nullptr);
    EXPECT_EQ(selected_wave_device(), &silent);
}

}  // namespace
