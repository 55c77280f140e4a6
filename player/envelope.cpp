// The volume and panning envelopes of an instrument, run per channel one step per song tick:
// straight segments between points in 16.16 fixed point, a sustain point that holds while the
// key is down, a loop from the loop end back to the loop start, and a stop at the last point.
//
// Envelopes a well-formed file cannot hold are absorbed: at most 12 points are read, values
// above 64 count as 64 (so 65536 x y stays small and the value stays in its range), a loop
// whose start or end lies beyond the points is off, and the value never leaves 0..64 on the
// way. A point is reached only on the tick equal to its x, as the format's rule has it: after
// two points sharing an x the envelope holds the first one's value.
#include <algorithm>
#include <cstdint>

#include "player/effects.h"

namespace {

constexpr uint32_t envelope_points_read = 12;
constexpr int32_t highest_value = 64;
constexpr int32_t highest_acc = highest_value << 16;

uint32_t point_count(const EnvelopeShape& shape) {
    return std::min<uint32_t>(shape.point_count, envelope_points_read);
}

int32_t point_x(const EnvelopeShape& shape, uint32_t i) {
    return shape.points[i].x;
}

int32_t point_y(const EnvelopeShape& shape, uint32_t i) {
    return std::min<int32_t>(shape.points[i].y, highest_value);
}

// 16.16 change per tick from point i to point i + 1; 0 for two points on the same tick.
int32_t segment_step(const EnvelopeShape& shape, uint32_t i) {
    const int32_t ticks = point_x(shape, i + 1) - point_x(shape, i);
    if (ticks == 0) return 0;
    return (65536 * point_y(shape, i + 1) - 65536 * point_y(shape, i)) / ticks;
}

int32_t limit_acc(int64_t acc) {
    return int32_t(std::clamp<int64_t>(acc, 0, highest_acc));
}

bool loop_on(const EnvelopeShape& shape, uint32_t count) {
    return (shape.type & ENVELOPE_LOOP) && shape.loop_start < count && shape.loop_end < count;
}

}  // namespace

EnvelopeShape volume_envelope(const XmInstrument& instrument) {
    return {instrument.volume_envelope,      instrument.volume_point_count,
            instrument.volume_sustain_point, instrument.volume_loop_start,
            instrument.volume_loop_end,      instrument.volume_type};
}

EnvelopeShape panning_envelope(const XmInstrument& instrument) {
    return {instrument.panning_envelope,      instrument.panning_point_count,
            instrument.panning_sustain_point, instrument.panning_loop_start,
            instrument.panning_loop_end,      instrument.panning_type};
}

EnvelopeCursor volume_cursor(ChannelState& channel) {
    return {channel.volume_env_tick,  channel.volume_env_point, channel.volume_env_acc,
            channel.volume_env_value, channel.volume_env_step,  channel.volume_env_done};
}

EnvelopeCursor panning_cursor(ChannelState& channel) {
    return {channel.panning_env_tick,  channel.panning_env_point, channel.panning_env_acc,
            channel.panning_env_value, channel.panning_env_step,  channel.panning_env_done};
}

// One envelope tick. Between points the value moves by the segment's step. On reaching a point
// the loop is taken first (so a loop end on the last point loops for ever), then the last
// point ends the envelope, a sustain point holds it while the key is down, and any other point
// begins the segment to the next one. The tick does not advance while the envelope stands.
void envelope_step(ChannelState* channel, const EnvelopeShape& shape, EnvelopeCursor cursor,
                   uint8_t update_bit) {
    const uint32_t count = point_count(shape);
    uint32_t i = cursor.point;
    if (i < count) {
        if (cursor.tick != uint32_t(point_x(shape, i))) {
            cursor.acc = limit_acc(int64_t(cursor.acc) + cursor.step);
        } else {
            if (loop_on(shape, count) && i == shape.loop_end) {
                i = shape.loop_start;
                cursor.point = i;
                cursor.tick = uint32_t(point_x(shape, i));
            }
            if (i == count - 1) {
                cursor.value = point_y(shape, i);
                cursor.done = 1;
                channel->update_flags |= update_bit;
                return;
            }
            if ((shape.type & ENVELOPE_SUSTAIN) && i == shape.sustain_point &&
                channel->key_released == 0) {
                cursor.value = point_y(shape, i);
                channel->update_flags |= update_bit;
                return;
            }
            cursor.step = segment_step(shape, i);
            cursor.acc = 65536 * point_y(shape, i);
            cursor.point = i + 1;
        }
    }
    cursor.value = cursor.acc >> 16;
    cursor.tick += 1;
    channel->update_flags |= update_bit;
}

void run_envelopes(ChannelState& channel, const XmInstrument& instrument) {
    if ((instrument.volume_type & ENVELOPE_ON) && channel.volume_env_done == 0) {
        envelope_step(&channel, volume_envelope(instrument), volume_cursor(channel), UPDATE_VOLUME);
    }
    if ((instrument.panning_type & ENVELOPE_ON) && channel.panning_env_done == 0) {
        envelope_step(&channel, panning_envelope(instrument), panning_cursor(channel),
                      UPDATE_PANNING);
    }
}

void fade_out(ChannelState& channel, const XmInstrument& instrument) {
    channel.fadeout_volume = std::max(channel.fadeout_volume - int32_t(instrument.fadeout), 0);
    channel.update_flags |= UPDATE_VOLUME;
}

// Lxx: puts the volume envelope at a tick, inside the first segment that ends at or after it
// (or at its last point, done, when there is none). The next step goes on from there.
void set_volume_envelope_position(ChannelState& channel, const XmInstrument& instrument,
                                  uint8_t tick) {
    const EnvelopeShape shape = volume_envelope(instrument);
    const uint32_t count = point_count(shape);
    if (count == 0) return;
    uint32_t j = 0;
    while (j + 1 < count && tick > point_x(shape, j + 1))
        ++j;
    if (j + 1 == count) {  // no segment ends at or after the tick
        channel.volume_env_value = point_y(shape, j);
        channel.volume_env_done = 1;
        return;
    }
    channel.volume_env_done = 0;
    channel.volume_env_tick = tick;
    channel.volume_env_step = segment_step(shape, j);
    channel.volume_env_point = j + 1;
    const int64_t acc = int64_t(65536) * point_y(shape, j) +
                        int64_t(tick - point_x(shape, j)) * channel.volume_env_step;
    channel.volume_env_acc = limit_acc(acc);
    channel.volume_env_value = channel.volume_env_acc >> 16;
}
