// The playback engine's spine: the channel and voice tables, the tempo, the note periods, the
// song position and the row tick. Every tick is a row tick (tick 0) or a later tick; a row lasts
// speed + pattern_delay ticks, and every target chosen during a row (jump, break, loop, end of
// pattern) takes effect at the next row tick.
//
// Malformed songs are absorbed here, the same way at the row tick and the later ticks: an order
// position outside the song plays order 0, a row at or beyond its pattern's rows plays row 0, a
// pattern the module lacks is 64 empty rows, a pattern of 0 rows is one row without cells.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "player/audio_format.h"
#include "player/effects.h"
#include "player/engine.h"

ChannelState channels[channel_capacity];
Voice voices[voice_capacity];
XmInstrument empty_instrument;

namespace {

constexpr int32_t order_table_entries = 256;
constexpr int32_t fallback_bpm = 125;  // the XM default, for a song that says 0
constexpr uint16_t LINEAR_FREQUENCIES = 1 << 0;

// Amiga table: P(k) = trunc(13.375 x 2^((132 - k) / 12)), with 1/12 as a 32-bit float.
constexpr float one_twelfth = 1.0f / 12.0f;
constexpr int32_t amiga_note_limit = 255;

// Linear table: 7680 - 64 x note - finetune / 2.
constexpr int32_t linear_base_period = 7680;
constexpr int32_t linear_periods_per_note = 64;

}  // namespace

// Zeroes every channel and voice and links channel c to voice c, so a test or a fresh start
// finds every memory, position and counter at 0.
void engine_reset() {
    for (int i = 0; i < voice_capacity; ++i) {
        voices[i] = Voice{};
        voices[i].index = i;
        voices[i].step = 1;
    }
    for (int c = 0; c < channel_capacity; ++c) {
        channels[c] = ChannelState{};
        channels[c].voice = &voices[c];
    }
    empty_instrument = XmInstrument{};
}

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
    const double most_frames = 2147483647.0;
    module->samples_per_tick = frames >= 1.0 ? int32_t(std::min(frames, most_frames)) : 1;
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
    note = std::clamp(note, 0, amiga_note_limit);
    finetune = std::clamp(finetune, -128, 127);
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
    return std::clamp<int32_t>(module.song_length, 0, order_table_entries);
}

namespace {

// The pattern that the order table names at a position, or null when the position is outside
// the table or names a pattern the module lacks. A song of length 0 still plays the pattern
// its first order entry names.
const XmPattern* order_pattern(const XmModule& module, int32_t order) {
    if (order < 0 || order >= order_table_entries || module.patterns == nullptr) return nullptr;
    const int32_t number = module.orders[order];
    if (number >= module.pattern_count) return nullptr;
    return &module.patterns[number];
}

}  // namespace

int32_t order_rows(const XmModule& module, int32_t order) {
    const XmPattern* pattern = order_pattern(module, order);
    return pattern != nullptr ? std::max(pattern->row_count, 0) : missing_pattern_rows;
}

int32_t played_channel_count(const XmModule& module) {
    return std::clamp<int32_t>(module.channel_count, 0, channel_capacity);
}

const XmCell* current_row_cells(const XmModule& module) {
    const XmPattern* pattern = order_pattern(module, module.order_position);
    if (pattern == nullptr || pattern->cells == nullptr || module.channel_count <= 0) {
        return nullptr;
    }
    if (module.row < 0 || module.row >= pattern->row_count) return nullptr;
    return pattern->cells + size_t(module.row) * size_t(module.channel_count);
}

const XmInstrument& channel_instrument(const XmModule& module, const ChannelState& channel) {
    if (module.instruments == nullptr || channel.instrument >= module.instrument_count) {
        return empty_instrument;
    }
    return module.instruments[channel.instrument];
}

XmSample& channel_sample(const XmInstrument& instrument, const ChannelState& channel) {
    if (&instrument == &empty_instrument || channel.note >= last_note) return empty_sample;
    const uint8_t slot = instrument.note_samples[channel.note];
    if (slot >= 16 || instrument.samples[slot] == nullptr) return empty_sample;
    return *instrument.samples[slot];
}

// Instrument start: the sample's volume and panning, both envelopes back to point 0, the key
// pressed, full fadeout volume and the auto-vibrato from its start. The vibrato and tremolo
// positions restart unless their waveform asks to keep them (a nibble of 4 or more). A sample
// volume above 64 (not produced by a well-formed file) plays as 64.
void reset_for_instrument(ChannelState* channel, const XmSample* sample) {
    if (channel == nullptr) return;
    if (sample == nullptr) sample = &empty_sample;
    channel->volume = std::min<int32_t>(sample->volume, 64);
    channel->panning = std::clamp<int32_t>(sample->panning, 0, 255);
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

namespace {

bool is_note(uint8_t note) {
    return note >= 1 && note <= last_note;
}

// Tone portamento rows keep the channel's instrument and note and only aim at the new note.
bool is_portamento_row(const XmCell& cell) {
    return cell.effect == EFFECT_TONE_PORTA || cell.effect == EFFECT_TONE_PORTA_VOLUME_SLIDE ||
           cell.volume >= 0xF0;
}

// The row tick of one channel: instrument and note columns, the note start, the volume column,
// key-off, envelopes and fadeout, the row part of the effect, then the voice.
void process_channel_row(XmModule& module, ChannelState& channel, const XmCell& cell,
                         RowMarks& marks) {
    const bool portamento = is_portamento_row(cell);
    if (cell.instrument != 0 && !portamento) channel.instrument = uint8_t(cell.instrument - 1);
    if (is_note(cell.note) && !portamento) channel.note = uint8_t(cell.note - 1);

    const XmInstrument& instrument = channel_instrument(module, channel);
    XmSample& sample = channel_sample(instrument, channel);
    EffectContext context{module,         channel,         cell,
                          instrument,     sample,          channel.volume,
                          channel.period, channel.panning, &marks};

    // The last tremolo offset stays when the tremolo ends.
    if (channel.last_effect == EFFECT_TREMOLO && cell.effect != EFFECT_TREMOLO) {
        channel.volume = std::clamp(channel.volume + channel.volume_offset, 0, 64);
    }
    channel.last_effect = cell.effect;
    channel.volume_offset = 0;
    channel.update_flags = 0;

    if (is_note(cell.note)) {
        // Real notes outside the range the periods are defined for play as its nearest end.
        const int32_t real_note = cell.note + sample.relative_note - 1;
        channel.real_note = uint8_t(std::clamp(real_note, 0, highest_real_note));
        channel.note_period = note_period(module, channel.real_note, sample.finetune);
        if (!portamento) channel.period = channel.note_period;
        channel.update_flags |= UPDATE_TRIGGER;
    }
    channel.period_offset = 0;
    channel.update_flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;

    if (cell.instrument != 0) reset_for_instrument(&channel, &sample);
    if (cell.volume != 0) volume_column_row(&channel, cell.volume);
    if (cell.note == key_off_note || cell.effect == EFFECT_KEY_OFF) channel.key_released = 1;

    // Without a volume envelope a key-off cuts the note at once.
    if ((instrument.volume_type & ENVELOPE_ON) == 0 && channel.key_released) {
        channel.volume_env_value = 0;
    }
    run_envelopes(channel, instrument);
    if (channel.key_released) fade_out(channel, instrument);

    row_effect(context);
    auto_vibrato_step(&channel, &instrument);
    update_voice(&channel, &sample, &module);
}

// Puts a position chosen by a jump, a break, a loop or a caller back inside the song: an order
// outside it plays order 0, a row at or beyond its pattern's rows plays row 0.
void settle_position(XmModule& module) {
    if (module.order_position < 0 || module.order_position >= std::max(song_entries(module), 1)) {
        module.order_position = 0;
    }
    if (module.row < 0 || module.row >= order_rows(module, module.order_position)) module.row = 0;
}

// The position after a row that chose none: the next row, or row 0 of the next order at the
// end of the pattern; after the last order the song goes on at restart_position (order 0 when
// that lies outside the song).
void advance_position(XmModule& module) {
    module.next_row = module.row + 1;
    if (module.next_row < order_rows(module, module.order_position)) return;
    const int32_t entries = song_entries(module);
    int32_t order = module.order_position + 1;
    if (order >= entries) {
        order = module.restart_position;
        if (order < 0 || order >= entries) order = 0;
    }
    module.next_order = order;
    module.next_row = 0;
}

}  // namespace

// One tick: the row tick on tick 0 (after taking the position chosen during the last row),
// the tick effects on the others; then the tick counter runs on through speed + pattern_delay.
void play_tick(XmModule* module) {
    if (module == nullptr) return;
    if (module->tick != 0) {
        process_tick_effects(module);
    } else {
        if (module->next_order >= 0) module->order_position = module->next_order;
        if (module->next_row >= 0) module->row = module->next_row;
        settle_position(*module);
        process_row(module);
        if (module->next_row == -1) advance_position(*module);
    }
    module->tick += 1;
    if (module->tick >= module->speed + module->pattern_delay) {
        module->tick = 0;
        module->pattern_delay = 0;
    }
}

// The row tick: every channel's cell of the current row in channel order. A pattern loop taken
// in the row sets the next row unless a jump or break already has.
void process_row(XmModule* module) {
    if (module == nullptr) return;
    module->next_row = -1;
    module->next_order = -1;
    RowMarks marks{false, -1};
    const XmCell* cells = current_row_cells(*module);
    if (cells == nullptr) return;
    const int32_t count = played_channel_count(*module);
    for (int32_t c = 0; c < count; ++c) {
        process_channel_row(*module, channels[c], cells[c], marks);
    }
    if (module->next_row == -1 && marks.loop_target >= 0) module->next_row = marks.loop_target;
}
