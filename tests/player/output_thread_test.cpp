// Audio output and the song clock on a device whose position moves only when the test sets
// it. The tick routine is a stand-in with 882-frame ticks (125 BPM at 44100 Hz) and a row every
// 6 ticks, so the clock follows from the mixer's rules alone: 884-frame blocks add 19 ms
// (882 frames, 19.99 ms truncated) + 0 ms (2 frames) at first, then 19 per block for a while.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "player/engine.h"
#include "player/memfile.h"
#include "player/output.h"
#include "player/ring.h"
#include "player/wave_device.h"

namespace {

// Counts and last values the test device records.
enum {
    opens,
    prepares,
    writes,
    unprepares,
    resets,
    closes,
    rate,
    stereo,
    bytes,
    raises,
    hooks,
    reports
};
std::atomic<int64_t> log_of[12];
using V = std::vector<int64_t>;
std::atomic<uint64_t> device_position{0};  // bytes taken
std::atomic<uint64_t> device_queued{0};    // of them not yet heard, as reported
std::atomic<int64_t> device_reported_ns{0};
const int16_t* device_buffer;
bool device_refuses;

const WaveDevice test_device = {
    [](int32_t r, int32_t c) {
        ++log_of[opens];
        log_of[rate] = r;
        log_of[stereo] = c;
        return !device_refuses;
    },
    [](const int16_t*, uint32_t) { return bool(++log_of[prepares]); },
    [](const int16_t* b, uint32_t n) {
        device_buffer = b;
        log_of[bytes] = n;
        return bool(++log_of[writes]);
    },
    [] { return device_position.load(); },
    [] {
        ++log_of[reports];
        return DeviceQueue{device_position, device_queued, device_reported_ns};
    },
    [] { ++log_of[unprepares]; },
    [] { ++log_of[resets]; },
    [] { ++log_of[closes]; },
    [] { ++log_of[raises]; },
};

template <typename Condition>
bool eventually(Condition condition) {  // the 60 s bound only ends a hung test
    for (int ms = 0; ms < 60000 && !condition(); ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        output_reset();
        engine_reset();
        set_wave_device(&test_device);
        std::fill(std::begin(log_of), std::end(log_of), 0);
        device_position = 0;
        device_queued = 0;
        device_reported_ns = INT64_MAX;  // a report that never ages
        device_refuses = false;
        set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
        module.default_bpm = 125;
        module.default_speed = 6;
        module.channel_count = 4;
        module.initial_global_volume = 50;
        module.tick_routine = [](XmModule* m) {
            m->samples_per_tick = 882;
            if (++m->tick < m->speed) return;
            m->tick = 0;
            ++m->row;
        };
    }
    void TearDown() override {
        output_reset();
        set_wave_device(nullptr);
        loader_reset();
    }
    // Sets the bytes the device has taken and waits until the thread has refilled up to `block`
    // (the flag is set before the clock moves and cleared after the refill).
    void play_into(int32_t block, uint64_t position) {
        target_block = block;
        device_position = position;
        ASSERT_TRUE(eventually([] { return clock_block == target_block && !fill_in_progress; }));
    }
    static inline std::atomic<int32_t> target_block;
    XmModule module{};
};

// Blocks of 20 ms rounded up to 4 frames, 100 of them in the ring; a 128-frame ramp at 44100 Hz
// and in proportion at other rates; the ring goes to the device once as 4-byte stereo frames.
// Block k (k < 100) mixes 882 - 2k frames up to a tick and 2 + 2k after it: the truncated
// milliseconds add up to 38 after block 1 and 1904 after block 99, and 101 ticks make row 16.
TEST_F(Output, RingSizesFollowTheRateAndTheClockTheBlockBeingHeard) {
    for (const V& size :
         {V{22050, 444, 44400, 64}, V{48000, 960, 96000, 139}, V{44100, 884, 88400, 128}}) {
        ASSERT_TRUE(audio_init(int32_t(size[0])) && player_start(&module));
        EXPECT_EQ((V{block_frames, ring_frames, block_count, ramp_length, log_of[rate],
                     log_of[stereo], log_of[bytes], device_buffer == wave_buffer}),
                  (V{size[1], size[2], 100, size[3], size[0], 2, 4 * size[2], 1}));
    }
    EXPECT_EQ((V{voices[7].index, voices[7].step, log_of[prepares], log_of[writes], write_block,
                 block_table[1].time_ms, block_table[99].time_ms, block_table[99].row,
                 song_clock_ms(&module), song_clock_row(&module)}),
              (V{7, 1, 3, 3, 0, 38, 1904, 16, 19, 0}));
    EXPECT_TRUE(eventually([] { return log_of[raises] == 3; }));
    // Entering block 1 refills block 0 with music two seconds on and the clock reads 38; a
    // position of 1000000 bytes is frame 250000, ring frame 73200, block 82: the blocks up to it
    // are refilled in one burst, each after the refill hook; the ring wraps (its fourth lap
    // starts at frame 265200), and frame 2^30 is block 40.
    before_refill = [] { ++log_of[hooks]; };
    play_into(1, 884 * 4);
    EXPECT_EQ((V{song_clock_ms(&module), block_table[0].time_ms, block_table[0].fills}),
              (V{38, 1904 + 19, 2}));
    play_into(82, 1000000);
    EXPECT_EQ((V{write_block, log_of[hooks], block_table[81].fills, block_table[82].fills}),
              (V{82, 82, 2, 1}));
    play_into(0, 3 * 88400 * 4);
    play_into(40, uint64_t(1) << 32);
}

// A device that reports a queue: the clock names the block being heard, the bytes taken less
// the queue, and only blocks heard are mixed again, so the blocks taken but not heard keep their
// entries (19 ms a block here: 114 at the end of block 5). A report older than its queue has
// all that was taken heard: its age is added. A report of a longer queue leaves the clock where
// it stands.
TEST_F(Output, TheClockNamesTheBlockHeardBehindTheDevicesQueue) {
    ASSERT_TRUE(audio_init(44100));
    ASSERT_TRUE(player_start(&module));
    device_queued = 5 * 884 * 4;
    play_into(5, (10 * 884 + 442) * 4);
    EXPECT_EQ(song_clock_ms(&module), 114u);
    EXPECT_EQ(block_table[9].fills, 1u) << "a block taken but not heard was mixed again";
    device_reported_ns = 0;
    play_into(10, (10 * 884 + 442) * 4);
    device_reported_ns = INT64_MAX;
    device_queued = 7 * 884 * 4;
    const int64_t seen = log_of[reports];
    ASSERT_TRUE(eventually([seen] { return log_of[reports] > seen + 1; }));
    EXPECT_EQ(clock_block, 10) << "the clock went back";
}

// Stopping another module leaves playback running; stopping this one ends the thread, takes the
// ring back from the device and ends the clock. Starting again (a display-mode toggle) starts
// the song from its beginning whatever state it was left in: the clock reads 19 again, and the
// module's first four channels are cleared and linked to their first voices.
TEST_F(Output, StopAndRestartFromTheSongsStart) {
    EXPECT_FALSE(player_start(&module) || player_start(nullptr) || player_stop(nullptr));
    ASSERT_TRUE(audio_init(44100) && player_start(&module));
    XmModule earlier{};
    EXPECT_TRUE(player_stop(&earlier));
    play_into(2, 2 * 884 * 4);
    EXPECT_EQ(song_clock_ms(nullptr) + song_clock_row(nullptr), 0u);
    EXPECT_TRUE(player_stop(&module) && thread_finished && !block_table && !current_module);
    EXPECT_EQ((V{log_of[resets], log_of[unprepares], song_clock_ms(&module)}), (V{1, 1, 0}));
    device_position = 0;
    module.global_volume = 9;
    module.next_order = module.next_row = 3;
    module.order_position = 2;
    module.pattern_delay = 4;
    module.row = 40;
    module.tick = 5;
    module.tick_samples_left = 70;
    module.song_time_ms = 5000;
    channels[3].volume = channels[4].volume = 33;
    channels[3].voice = nullptr;
    ASSERT_TRUE(player_start(&module) && player_start(&module));
    EXPECT_EQ((V{module.global_volume, module.next_order, module.next_row, module.order_position,
                 module.pattern_delay, module.bpm, channels[3].volume, channels[4].volume,
                 block_table[99].row, log_of[resets], song_clock_ms(&module),
                 channels[3].voice == &voices[3]}),
              (V{50, -1, -1, 0, 0, 125, 0, 33, 16, 2, 19, 1}));
    EXPECT_EQ((V{audio_init(44100), !current_module, log_of[closes], log_of[opens]}),
              (V{1, 1, 1, 2}));
}

// Without the file callbacks or with a rate the ring cannot be sized for, audio_init refuses
// and opens nothing; a device that does not open is replaced by the silent device, whose
// position follows the wall clock, so the song clock still moves on (here for a module without
// channels, whose start clears none).
TEST_F(Output, RefusalsAndTheSilentDevice) {
    EXPECT_EQ((V{audio_init(7999), audio_init(192001), audio_init(0), ring_set_rate(7999),
                 ring_set_rate(8000), ring_set_rate(192000), ring_set_rate(192001)}),
              (V{0, 0, 0, 0, 1, 1, 0}));
    loader_reset();
    EXPECT_TRUE(!audio_init(44100) && log_of[opens] == 0);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    EXPECT_TRUE(audio_init(8000) && audio_init(192000));
    device_refuses = true;
    EXPECT_FALSE(audio_init(44100));
    module.channel_count = 0;  // no channel of its own to clear
    channels[0].volume = 33;
    ASSERT_EQ((V{player_start(&module), log_of[writes], channels[0].volume}), (V{1, 0, 33}));
    EXPECT_TRUE(eventually([] { return song_clock_ms(current_module) >= 38u; }));
    output_reset();
    const WaveDevice& silent = silent_wave_device;
    EXPECT_FALSE(silent.open(0, 2) || silent.open(44100, 0));
    ASSERT_TRUE(silent.open(1, 1) && silent.open(44100, 2) && silent.position_bytes() == 0 &&
                silent.write_looping(nullptr, 0));
    // On past its first whole second, which the count scales apart from the rest.
    ASSERT_TRUE(eventually([] { return silent_wave_device.position_bytes() >= 4 * 55125; }));
    silent.reset();
    const uint64_t held = silent.position_bytes();
    EXPECT_TRUE(held % 4 == 0 && held < 4ull * 44100 * 3600);  // whole frames, under an hour's
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(silent.position_bytes(), held);
    set_wave_device(nullptr);
    EXPECT_EQ(selected_wave_device(), &silent);
}

}  // namespace
