#include "player/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "player/channel.h"
#include "player/ring.h"

// A voice's position and step are unsigned 32.32 fixed-point numbers: whole frames in the upper
// 32 bits, the fraction in the lower. A backward voice adds the two's complement of its step,
// so one frame loop serves both directions.

namespace {

constexpr float one_over_255 = 1.0f / 255.0f;  // 0.003921569, the volume divisor
constexpr float one_over_256 = 1.0f / 256.0f;
constexpr float fraction_scale = 1.0f / 2147483648.0f;  // 2^-31, for the fraction's top 31 bits
constexpr double ramp_weight_scale = 255.0 * 256.0;     // ramp_left per unit of applied weight

using Position = uint64_t;
using Wide = __int128;  // boundary arithmetic on positions that may lie past either end

// The stretch of a sample a voice runs through, as 32.32 positions: the loop, or the whole
// sample without one. Both ends are kept within the frames the sample holds, so that a loop
// reaching past the end of its sample, or a sample without data, never leads a read outside
// the sample's storage.
struct SampleSpan {
    Position start;     // the boundary of a backward voice
    Position end;       // the boundary of a forward voice
    uint8_t loop_type;  // LOOP_FORWARD, LOOP_PINGPONG or LOOP_NONE
};

inline SampleSpan sample_span(const XmSample& sample) {
    const uint64_t frames = sample.data ? sample.length : 0;
    if (sample.loop_type == LOOP_FORWARD || sample.loop_type == LOOP_PINGPONG) {
        const uint64_t loop_end =
            std::min<uint64_t>(uint64_t(sample.loop_start) + sample.loop_length, frames);
        if (sample.loop_start < loop_end)
            return {Position(sample.loop_start) << 32, loop_end << 32, sample.loop_type};
    }
    return {0, Position(frames) << 32, LOOP_NONE};
}

// Output frames until a voice `distance` (32.32) short of its boundary reaches it: the distance
// and the step in units of 1/2^24 frame, the count rounded up. Rounded in those coarser units
// the count can exceed by one the frames that really lie before the boundary; it is then cut to
// those, so that no frame is read at or past the boundary (below frame 0 of a loop starting at
// 0, for a backward voice). A step below 1/2^24 frame never reaches a boundary in those units.
inline uint64_t frames_to_boundary(uint64_t distance, uint64_t step) {
    uint64_t count = UINT64_MAX;
    const uint64_t step24 = step >> 8;
    if (step24 != 0) count = ((distance >> 8) + step24 - 1) / step24;
    if (step != 0) count = std::min(count, distance / step + (distance % step != 0 ? 1 : 0));
    return count;
}

// The sample value at a 32.32 position: linear interpolation towards the next frame, which the
// guard frame after every loop makes valid at a loop end.
inline double interpolate(const int16_t* data, Position position) {
    const uint32_t whole = uint32_t(position >> 32);
    const float weight = float(uint32_t(position) >> 1) * fraction_scale;
    const double first = data[whole];
    const double second = data[whole + 1];
    return first + double(weight) * (second - first);
}

// Adds one weighted value to an output pair, summed in double and stored back as float.
inline void add_frame(float* pair, double value, double left, double right) {
    pair[0] = float(double(pair[0]) + value * left);
    pair[1] = float(double(pair[1]) + value * right);
}

// Four frames side by side: their interpolated values, and the left/right gains of a voice.
// The vector operations are the scalar ones element by element, so the sums are the same.
using Double4 = double __attribute__((vector_size(32)));
using Float2 = float __attribute__((vector_size(8)));
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));
using Uint4 = uint32_t __attribute__((vector_size(16)));

// A frame in the low half and the one after it in the high half, whatever the byte order (on
// a little-endian machine the compiler reads both with one load).
inline uint32_t frame_and_next(const int16_t* data, Position position) {
    const int16_t* frame = data + (position >> 32);
    return uint16_t(frame[0]) | uint32_t(uint16_t(frame[1])) << 16;
}

// The values of the four frames at position, position + delta, ... whose fractions are given.
// (Vectors of four doubles go by reference: passed by value they would depend on the vector
// unit the code is built for.)
inline void interpolate_four(const int16_t* data, Position position, uint64_t delta,
                             Uint4 fractions, Double4& values) {
    const Uint4 both = {frame_and_next(data, position), frame_and_next(data, position + delta),
                        frame_and_next(data, position + 2 * delta),
                        frame_and_next(data, position + 3 * delta)};
    const Int4 from = Int4(both << 16) >> 16;     // the frame, sign-extended
    const Int4 rise = (Int4(both) >> 16) - from;  // exact
    const Float4 weight = __builtin_convertvector(Int4(fractions >> 1), Float4) * fraction_scale;
    values = __builtin_convertvector(from, Double4) +
             __builtin_convertvector(weight, Double4) * __builtin_convertvector(rise, Double4);
}

// Adds two frames' values, weighted by the gains (left, right, left, right), to their output
// pairs.
inline void add_two_frames(float* pairs, const Double4& values, const Double4& gains) {
    Float4 out;
    std::memcpy(&out, pairs, sizeof out);
    out = __builtin_convertvector(__builtin_convertvector(out, Double4) + values * gains, Float4);
    std::memcpy(pairs, &out, sizeof out);
}

// Frames at fixed gains (ramped = false) or under a running ramp, whose applied weights move on
// by their per-frame steps after each frame. Four frames per pass, then one at a time.
template <bool ramped>
inline Position mix_frames(float* out, int32_t frames, const int16_t* data, Position position,
                           uint64_t delta, Float2& weights, Float2 steps) {
    const uint32_t fraction_step = uint32_t(delta);
    Uint4 fractions = Uint4{0, 1, 2, 3} * fraction_step + uint32_t(position);
    const Double4 fixed = {weights[0], weights[1], weights[0], weights[1]};
    int32_t i = 0;
    for (; i + 3 < frames; i += 4) {
        Double4 values;
        interpolate_four(data, position, delta, fractions, values);
        Double4 first_gains = fixed, second_gains = fixed;
        if constexpr (ramped) {
            const Float2 w1 = weights + steps, w2 = w1 + steps, w3 = w2 + steps;
            first_gains =
                __builtin_convertvector(__builtin_shufflevector(weights, w1, 0, 1, 2, 3), Double4);
            second_gains =
                __builtin_convertvector(__builtin_shufflevector(w2, w3, 0, 1, 2, 3), Double4);
            weights = w3 + steps;
        }
        add_two_frames(out + 2 * i, __builtin_shufflevector(values, values, 0, 0, 1, 1),
                       first_gains);
        add_two_frames(out + 2 * i + 4, __builtin_shufflevector(values, values, 2, 2, 3, 3),
                       second_gains);
        fractions += 4 * fraction_step;
        position += 4 * delta;
    }
    for (; i < frames; ++i) {
        add_frame(out + 2 * i, interpolate(data, position), weights[0], weights[1]);
        if constexpr (ramped) weights += steps;
        position += delta;
    }
    return position;
}

Position mix_plain(float* out, int32_t frames, const int16_t* data, Position position,
                   uint64_t delta, float left, float right) {
    Float2 weights = {left, right};
    return mix_frames<false>(out, frames, data, position, delta, weights, Float2{});
}

Position mix_ramped(float* out, int32_t frames, const int16_t* data, Position position,
                    uint64_t delta, float& left, float& right, float left_step, float right_step) {
    Float2 weights = {left, right};
    position = mix_frames<true>(out, frames, data, position, delta, weights,
                                Float2{left_step, right_step});
    left = weights[0];
    right = weights[1];
    return position;
}

// A new ramp from the weight applied so far to the voice's current targets, over ramp_length
// frames; no ramp when the weights already stand at the targets.
inline void start_ramp(Voice& voice) {
    voice.ramp_last_left = voice.left_volume;
    voice.ramp_last_right = voice.right_volume;
    const int64_t left_change = int64_t(voice.left_volume) - (uint32_t(voice.ramp_left) >> 8);
    const int64_t right_change = int64_t(voice.right_volume) - (uint32_t(voice.ramp_right) >> 8);
    voice.ramp_step_left = float(left_change) * one_over_255 * ramp_reciprocal;
    voice.ramp_step_right = float(right_change) * one_over_255 * ramp_reciprocal;
    voice.ramp_frames_left = (left_change != 0 || right_change != 0) ? ramp_length : 0;
}

// Stores the weights a ramp reached after `frames` frames; at its end the ramp lands exactly
// on its targets.
inline void advance_ramp(Voice& voice, int32_t frames, float left, float right) {
    voice.ramp_left = int32_t(std::lrint(double(left) * ramp_weight_scale));
    voice.ramp_right = int32_t(std::lrint(double(right) * ramp_weight_scale));
    voice.ramp_frames_left -= frames;  // a segment never runs past the ramp's end
    if (voice.ramp_frames_left > 0) return;
    voice.ramp_left = int32_t(uint32_t(voice.left_volume) << 8);
    voice.ramp_right = int32_t(uint32_t(voice.right_volume) << 8);
}

// A forward loop at its end goes back by whole loop lengths, at least one, until it lies below
// the end again; the fraction is kept. (A backward voice at the loop start goes forward the same
// way.) A voice that stopped a hair short of the boundary, because the count was rounded in
// 1/2^24 units, still goes back one length (the remainder keeps the sign of the distance), but
// never below frame 0.
inline Wide wrap_forward_loop(Wide position, const SampleSpan& span, bool at_end) {
    const Wide length = Wide(span.end) - Wide(span.start);
    if (at_end) {
        position = Wide(span.start) + (position - Wide(span.end)) % length;
    } else {
        position = Wide(span.end) - (Wide(span.start) - position) % length;
    }
    return std::max<Wide>(position, 0);
}

// A ping-pong loop reflects the position at the boundary reached, 2 x boundary - position -
// 2^-32, and turns the voice; a position reflected beyond the other end is reflected there
// again, until it lies inside. Reflections repeat with a period of two loop lengths, which is
// taken off first so that any position settles in at most two reflections. A reflection of a
// voice standing exactly on a loop start at frame 0 is held at frame 0.
inline Wide reflect_pingpong_loop(Wide position, const SampleSpan& span, bool at_end,
                                  int32_t& direction) {
    const Wide start = Wide(span.start), end = Wide(span.end);
    const Wide period = 2 * (end - start);
    if (at_end) {
        const Wide past = (position - end) % period;
        position = end - 1 - past;
        direction = 2;
        if (position < start) {
            position = 2 * start - position - 1;
            direction = 1;
        }
    } else {
        // How far below the start, taken within one period (0 or less when short of it).
        const Wide before = (start - position - 1) % period + 1;
        position = start + before - 1;
        direction = 1;
        if (position >= end) {
            position = 2 * end - position - 1;
            direction = 2;
        }
    }
    return std::max<Wide>(position, 0);
}

// Mixes one voice into `frames` output pairs, segment by segment: each segment ends at the
// loop or sample boundary, at the end of the running ramp, or at the end of the call.
void mix_voice(Voice& voice, float* out, int32_t frames) {
    const XmSample& sample = *voice.sample;
    const SampleSpan span = sample_span(sample);
    const uint64_t step = (uint64_t(voice.step) << 32) | voice.step_frac;
    Position position = (Position(voice.position) << 32) | voice.position_frac;
    int32_t remaining = frames;
    while (remaining > 0) {
        const Position segment_start = position;
        // The boundary ahead. A voice standing past it (which the engine never produces)
        // counts as having just reached it, so it is wrapped, reflected or ended at once.
        const bool forward = voice.direction == 1;
        const bool toward_end = forward || position > span.end;
        int32_t run = remaining;
        bool reaches_boundary = false;
        if (toward_end ? position > span.end : position < span.start) {
            run = 0;
            reaches_boundary = true;
        } else {
            const uint64_t distance = toward_end ? span.end - position : position - span.start;
            const uint64_t count = frames_to_boundary(distance, step);
            if (count <= uint64_t(run)) {
                run = int32_t(count);
                reaches_boundary = true;
            }
        }

        // The ramp goes on while the targets stand; new targets start a new one.
        if (!(voice.ramp_frames_left > 0 && voice.left_volume == voice.ramp_last_left &&
              voice.right_volume == voice.ramp_last_right))
            start_ramp(voice);
        const bool ramping = voice.ramp_frames_left > 0;
        const bool ramp_ends_first = ramping && voice.ramp_frames_left < run;
        if (ramp_ends_first) run = voice.ramp_frames_left;

        const uint64_t delta = forward ? step : 0 - step;
        if (ramping) {
            float left = float(voice.ramp_left) * one_over_256 * one_over_255;
            float right = float(voice.ramp_right) * one_over_256 * one_over_255;
            position = mix_ramped(out, run, sample.data, position, delta, left, right,
                                  voice.ramp_step_left, voice.ramp_step_right);
            advance_ramp(voice, run, left, right);
        } else if (voice.left_volume == 0 && voice.right_volume == 0) {
            position += delta * uint64_t(run);  // adds only zeros: just move on
        } else {
            position = mix_plain(out, run, sample.data, position, delta,
                                 float(voice.left_volume) * one_over_255,
                                 float(voice.right_volume) * one_over_255);
        }
        out += 2 * run;
        remaining -= run;
        if (ramp_ends_first) continue;  // the boundary still lies ahead
        if (!reaches_boundary) break;

        // The position reached, exactly: a backward voice's last step may take it below frame
        // 0, where the unsigned position would have wrapped round to the far end.
        const Wide reached =
            forward ? Wide(position) : Wide(segment_start) - Wide(step) * Wide(run);
        if (span.loop_type == LOOP_FORWARD) {
            position = Position(wrap_forward_loop(reached, span, toward_end));
        } else if (span.loop_type == LOOP_PINGPONG) {
            position = Position(reflect_pingpong_loop(reached, span, toward_end, voice.direction));
        } else {
            voice.sample = nullptr;  // the end of a sample without a loop frees the voice
            position = 0;
            break;
        }
    }
    voice.position = uint32_t(position >> 32);
    voice.position_frac = uint32_t(position);
}

}  // namespace

void mix_voices(float* destination, int32_t frames) {
    if (frames < 1 || !destination) return;
    for (int i = 0; i < mixed_voice_count; ++i) {
        Voice& voice = voices[i];
        if (voice.sample) mix_voice(voice, destination, frames);
    }
}

// Rounding to the nearest integer, ties to even: the processor's conversion in its default
// rounding mode, or, one value at a time, adding and taking away 1.5 x 2^23, which leaves a
// float of magnitude below 2^22 rounded so. A value that is not a number, which no finite mix
// produces, becomes silence.
void mix_to_pcm16(int16_t* destination, const float* source, int32_t frames) {
    const int32_t values = 2 * frames;
    int32_t i = 0;
#if defined(__SSE2__)
    // Four frames per pass: clamped in float, converted in the default rounding mode (to
    // nearest, ties to even) and packed to 16 bits.
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    for (; i + 7 < values; i += 8) {
        __m128 first = _mm_loadu_ps(source + i), second = _mm_loadu_ps(source + i + 4);
        first = _mm_and_ps(first, _mm_cmpeq_ps(first, first));  // not a number: 0
        second = _mm_and_ps(second, _mm_cmpeq_ps(second, second));
        first = _mm_min_ps(_mm_max_ps(first, low), high);
        second = _mm_min_ps(_mm_max_ps(second, low), high);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(first), _mm_cvtps_epi32(second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
    }
#endif
    constexpr float rounding_shift = 12582912.0f;  // 1.5 x 2^23
    for (; i < values; ++i) {
        float value = source[i];
        if (value != value) value = 0.0f;
        value = std::min(std::max(value, -32768.0f), 32767.0f);
        destination[i] = int16_t((value + rounding_shift) - rounding_shift);
    }
}

// Mixes up to the next tick or the end of the block, runs the tick, and goes on, so that every
// tick lands on its exact frame. The song time grows by each run's truncated milliseconds; the
// block's fill count rises once its PCM is in the ring.
void fill_block() {
    XmModule* module = current_module;
    const int32_t base = write_block * block_frames;
    float* block = mix_buffer + 2 * static_cast<size_t>(base);
    std::fill(block, block + 2 * static_cast<size_t>(block_frames), 0.0f);

    int32_t done = 0;
    int32_t left = std::max(module->tick_samples_left, 0);
    while (done < block_frames) {
        if (left == 0) {
            if (module->tick_routine) module->tick_routine(module);
            left = frames_of_tick(module);  // read after the tick: a new tempo applies at once
        }
        const int32_t run = std::min(left, block_frames - done);
        mix_voices(block + 2 * done, run);
        done += run;
        left -= run;
        module->song_time_ms += uint32_t(double(run) * double(inverse_rate) * 1000.0);
    }
    if (block_table) {
        block_table[write_block].row.store(uint8_t(module->row));
        block_table[write_block].time_ms.store(module->song_time_ms);
    }
    module->tick_samples_left = left;
    mix_to_pcm16(wave_buffer + 2 * static_cast<size_t>(base), block, block_frames);
    if (block_table) block_table[write_block].fills.fetch_add(1, std::memory_order_release);
    write_block = write_block + 1 >= block_count ? 0 : write_block + 1;
}
