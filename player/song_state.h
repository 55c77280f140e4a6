#pragma once
#include <cstdint>

#include "player/channel.h"
#include "player/module.h"

// What the tick driver and the effects both read and set in the song: where the song stands
// (its order entries, the rows of a pattern, the current row's cells), which instrument and
// sample a channel plays, note periods on the module's frequency table, and the tempo.

// Limits that keep unbounded slides inside 32-bit arithmetic. They lie far outside anything
// audible (a period beyond them is below 100 Hz, a panning beyond them is clamped to 0..255
// anyway), so no musical slide ever reaches them.
constexpr int32_t period_limit = 1 << 30;
constexpr int32_t panning_limit = 1 << 30;
// The note range the period formulas are defined for (0-based real notes).
constexpr int32_t highest_real_note = 119;

// The instrument of a channel whose instrument number is out of range: no envelopes, no
// auto-vibrato, no samples.
extern XmInstrument empty_instrument;

// Sets bpm and samples_per_tick for output_rate.
void set_bpm(XmModule* module, int32_t bpm);
// Amiga-table period of a 0-based real note with a signed finetune (-128..127). The notes
// played lie in 0..highest_real_note, and an arpeggio goes at most 15 semitones above them.
int32_t amiga_period(int32_t note, int32_t finetune);
// Period of a 0-based real note with a finetune, on the module's frequency table.
int32_t note_period(const XmModule& module, int32_t real_note, int32_t finetune);
// A period kept within period_limit.
int32_t limit_period(int64_t period);
// A channel panning kept within panning_limit.
int32_t limit_panning(int64_t panning);

// Order entries that make up the song: song_length, which the loader keeps within the
// 256-entry order table.
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
