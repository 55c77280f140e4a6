#pragma once
#include <cstdint>

#include "player/engine.h"
#include "player/module.h"

// The engine's per-tick building blocks, shared by the row tick (engine.cpp, row_effects.cpp)
// and the ticks after it (effects.cpp): where the current row's cells are, which instrument and
// sample a channel plays, the effect routines, the envelopes and the voice update.

// Limits that keep unbounded slides inside 32-bit arithmetic. They lie far outside anything
// audible (a period beyond them is below 100 Hz, a panning beyond them is clamped to 0..255
// anyway), so no musical slide ever reaches them.
constexpr int32_t period_limit = 1 << 30;
constexpr int32_t panning_limit = 1 << 30;
// Rows of a pattern the song names but the module lacks, as the loader builds them.
constexpr int32_t missing_pattern_rows = 64;
// The note range the period formulas are defined for (0-based real notes).
constexpr int32_t highest_real_note = 119;
// Cell notes: 1..96 are notes, 255 is key-off; anything else is no note.
constexpr uint8_t key_off_note = 255;
constexpr uint8_t last_note = 96;

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

// ---- Song position and lookups (engine.cpp) ----

// Order entries that make up the song: song_length kept within the 256-entry order table.
int32_t song_entries(const XmModule& module);
// Rows of the pattern played at an order position (64 for a pattern the module lacks).
int32_t order_rows(const XmModule& module, int32_t order);
// Cells of the current row, channel_count of them, or null when the row has none.
const XmCell* current_row_cells(const XmModule& module);
// Channels the engine plays: channel_count, at most the 32 records it has.
int32_t played_channel_count(const XmModule& module);
// The instrument a channel plays: empty_instrument when its number is out of range.
const XmInstrument& channel_instrument(const XmModule& module, const ChannelState& channel);
// The sample a channel's note selects in an instrument: empty_sample for a map entry of 16 or
// more or an empty slot.
XmSample& channel_sample(const XmInstrument& instrument, const ChannelState& channel);
// Period of a 0-based real note with a finetune, on the module's frequency table.
int32_t note_period(const XmModule& module, int32_t real_note, int32_t finetune);
// A period kept within period_limit.
int32_t limit_period(int64_t period);
// A channel panning kept within panning_limit.
int32_t limit_panning(int64_t panning);

// ---- Row tick (row_effects.cpp) ----

// The row-tick part of the cell's effect.
void row_effect(EffectContext& context);

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
