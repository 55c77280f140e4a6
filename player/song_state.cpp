// The song state the tick driver and the effects share: the tempo, the note periods and where
// the song stands. Malformed songs are absorbed here: an order position outside the song has no
// pattern, a pattern the module lacks has 64 rows, a row outside its pattern has no cells, and
// an instrument number out of range plays the empty instrument.
#include "player/song_state.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "player/audio_format.h"
#include "player/loader.h"

XmInstrument empty_instrument;

namespace {

constexpr uint32_t order_table_entries = sizeof XmModule::orders;
constexpr int32_t fallback_bpm = 125;  // the XM default, for a song that says 0
constexpr uint16_t LINEAR_FREQUENCIES = 1 << 0;

// Amiga table: P(k) = trunc(13.375 x 2^((132 - k) / 12)), with 1/12 as a 32-bit float.
constexpr float one_twelfth = 1.0f / 12.0f;

// Linear table: 7680 - 64 x note - finetune / 2.
constexpr int32_t linear_base_period = 7680;
constexpr int32_t linear_periods_per_note = 64;

}  // namespace

// Sets the tempo and the frames per tick, trunc(1000 / (bpm x 0.4) x rate x 0.001): about
// 2.5 x rate / bpm, 882 at 125 BPM and 44100 Hz. The three constants are single-precision
// values, the arithmetic is double, so BPM 42 gives 2625 frames, not the 2624 of float
// arithmetic. A bpm of 0 or less (a song header can say so) plays at the XM default of 125; a
// tick lasts at least one frame, so the block filler always moves on.
void set_bpm(XmModule* module, int32_t bpm) {
    if (module == nullptr) return;
    if (bpm <= 0) bpm = fallback_bpm;
    module->bpm = bpm;
    const double frames =
        double(1000.0f) / (double(bpm) * double(0.4f)) * double(output_rate) * double(0.001f);
    module->samples_per_tick = frames >= 1.0 ? int32_t(frames) : 1;  // at most 2.5 x 192000
}

namespace {

// One entry of the Amiga period table for a 0-based note.
int32_t amiga_table_period(int32_t note) {
    return int32_t(13.375 * std::pow(2.0, double(float(132 - note) * one_twelfth)));
}

}  // namespace

// The Amiga-table period of a 0-based real note, moved towards the next note up by a positive
// finetune and towards the next note down by a negative one, in 128ths of the distance. Note 0
// has no note below it and uses the distance to note 1 either way.
int32_t amiga_period(int32_t note, int32_t finetune) {
    const int32_t period = amiga_table_period(note);
    if (finetune >= 0 || note == 0) {
        return period + ((period - amiga_table_period(note + 1)) * finetune) / -128;
    }
    return period + ((period - amiga_table_period(note - 1)) * -finetune) / -128;
}

int32_t note_period(const XmModule& module, int32_t real_note, int32_t finetune) {
    if (module.flags & LINEAR_FREQUENCIES) {
        return linear_base_period - linear_periods_per_note * real_note - finetune / 2;
    }
    return amiga_period(real_note, finetune);
}

int32_t limit_period(int64_t period) {
    return int32_t(std::clamp<int64_t>(period, -period_limit, period_limit));
}

int32_t limit_panning(int64_t panning) {
    return int32_t(std::clamp<int64_t>(panning, -panning_limit, panning_limit));
}

int32_t song_entries(const XmModule& module) {
    return module.song_length;  // the loader's: 0..256
}

namespace {

// The pattern that the order table names at a position, or null when the position is outside
// the table or names a pattern the module lacks. A song of length 0 still plays the pattern
// its first order entry names.
const XmPattern* order_pattern(const XmModule& module, int32_t order) {
    if (uint32_t(order) >= order_table_entries || module.patterns == nullptr) return nullptr;
    const int32_t number = module.orders[order];
    if (number >= module.pattern_count) return nullptr;
    return &module.patterns[number];
}

}  // namespace

int32_t order_rows(const XmModule& module, int32_t order) {
    const XmPattern* pattern = order_pattern(module, order);
    return pattern != nullptr ? pattern->row_count : missing_pattern_rows;
}

int32_t played_channel_count(const XmModule& module) {
    return std::min<int32_t>(module.channel_count, channel_capacity);  // the loader's: 0..32
}

const XmCell* current_row_cells(const XmModule& module) {
    const XmPattern* pattern = order_pattern(module, module.order_position);
    if (pattern == nullptr || pattern->cells == nullptr) return nullptr;  // no channels: no cells
    if (uint32_t(module.row) >= uint32_t(pattern->row_count)) return nullptr;
    return pattern->cells + size_t(module.row) * size_t(module.channel_count);
}

const XmInstrument& channel_instrument(const XmModule& module, const ChannelState& channel) {
    if (module.instruments == nullptr || channel.instrument >= module.instrument_count) {
        return empty_instrument;
    }
    return module.instruments[channel.instrument];
}

// The channel's note is 0..95; the empty instrument's slots are all null.
XmSample& channel_sample(const XmInstrument& instrument, const ChannelState& channel) {
    const uint8_t slot = instrument.note_samples[channel.note];
    if (slot >= 16 || instrument.samples[slot] == nullptr) return empty_sample;
    return *instrument.samples[slot];
}
