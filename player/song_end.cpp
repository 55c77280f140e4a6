#include "player/song_end.h"

#include <algorithm>
#include <bitset>

#include "player/channel.h"
#include "player/mixer.h"
#include "player/song_state.h"

namespace {

constexpr uint8_t pattern_loop_effect = 14;  // E6y: extended effect 14, sub-command 6
constexpr int64_t no_end_yet = -1;

// Where the song stands: the frame at which the next tick runs, the order/row positions played
// so far, and the frame of the row tick that first came back to one of them.
struct SongWatch {
    TickRoutine tick_routine;  // the routine watched
    int64_t next_tick_frame;
    std::bitset<65536> played;  // one bit for each order byte and row byte
    int64_t end_frame = no_end_yet;
};

SongWatch watch;

size_t position_index(const XmModule& module, int32_t row) {
    return size_t(module.order_position & 255) * 256 + size_t(row & 255);
}

// When the row just played takes a pattern loop back (a channel with E6y, y above 0, in this
// row still has repetitions to go), the rows from its loop start up to this one are played
// again, which is not the end of the song: they are forgotten.
void forget_looped_rows(const XmModule& module) {
    const XmCell* cells = current_row_cells(module);
    if (cells == nullptr) return;
    for (int c = 0; c < played_channel_count(module); ++c) {
        const XmCell& cell = cells[c];
        if (cell.effect != pattern_loop_effect || (cell.param >> 4) != 6) continue;
        if ((cell.param & 15) == 0 || channels[c].loop_count == 0) continue;
        for (int32_t row = std::max(channels[c].loop_row, 0); row <= module.row; ++row)
            watch.played.reset(position_index(module, row));
    }
}

// The watched tick routine, then a look at the position it reached, with the frame each tick
// runs at counted as the block filler counts it.
void watched_tick(XmModule* module) {
    const bool row_tick = module->tick == 0;
    const int64_t frame = watch.next_tick_frame;
    if (watch.tick_routine) watch.tick_routine(module);
    watch.next_tick_frame += frames_of_tick(module);
    if (!row_tick || watch.end_frame != no_end_yet) return;
    const size_t position = position_index(*module, module->row);
    if (watch.played.test(position)) {
        watch.end_frame = frame;
        return;
    }
    watch.played.set(position);
    forget_looped_rows(*module);
}

}  // namespace

void watch_song_end(XmModule* module) {
    if (module->tick_routine != watched_tick) {
        watch.tick_routine = module->tick_routine;
        module->tick_routine = watched_tick;
    }
    watch.next_tick_frame = 0;
    watch.played.reset();
    watch.end_frame = no_end_yet;
}

void unwatch_song_end(XmModule* module) {
    if (module->tick_routine == watched_tick) module->tick_routine = watch.tick_routine;
}

int64_t watched_song_end_frame() {
    return watch.end_frame;
}
