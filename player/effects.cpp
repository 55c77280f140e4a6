// What the engine does on the ticks after a row tick: the sliding part of the effects and of
// the volume column, as tables of small routines (one row per effect letter), and the per-tick
// building blocks the row tick shares with them: vibrato, tremolo, tremor, tone portamento and
// the instrument's auto-vibrato. Routines set update flags; only the voice update turns them
// into voice fields.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "player/channel.h"
#include "player/effects.h"
#include "player/song_state.h"
#include "player/tables.h"

namespace {

// pi / 64 and pi / 128 as the engine stores them, in single precision.
constexpr float waveform_angle_step = 0.049087375f;
constexpr float auto_vibrato_angle_step = 0.024543688f;

constexpr int WAVE_SINE = 0;
constexpr int WAVE_RAMP = 1;
constexpr int WAVE_SQUARE = 2;

constexpr int32_t lowest_porta_up_period = 56;
constexpr uint16_t LINEAR_FREQUENCIES = 1 << 0;

}  // namespace

// The vibrato and tremolo waveforms over 64 steps per cycle (positions -32..31), 0..255; the
// caller takes the sign from the position. The sine is |sin(2 x pi/64 x p)| x 256 truncated,
// which peaks at 255; the ramp climbs by 8 per step over each half.
int32_t waveform_value(int wave, int32_t position) {
    if (wave == WAVE_SINE) {
        const float angle = 2.0f * waveform_angle_step * float(position);
        return int32_t(std::fabs(std::sin(double(angle))) * 256.0);
    }
    if (wave == WAVE_RAMP) {
        const int32_t k = position & 31;  // position modulo 32
        return position >= 0 ? 8 * k : 255 - 8 * k;
    }
    return 255;
}

namespace {

// Vibrato waves by bits 0-1 of the low nibble of waveforms: 3 is a square too.
int vibrato_wave(const ChannelState& channel) {
    constexpr int waves[] = {WAVE_SINE, WAVE_RAMP, WAVE_SQUARE, WAVE_SQUARE};
    return waves[channel.waveforms & 3];
}

// Tremolo waves by bits 0-1 of the high nibble: 3 is the sine.
int tremolo_wave(const ChannelState& channel) {
    constexpr int waves[] = {WAVE_SINE, WAVE_RAMP, WAVE_SQUARE, WAVE_SINE};
    return waves[(channel.waveforms >> 4) & 3];
}

// A waveform position moved on by a speed, wrapping from above 31 into -32..31.
int8_t advanced_position(int8_t position, uint8_t speed) {
    int32_t next = position + speed;
    if (next > 31) next -= 64;
    return int8_t(next);
}

}  // namespace

// The vibrato's period offset at the current position: the wave times the depth, shifted
// right by 5 and rounded down to a multiple of 4; the first half of the cycle lowers the
// period. The offset replaces the earlier one; the caller advances the position.
void vibrato_step(ChannelState* channel) {
    const int32_t wave = waveform_value(vibrato_wave(*channel), channel->vibrato_position);
    const int32_t offset = ((wave * channel->vibrato_depth) >> 5) & ~3;
    channel->period_offset = channel->vibrato_position >= 0 ? -offset : offset;
    channel->update_flags |= UPDATE_FREQUENCY;
}

void advance_vibrato(ChannelState* channel) {
    channel->vibrato_position =
        advanced_position(channel->vibrato_position, channel->vibrato_speed);
}

// The tremolo's volume offset for this tick (the wave times the depth, shifted right by 6),
// kept so that volume + offset stays within 0..64; then the position moves on.
void tremolo_step(ChannelState* channel) {
    const int32_t wave = waveform_value(tremolo_wave(*channel), channel->tremolo_position);
    const int32_t offset = (wave * channel->tremolo_depth) >> 6;
    if (channel->tremolo_position >= 0) {
        channel->volume_offset = std::min(offset, 64 - channel->volume);
    } else {
        channel->volume_offset = -std::min(offset, channel->volume);
    }
    channel->tremolo_position =
        advanced_position(channel->tremolo_position, channel->tremolo_speed);
    channel->update_flags |= UPDATE_VOLUME;
}

// One tick of the tremor cycle: tremor_on ticks heard, then tremor_off ticks silenced.
void tremor_step(ChannelState* channel) {
    if (channel->tremor_count >= channel->tremor_on) channel->volume_offset = -channel->volume;
    channel->tremor_count += 1;
    if (channel->tremor_count == channel->tremor_on + channel->tremor_off) {
        channel->tremor_count = 0;
    }
    channel->update_flags |= UPDATE_VOLUME;
}

// One tick of tone portamento: 4 x speed towards the target, never past it.
void tone_porta_step(ChannelState* channel) {
    const int32_t distance = 4 * channel->porta_speed;
    if (channel->period < channel->porta_target) {
        channel->period = std::min(channel->period + distance, channel->porta_target);
    } else if (channel->period > channel->porta_target) {
        channel->period = std::max(channel->period - distance, channel->porta_target);
    }
    channel->update_flags |= UPDATE_FREQUENCY;
}

// The instrument's auto-vibrato for one tick, on every channel and every tick: the wave at
// the position (256 steps per cycle) times the depth, faded in over the sweep ticks, added to
// the period offset in 64ths. A vibrato type above 3 (not produced by a well-formed file) has
// no wave and adds nothing; the position and the sweep still run.
void auto_vibrato_step(ChannelState* channel, const XmInstrument* instrument) {
    if (instrument == nullptr) instrument = &empty_instrument;
    const int32_t q = channel->auto_vibrato_position & 255;
    int32_t wave = 0;
    switch (instrument->vibrato_type) {
        case 0:
            wave = int32_t(std::sin(double(auto_vibrato_angle_step * float(q))) * 64.0);
            break;
        case 1:
            wave = q < 128 ? 64 : -64;
            break;
        case 2:
            wave = (128 - ((q + 128) % 256)) >> 1;
            break;
        case 3:
            wave = (128 - ((384 - q) % 256)) >> 1;
            break;
        default:
            break;
    }
    int32_t depth = instrument->vibrato_depth * wave;
    if (instrument->vibrato_sweep != 0) {
        depth = (channel->auto_vibrato_sweep_ticks * depth) / instrument->vibrato_sweep;
    }
    channel->period_offset += depth >> 6;
    channel->auto_vibrato_sweep_ticks =
        std::min<int32_t>(channel->auto_vibrato_sweep_ticks + 1, instrument->vibrato_sweep);
    channel->auto_vibrato_position =
        (channel->auto_vibrato_position + instrument->vibrato_rate) & 255;
    channel->update_flags |= UPDATE_FREQUENCY;
}

namespace {

using TickEffect = void (*)(EffectContext& context);

void nothing(EffectContext&) {}

// Volume slide of A, 5 and 6 from their shared memory: up by x, or else down by y.
void volume_slide(ChannelState& channel) {
    const uint8_t memory = channel.volume_slide_memory;
    if (high_nibble(memory) != 0) {
        channel.volume = std::min(channel.volume + high_nibble(memory), 64);
    } else {
        channel.volume = std::max(channel.volume - low_nibble(memory), 0);
    }
    channel.update_flags |= UPDATE_VOLUME;
}

// ---- Volume column, by the high nibble ----

void column_nothing(EffectContext&) {}

// 0x6y: volume down by y, not below 0.
void column_volume_down(EffectContext& c) {
    c.channel.volume = std::max(c.channel.volume - low_nibble(c.cell.volume), 0);
    c.channel.update_flags |= UPDATE_VOLUME;
}

// 0x7y: volume up by y, not above 64.
void column_volume_up(EffectContext& c) {
    c.channel.volume = std::min(c.channel.volume + low_nibble(c.cell.volume), 64);
    c.channel.update_flags |= UPDATE_VOLUME;
}

// 0xBy: vibrato at depth y.
void column_vibrato(EffectContext& c) {
    c.channel.vibrato_depth = low_nibble(c.cell.volume);
    vibrato_step(&c.channel);
    advance_vibrato(&c.channel);
}

// 0xDy: panning left by y.
void column_panning_left(EffectContext& c) {
    c.channel.panning = limit_panning(int64_t(c.channel.panning) - low_nibble(c.cell.volume));
    c.channel.update_flags |= UPDATE_PANNING;
}

// 0xEy: panning right by y.
void column_panning_right(EffectContext& c) {
    c.channel.panning = limit_panning(int64_t(c.channel.panning) + low_nibble(c.cell.volume));
    c.channel.update_flags |= UPDATE_PANNING;
}

// 0xFy: tone portamento.
void column_tone_porta(EffectContext& c) {
    tone_porta_step(&c.channel);
}

constexpr TickEffect volume_column_tick_table[] = {
    column_nothing,        // 0x0y
    column_nothing,        // 0x1y set volume: row tick only
    column_nothing,        // 0x2y
    column_nothing,        // 0x3y
    column_nothing,        // 0x4y
    column_nothing,        // 0x5y
    column_volume_down,    // 0x6y
    column_volume_up,      // 0x7y
    column_nothing,        // 0x8y fine down: row tick only
    column_nothing,        // 0x9y fine up: row tick only
    column_nothing,        // 0xAy vibrato speed: row tick only
    column_vibrato,        // 0xBy
    column_nothing,        // 0xCy set panning: row tick only
    column_panning_left,   // 0xDy
    column_panning_right,  // 0xEy
    column_tone_porta,     // 0xFy
};
static_assert(std::size(volume_column_tick_table) == 16);

// ---- Effects ----

// 0xy: the note, x and y semitones up, by tick modulo 3 (only with a non-zero parameter).
void arpeggio(EffectContext& c) {
    if (c.cell.param == 0) return;
    const int32_t phase = c.module.tick % 3;
    const int32_t semitones = phase == 0   ? 0
                              : phase == 1 ? high_nibble(c.cell.param)
                                           : low_nibble(c.cell.param);
    ChannelState& channel = c.channel;
    if (c.module.flags & LINEAR_FREQUENCIES) {
        channel.period_offset = 64 * semitones;
    } else {
        const int32_t finetune = c.sample.finetune;
        channel.period_offset = amiga_period(channel.real_note + semitones, finetune) -
                                amiga_period(channel.real_note, finetune);
    }
    channel.update_flags |= UPDATE_FREQUENCY;
}

// 1xx: period down by 4 x memory, not below 56.
void porta_up(EffectContext& c) {
    ChannelState& channel = c.channel;
    channel.period = std::max(channel.period - 4 * channel.porta_up_memory, lowest_porta_up_period);
    channel.period_offset = 0;
    channel.update_flags |= UPDATE_FREQUENCY;
}

// 2xx: period up by 4 x memory, limited only by the arithmetic headroom.
void porta_down(EffectContext& c) {
    ChannelState& channel = c.channel;
    channel.period = limit_period(int64_t(channel.period) + 4 * channel.porta_down_memory);
    channel.period_offset = 0;
    channel.update_flags |= UPDATE_FREQUENCY;
}

// 3xx: one step towards the target.
void tone_porta(EffectContext& c) {
    c.channel.period_offset = 0;
    tone_porta_step(&c.channel);
}

// 4xy: vibrato, advancing.
void vibrato(EffectContext& c) {
    vibrato_step(&c.channel);
    advance_vibrato(&c.channel);
}

// 5xy: tone portamento and volume slide.
void tone_porta_volume_slide(EffectContext& c) {
    tone_porta(c);
    volume_slide(c.channel);
}

// 6xy: vibrato and volume slide.
void vibrato_volume_slide(EffectContext& c) {
    vibrato(c);
    volume_slide(c.channel);
}

// 7xy: tremolo.
void tremolo(EffectContext& c) {
    tremolo_step(&c.channel);
}

// Axy: volume slide.
void volume_slide_tick(EffectContext& c) {
    volume_slide(c.channel);
}

// Hxy: global volume up by x, or else down by y, from the song's memory. No channel flag: the
// channels hear it when their volume is next recomputed.
void global_volume_slide(EffectContext& c) {
    const uint8_t memory = c.module.global_slide_param;
    if (high_nibble(memory) != 0) {
        c.module.global_volume = std::min(c.module.global_volume + high_nibble(memory), 64);
    } else {
        c.module.global_volume = std::max(c.module.global_volume - low_nibble(memory), 0);
    }
}

// Pxy: panning right by x, or else left by y, from the memory, within 0..255.
void panning_slide(EffectContext& c) {
    ChannelState& channel = c.channel;
    const uint8_t memory = channel.panning_slide_memory;
    if (high_nibble(memory) != 0) {
        channel.panning = std::min(channel.panning + high_nibble(memory), 255);
    } else {
        channel.panning = std::max(channel.panning - low_nibble(memory), 0);
    }
    channel.update_flags |= UPDATE_PANNING;
}

// Rxy: restarts the note every interval ticks, changing the volume by the table.
void multi_retrigger(EffectContext& c) {
    ChannelState& channel = c.channel;
    if (channel.retrigger_interval == 0 || c.module.tick % channel.retrigger_interval != 0) return;
    if (channel.retrigger_volume_change == 0) {
        channel.update_flags |= UPDATE_TRIGGER;
        return;
    }
    const RetriggerVolumeChange& change =
        retrigger_volume_changes[channel.retrigger_volume_change - 1];
    const int32_t volume = channel.volume * change.multiply / change.divide + change.add;
    channel.volume = std::clamp(volume, 0, 64);
    channel.update_flags |= UPDATE_VOLUME | UPDATE_TRIGGER;
}

// Txy: tremor.
void tremor(EffectContext& c) {
    tremor_step(&c.channel);
}

// ---- Extended effects Exy, by x ----

// E9y: restarts the note every y ticks (E90 does nothing).
void retrigger(EffectContext& c) {
    const uint8_t y = low_nibble(c.cell.param);
    if (y != 0 && c.module.tick % y == 0) {
        c.channel.update_flags |= UPDATE_TRIGGER | UPDATE_VOLUME | UPDATE_FREQUENCY;
    }
}

// ECy: silence from tick y.
void note_cut(EffectContext& c) {
    if (c.module.tick != low_nibble(c.cell.param)) return;
    c.channel.volume = 0;
    c.channel.update_flags |= UPDATE_VOLUME;
}

// EDy: the note starts on tick y, with its instrument and volume column; before and after that
// tick the voice keeps what it had.
void note_delay(EffectContext& c) {
    ChannelState& channel = c.channel;
    if (c.module.tick != low_nibble(c.cell.param)) {
        channel.update_flags &=
            uint8_t(~(UPDATE_FREQUENCY | UPDATE_VOLUME | UPDATE_PANNING | UPDATE_TRIGGER));
        return;
    }
    reset_for_instrument(&channel, &c.sample);
    channel.period = channel.note_period;
    channel.update_flags |= UPDATE_FREQUENCY;
    volume_column_row(&channel, c.cell.volume);
    channel.update_flags |= UPDATE_TRIGGER;
}

constexpr TickEffect extended_tick_effects[] = {
    nothing,     // E0
    nothing,     // E1 fine portamento: row tick only
    nothing,     // E2
    nothing,     // E3
    nothing,     // E4
    nothing,     // E5
    nothing,     // E6
    nothing,     // E7
    nothing,     // E8
    retrigger,   // E9
    nothing,     // EA
    nothing,     // EB
    note_cut,    // EC
    note_delay,  // ED
    nothing,     // EE
    nothing,     // EF
};
static_assert(std::size(extended_tick_effects) == 16);

void extended(EffectContext& c) {
    extended_tick_effects[high_nibble(c.cell.param)](c);
}

constexpr TickEffect tick_effects[] = {
    arpeggio,                 // 0
    porta_up,                 // 1
    porta_down,               // 2
    tone_porta,               // 3
    vibrato,                  // 4
    tone_porta_volume_slide,  // 5
    vibrato_volume_slide,     // 6
    tremolo,                  // 7
    nothing,                  // 8
    nothing,                  // 9
    volume_slide_tick,        // A
    nothing,                  // B
    nothing,                  // C
    nothing,                  // D
    extended,                 // E
    nothing,                  // F
    nothing,                  // G
    global_volume_slide,      // H
    nothing,                  // I
    nothing,                  // J
    nothing,                  // K
    nothing,                  // L
    nothing,                  // M
    nothing,                  // N
    nothing,                  // O
    panning_slide,            // P
    nothing,                  // Q
    multi_retrigger,          // R
    nothing,                  // S
    tremor,                   // T
    nothing,                  // U
    nothing,                  // V
    nothing,                  // W
    nothing,                  // X extra-fine portamento: row tick only
    nothing,                  // Y
    nothing,                  // Z
};
static_assert(std::size(tick_effects) == effect_count);

// One later tick of one channel: envelopes, fadeout, the volume column, the effect, the
// auto-vibrato, then the voice.
void process_channel_tick(XmModule& module, ChannelState& channel, const XmCell& cell) {
    const XmInstrument& instrument = channel_instrument(module, channel);
    XmSample& sample = channel_sample(instrument, channel);
    EffectContext context{module, channel, cell, instrument, sample, 0, 0, 0, nullptr};
    channel.volume_offset = 0;
    channel.period_offset = 0;
    channel.update_flags = 0;
    run_envelopes(channel, instrument);
    if (channel.key_released) fade_out(channel, instrument);
    tick_volume_column(context);
    tick_effect(context);
    auto_vibrato_step(&channel, &instrument);
    update_voice(&channel, &sample, &module);
}

}  // namespace

void tick_volume_column(EffectContext& context) {
    volume_column_tick_table[high_nibble(context.cell.volume)](context);
}

// The tick part of the cell's effect; effect numbers past Z are ignored.
void tick_effect(EffectContext& context) {
    if (context.cell.effect < effect_count) tick_effects[context.cell.effect](context);
}

// A tick after the row tick: every channel runs its current row's cell again.
void process_tick_effects(XmModule* module) {
    if (module == nullptr) return;
    const XmCell* cells = current_row_cells(*module);
    if (cells == nullptr) return;
    const int32_t count = played_channel_count(*module);
    for (int32_t c = 0; c < count; ++c) {
        process_channel_tick(*module, channels[c], cells[c]);
    }
}
