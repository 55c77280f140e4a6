// The mixer on voices and ticks set up by hand. Every frame is checked bit for bit against the
// mixing rules applied one output frame at a time (by_the_rules below): linear interpolation,
// gains g / 255, 128-frame ramps whose weight is stored to 1/(255 x 256) at each segment end,
// forward loops wrapping by their length, ping-pong loops reflecting at 2 x boundary - position
// - 2^-32, and samples without a loop ending. A few values worked by hand anchor those rules.
#include "player/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "player/engine.h"
#include "player/output.h"
#include "player/ring.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // designated fields only

namespace {

constexpr uint32_t half = 0x80000000u;  // one half in 1/2^32 frame

// Frames i x 100 - 6000 for i = 0..129 in storage of exactly length + 8 frames (so the address
// sanitizer sees any read outside it), the guard frame written as the loader writes it.
struct Staircase {
    std::vector<int16_t> storage = std::vector<int16_t>(138);
    XmSample sample{};
    Staircase(uint8_t type, uint32_t start = 2, uint32_t length = 128) {
        for (int i = 0; i < 130; ++i)
            storage[size_t(i)] = int16_t(i * 100 - 6000);
        const bool loops = type != LOOP_NONE;
        sample.data = storage.data();
        sample.length = 130;
        sample.loop_type = type;
        sample.loop_start = loops ? start : 0;
        sample.loop_length = loops ? length : 130;
        if (loops && start + length <= 130)
            storage[start + length] = storage[type == LOOP_FORWARD ? start : start + length - 1];
    }
};

struct VoiceSetup {
    uint8_t loop_type;
    uint32_t position, fraction, step, step_frac;
    int32_t direction, left, right;  // gains the weights already stand at
    int32_t new_left;                // -1, or a new left target: a ramp
    int32_t frames = 0, split = 0;   // mixed in two calls: split frames, then the rest
    uint32_t loop_start = 2, loop_length = 128;
    int32_t new_right = -1;  // -1, or a new right target: a ramp
};

Voice& start_voice(Voice& voice, XmSample& sample, const VoiceSetup& s) {
    voice = Voice{.sample = &sample,
                  .left_volume = s.new_left >= 0 ? s.new_left : s.left,
                  .right_volume = s.new_right >= 0 ? s.new_right : s.right,
                  .position = s.position,
                  .position_frac = s.fraction,
                  .step_frac = s.step_frac,
                  .step = s.step,
                  .direction = s.direction,
                  .ramp_last_left = s.left,
                  .ramp_last_right = s.right,
                  .ramp_left = s.left * 256,
                  .ramp_right = s.right * 256};
    return voice;
}

// The rules, frame by frame, for a voice as start_voice sets it up; returns the output and
// leaves the end state in `voice`.
std::vector<float> by_the_rules(Voice& voice, const XmSample& sample, const VoiceSetup& s,
                                std::vector<float> out) {
    const int64_t start = int64_t(sample.loop_start) << 32;
    const int64_t step = int64_t(s.step) << 32 | s.step_frac;
    const int64_t end = int64_t(sample.loop_start + sample.loop_length) << 32;
    int64_t pos = (int64_t(s.position) << 32) | s.fraction;  // may step below 0
    auto weight = [](int32_t ramp) { return float(ramp) * (1.0f / 256) * 0.003921569f; };
    float left = weight(s.left * 256);
    float right = weight(s.right * 256);
    const int32_t left_target = voice.left_volume;
    const int32_t right_target = voice.right_volume;
    const float left_step = float(left_target - s.left) * 0.003921569f * 0.0078125f;
    const float right_step = float(right_target - s.right) * 0.003921569f * 0.0078125f;
    int ramp_frames = left_target != s.left || right_target != s.right ? 128 : 0;
    auto stored = [&](float reached) { return weight(int32_t(std::lrint(reached * 255.0 * 256))); };
    auto segment_end = [&] {  // the weights reached are stored as integers
        if (ramp_frames == 0) return;
        left = stored(left);
        right = stored(right);
    };
    for (int i = 0;; ++i) {  // the position is settled inside the loop after the last frame too
        if (i == s.split) segment_end();
        for (;;) {
            const bool forward = voice.direction == 1;
            if (forward && pos >= end && sample.loop_type == LOOP_NONE) {
                voice.sample = nullptr;
                voice.position = 0;
                voice.position_frac = 0;
                return out;
            }
            if (forward ? pos < end : pos > start) break;
            segment_end();
            if (sample.loop_type == LOOP_FORWARD) pos -= end - start;
            if (sample.loop_type == LOOP_PINGPONG) {
                pos = 2 * (forward ? end : start) - pos - 1;
                voice.direction = forward ? 2 : 1;
            }
        }
        if (i == s.frames) break;
        const int16_t* at = sample.data + (pos >> 32);
        const float w = float(uint32_t(pos) >> 1) / 2147483648.0f;
        const double value = double(at[0]) + double(w) * double(at[1] - at[0]);
        float* pair = &out[2 * size_t(i)];
        pair[0] = float(double(pair[0]) + value * left);
        pair[1] = float(double(pair[1]) + value * right);
        if (ramp_frames > 0) {
            --ramp_frames;
            left = ramp_frames == 0 ? weight(left_target * 256) : left + left_step;
            right = ramp_frames == 0 ? weight(right_target * 256) : right + right_step;
        }
        pos = voice.direction == 1 ? pos + step : pos - step;
    }
    voice.position = uint32_t(pos >> 32);
    voice.position_frac = uint32_t(pos);
    return out;
}

class Mixer : public ::testing::Test {
protected:
    void SetUp() override {
        engine_reset();
        ring_set_rate(44100);
        ring_allocate();
        write_block = 0;
        current_module = &module;
    }
    void TearDown() override { player_stop(&module); }
    XmModule module{};
};

// Every setup onto output that already holds earlier voices' sums, in two calls: frames, end
// position and direction must be those of the rules. The 1.41-frame step from 40.62 runs every
// count from 1 to 13 through the four-frame pass and the tail.
TEST_F(Mixer, FramesEqualTheRulesAppliedOneAtATime) {
    std::vector<VoiceSetup> setups = {
        {LOOP_FORWARD, 129, half, 1, 0, 1, 255, 0, -1, 6, 6},  // wraps at 130 to 2.5
        {LOOP_PINGPONG, 2, ~0u, 3, 0, 2, 255, 0, -1, 9, 1},    // steps below 0, turns at 2
        {LOOP_FORWARD, 130, 0, 1, 0, 1, 255, 9, -1, 3, 3},     // at the boundary
        {LOOP_NONE, 130, 0, 1, 0, 1, 255, 9, -1, 3, 3},
        {LOOP_NONE, 127, 0, 1, 0, 1, 255, 255, -1, 6, 2},                // ends after 3 frames
        {LOOP_FORWARD, 10, half / 2, 0, half, 1, 255, 255, -1, 13, 13},  // half-frame steps
        {LOOP_PINGPONG, 0, 0, 1, half, 1, 70, 30, -1, 300, 150},         // many turns
        {LOOP_PINGPONG, 5, half, 1, half, 1, 0, 0, -1, 300, 150},        // silent, moves on
        {LOOP_FORWARD, 5, half, 1, half, 1, 1, 0, -1, 20, 10},           // the least gains
        {LOOP_FORWARD, 5, half, 1, half, 1, 0, 1, -1, 20, 10},
        {LOOP_FORWARD, 0, 0, 1, half, 1, 0, 0, 127, 200, 50},   // note start ramps in, wraps
        {LOOP_FORWARD, 20, 0, 1, 0, 1, 100, 100, 50, 200, 64},  // ramps down, cut by the call
        {LOOP_PINGPONG, 120, 0, 2, 0, 1, 64, 12, 0, 150, 7},    // ramps out across a turn
        {LOOP_NONE, 100, 0, 1, 0, 1, 33, 0, 120, 60, 60},       // ramp cut by the end
        {LOOP_FORWARD, 2, 0, 0, half, 1, 0, 0, 255, 130, 127},  // the call leaves its last frame
        // A loop 10..13 shorter than the 5-frame step: each turn at one end passes the other.
        {LOOP_PINGPONG, 12, 0, 5, 0, 1, 200, 60, -1, 40, 17, 10, 3},
        {LOOP_PINGPONG, 12, 0, 7, 0, 1, 200, 60, -1, 40, 17, 10, 3},  // 19: two lengths past 13
        // 8363 Hz backward from one 1/2^32 short of 100 steps above a loop start at 0: a count
        // rounded in 1/2^24-frame units (101) would read frame -1.
        {LOOP_PINGPONG, 18, 0xF6B646A3, 0, 814485521, 2, 100, 100, -1, 300, 150, 0, 130},
        // 4 steps and 1/2^32 before the end of the loop 2..130: counted in 1/2^24-frame units,
        // the voice stops a hair short of the end and goes back one loop length, 128 frames, so
        // its fifth frame reads 2 - 2^-32 where the rules read 130 - 2^-32 (both frame 2).
        {LOOP_FORWARD, 125, ~0u, 1, 0, 1, 255, 255, -1, 10, 3},
    };
    for (int32_t count = 1; count <= 13; ++count)
        for (int32_t direction : {1, 2})
            for (int32_t new_gain : {-1, 120})
                setups.push_back({LOOP_FORWARD, 40, 0x9E3779B9u, 1, 0x6A09E667u, direction, 97, 31,
                                  new_gain, count, count, 2, 128, new_gain});
    for (const VoiceSetup& s : setups) {
        SCOPED_TRACE(::testing::Message() << "setup " << &s - setups.data());
        Staircase stairs(s.loop_type, s.loop_start, s.loop_length);
        Voice& got = start_voice(voices[5], stairs.sample, s);
        Voice want = got;
        std::vector<float> out(2 * size_t(s.frames));
        std::iota(out.begin(), out.end(), -2.5f);  // earlier voices' sums
        const std::vector<float> expected = by_the_rules(want, stairs.sample, s, out);
        mix_voices(out.data(), s.split);
        mix_voices(out.data() + 2 * s.split, s.frames - s.split);
        ASSERT_EQ(out, expected);
        EXPECT_EQ(got.sample, want.sample);
        EXPECT_EQ(got.position, want.position);
        EXPECT_EQ(got.position_frac, want.position_frac);
        EXPECT_EQ(got.direction, want.direction);
    }
}

// Worked by hand (the rows above vouch for the rest): the halfway value from frame 129 (6900)
// to a ping-pong loop's guard frame (frame 129 again) is 6900; voices 0..63 add up, voice 64 is
// never mixed. A new target equal to the whole part of the weight reached starts
// no ramp: the weight stays as stored, the frames use the target. A call without output
// before the last changes nothing; a sample without data ends at once without reading.
TEST_F(Mixer, ValuesWorkedByHand) {
    Staircase forward(LOOP_FORWARD);
    Staircase pingpong(LOOP_PINGPONG);
    XmSample nothing{};
    const VoiceSetup from_frame_0{0, 0, 0, 1, 0, 1, 255, 255, -1};
    start_voice(voices[63], pingpong.sample, {0, 129, half, 1, 0, 1, 255, 255, -1});
    start_voice(voices[64], forward.sample, from_frame_0);
    Voice& ramp = start_voice(voices[1], forward.sample, {0, 2, 0, 1, 0, 1, 0, 0, 75});
    ramp.ramp_left = 75 * 256 + 33;
    ramp.ramp_last_left = 50;
    start_voice(voices[2], nothing, from_frame_0);
    float out[4] = {};
    mix_voices(nullptr, 4);
    mix_voices(out, 1);
    // Voice 1 adds frame 2 (-5800) x 75 / 255 = -1705.9 to the left: 5194.1.
    EXPECT_EQ(voices[64].position, 0u);
    EXPECT_EQ(int64_t(out[0]), 6900 - 1706);
    EXPECT_EQ(ramp.ramp_frames_left, 0);
    EXPECT_EQ(ramp.ramp_left, 75 * 256 + 33);
    EXPECT_EQ(voices[2].sample, nullptr);
}

// 125 BPM at 44100 Hz: 882 frames per tick. The first block runs the tick at frame 0, mixes 882
// frames (19 ms), runs the next tick and mixes 2 more (0 ms), leaving 880; the tick routine's
// gain takes effect at its frame. The song time adds trunc(run x 1000 / 44100) per run with
// 1/44100 a float a little below its value (882 frames: 19).
TEST_F(Mixer, TicksLandOnTheirFramesAndTheSongTimeAddsTruncatedRuns) {
    Staircase stairs(LOOP_FORWARD);
    start_voice(voices[0], stairs.sample, {0, 0, 0, 0, 0, 1, 255, 0, -1});
    static int ticks;
    ticks = 0;
    module.row = 300;
    module.tick_routine = [](XmModule* m) {
        const int gain = ++ticks == 1 ? 255 : 0;
        voices[0].left_volume = gain;
        voices[0].ramp_last_left = gain;
        voices[0].ramp_left = gain * 256;
        m->samples_per_tick = 882;
    };
    fill_block();
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(module.tick_samples_left, 880);
    EXPECT_EQ(write_block, 1);
    EXPECT_EQ(wave_buffer[2 * 881], -6000);
    EXPECT_EQ(wave_buffer[2 * 882], 0);
    EXPECT_EQ(block_table[0].time_ms.load(), 19u);
    EXPECT_EQ(block_table[0].row.load(), 300 - 256);
    // The next block ends the tick (880 frames, 19 ms); ticks of no frames last one (0 ms).
    module.tick_routine = [](XmModule* m) { m->samples_per_tick = 0; };
    fill_block();
    EXPECT_EQ(module.song_time_ms, 19u + 19u);
    EXPECT_EQ(module.tick_samples_left, 0);
}

// PCM: nearest integer with ties to even, clamped to 16 bits, not-a-number silent. Each value
// goes through every lane of the eight-value pass (values 0-7 of 5 frames) and through the
// one-value tail (values 8, 9), the other values being 1.
TEST(Pcm, RoundsTiesToEvenAndClampsInEveryLane) {
    const float values[][2] = {
        {2.5f, 2},           {3.5f, 4},          {-2.5f, -2},       {-3.5f, -4},
        {0.49f, 0},          {32767.5f, 32767},  {32766.5f, 32766}, {-32768.5f, -32768},
        {-32767.5f, -32768}, {std::nanf(""), 0}, {1e30f, 32767},    {-1e30f, -32768},
    };
    for (const auto& [value, rounded] : values) {
        for (size_t at = 0; at < 10; ++at) {
            std::vector<float> source(10, 1.0f);
            std::vector<int16_t> pcm(10);
            std::vector<int16_t> expected(10, 1);
            source[at] = value;
            expected[at] = int16_t(rounded);
            mix_to_pcm16(pcm.data(), source.data(), 5);
            ASSERT_EQ(pcm, expected) << value << " at " << at;
        }
    }
    int16_t pcm[2] = {7, 7};
    mix_to_pcm16(pcm, values[0], 0);
    EXPECT_EQ(pcm[0], 7) << "no frame, yet a value was stored";
}

}  // namespace
