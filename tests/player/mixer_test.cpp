// The mixer on voices and ticks set up by hand: where ticks land in a block, the song time of
// each run, the volume ramps, loop and sample ends, and the rounding into 16-bit PCM. Expected
// values follow from the mixing rules: a voice at gain g adds g / 255 of its interpolated
// sample to its side, a ramp moves the weight linearly over 128 frames at 44100 Hz.
#include "player/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "player/engine.h"
#include "player/output.h"
#include "player/ring.h"

namespace {

constexpr uint32_t half = 0x80000000u;  // one half in 1/2^32 frame

// A sample whose storage is exactly its length plus the 8 guard frames, so that the address
// sanitizer sees any read outside it.
struct TestSample {
    std::unique_ptr<int16_t[]> storage;
    XmSample sample{};
};

std::unique_ptr<TestSample> make_sample(const std::vector<int16_t>& frames, uint8_t loop_type,
                                        uint32_t loop_start, uint32_t loop_length) {
    auto made = std::make_unique<TestSample>();
    const size_t length = frames.size();
    made->storage.reset(new int16_t[length + 8]());
    std::copy(frames.begin(), frames.end(), made->storage.get());
    XmSample& s = made->sample;
    s.data = length ? made->storage.get() : nullptr;
    s.length = uint32_t(length);
    s.loop_type = loop_type;
    s.loop_start = loop_type == LOOP_NONE ? 0 : loop_start;
    s.loop_length = loop_type == LOOP_NONE ? uint32_t(length) : loop_length;
    s.bits = 16;
    // The guard frame after the loop, as the loader writes it.
    const uint32_t loop_end = s.loop_start + s.loop_length;
    if (loop_type == LOOP_FORWARD && loop_end <= length) s.data[loop_end] = s.data[s.loop_start];
    if (loop_type == LOOP_PINGPONG && loop_end <= length) s.data[loop_end] = s.data[loop_end - 1];
    return made;
}

// Frames i x 100 for i = 0..129: a forward or ping-pong loop from 2 of length 128 ends at 130.
std::unique_ptr<TestSample> staircase(uint8_t loop_type) {
    std::vector<int16_t> frames(130);
    for (int i = 0; i < 130; ++i)
        frames[size_t(i)] = int16_t(i * 100);
    return make_sample(frames, loop_type, 2, 128);
}

std::unique_ptr<TestSample> constant(int16_t value, size_t length = 16) {
    return make_sample(std::vector<int16_t>(length, value), LOOP_FORWARD, 0, uint32_t(length));
}

// Gains that apply at once, with no ramp: the weight already stands at the targets.
void set_steady_gains(Voice& voice, int32_t left, int32_t right) {
    voice.left_volume = voice.ramp_last_left = left;
    voice.right_volume = voice.ramp_last_right = right;
    voice.ramp_left = left * 256;
    voice.ramp_right = right * 256;
    voice.ramp_frames_left = 0;
}

Voice& start_voice(int index, XmSample& sample, uint32_t position, uint32_t fraction = 0) {
    Voice& voice = voices[index];
    voice.sample = &sample;
    voice.position = position;
    voice.position_frac = fraction;
    voice.step = 1;
    voice.step_frac = 0;
    voice.direction = 1;
    return voice;
}

class Mixer : public ::testing::Test {
protected:
    void SetUp() override {
        engine_reset();
        ring_reset();
        ASSERT_TRUE(ring_set_rate(44100));
        ring_allocate();
        module = XmModule{};
        current_module = &module;
        ticks = 0;
    }
    void TearDown() override { ring_reset(); }

    std::vector<float> mix(int32_t frames) {
        std::vector<float> out(size_t(frames) * 2, 0.0f);
        mix_voices(out.data(), frames);
        return out;
    }

    XmModule module{};
    static int ticks;
};

int Mixer::ticks = 0;

constexpr double full = 255.0 / 255.0;

}  // namespace

// 125 BPM at 44100 Hz: 882 frames per tick. The first block runs the tick at frame 0, mixes
// 882 frames, runs the next tick and mixes 2 more; 882 frames add 19 ms, 2 frames add 0.
TEST_F(Mixer, FirstBlockAt125BpmTicksAtFrames0And882) {
    auto sample = constant(1000);
    Voice& voice = start_voice(0, sample->sample, 0);
    module.samples_per_tick = 882;
    module.tick_routine = [](XmModule* m) {
        // First tick: full left gain; second: silence, at once.
        set_steady_gains(voices[0], ++Mixer::ticks == 1 ? 255 : 0, 0);
        m->samples_per_tick = 882;
    };
    (void)voice;
    fill_block();

    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(module.song_time_ms, 19u);
    EXPECT_EQ(module.tick_samples_left, 880);
    EXPECT_EQ(write_block, 1);
    for (int frame : {0, 1, 881})
        EXPECT_EQ(wave_buffer[2 * frame], 1000) << "frame " << frame;
    for (int frame : {882, 883})
        EXPECT_EQ(wave_buffer[2 * frame], 0) << "frame " << frame;
    EXPECT_EQ(block_table[0].time_ms.load(), 19u);

    // Block 1 mixes the 880 frames left of the tick (19 ms), then a tick and 4 frames (0 ms).
    fill_block();
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(module.song_time_ms, 38u);
    EXPECT_EQ(module.tick_samples_left, 878);
    EXPECT_EQ(block_table[1].time_ms.load(), 38u);
}

// The song time adds trunc(run x 1/44100 x 1000) per run, with 1/44100 held as a float a
// little below its true value: 882 frames give 19, 884 give 20, runs below 45 frames nothing.
struct RunTime {
    int32_t tick_frames;
    uint32_t block_ms;  // after the first 884-frame block
};

class SongTime : public Mixer, public ::testing::WithParamInterface<RunTime> {};

TEST_P(SongTime, AddsTruncatedMillisecondsPerRun) {
    static int32_t tick_frames;
    tick_frames = GetParam().tick_frames;
    module.tick_routine = [](XmModule* m) { m->samples_per_tick = tick_frames; };
    fill_block();
    EXPECT_EQ(module.song_time_ms, GetParam().block_ms);
}

INSTANTIATE_TEST_SUITE_P(Runs, SongTime,
                         ::testing::Values(RunTime{882, 19},    // 882 (19.99) + 2 (0.04)
                                           RunTime{884, 20},    // one run of 884 (20.04)
                                           RunTime{1000, 20},   // one run of 884
                                           RunTime{44, 0},      // 20 runs of 44 (0.998) + 4
                                           RunTime{45, 19},     // 19 runs of 45 (1.02) + 29
                                           RunTime{442, 20}));  // 442 (10.02) twice

// The clock entry records the low 8 bits of the row and the song time after the block; the
// block index wraps to 0 after the last block of the ring.
TEST_F(Mixer, BlockEntryRecordsRowAndTimeAndTheIndexWraps) {
    module.tick_routine = [](XmModule* m) {
        m->samples_per_tick = 884;
        m->row = 300;
    };
    for (int i = 0; i < block_count; ++i)
        fill_block();
    EXPECT_EQ(write_block, 0);
    EXPECT_EQ(block_table[0].row.load(), 300 - 256);
    EXPECT_EQ(block_table[0].time_ms.load(), 20u);
    EXPECT_EQ(block_table[99].time_ms.load(), 2000u);
}

// A note start (weights 0) at left gain 127 ramps the left weight from 0 to 127/255 over 128
// frames, in equal steps; from frame 128 on the gain applies as it is.
TEST_F(Mixer, NoteStartRampsInOver128Frames) {
    auto sample = constant(1000);
    Voice& voice = start_voice(0, sample->sample, 0);
    voice.left_volume = 127;
    std::vector<float> out = mix(200);
    const double target = 1000.0 * 127 / 255;
    for (int i : {0, 1, 32, 64, 127})
        EXPECT_NEAR(out[2 * i], target * i / 128, 0.01) << "frame " << i;
    for (int i : {128, 150, 199})
        EXPECT_NEAR(out[2 * i], target, 0.001) << "frame " << i;
    for (int i : {0, 64, 199})
        EXPECT_EQ(out[2 * i + 1], 0.0f);
    EXPECT_EQ(voice.ramp_frames_left, 0);
    EXPECT_EQ(voice.ramp_left, 127 * 256);
    EXPECT_EQ(voice.ramp_step_left, 0.0f);
}

// A change from 100 to 50 ramps down over 128 frames; unchanged gains mean no ramp at all.
TEST_F(Mixer, GainChangeRampsAndSteadyGainDoesNot) {
    auto sample = constant(1000);
    Voice& voice = start_voice(0, sample->sample, 0);
    set_steady_gains(voice, 100, 100);
    voice.left_volume = 50;
    std::vector<float> out = mix(130);
    for (int i : {0, 64, 127})
        EXPECT_NEAR(out[2 * i], 1000.0 * (100 - 50.0 * i / 128) / 255, 0.01) << "frame " << i;
    EXPECT_NEAR(out[2 * 128], 1000.0 * 50 / 255, 0.001);
    EXPECT_NEAR(out[2 * 64 + 1], 1000.0 * 100 / 255, 0.001);  // the right side stands

    std::vector<float> steady = mix(10);
    EXPECT_EQ(voice.ramp_frames_left, 0);
    for (int i = 0; i < 10; ++i)
        EXPECT_NEAR(steady[2 * i], 1000.0 * 50 / 255, 0.001);
}

// A ramp cut by the end of a call goes on in the next call with the same steps and the frames
// it has left, as long as the targets stand.
TEST_F(Mixer, RampCutByTheBlockEndContinues) {
    auto sample = constant(1000);
    Voice& voice = start_voice(0, sample->sample, 0);
    voice.left_volume = 127;
    std::vector<float> first = mix(50);
    const float step = voice.ramp_step_left;
    EXPECT_EQ(voice.ramp_frames_left, 78);
    EXPECT_NEAR(voice.ramp_left, 127.0 * 256 * 50 / 128, 1.0);
    std::vector<float> second = mix(100);
    EXPECT_EQ(voice.ramp_step_left, 0.0f);  // ended within the second call
    EXPECT_NE(step, 0.0f);
    const double target = 1000.0 * 127 / 255;
    for (int i : {0, 27, 77})
        EXPECT_NEAR(second[2 * i], target * (50 + i) / 128, 0.02) << "frame " << 50 + i;
    EXPECT_NEAR(second[2 * 78], target, 0.001);
}

// New targets during a ramp start a new 128-frame ramp from the weight reached so far.
TEST_F(Mixer, NewTargetRestartsTheRampFromTheWeightReached) {
    auto sample = constant(1000);
    Voice& voice = start_voice(0, sample->sample, 0);
    voice.left_volume = 127;
    mix(64);  // halfway: weight 63.5 / 255
    EXPECT_NEAR(voice.ramp_left, 63.5 * 256, 1.0);
    voice.left_volume = 0;
    std::vector<float> out = mix(140);
    EXPECT_NEAR(out[0], 1000.0 * 63.5 / 255, 0.02);  // no step in volume
    EXPECT_EQ(voice.ramp_frames_left, 0);
    // The new steps come from the whole part of the weight reached (63): down by 63/255/128.
    EXPECT_NEAR(out[2 * 64], 1000.0 * (63.5 - 63.0 * 64 / 128) / 255, 0.02);
    EXPECT_EQ(out[2 * 128], 0.0f);  // the ramp ends exactly on its target
    EXPECT_EQ(voice.ramp_left, 0);
}

// Forward loop from 2 of length 128: a voice at 129.5 with step 1 mixes one frame (halfway
// from frame 129 to the guard frame, which repeats frame 2), reaches 130 and goes on at 2.5.
TEST_F(Mixer, ForwardLoopWrapsByTheLoopLength) {
    auto sample = staircase(LOOP_FORWARD);
    Voice& voice = start_voice(0, sample->sample, 129, half);
    set_steady_gains(voice, 255, 0);
    std::vector<float> out = mix(1);
    EXPECT_EQ(voice.position, 2u);
    EXPECT_EQ(voice.position_frac, half);
    EXPECT_EQ(voice.direction, 1);
    EXPECT_NEAR(out[0], (12900 + 200) / 2.0 * full, 0.01);
    out = mix(2);
    EXPECT_NEAR(out[0], 250.0, 0.01);
    EXPECT_NEAR(out[2], 350.0, 0.01);
}

// The same voice on a ping-pong loop turns at 130: 2 x 130 - 130.5 - 2^-32 = 129.5 - 2^-32,
// moving backward.
TEST_F(Mixer, PingPongLoopReflectsAtTheEnd) {
    auto sample = staircase(LOOP_PINGPONG);
    Voice& voice = start_voice(0, sample->sample, 129, half);
    set_steady_gains(voice, 255, 0);
    std::vector<float> out = mix(1);
    EXPECT_EQ(voice.position, 129u);
    EXPECT_EQ(voice.position_frac, half - 1);
    EXPECT_EQ(voice.direction, 2);
    EXPECT_NEAR(out[0], 12900.0, 0.01);  // frame 129 and its guard copy
    out = mix(2);
    EXPECT_NEAR(out[0], 12900.0, 0.01);
    EXPECT_NEAR(out[2], 12850.0, 0.01);  // 128.5 backward
    EXPECT_EQ(voice.position, 127u);
}

// Backward at the loop start the voice turns forward: from 2.25, step 1, it reaches 1.25,
// reflects to 2 x 2 - 1.25 - 2^-32 = 2.75 - 2^-32 and moves forward.
TEST_F(Mixer, PingPongLoopReflectsAtTheStart) {
    auto sample = staircase(LOOP_PINGPONG);
    Voice& voice = start_voice(0, sample->sample, 2, 0x40000000u);
    voice.direction = 2;
    set_steady_gains(voice, 255, 0);
    std::vector<float> out = mix(2);
    EXPECT_NEAR(out[0], 225.0, 0.01);
    EXPECT_NEAR(out[2], 275.0, 0.01);
    EXPECT_EQ(voice.direction, 1);
    EXPECT_EQ(voice.position, 3u);
    EXPECT_EQ(voice.position_frac, 0xC0000000u - 1);
}

// A voice exactly on its boundary has a run of 0 frames: it is wrapped, reflected or ended
// before anything is mixed.
TEST_F(Mixer, VoiceExactlyAtTheBoundaryMovesOnBeforeMixing) {
    auto forward = staircase(LOOP_FORWARD);
    Voice& wrapped = start_voice(0, forward->sample, 130);
    set_steady_gains(wrapped, 255, 0);
    std::vector<float> out = mix(1);
    EXPECT_NEAR(out[0], 200.0, 0.01);  // mixed from frame 2
    EXPECT_EQ(wrapped.position, 3u);
    engine_reset();

    auto pingpong = staircase(LOOP_PINGPONG);
    Voice& reflected = start_voice(0, pingpong->sample, 130);
    set_steady_gains(reflected, 255, 0);
    out = mix(1);
    EXPECT_NEAR(out[0], 12900.0, 0.01);  // just below 130, backward
    EXPECT_EQ(reflected.direction, 2);
    EXPECT_EQ(reflected.position, 128u);
    engine_reset();

    auto plain = staircase(LOOP_NONE);
    Voice& ended = start_voice(0, plain->sample, 130);
    set_steady_gains(ended, 255, 0);
    out = mix(4);
    EXPECT_EQ(ended.sample, nullptr);
    EXPECT_EQ(out[0], 0.0f);
}

// A sample without a loop ends inside the run: the rest of the run gets nothing from it, the
// voice is free and its position is 0.
TEST_F(Mixer, SampleWithoutLoopEndsInsideTheRun) {
    auto sample = staircase(LOOP_NONE);
    Voice& voice = start_voice(0, sample->sample, 127);
    set_steady_gains(voice, 255, 255);
    std::vector<float> out = mix(6);
    EXPECT_NEAR(out[0], 12700.0, 0.01);
    EXPECT_NEAR(out[2], 12800.0, 0.01);
    EXPECT_NEAR(out[4], 12900.0, 0.01);
    for (int i = 3; i < 6; ++i)
        EXPECT_EQ(out[2 * i], 0.0f) << "frame " << i;
    EXPECT_EQ(voice.sample, nullptr);
    EXPECT_EQ(voice.position, 0u);
    EXPECT_EQ(voice.position_frac, 0u);
}

// The all-zero shared sample (no data, length 0) ends a voice at once without reading data.
TEST_F(Mixer, VoiceOnAnEmptySampleEndsAtOnce) {
    XmSample nothing{};
    Voice& voice = start_voice(0, nothing, 0);
    set_steady_gains(voice, 255, 255);
    std::vector<float> out = mix(8);
    EXPECT_EQ(voice.sample, nullptr);
    EXPECT_EQ(out[0], 0.0f);
}

// Interpolation between frames: at a fraction of one quarter, a quarter of the way.
TEST_F(Mixer, InterpolatesLinearlyBetweenFrames) {
    auto sample = staircase(LOOP_FORWARD);
    Voice& voice = start_voice(0, sample->sample, 10, 0x40000000u);
    voice.step = 0;
    voice.step_frac = half;  // half a frame per output frame
    set_steady_gains(voice, 255, 255);
    std::vector<float> out = mix(3);
    EXPECT_NEAR(out[0], 1025.0, 0.01);
    EXPECT_NEAR(out[2], 1075.0, 0.01);
    EXPECT_NEAR(out[4], 1125.0, 0.01);
    EXPECT_NEAR(out[5], 1125.0, 0.01);
}

// The first value of each pair is the left channel; voices add up, they are never cleared,
// and only voices 0..63 are mixed.
TEST_F(Mixer, LeftComesFirstAndVoicesAdd) {
    auto sample = constant(1000);
    set_steady_gains(start_voice(0, sample->sample, 0), 255, 0);
    set_steady_gains(start_voice(63, sample->sample, 0), 0, 255);
    set_steady_gains(start_voice(64, sample->sample, 0), 255, 255);  // never mixed
    std::vector<float> out(4, 1.0f);
    mix_voices(out.data(), 2);
    EXPECT_NEAR(out[0], 1001.0, 0.01);
    EXPECT_NEAR(out[1], 1001.0, 0.01);

    module.samples_per_tick = 884;
    module.tick_routine = [](XmModule*) {};
    voices[63].sample = nullptr;
    fill_block();
    EXPECT_EQ(wave_buffer[0], 1000);
    EXPECT_EQ(wave_buffer[1], 0);
}

// Every run length, both directions, steady gains and ramps, onto output that already holds
// other voices: each frame must come out bit for bit as the mixing rules give it one frame at
// a time, whatever number of frames the mixer handles per pass.
TEST_F(Mixer, FramesEqualTheRulesAppliedOneAtATime) {
    std::vector<int16_t> frames(96);
    uint32_t seed = 12345;
    for (int16_t& frame : frames) {
        seed = seed * 1664525u + 1013904223u;
        frame = int16_t(seed >> 16);
    }
    auto sample = make_sample(frames, LOOP_FORWARD, 0, 96);
    for (bool ramped : {false, true}) {
        for (int32_t direction : {1, 2}) {
            for (int32_t count = 1; count <= 13; ++count) {
                SCOPED_TRACE(::testing::Message() << "ramped " << ramped << " direction "
                                                  << direction << " frames " << count);
                Voice& voice = start_voice(0, sample->sample, 40, 0x9E3779B9u);
                voice.step = 1;
                voice.step_frac = 0x6A09E667u;  // 1.41 frames per output frame
                voice.direction = direction;
                set_steady_gains(voice, 97, 31);
                if (ramped) voice.left_volume = 120;  // a new target: a ramp from 97 to 120

                std::vector<float> expected(size_t(count) * 2);
                for (size_t i = 0; i < expected.size(); ++i)
                    expected[i] = float(i) * 0.37f - 2.0f;  // earlier voices' sums
                std::vector<float> out = expected;

                uint64_t position = (uint64_t(voice.position) << 32) | voice.position_frac;
                const uint64_t step = (uint64_t(voice.step) << 32) | voice.step_frac;
                float left = float(voice.ramp_left) * (1.0f / 256.0f) * (1.0f / 255.0f);
                float right = float(voice.ramp_right) * (1.0f / 256.0f) * (1.0f / 255.0f);
                const float left_step = ramped ? float(120 - 97) * 0.003921569f * 0.0078125f : 0;
                for (int32_t i = 0; i < count; ++i) {
                    const int16_t* at = sample->sample.data + (position >> 32);
                    const float w = float(uint32_t(position) >> 1) / 2147483648.0f;
                    const double s = double(at[0]) + double(w) * double(at[1] - at[0]);
                    expected[2 * size_t(i)] = float(double(expected[2 * size_t(i)]) + s * left);
                    expected[2 * size_t(i) + 1] =
                        float(double(expected[2 * size_t(i) + 1]) + s * right);
                    left += left_step;
                    position = direction == 1 ? position + step : position - step;
                }
                mix_voices(out.data(), count);
                for (size_t i = 0; i < out.size(); ++i)
                    ASSERT_EQ(out[i], expected[i]) << "value " << i;
                EXPECT_EQ(voice.position, uint32_t(position >> 32));
                EXPECT_EQ(voice.position_frac, uint32_t(position));
            }
        }
    }
}

// Mixing zero frames, or into nothing, does nothing.
TEST_F(Mixer, EmptyRunsDoNothing) {
    auto sample = constant(1000);
    Voice& voice = start_voice(0, sample->sample, 3);
    set_steady_gains(voice, 255, 255);
    float untouched[2] = {5.0f, 6.0f};
    mix_voices(untouched, 0);
    mix_voices(untouched, -3);
    mix_voices(nullptr, 4);
    EXPECT_EQ(untouched[0], 5.0f);
    EXPECT_EQ(voice.position, 3u);
}

// PCM: nearest integer with ties to even, clamped to 16 bits.
struct Rounding {
    float value;
    int16_t pcm;
};

class PcmRounding : public ::testing::TestWithParam<Rounding> {};

// Three frames: the first two go through the two-frame pass, the last alone.
TEST_P(PcmRounding, RoundsTiesToEvenAndClamps) {
    const float v = GetParam().value;
    const float source[6] = {v, 1.0f, 2.0f, v, v, -3.0f};
    int16_t pcm[6] = {};
    mix_to_pcm16(pcm, source, 3);
    EXPECT_EQ(pcm[0], GetParam().pcm);
    EXPECT_EQ(pcm[3], GetParam().pcm);
    EXPECT_EQ(pcm[4], GetParam().pcm);
    EXPECT_EQ(pcm[1], 1);
    EXPECT_EQ(pcm[5], -3);
}

INSTANTIATE_TEST_SUITE_P(Values, PcmRounding,
                         ::testing::Values(Rounding{40000.0f, 32767}, Rounding{-40000.0f, -32768},
                                           Rounding{2.5f, 2}, Rounding{3.5f, 4},
                                           Rounding{-2.5f, -2}, Rounding{-3.5f, -4},
                                           Rounding{0.49f, 0}, Rounding{32767.4f, 32767},
                                           Rounding{32767.5f, 32767}, Rounding{-32768.5f, -32768},
                                           Rounding{-32767.6f, -32768}, Rounding{0.0f, 0},
                                           Rounding{std::nanf(""), 0}));

TEST(Pcm, NothingForEmptyCountsOrMissingBuffers) {
    const float source[2] = {100.0f, 200.0f};
    int16_t pcm[2] = {7, 7};
    mix_to_pcm16(pcm, source, 0);
    mix_to_pcm16(pcm, nullptr, 1);
    mix_to_pcm16(nullptr, source, 1);
    EXPECT_EQ(pcm[0], 7);
    mix_to_pcm16(pcm, source, 1);
    EXPECT_EQ(pcm[0], 100);
    EXPECT_EQ(pcm[1], 200);
}

// Voice fields the engine never produces still keep every read inside the sample's storage
// (the address sanitizer checks): positions past either end, a loop reaching past the end of
// its sample, huge steps, and a backward voice whose count rounded in 1/2^24-frame units
// would take it below frame 0 of a loop that starts there.
struct HostileVoice {
    const char* what;
    uint8_t loop_type;
    uint32_t loop_start, loop_length;
    uint32_t position, fraction;
    uint32_t step, step_frac;
    int32_t direction;
};

class HostileVoices : public Mixer, public ::testing::WithParamInterface<HostileVoice> {};

TEST_P(HostileVoices, ReadOnlyInsideTheSample) {
    const HostileVoice& h = GetParam();
    std::vector<int16_t> frames(130);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = int16_t(i * 100);
    auto sample = make_sample(frames, h.loop_type, h.loop_start, h.loop_length);
    sample->sample.loop_start = h.loop_start;  // unnormalised, as given
    sample->sample.loop_length = h.loop_length;
    Voice& voice = start_voice(0, sample->sample, h.position, h.fraction);
    voice.step = h.step;
    voice.step_frac = h.step_frac;
    voice.direction = h.direction;
    voice.left_volume = voice.right_volume = 100;
    for (int call = 0; call < 50 && voice.sample; ++call) {
        mix(884);
        if (voice.sample) {
            EXPECT_LE(voice.position, 130u) << h.what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HostileVoices,
    ::testing::Values(
        HostileVoice{"forward past the loop end", LOOP_FORWARD, 2, 128, 1000, 0, 1, 0, 1},
        HostileVoice{"far past the end", LOOP_FORWARD, 2, 128, 0xFFFFFFFF, 0, 1, 0, 1},
        HostileVoice{"ping-pong far past", LOOP_PINGPONG, 2, 128, 0xFFFFFF00, 5, 1, 0, 1},
        HostileVoice{"backward below the start", LOOP_PINGPONG, 20, 100, 3, 0, 1, 0, 2},
        HostileVoice{"backward past the end", LOOP_PINGPONG, 0, 130, 5000, 0, 1, 0, 2},
        HostileVoice{"backward on a forward loop", LOOP_FORWARD, 0, 130, 60, 0, 1, 0, 2},
        HostileVoice{"backward without a loop", LOOP_NONE, 0, 130, 60, 7, 1, 0, 0},
        HostileVoice{"loop past the sample", LOOP_FORWARD, 2, 1000, 100, 0, 3, 0, 1},
        HostileVoice{"ping-pong past the sample", LOOP_PINGPONG, 100, 1000, 100, 0, 3, 0, 1},
        HostileVoice{"loop starting past the sample", LOOP_PINGPONG, 500, 10, 0, 0, 1, 0, 1},
        HostileVoice{"huge step", LOOP_PINGPONG, 0, 130, 0, 0, 300, 12345, 1},
        HostileVoice{"huge step forward loop", LOOP_FORWARD, 0, 130, 0, 0, 0xFFFFFFFF, 0, 1},
        HostileVoice{"tiny step at the end", LOOP_PINGPONG, 0, 130, 129, 0xFFFFFFF0, 0, 1, 1},
        HostileVoice{"zero step", LOOP_PINGPONG, 0, 130, 129, 0, 0, 0, 1},
        // Backward in steps of 0.1896 frames from one unit short of 100 steps: rounded in
        // 1/2^24 units the count is 101, and the last of them would read frame -1.
        HostileVoice{"backward rounded count", LOOP_PINGPONG, 0, 130, 18, 0xF6B646A3, 0, 814485521,
                     2}));

// A backward ping-pong voice that lands exactly on a loop start at frame 0 turns forward at 0.
TEST_F(Mixer, ReflectionOnALoopStartAtZeroStaysAtZero) {
    auto sample = staircase(LOOP_PINGPONG);
    sample->sample.loop_start = 0;
    sample->sample.loop_length = 130;
    Voice& voice = start_voice(0, sample->sample, 3);
    voice.direction = 2;
    set_steady_gains(voice, 255, 0);
    std::vector<float> out = mix(4);
    EXPECT_NEAR(out[0], 300.0, 0.01);
    EXPECT_NEAR(out[4], 100.0, 0.01);
    EXPECT_NEAR(out[6], 0.0, 0.01);  // reflected at 0, held there
    EXPECT_EQ(voice.direction, 1);
    EXPECT_EQ(voice.position, 1u);
    EXPECT_EQ(voice.position_frac, 0u);
}
