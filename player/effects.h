#pragma once
#include <cstdint>

#include "player/channel.h"
#include "player/module.h"

// The engine's per-tick building blocks, run by the tick driver (engine.cpp) at the row tick
// (row_effects.cpp) and on the ticks after it (effects.cpp): the effect routines, the
// envelopes and the voice update. What they read of the song is in player/song_state.h.

// Effect numbers of the XM format (A = 10 ... Z = 35).
enum EffectNumber : uint8_t {
    EFFECT_ARPEGGIO = 0,
    EFFECT_TONE_PORTA = 3,
    EFFECT_TONE_PORTA_VOLUME_SLIDE = 5,
    EFFECT_TREMOLO = 7,
    EFFECT_EXTENDED = 14,
    EFFECT_KEY_OFF = 20,
    effect_count = 36,
};

// Pattern loops and jumps met so far in the row being processed.
struct RowMarks {
    bool jump_seen;       // a Bxx in an earlier channel of this row
    int32_t loop_target;  // row a pattern loop taken in this row returns to; -1 = none
};

// What one channel's effect routines work on during one tick.
struct EffectContext {
    XmModule& module;
    ChannelState& channel;
    const XmCell& cell;
    const XmInstrument& instrument;
    XmSample& sample;
    // Row tick only: the values before the row touched them (for the note delay) and the
    // row's jump and loop marks. Null marks on the other ticks.
    int32_t kept_volume;
    int32_t kept_period;
    int32_t kept_panning;
    RowMarks* marks;
};

// Effect parameter nibbles.
inline uint8_t high_nibble(uint8_t value) {
    return uint8_t(value >> 4);
}
inline uint8_t low_nibble(uint8_t value) {
    return uint8_t(value & 0x0F);
}

// ---- Row tick (row_effects.cpp) ----

// The row-tick part of the cell's effect.
void row_effect(EffectContext& context);
// Instrument start on a channel; the row tick and a delayed note run it.
void reset_for_instrument(ChannelState* channel, const XmSample* sample);
// Row-tick meaning of a non-zero volume-column byte; the row tick and a delayed note run it.
void volume_column_row(ChannelState* channel, uint8_t byte);

// ---- Later ticks (effects.cpp) ----

void process_tick_effects(XmModule* module);
// The tick part of the cell's effect and of its volume column.
void tick_volume_column(EffectContext& context);
void tick_effect(EffectContext& context);
// Waveform value 0..255 at a position of -32..31: wave 0 sine, 1 ramp, 2 square.
int32_t waveform_value(int wave, int32_t position);
void vibrato_step(ChannelState* channel);
void advance_vibrato(ChannelState* channel);
void tremolo_step(ChannelState* channel);
void tremor_step(ChannelState* channel);
void tone_porta_step(ChannelState* channel);
void auto_vibrato_step(ChannelState* channel, const XmInstrument* instrument);

// ---- Envelopes (envelope.cpp) ----

// An instrument's volume or panning envelope as the engine reads it.
struct EnvelopeShape {
    const XmEnvelopePoint* points;
    uint8_t point_count;
    uint8_t sustain_point;
    uint8_t loop_start;
    uint8_t loop_end;
    uint8_t type;  // bit 0 on, bit 1 sustain, bit 2 loop
};

// A channel's six fields of one envelope.
struct EnvelopeCursor {
    uint32_t& tick;
    uint32_t& point;
    int32_t& acc;
    int32_t& value;
    int32_t& step;
    uint8_t& done;
};

constexpr uint8_t ENVELOPE_ON = 1 << 0;
constexpr uint8_t ENVELOPE_SUSTAIN = 1 << 1;
constexpr uint8_t ENVELOPE_LOOP = 1 << 2;

EnvelopeShape volume_envelope(const XmInstrument& instrument);
EnvelopeShape panning_envelope(const XmInstrument& instrument);
EnvelopeCursor volume_cursor(ChannelState& channel);
EnvelopeCursor panning_cursor(ChannelState& channel);
// One envelope tick of one channel; sets update_bit on the channel.
void envelope_step(ChannelState* channel, const EnvelopeShape& shape, EnvelopeCursor cursor,
                   uint8_t update_bit);
// Both envelopes of an instrument for one tick, where they are on and not done.
void run_envelopes(ChannelState& channel, const XmInstrument& instrument);
// After key-off: the fadeout volume falls by the instrument's fadeout, not below 0.
void fade_out(ChannelState& channel, const XmInstrument& instrument);
// Lxx: moves the volume envelope to a tick.
void set_volume_envelope_position(ChannelState& channel, const XmInstrument& instrument,
                                  uint8_t tick);

// ---- Voice update (voice_update.cpp) ----

void update_voice(ChannelState* channel, XmSample* sample, const XmModule* module);
