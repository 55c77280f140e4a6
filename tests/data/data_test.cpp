// The show's data: the embedded song as the program loads it, and the two scrolling texts.
#include <gtest/gtest.h>

#include <string>

#include "data/module_bytes.h"
#include "data/texts.h"
#include "player/session.h"

namespace {

TEST(Data, SongLoadsAndEndsWhereTheShowWasTimed) {
    XmModule* song = load_song(module_bytes, module_size);
    ASSERT_NE(song, nullptr) << load_song_failure();
    // Rows of 7 and 5 ticks (6 on the last two composed rows and the empty pattern): 896 rows
    // take 5376 ticks of 882 frames (125 BPM) before the song starts again from order 0, row 0.
    // The song's bytes are the composer's (the tools' test), its fields the loader's.
    EXPECT_EQ(song_end_frame(), -1) << "before the first offline start";
    ASSERT_TRUE(start_song_offline(song, 44100));
    EXPECT_EQ(song_end_frame(), -1) << "at the start";
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
