// Scene 2's fan of titles without GL: the case by pattern row, the turn of each copy and its
// colour, from the fan's rules written out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "scenes/title_fan_math.h"

namespace {

struct RowCase {
    uint32_t row;
    const char* title;
};

class FanTitleByRow : public testing::TestWithParam<RowCase> {};

TEST_P(FanTitleByRow, IsUpperCaseOnEveryFourthRow) {
    EXPECT_EQ(std::string(fan_title(GetParam().row)), GetParam().title) << GetParam().row;
}

INSTANTIATE_TEST_SUITE_P(Rows, FanTitleByRow,
                         testing::Values(RowCase{0, "TIRVALEX 3"}, RowCase{1, "tirvalex 3"},
                                         RowCase{2, "tirvalex 3"}, RowCase{3, "tirvalex 3"},
                                         RowCase{4, "TIRVALEX 3"}, RowCase{63, "tirvalex 3"},
                                         RowCase{64, "TIRVALEX 3"}, RowCase{252, "TIRVALEX 3"},
                                         RowCase{255, "tirvalex 3"}));

TEST(TitleFan, StandsAtSinePlusGroupAtTimeZero) {
    // Without a clock the copy n stands at sin(n) + floor(n/4) degrees.
    for (int32_t n = 0; n < fan_copies; ++n) {
        EXPECT_DOUBLE_EQ(fan_angle(n, 0.0f), std::sin(n) + n / 4) << n;
    }
    EXPECT_DOUBLE_EQ(fan_angle(63, 0.0f), std::sin(63.0) + 15.0);
}

TEST(TitleFan, TurnsFiftyDegreesPerSecond) {
    // t = 1000 ms: t/20 = 50 degrees; copy 0 trembles by sin(1000).
    EXPECT_DOUBLE_EQ(fan_angle(0, 1000.0f), std::sin(1000.0) + 50.0);
    EXPECT_DOUBLE_EQ(fan_angle(8, 2000.0f), std::sin(2008.0) + 100.0 + 2.0);
}

TEST(TitleFan, NeighboursInAGroupDifferOnlyByTheirTremble) {
    const float t = 4321.0f;
    for (int32_t n = 0; n + 1 < fan_copies; ++n) {
        if (n % 4 == 3) continue;  // n + 1 starts the next group
        const double tremble =
            std::sin(static_cast<double>(n + 1 + t)) - std::sin(static_cast<double>(n + t));
        EXPECT_NEAR(fan_angle(n + 1, t) - fan_angle(n, t), tremble, 1e-12) << n;
    }
}

TEST(TitleFan, ColoursFollowTheCopyAndTheClock) {
    // t = 0, copy 2: red sin(2 cos 2), green cos(2 + sin 2), blue sin 2.
    const QuadColour c = fan_colour(2, 0.0f, 0);
    EXPECT_EQ(c.red, static_cast<float>(std::sin(2.0 * std::cos(2.0))));
    EXPECT_EQ(c.green, static_cast<float>(std::cos(2.0 + std::sin(2.0))));
    EXPECT_EQ(c.blue, static_cast<float>(std::sin(2.0)));
    // A step adds 1 to green's argument only.
    const QuadColour stepped = fan_colour(2, 0.0f, 1);
    EXPECT_EQ(stepped.green, static_cast<float>(std::cos(3.0 + std::sin(2.0))));
    EXPECT_EQ(stepped.red, c.red);
    EXPECT_EQ(stepped.blue, c.blue);
    // t = 500 ms, copy 1: blue sin(501).
    EXPECT_EQ(fan_colour(1, 500.0f, 0).blue, static_cast<float>(std::sin(501.0)));
}

}  // namespace
