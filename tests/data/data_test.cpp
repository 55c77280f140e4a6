// The show's data: the embedded song as the program loads it, and the two scrolling texts.
#include <gtest/gtest.h>

#include <string>

#include "data/module_bytes.h"
#include "data/texts.h"
#include "player/session.h"

namespace {

TEST(Data, SongLoadsWithTheShapeTheShowWasTimedAgainst) {
    XmModule* song = load_song(module_bytes, module_size);
    ASSERT_NE(song, nullptr) << load_song_failure();
    // 4 channels, 14 patterns in order (the last stored empty), flags 1, tempo 5 at 125 BPM.
    EXPECT_EQ(song->channel_count, 4);
    EXPECT_EQ(song->song_length, 14);
    EXPECT_EQ(song->pattern_count, 14);
    EXPECT_EQ(song->flags, 1);
    EXPECT_EQ(song->default_speed, 5);
    EXPECT_EQ(song->default_bpm, 125);
    EXPECT_EQ(song->patterns[13].row_count, 64);
    EXPECT_EQ(song->patterns[13].cells[255].note, 0);
    // Eight instruments, the last two without samples.
    ASSERT_EQ(song->instrument_count, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(song->instruments[i].sample_count, i < 6 ? 1 : 0) << "instrument " << i;
    // Rows of 7 and 5 ticks (6 on the last two composed rows and the empty pattern): 896 rows
    // take 5376 ticks of 882 frames before the song starts again from order 0, row 0.
    ASSERT_TRUE(start_song_offline(song, 44100));
    for (int64_t block = 0; song_end_frame() < 0 && block < 10000; ++block)
        play_offline_until(block);
    EXPECT_EQ(song_end_frame(), 5376 * 882);
    release_song(song);
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
