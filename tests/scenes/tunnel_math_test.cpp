// Scene 4's tunnel without GL: the time value T, the point and texture grids, the ring colours
// and the positions of the two scrolling texts, from the tunnel's rules written out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "scenes/tunnel_math.h"

namespace {

class TunnelMath : public testing::Test {
protected:
    void SetUp() override { tunnel_reset(); }
};

TEST_F(TunnelMath, TimeValueIsHalfSpeedOnTheFirstFrameAndFullSpeedAfter) {
    // First frame after start-up: nothing stored yet, so T = ms / 50.
    EXPECT_EQ(tunnel_time_value(28720, 0), 574.0f);  // 574.4 truncated
    // Next frame, 20 ms later, adding the stored 28720: about ms / 25.
    EXPECT_EQ(tunnel_time_value(28740, 28720), 1149.0f);  // 57460 / 50 = 1149.2
    EXPECT_EQ(tunnel_time_value(72000, 71980), 2879.0f);  // 143980 / 50 = 2879.6
    EXPECT_EQ(tunnel_time_value(49, 0), 0.0f);
    EXPECT_EQ(tunnel_time_value(50, 0), 1.0f);
}

TEST_F(TunnelMath, TimeValueSumWrapsInThirtyTwoBits) {
    EXPECT_EQ(tunnel_time_value(0xFFFFFFFFu, 1), 0.0f);
    EXPECT_EQ(tunnel_time_value(0xFFFFFFFFu, 51), 1.0f);
}

class TunnelAtTime : public TunnelMath, public testing::WithParamInterface<float> {};

TEST_P(TunnelAtTime, MouthIsTheRadiusFiveCircleAtDepthZero) {
    fill_tunnel_points(GetParam());
    for (int32_t i = 0; i < tunnel_size; ++i) {
        const TunnelPoint& p = tunnel_points[i][0];
        EXPECT_EQ(p.z, 0.0f);
        EXPECT_NEAR(std::hypot(p.x, p.y), 5.0, 2e-5) << "point " << i;
        // Point i sits at angle i * pi/16 on the circle.
        EXPECT_NEAR(p.x, 5.0 * std::cos(i * M_PI / 16.0), 2e-5) << "point " << i;
        EXPECT_NEAR(p.y, 5.0 * std::sin(i * M_PI / 16.0), 2e-5) << "point " << i;
    }
}

TEST_P(TunnelAtTime, RingsNarrowTowardsTheDepthAndCloseOnThemselves) {
    fill_tunnel_points(GetParam());
    for (int32_t j = 0; j < tunnel_size; ++j) {
        // The centre is the mean of the 32 distinct points; every point lies h from it.
        double centre_x = 0.0, centre_y = 0.0;
        for (int32_t i = 0; i < 32; ++i) {
            centre_x += tunnel_points[i][j].x / 32.0;
            centre_y += tunnel_points[i][j].y / 32.0;
        }
        const double size = 5.0 - j / 12.0;  // 2.3333 at ring 32
        for (int32_t i = 0; i < tunnel_size; ++i) {
            const TunnelPoint& p = tunnel_points[i][j];
            EXPECT_EQ(p.z, static_cast<float>(-j));
            EXPECT_NEAR(std::hypot(p.x - centre_x, p.y - centre_y), size, 1e-4)
                << "ring " << j << " point " << i;
        }
        EXPECT_NEAR(tunnel_points[32][j].x, tunnel_points[0][j].x, 1e-4) << "ring " << j;
        EXPECT_NEAR(tunnel_points[32][j].y, tunnel_points[0][j].y, 1e-4) << "ring " << j;
    }
}

INSTANTIATE_TEST_SUITE_P(TimeValues, TunnelAtTime,
                         testing::Values(0.0f, 1.0f, 17.0f, 574.0f, 1149.0f, 2879.0f, 3600.0f));

TEST_F(TunnelMath, DeepRingsSwingWithTime) {
    // Ring 32 at T = 0 is centred at h * (2 sin(32/29) + cos(38.4/13) - 2 sin 0 - cos 0) across
    // and h * (2 cos(32/33) + sin(32/17) - 2 cos 0 - sin 0) up, h = 5 - 32/12.
    fill_tunnel_points(0.0f);
    const double h = 5.0f - 32.0f / 12.0f;
    const double centre_x = h * (2.0 * std::sin(32.0 / 29.0) + std::cos(38.4 / 13.0) - 1.0);
    const double centre_y = h * (2.0 * std::cos(32.0 / 33.0) + std::sin(32.0 / 17.0) - 2.0);
    EXPECT_NEAR(tunnel_points[0][32].x, centre_x + h, 1e-5);
    EXPECT_NEAR(tunnel_points[0][32].y, centre_y, 1e-5);
    const float before = tunnel_points[0][16].x;
    fill_tunnel_points(100.0f);
    EXPECT_GT(std::fabs(tunnel_points[0][16].x - before), 0.1f);
}

TEST_F(TunnelMath, TextureSlidesRoundAndAlongWithTime) {
    fill_tunnel_texcoords(0.0f);
    // s = i/32 + 8j/120, t = j/32 + j/120 at T = 0.
    EXPECT_FLOAT_EQ(tunnel_texcoords[16][15].s, 0.5f + 1.0f);
    EXPECT_FLOAT_EQ(tunnel_texcoords[16][15].t, 15.0f / 32.0f + 0.125f);
    fill_tunnel_texcoords(120.0f);
    // T = 120 adds 1 to s and 1 to t.
    EXPECT_FLOAT_EQ(tunnel_texcoords[0][0].s, 1.0f);
    EXPECT_FLOAT_EQ(tunnel_texcoords[0][0].t, 1.0f);
    EXPECT_FLOAT_EQ(tunnel_texcoords[32][32].s, 1.0f + 1.0f + 256.0f / 120.0f);
}

TEST_F(TunnelMath, RingColoursRushTowardsTheEye) {
    for (int32_t j = 0; j < tunnel_size - 1; ++j) {
        const QuadColour c = tunnel_ring_colour(j, 0.0f);
        EXPECT_EQ(c.red, static_cast<float>(std::sin(j)));
        EXPECT_EQ(c.green, static_cast<float>(std::tan(j)));
        EXPECT_EQ(c.blue, c.red);
    }
    // Five steps of T later ring j has the colour ring j + 1 had.
    for (int32_t j = 0; j + 1 < tunnel_size - 1; ++j) {
        const QuadColour now = tunnel_ring_colour(j, 5.0f);
        const QuadColour deeper = tunnel_ring_colour(j + 1, 0.0f);
        EXPECT_EQ(now.red, deeper.red);
        EXPECT_EQ(now.green, deeper.green);
    }
}

TEST_F(TunnelMath, TextsAreCentredOnTheLineOfSightAt46And43Seconds) {
    EXPECT_EQ(scroller_x(46.0f), 0.0f);
    EXPECT_EQ(greetings_x(43.0f), 0.0f);
    EXPECT_EQ(scroller_x(28.7f), 92.0f - 57.4f);
    EXPECT_EQ(scroller_x(47.0f), -2.0f);   // two units to the left a second later
    EXPECT_EQ(greetings_x(46.0f), -6.0f);  // six units left of the message's centre
}

TEST_F(TunnelMath, ResetForgetsTheStoredClock) {
    tunnel_prev_clock = 1234;
    tunnel_time = 5.0f;
    tunnel_reset();
    EXPECT_EQ(tunnel_prev_clock, 0u);
    EXPECT_EQ(tunnel_time, 0.0f);
}

}  // namespace
