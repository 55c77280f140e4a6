// The timeline's rule: which scene the frame after one starting at a given song time draws.
// Expected scenes come from the threshold table (strictly greater than 79, 72, 28.7, 13.7,
// tested from the top) and the bounds' single-precision values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "scenes/timeline_math.h"

namespace {

TEST(Timeline, ClockReadingRoundsOnceToTheNearestFloat) {
    // 13.7 and 28.7 are not floats; the nearest ones are these two doubles.
    EXPECT_EQ(song_seconds_from_ms(13700), 13.699999809265137f);
    EXPECT_EQ(static_cast<double>(song_seconds_from_ms(13700)), 13.699999809265137);
    EXPECT_EQ(static_cast<double>(song_seconds_from_ms(28700)), 28.700000762939453);
    EXPECT_EQ(song_seconds_from_ms(0), 0.0f);
    EXPECT_EQ(song_seconds_from_ms(79000), 79.0f);
    EXPECT_EQ(song_seconds_from_ms(1), 0.001f);
}

struct ClockCase {
    uint32_t song_ms;
    int32_t next_scene;
};

class TimelineByClock : public testing::TestWithParam<ClockCase> {};

TEST_P(TimelineByClock, SelectsTheSceneOfTheThresholdTable) {
    const ClockCase& c = GetParam();
    EXPECT_EQ(next_scene_after(song_seconds_from_ms(c.song_ms)), c.next_scene)
        << c.song_ms << " ms";
}

INSTANTIATE_TEST_SUITE_P(
    ClockReadings, TimelineByClock,
    testing::Values(ClockCase{0, 2},              // the start: the title fan
                    ClockCase{13699, 2},          // just below the first bound
                    ClockCase{13700, 2},          // 13.7 s reads as the bound itself: not past it
                    ClockCase{13701, 3},          // the credits tube
                    ClockCase{28700, 3},          // 28.7 s reads as the bound itself
                    ClockCase{28701, 4},          // the tunnel
                    ClockCase{72000, 4},          // exactly 72 s is still the tunnel
                    ClockCase{72001, 3},          // the credits again
                    ClockCase{79000, 3},          // exactly 79 s: the show goes on
                    ClockCase{79001, show_over},  // the first frame past 79 s ends it
                    ClockCase{0xFFFFFFFFu, show_over}));

struct SecondsCase {
    float seconds;
    int32_t next_scene;
};

class TimelineBySeconds : public testing::TestWithParam<SecondsCase> {};

TEST_P(TimelineBySeconds, ComparesStrictlyAtTheSinglePrecisionBounds) {
    const SecondsCase& c = GetParam();
    EXPECT_EQ(next_scene_after(c.seconds), c.next_scene) << c.seconds << " s";
}

// Each bound and the float just above it.
INSTANTIATE_TEST_SUITE_P(
    Bounds, TimelineBySeconds,
    testing::Values(SecondsCase{13.7f, 2}, SecondsCase{std::nextafter(13.7f, 100.0f), 3},
                    SecondsCase{28.7f, 3}, SecondsCase{std::nextafter(28.7f, 100.0f), 4},
                    SecondsCase{72.0f, 4}, SecondsCase{std::nextafter(72.0f, 100.0f), 3},
                    SecondsCase{79.0f, 3}, SecondsCase{std::nextafter(79.0f, 100.0f), show_over},
                    SecondsCase{-1.0f, 2}));

}  // namespace
