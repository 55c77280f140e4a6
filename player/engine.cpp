// The playback engine's tick driver: the row tick and the song position. Every tick is a row
// tick (tick 0) or a later tick; a row lasts speed + pattern_delay ticks, and every target
// chosen during a row (jump, break, loop, end of pattern) takes effect at the next row tick.
//
// Malformed songs are absorbed the same way at the row tick and the later ticks (see
// player/song_state.cpp): an order position outside the song plays order 0, a row at or beyond
// its pattern's rows plays row 0, a pattern the module lacks is 64 empty rows, a pattern of 0
// rows is one row without cells.
#include <algorithm>
#include <cstdint>

#include "player/effects.h"
#include "player/engine.h"

// Zeroes every channel and voice, so a test or a fresh start finds every memory, position and
// counter at 0; a song's start links its channels to their first voices.
void engine_reset() {
    for (int i = 0; i < voice_capacity; ++i) {
        voices[i] = Voice{};
        voices[i].index = i;
        voices[i].step = 1;
    }
    for (ChannelState& channel : channels)
        channel = ChannelState{};
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

    // The last tremolo offset stays when the tremolo ends; it was kept so that the volume with
    // it lies within 0..64.
    if (channel.last_effect == EFFECT_TREMOLO && cell.effect != EFFECT_TREMOLO) {
        channel.volume += channel.volume_offset;
    }
    channel.last_effect = cell.effect;
    channel.volume_offset = 0;
    channel.update_flags = UPDATE_FREQUENCY | UPDATE_VOLUME;  // every row asks for both

    if (is_note(cell.note)) {
        // Real notes outside the range the periods are defined for play as its nearest end.
        const int32_t real_note = cell.note + sample.relative_note - 1;
        channel.real_note = uint8_t(std::clamp(real_note, 0, highest_real_note));
        channel.note_period = note_period(module, channel.real_note, sample.finetune);
        if (!portamento) channel.period = channel.note_period;
        channel.update_flags |= UPDATE_TRIGGER;
    }
    channel.period_offset = 0;

    if (cell.instrument != 0) reset_for_instrument(&channel, &sample);
    volume_column_row(&channel, cell.volume);
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
// outside it plays order 0, a row at or beyond its pattern's rows plays row 0. Compared
// unsigned, a negative position lies beyond every end.
void settle_position(XmModule& module) {
    const uint32_t orders = uint32_t(std::max(song_entries(module), 1));
    if (uint32_t(module.order_position) >= orders) module.order_position = 0;
    const uint32_t rows = uint32_t(order_rows(module, module.order_position));
    if (uint32_t(module.row) >= rows) module.row = 0;
}

// The position after a row that chose none: the next row, or row 0 of the next order at the
// end of the pattern; after the last order the song goes on at restart_position (order 0 when
// that lies outside the song, as settle_position puts it at the next row tick).
void advance_position(XmModule& module) {
    module.next_row = module.row + 1;
    if (module.next_row < order_rows(module, module.order_position)) return;
    int32_t order = module.order_position + 1;
    if (order >= song_entries(module)) order = std::max<int32_t>(module.restart_position, 0);
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
