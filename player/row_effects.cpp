// The row-tick part of the effects and of the volume column, as tables of small routines: one
// row per effect letter. Most effects only take their parameter into the channel's memories
// here; the later ticks (effects.cpp) do the sliding. Routines set update flags; only the voice
// update turns them into voice fields.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "player/channel.h"
#include "player/effects.h"
#include "player/loader.h"
#include "player/song_state.h"

namespace {

using RowEffect = void (*)(EffectContext& context);
using VolumeColumnRow = void (*)(ChannelState& channel, uint8_t byte);

void nothing(EffectContext&) {}

// ---- Volume column ----

void volume_column_nothing(ChannelState&, uint8_t) {}

// 0x10..0x4F: volume = byte - 16.
void volume_column_set(ChannelState& channel, uint8_t byte) {
    channel.volume = byte - 16;
    channel.update_flags |= UPDATE_VOLUME;
}

// 0x50 sets volume 64; 0x51..0x5F mean nothing.
void volume_column_set_full(ChannelState& channel, uint8_t byte) {
    if (low_nibble(byte) == 0) volume_column_set(channel, byte);
}

// 0x6y and 0x8y: volume down by y, not below 0.
void volume_column_down(ChannelState& channel, uint8_t byte) {
    channel.volume = std::max(channel.volume - low_nibble(byte), 0);
    channel.update_flags |= UPDATE_VOLUME;
}

// 0x7y and 0x9y: volume up by y, not above 64.
void volume_column_up(ChannelState& channel, uint8_t byte) {
    channel.volume = std::min(channel.volume + low_nibble(byte), 64);
    channel.update_flags |= UPDATE_VOLUME;
}

// 0xAy: vibrato speed, 0 included.
void volume_column_vibrato_speed(ChannelState& channel, uint8_t byte) {
    channel.vibrato_speed = low_nibble(byte);
}

// 0xBy: vibrato depth; the vibrato itself runs on the later ticks.
void volume_column_vibrato_depth(ChannelState& channel, uint8_t byte) {
    channel.vibrato_depth = low_nibble(byte);
}

// 0xCy: panning 16 x y.
void volume_column_panning(ChannelState& channel, uint8_t byte) {
    channel.panning = 16 * low_nibble(byte);
    channel.update_flags |= UPDATE_PANNING;
}

// 0xDy: panning left by y, no limit but the arithmetic headroom.
void volume_column_panning_left(ChannelState& channel, uint8_t byte) {
    channel.panning = limit_panning(int64_t(channel.panning) - low_nibble(byte));
    channel.update_flags |= UPDATE_PANNING;
}

// 0xEy: panning right by y, no limit but the arithmetic headroom.
void volume_column_panning_right(ChannelState& channel, uint8_t byte) {
    channel.panning = limit_panning(int64_t(channel.panning) + low_nibble(byte));
    channel.update_flags |= UPDATE_PANNING;
}

// 0xFy: tone portamento towards the row's note at 16 x y (y = 0 keeps the speed).
void volume_column_tone_porta(ChannelState& channel, uint8_t byte) {
    if (low_nibble(byte) != 0) channel.porta_speed = uint8_t(16 * low_nibble(byte));
    channel.porta_target = channel.note_period;
    channel.update_flags &= uint8_t(~UPDATE_TRIGGER);
}

// By the high nibble of the volume-column byte.
constexpr VolumeColumnRow volume_column_row_table[] = {
    volume_column_nothing,        // 0x0y
    volume_column_set,            // 0x1y
    volume_column_set,            // 0x2y
    volume_column_set,            // 0x3y
    volume_column_set,            // 0x4y
    volume_column_set_full,       // 0x5y
    volume_column_down,           // 0x6y slide down (repeated on later ticks)
    volume_column_up,             // 0x7y slide up (repeated on later ticks)
    volume_column_down,           // 0x8y fine down
    volume_column_up,             // 0x9y fine up
    volume_column_vibrato_speed,  // 0xAy
    volume_column_vibrato_depth,  // 0xBy
    volume_column_panning,        // 0xCy
    volume_column_panning_left,   // 0xDy
    volume_column_panning_right,  // 0xEy
    volume_column_tone_porta,     // 0xFy
};
static_assert(std::size(volume_column_row_table) == 16);

// ---- Effects ----

// 1xx: remembers the portamento-up speed.
void porta_up_memory(EffectContext& c) {
    if (c.cell.param != 0) c.channel.porta_up_memory = c.cell.param;
}

// 2xx: remembers the portamento-down speed.
void porta_down_memory(EffectContext& c) {
    if (c.cell.param != 0) c.channel.porta_down_memory = c.cell.param;
}

// 3xx: aims at the row's note; the note does not restart.
void tone_porta_start(EffectContext& c) {
    if (c.cell.param != 0) c.channel.porta_speed = c.cell.param;
    c.channel.porta_target = c.channel.note_period;
    c.channel.update_flags &= uint8_t(~(UPDATE_FREQUENCY | UPDATE_TRIGGER));
}

// 4xy: speed x and depth y where non-zero; the offset at the current position, which does not
// advance on the row tick.
void vibrato_start(EffectContext& c) {
    if (high_nibble(c.cell.param) != 0) c.channel.vibrato_speed = high_nibble(c.cell.param);
    if (low_nibble(c.cell.param) != 0) c.channel.vibrato_depth = low_nibble(c.cell.param);
    vibrato_step(&c.channel);
}

void remember_volume_slide(EffectContext& c) {
    if (c.cell.param != 0) c.channel.volume_slide_memory = c.cell.param;
}

// 5xy: tone portamento with the last speed, and a volume slide.
void tone_porta_volume_slide_start(EffectContext& c) {
    c.channel.porta_target = c.channel.note_period;
    remember_volume_slide(c);
    c.channel.update_flags &= uint8_t(~(UPDATE_FREQUENCY | UPDATE_TRIGGER));
}

// 6xy: vibrato with the last settings, and a volume slide.
void vibrato_volume_slide_start(EffectContext& c) {
    remember_volume_slide(c);
    vibrato_step(&c.channel);
}

// 7xy: tremolo speed x and depth y where non-zero.
void tremolo_start(EffectContext& c) {
    if (high_nibble(c.cell.param) != 0) c.channel.tremolo_speed = high_nibble(c.cell.param);
    if (low_nibble(c.cell.param) != 0) c.channel.tremolo_depth = low_nibble(c.cell.param);
}

// 8xx: panning.
void set_panning(EffectContext& c) {
    c.channel.panning = c.cell.param;
    c.channel.update_flags |= UPDATE_PANNING;
}

// 9xx: the next note starts 256 x xx frames in. An offset at or beyond the sample's loop end
// starts no note; the playing sample is rewound instead.
void sample_offset(EffectContext& c) {
    if (c.cell.param != 0) c.channel.sample_offset_memory = c.cell.param;
    const uint32_t offset = 256u * uint32_t(c.channel.sample_offset_memory);
    const uint64_t loop_end = uint64_t(c.sample.loop_start) + c.sample.loop_length;
    if (offset < loop_end) {
        if (c.channel.voice != nullptr) c.channel.voice->start_offset = offset;
    } else {
        c.channel.update_flags &= uint8_t(~UPDATE_TRIGGER);
        c.channel.update_flags |= UPDATE_RESTART;
    }
}

// Bxx: order xx (0 when outside the song), row 0.
void position_jump(EffectContext& c) {
    c.module.next_row = 0;
    c.module.next_order = c.cell.param < song_entries(c.module) ? c.cell.param : 0;
    c.marks->jump_seen = true;
}

// Cxx: volume, at most 64.
void set_volume(EffectContext& c) {
    c.channel.volume = std::min<int32_t>(c.cell.param, 64);
    c.channel.update_flags |= UPDATE_VOLUME;
}

// Dxy: row 10 x + y (0 beyond 63) of the next order, or of the order a Bxx in an earlier
// channel chose; order 0 after the last.
void pattern_break(EffectContext& c) {
    const int32_t row = 10 * high_nibble(c.cell.param) + low_nibble(c.cell.param);
    c.module.next_row = row > 63 ? 0 : row;
    if (!c.marks->jump_seen) c.module.next_order = c.module.order_position + 1;
    if (c.module.next_order >= song_entries(c.module)) c.module.next_order = 0;
}

// Fxx: speed below 32 (0 included), tempo from 32 on.
void set_speed_or_tempo(EffectContext& c) {
    if (c.cell.param < 32) {
        c.module.speed = c.cell.param;
    } else {
        set_bpm(&c.module, c.cell.param);
    }
}

// Gxx: global volume, at most 64.
void set_global_volume(EffectContext& c) {
    c.module.global_volume = std::min<int32_t>(c.cell.param, 64);
    c.channel.update_flags |= UPDATE_VOLUME;
}

// Hxy: remembers the global volume slide (one memory per song).
void global_volume_slide_memory(EffectContext& c) {
    if (c.cell.param != 0) c.module.global_slide_param = c.cell.param;
}

// Lxx: volume envelope position, where the instrument has a volume envelope.
void envelope_position(EffectContext& c) {
    if (c.instrument.volume_type & ENVELOPE_ON) {
        set_volume_envelope_position(c.channel, c.instrument, c.cell.param);
    }
}

// Pxy: remembers the panning slide (P00 repeats the last one on the later ticks).
void panning_slide_memory(EffectContext& c) {
    if (c.cell.param == 0) return;
    c.channel.panning_slide_memory = c.cell.param;
    c.channel.update_flags |= UPDATE_PANNING;
}

// Rxy: remembers the volume change x and the interval y (R00 repeats the last).
void multi_retrigger_memory(EffectContext& c) {
    if (c.cell.param == 0) return;
    c.channel.retrigger_volume_change = high_nibble(c.cell.param);
    c.channel.retrigger_interval = low_nibble(c.cell.param);
}

// Txy: x + 1 ticks heard, y + 1 silenced; the cycle counts the row tick too.
void tremor_start(EffectContext& c) {
    if (c.cell.param != 0) {
        c.channel.tremor_on = uint8_t(high_nibble(c.cell.param) + 1);
        c.channel.tremor_off = uint8_t(low_nibble(c.cell.param) + 1);
    }
    tremor_step(&c.channel);
}

// X1y / X2y: extra-fine portamento up / down by y (0 repeats the last).
void extra_fine_porta(EffectContext& c) {
    const uint8_t y = low_nibble(c.cell.param);
    ChannelState& channel = c.channel;
    if (high_nibble(c.cell.param) == 1) {
        if (y != 0) channel.extra_fine_up_memory = y;
        channel.period = limit_period(int64_t(channel.period) - channel.extra_fine_up_memory);
    } else if (high_nibble(c.cell.param) == 2) {
        if (y != 0) channel.extra_fine_down_memory = y;
        channel.period = limit_period(int64_t(channel.period) + channel.extra_fine_down_memory);
    }
}

// ---- Extended effects Exy, by x ----

// E1y: fine portamento up by 4 x y (0 repeats the last).
void fine_porta_up(EffectContext& c) {
    if (low_nibble(c.cell.param) != 0) c.channel.fine_up_memory = low_nibble(c.cell.param);
    c.channel.period = limit_period(int64_t(c.channel.period) - 4 * c.channel.fine_up_memory);
}

// E2y: fine portamento down by 4 x y (0 repeats the last).
void fine_porta_down(EffectContext& c) {
    if (low_nibble(c.cell.param) != 0) c.channel.fine_down_memory = low_nibble(c.cell.param);
    c.channel.period = limit_period(int64_t(c.channel.period) + 4 * c.channel.fine_down_memory);
}

// E4y: vibrato waveform (low nibble of waveforms).
void vibrato_waveform(EffectContext& c) {
    c.channel.waveforms = uint8_t((c.channel.waveforms & 0xF0) | low_nibble(c.cell.param));
}

// E5y: finetune y of the row's sample, for later notes of that sample on every channel. The
// shared empty sample stays all zero.
void set_finetune(EffectContext& c) {
    if (&c.sample != &empty_sample) c.sample.finetune = int8_t(low_nibble(c.cell.param));
}

// E6y: E60 marks the loop start; E6y plays back to it y more times.
void pattern_loop(EffectContext& c) {
    const uint8_t y = low_nibble(c.cell.param);
    ChannelState& channel = c.channel;
    if (y == 0) {
        channel.loop_row = c.module.row;
        return;
    }
    channel.loop_count = channel.loop_count == 0 ? y : channel.loop_count - 1;
    if (channel.loop_count != 0) c.marks->loop_target = channel.loop_row;
}

// E7y: tremolo waveform (high nibble of waveforms).
void tremolo_waveform(EffectContext& c) {
    c.channel.waveforms = uint8_t((c.channel.waveforms & 0x0F) | (low_nibble(c.cell.param) << 4));
}

// E8y: panning 16 x y.
void coarse_panning(EffectContext& c) {
    c.channel.panning = 16 * low_nibble(c.cell.param);
    c.channel.update_flags |= UPDATE_PANNING;
}

// EAy: fine volume up by y (0 repeats the last), not above 64.
void fine_volume_up(EffectContext& c) {
    if (low_nibble(c.cell.param) != 0) c.channel.fine_volume_memory = low_nibble(c.cell.param);
    c.channel.volume = std::min(c.channel.volume + c.channel.fine_volume_memory, 64);
    c.channel.update_flags |= UPDATE_VOLUME;
}

// EBy: fine volume down by y (0 repeats the last), not below 0.
void fine_volume_down(EffectContext& c) {
    if (low_nibble(c.cell.param) != 0) c.channel.fine_volume_memory = low_nibble(c.cell.param);
    c.channel.volume = std::max(c.channel.volume - c.channel.fine_volume_memory, 0);
    c.channel.update_flags |= UPDATE_VOLUME;
}

// EDy: the note waits for tick y; until then the channel keeps what it had.
void note_delay_hold(EffectContext& c) {
    c.channel.volume = c.kept_volume;
    c.channel.period = c.kept_period;
    c.channel.panning = c.kept_panning;
    c.channel.update_flags &=
        uint8_t(~(UPDATE_FREQUENCY | UPDATE_VOLUME | UPDATE_PANNING | UPDATE_TRIGGER));
}

// EEy: the row lasts y more rows' worth of ticks at the speed in force now.
void pattern_delay(EffectContext& c) {
    c.module.pattern_delay = low_nibble(c.cell.param) * c.module.speed;
}

constexpr RowEffect extended_row_effects[] = {
    nothing,           // E0
    fine_porta_up,     // E1
    fine_porta_down,   // E2
    nothing,           // E3
    vibrato_waveform,  // E4
    set_finetune,      // E5
    pattern_loop,      // E6
    tremolo_waveform,  // E7
    coarse_panning,    // E8
    nothing,           // E9 retrigger: later ticks
    fine_volume_up,    // EA
    fine_volume_down,  // EB
    nothing,           // EC note cut: later ticks
    note_delay_hold,   // ED
    pattern_delay,     // EE
    nothing,           // EF
};
static_assert(std::size(extended_row_effects) == 16);

void extended(EffectContext& c) {
    extended_row_effects[high_nibble(c.cell.param)](c);
}

constexpr RowEffect row_effects[] = {
    nothing,                        // 0 arpeggio: the row tick plays the plain period
    porta_up_memory,                // 1
    porta_down_memory,              // 2
    tone_porta_start,               // 3
    vibrato_start,                  // 4
    tone_porta_volume_slide_start,  // 5
    vibrato_volume_slide_start,     // 6
    tremolo_start,                  // 7
    set_panning,                    // 8
    sample_offset,                  // 9
    remember_volume_slide,          // A
    position_jump,                  // B
    set_volume,                     // C
    pattern_break,                  // D
    extended,                       // E
    set_speed_or_tempo,             // F
    set_global_volume,              // G
    global_volume_slide_memory,     // H
    nothing,                        // I
    nothing,                        // J
    nothing,                        // K key off: taken before the envelopes
    envelope_position,              // L
    nothing,                        // M
    nothing,                        // N
    nothing,                        // O
    panning_slide_memory,           // P
    nothing,                        // Q
    multi_retrigger_memory,         // R
    nothing,                        // S
    tremor_start,                   // T
    nothing,                        // U
    nothing,                        // V
    nothing,                        // W
    extra_fine_porta,               // X
    nothing,                        // Y
    nothing,                        // Z
};
static_assert(std::size(row_effects) == effect_count);

}  // namespace

// Instrument start: the sample's volume and panning, both envelopes back to point 0, the key
// pressed, full fadeout volume and the auto-vibrato from its start. The vibrato and tremolo
// positions restart unless their waveform asks to keep them (a nibble of 4 or more). A sample
// volume above 64 (not produced by a well-formed file) plays as 64.
void reset_for_instrument(ChannelState* channel, const XmSample* sample) {
    if (channel == nullptr) return;
    if (sample == nullptr) sample = &empty_sample;
    channel->volume = std::min<int32_t>(sample->volume, 64);
    channel->panning = sample->panning;  // a byte in the file
    channel->volume_env_value = 64;
    channel->volume_env_point = 0;
    channel->volume_env_tick = 0;
    channel->volume_env_step = 0;
    channel->panning_env_value = 32;
    channel->panning_env_point = 0;
    channel->panning_env_tick = 0;
    channel->panning_env_step = 0;
    channel->key_released = 0;
    channel->fadeout_volume = 65536;
    channel->volume_env_done = 0;
    channel->panning_env_done = 0;
    channel->auto_vibrato_sweep_ticks = 0;
    channel->auto_vibrato_position = 0;
    if (low_nibble(channel->waveforms) < 4) channel->vibrato_position = 0;
    if (high_nibble(channel->waveforms) < 4) channel->tremolo_position = 0;
    channel->tremor_count = 0;
    channel->update_flags |= UPDATE_VOLUME | UPDATE_PANNING;
}

// The row-tick meaning of a volume-column byte (one below 0x10 means nothing).
void volume_column_row(ChannelState* channel, uint8_t byte) {
    if (channel == nullptr) return;
    volume_column_row_table[high_nibble(byte)](*channel, byte);
}

// The row-tick part of the cell's effect; effect numbers past Z are ignored.
void row_effect(EffectContext& context) {
    if (context.cell.effect < effect_count) row_effects[context.cell.effect](context);
}
