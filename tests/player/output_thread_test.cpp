// Audio output and the song clock on a device whose position moves only when the test sets
// it. The tick routine is a stand-in with 882-frame ticks (125 BPM at 44100 Hz) and a row every
// 6 ticks, so the clock follows from the mixer's rules alone: 884-frame blocks add 19 ms
// (882 frames, 19.99 ms truncated) + 0 ms (2 frames) at first, then 19 per block for a while.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "player/engine.h"
#include "player/output.h"
#include "player/ring.h"
#include "player/session.h"
#include "tests/support/process.h"

namespace {

// What the test device was asked, counted; the position queries count the output thread's
// polls.
enum Call { opens, prepares, writes, unprepares, resets, closes, raises, polls, call_kinds };
std::atomic<int64_t> calls[call_kinds];
std::atomic<int32_t> opened_rate{0};
std::atomic<int32_t> opened_channels{0};
std::atomic<uint32_t> written_bytes{0};
std::atomic<const int16_t*> written_buffer{nullptr};
std::atomic<uint64_t> device_position{0};  // bytes taken
std::atomic<uint64_t> device_queued{0};    // of them not yet heard, as reported
std::atomic<int64_t> device_reported_ns{0};
bool device_refuses = false;

const WaveDevice test_device = {
    [](int32_t rate, int32_t channels) {
        ++calls[opens];
        opened_rate = rate;
        opened_channels = channels;
        return !device_refuses;
    },
    [](const int16_t*, uint32_t) { return ++calls[prepares] > 0; },
    [](const int16_t* buffer, uint32_t bytes) {
        written_buffer = buffer;
        written_bytes = bytes;
        return ++calls[writes] > 0;
    },
    [] {
        ++calls[polls];
        return device_position.load();
    },
    [] {
        return DeviceQueue{device_position, device_queued, device_reported_ns};
    },
    [] { ++calls[unprepares]; },
    [] { ++calls[resets]; },
    [] { ++calls[closes]; },
    [] { ++calls[raises]; },
};

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::atomic<int64_t>& count : calls)
            count = 0;
        device_position = 0;
        device_queued = 0;
        device_reported_ns = INT64_MAX;  // a report that never ages
        device_refuses = false;
        module.default_bpm = 125;
        module.default_speed = 6;
        module.channel_count = 4;
        module.tick_routine = [](XmModule* m) {
            m->samples_per_tick = 882;
            if (++m->tick < m->speed) return;
            m->tick = 0;
            ++m->row;
        };
    }
    void TearDown() override {
        session_reset();
        set_wave_device(nullptr);
    }
    // Sets the bytes the device has taken and waits for the poll that reads them and the next
    // one, which starts only once the refills the first asked for are done.
    static void play_to(uint64_t position) {
        device_position = position;
        const int64_t polled = calls[polls];
        ASSERT_TRUE(poll_until([polled] { return calls[polls] >= polled + 2; }));
    }
    XmModule module{};
};

// Blocks of 20 ms rounded up to 4 frames, 100 of them in the ring; a 128-frame ramp at 44100 Hz
// and in proportion at other rates; the ring goes to the device once as 4-byte stereo frames.
// (44100 Hz itself is every other test's rate: its 884-frame blocks make their clocks.)
TEST_F(Output, RingSizesFollowTheRate) {
    struct Sizes {
        int32_t rate;
        int32_t block_frames;
        int32_t ring_frames;
        int32_t ramp_length;
    };
    for (const Sizes& size : {Sizes{22050, 444, 44400, 64}, Sizes{48000, 960, 96000, 139}}) {
        SCOPED_TRACE(size.rate);
        ASSERT_TRUE(start_song(&module, &test_device, size.rate));
        EXPECT_EQ(block_frames, size.block_frames);
        EXPECT_EQ(ring_frames, size.ring_frames);
        EXPECT_EQ(ramp_length, size.ramp_length);
        EXPECT_EQ(opened_rate.load(), size.rate);
        EXPECT_EQ(opened_channels.load(), 2);
        EXPECT_EQ(written_bytes.load(), uint32_t(4 * size.ring_frames));
        EXPECT_EQ(written_buffer.load(), wave_buffer);
    }
    EXPECT_EQ(calls[prepares].load(), 2);
    EXPECT_EQ(calls[writes].load(), 2);
    EXPECT_TRUE(poll_until([] { return calls[raises] == 2; }));
}

// Block k (k < 100) mixes 882 - 2k frames up to a tick and 2 + 2k after it: the truncated
// milliseconds add up to 38 after block 1 and 1904 after block 99.
// Entering block 1 refills block 0 with music two seconds on and the clock reads 38; a
// position of 1000000 bytes is frame 250000, ring frame 73200, block 82: the blocks up to it
// are refilled in one burst, each once; past the ring's end it wraps: frame 2^30 is block 40.
TEST_F(Output, TheClockFollowsTheBlockBeingHeard) {
    ASSERT_TRUE(start_song(&module, &test_device, 44100));
    EXPECT_EQ(block_table[99].time_ms.load(), 1904u);
    EXPECT_EQ(song_clock_ms(&module), 19u);
    EXPECT_EQ(song_clock_row(&module), 0u);

    play_to(884 * 4);
    EXPECT_EQ(song_clock_ms(&module), 38u);
    EXPECT_EQ(block_table[0].time_ms.load(), 1904u + 19u);
    EXPECT_EQ(block_table[0].fills.load(), 2u);
    play_to(1000000);
    EXPECT_EQ(clock_block.load(), 82);
    EXPECT_EQ(write_block, 82);
    EXPECT_EQ(block_table[81].fills.load(), 2u);
    EXPECT_EQ(block_table[82].fills.load(), 1u);
    play_to(uint64_t(1) << 32);
    EXPECT_EQ(clock_block.load(), 40);
}

// A device that reports a queue: the clock names the block being heard, the bytes taken less
// the queue, and only blocks heard are mixed again, so the blocks taken but not heard keep their
// entries (19 ms a block here: 114 at the end of block 5). A report older than its queue has
// all that was taken heard: its age is added. A report of a longer queue leaves the clock where
// it stands.
TEST_F(Output, TheClockNamesTheBlockHeardBehindTheDevicesQueue) {
    ASSERT_TRUE(start_song(&module, &test_device, 44100));
    device_queued = 5 * 884 * 4;
    play_to((10 * 884 + 442) * 4);
    EXPECT_EQ(clock_block.load(), 5);
    EXPECT_EQ(song_clock_ms(&module), 114u);
    EXPECT_EQ(block_table[9].fills.load(), 1u) << "a block taken but not heard was mixed again";
    device_reported_ns = 0;
    play_to((10 * 884 + 442) * 4);
    EXPECT_EQ(clock_block.load(), 10);
    device_reported_ns = INT64_MAX;
    device_queued = 7 * 884 * 4;
    play_to((10 * 884 + 442) * 4);
    EXPECT_EQ(clock_block.load(), 10) << "the clock went back";
}

// Stopping another module leaves playback running; stopping this one ends the thread, takes the
// ring back from the device and ends the clock. Starting again (a display-mode toggle) starts
// the song from its beginning whatever state it was left in: the clock reads 19 again, 101
// ticks make row 16 and 1904 ms by block 99, and the module's first four channels are cleared
// and linked to their first voices. An offline start stops the playback on the device too.
TEST_F(Output, StopAndRestartFromTheSongsStart) {
    EXPECT_FALSE(player_start(&module)) << "no device open";
    EXPECT_FALSE(start_song(nullptr, &test_device, 44100));
    EXPECT_FALSE(start_song_offline(nullptr, 44100));
    EXPECT_FALSE(player_stop(nullptr));
    ASSERT_TRUE(start_song(&module, &test_device, 44100));
    XmModule earlier{};
    EXPECT_TRUE(player_stop(&earlier));
    play_to(2 * 884 * 4);
    EXPECT_EQ(song_clock_ms(nullptr), 0u);
    EXPECT_EQ(song_clock_row(nullptr), 0u);
    stop_song();
    EXPECT_EQ(wave_buffer, nullptr) << "the ring was kept";
    EXPECT_EQ(calls[resets].load(), 1);
    EXPECT_EQ(calls[unprepares].load(), 1);
    EXPECT_EQ(song_clock_ms(&module), 0u);

    device_position = 0;
    module.next_order = 3;
    module.next_row = 3;
    module.order_position = 2;
    module.pattern_delay = 4;
    module.row = 40;
    module.tick = 5;
    module.tick_samples_left = 70;
    module.song_time_ms = 5000;
    channels[3].volume = 33;
    channels[4].volume = 33;
    channels[3].voice = nullptr;
    ASSERT_TRUE(player_start(&module));
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(module.next_order, -1);
    EXPECT_EQ(module.next_row, -1);
    EXPECT_EQ(module.order_position, 0);
    EXPECT_EQ(module.pattern_delay, 0);
    EXPECT_EQ(channels[3].volume, 0);
    EXPECT_EQ(channels[4].volume, 33) << "a channel the song does not have was cleared";
    EXPECT_EQ(channels[3].voice, &voices[3]);
    EXPECT_EQ(block_table[99].row.load(), 16);
    EXPECT_EQ(block_table[99].time_ms.load(), 1904u);
    EXPECT_EQ(calls[resets].load(), 2);
    EXPECT_EQ(song_clock_ms(&module), 19u);
    ASSERT_TRUE(start_song_offline(&module, 44100));
    EXPECT_EQ(calls[resets].load(), 3) << "the offline start left the device playing";
    EXPECT_TRUE(audio_init(44100));
    EXPECT_EQ(playing_song(), nullptr) << "a new device stops the playback";
    EXPECT_EQ(calls[closes].load(), 1);
    EXPECT_EQ(calls[opens].load(), 2);
}

// A rate the ring cannot be sized for and a device that does not open start nothing (the rates
// at the bounds start); the silent device, which stands in where audio_init finds no device,
// has a position that follows the wall clock, so the song clock still moves on (here for a
// module without channels, whose start clears none).
TEST_F(Output, RefusalsAndTheSilentDevice) {
    for (const int32_t rate : {7999, 192001}) {
        EXPECT_FALSE(audio_init(rate)) << rate;
        EXPECT_FALSE(start_song(&module, &test_device, rate)) << rate;
        EXPECT_FALSE(start_song_offline(&module, rate)) << rate;
    }
    EXPECT_EQ(calls[opens].load(), 0);
    EXPECT_TRUE(start_song_offline(&module, 8000));
    EXPECT_TRUE(start_song_offline(&module, 192000));
    EXPECT_TRUE(start_song(&module, &test_device, 8000));
    EXPECT_TRUE(start_song(&module, &test_device, 192000));
    device_refuses = true;
    EXPECT_FALSE(start_song(&module, &test_device, 44100));
    EXPECT_EQ(playing_song(), nullptr);
    module.channel_count = 0;  // no channel of its own to clear
    ASSERT_TRUE(start_song(&module, &silent_wave_device, 44100));
    channels[0].volume = 33;
    ASSERT_TRUE(player_start(&module));
    EXPECT_EQ(channels[0].volume, 33);
    EXPECT_TRUE(poll_until([this] { return song_clock_ms(&module) >= 38u; }));
    session_reset();
    EXPECT_EQ(channels[0].volume, 0) << "the session's reset kept the channels";

    const WaveDevice& silent = silent_wave_device;
    EXPECT_FALSE(silent.open(0, 2));
    EXPECT_FALSE(silent.open(44100, 0));
    ASSERT_TRUE(silent.open(1, 1));
    ASSERT_TRUE(silent.open(44100, 2));
    ASSERT_EQ(silent.position_bytes(), 0u);
    ASSERT_TRUE(silent.prepare(nullptr, 0));
    ASSERT_TRUE(silent.write_looping(nullptr, 0));
    // On past its first whole second, which the count scales apart from the rest.
    ASSERT_TRUE(poll_until([] { return silent_wave_device.position_bytes() >= 4 * 55125; }));
    silent.close();  // resets it first
    const uint64_t held = silent.position_bytes();
    EXPECT_EQ(held % 4, 0u) << "not whole frames";
    EXPECT_LT(held, 4ull * 44100 * 3600) << "more than an hour";
    sleep_milliseconds(20);
    EXPECT_EQ(silent.position_bytes(), held);
}

}  // namespace
