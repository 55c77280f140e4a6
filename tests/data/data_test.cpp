// The show's data: the embedded song as the program loads it, and the two scrolling texts.
#include <gtest/gtest.h>

#include <string>

#include "data/module_bytes.h"
#include "data/texts.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/module.h"
#include "player/output.h"

namespace {

TEST(Data, SongLoadsWithTheShapeTheShowWasTimedAgainst) {
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    XmModule* module = module_load(nullptr, nullptr);
    ASSERT_NE(module, nullptr);
    // 4 channels, 14 patterns in order (the last stored empty), flags 1, tempo 5 at 125 BPM.
    EXPECT_EQ(module->channel_count, 4);
    EXPECT_EQ(module->song_length, 14);
    EXPECT_EQ(module->pattern_count, 14);
    EXPECT_EQ(module->flags, 1);
    EXPECT_EQ(module->default_speed, 5);
    EXPECT_EQ(module->default_bpm, 125);
    EXPECT_EQ(module->patterns[13].row_count, 64);
    EXPECT_EQ(module->patterns[13].cells[255].note, 0);
    // Eight instruments, the last two without samples.
    ASSERT_EQ(module->instrument_count, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(module->instruments[i].sample_count, i < 6 ? 1 : 0) << i;
    // Rows of 7 and 5 ticks (6 on the last two composed rows and the empty pattern): 896 rows
    // take 5376 ticks before the song starts again from order 0, row 0.
    reset_song_state(module);
    int ticks = 0;
    while (ticks < 10000) {
        const bool row_tick = module->tick == 0;
        play_tick(module);
        if (row_tick && ticks > 0 && module->row == 0 && module->order_position == 0) break;
        ++ticks;
    }
    EXPECT_EQ(ticks, 5376);
}

TEST(Data, TextsAreTheirLengthInWindows1252) {
    // The message: 194 bytes, with its a-ring, a-umlaut and o-umlaut one byte each, the product's
    // name first. The greetings: 152 bytes, with one u-umlaut.
    const std::string message = scroller_text;
    EXPECT_EQ(message.size(), 194u);
    EXPECT_TRUE(message.starts_with("Tirvalex 3")) << message;
    EXPECT_EQ(std::string(greetings_text).size(), 152u);
}

}  // namespace
