// The tube of scenes 2 and 3 without GL: the ring update with both radius rules, the corners
// of the tube and the quad colours. Expectations come from the ring, corner and colour rules
// written out by hand (the closed forms at time 0, the single-precision pi and roundings).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "scenes/scene_random.h"
#include "scenes/tube_math.h"

namespace {

class TubeMath : public testing::Test {
protected:
    void SetUp() override {
        ring_tables_reset();
        scene_random_reset();
    }
};

void update_all_rings(float b, RadiusRule rule) {
    for (int32_t n = 0; n < ring_count; ++n)
        update_ring(n, b, rule);
}

TEST_F(TubeMath, QuarterSecondsDivideTheClockBy250) {
    EXPECT_EQ(quarter_seconds(0), 0.0f);
    EXPECT_EQ(quarter_seconds(250), 1.0f);
    EXPECT_EQ(quarter_seconds(13700), 54.8f);
    EXPECT_EQ(quarter_seconds(1), 0.004f);
}

TEST_F(TubeMath, Scene2RingsAtTimeZeroFollowTheClosedForms) {
    update_all_rings(0.0f, scene_2_radius);
    for (int32_t n = 0; n < ring_count; ++n) {
        EXPECT_DOUBLE_EQ(ring_tex_shift[n], 0.35 * std::sin(n / 18.0) + 0.55 * std::cos(n / 12.0))
            << n;
        // n/3 goes through single precision before its cosine: off by at most a quarter of
        // half a float step of n/3 (below 2.4e-7 for n/3 < 21).
        EXPECT_NEAR(ring_radius[n], 0.8 + 0.25 * std::cos(n / 3.0) + 0.08 * std::sin(n / 3.0),
                    2.4e-7)
            << n;
        EXPECT_DOUBLE_EQ(ring_offset[n], 0.3 * std::cos(n / 6.0) + 0.05 * std::cos(n / 5.0)) << n;
    }
}

TEST_F(TubeMath, Scene3RingsAtTimeZeroShareOffsetAndShiftButSwellMore) {
    update_all_rings(0.0f, scene_3_radius);
    for (int32_t n = 0; n < ring_count; ++n) {
        EXPECT_DOUBLE_EQ(ring_tex_shift[n], 0.35 * std::sin(n / 18.0) + 0.55 * std::cos(n / 12.0))
            << n;
        EXPECT_DOUBLE_EQ(ring_radius[n], 0.8 + 0.45 * std::cos(n / 3.0) + 0.08 * std::sin(n / 3.0))
            << n;
        EXPECT_DOUBLE_EQ(ring_offset[n], 0.3 * std::cos(n / 6.0) + 0.05 * std::cos(n / 5.0)) << n;
    }
}

TEST_F(TubeMath, Scene2RadiusTakesTheCosineOfTheRoundedArgument) {
    // Ring 1 at b = 0: 1/3 rounds to the float 0.3333333432674408; the sine term keeps the
    // double 1/3. Ring 5 at b = 2: 5/3 - 2 = -1/3 rounds to -0.3333333432674408.
    EXPECT_DOUBLE_EQ(scene_2_radius(1, 0.0f),
                     0.8 + 0.25 * std::cos(0.3333333432674408) + 0.08 * std::sin(1.0 / 3.0));
    EXPECT_DOUBLE_EQ(scene_2_radius(5, 2.0f),
                     0.8 + 0.25 * std::cos(-0.3333333432674408) + 0.08 * std::sin(1.8 + 5.0 / 3.0));
    EXPECT_NE(scene_2_radius(1, 0.0f),
              0.8 + 0.25 * std::cos(1.0 / 3.0) + 0.08 * std::sin(1.0 / 3.0));
}

TEST_F(TubeMath, RingUpdateMovesWithTimeAndTouchesOnlyItsRing) {
    update_ring(10, 4.0f, scene_2_radius);
    EXPECT_DOUBLE_EQ(ring_tex_shift[10], 0.35 * std::sin(10 / 18.0 - 1.23 * 4.0) +
                                             0.55 * std::cos(10 / 12.0 + 0.78 * 4.0));
    EXPECT_DOUBLE_EQ(ring_offset[10],
                     0.3 * std::cos(0.9 * 4.0 + 10 / 6.0) + 0.05 * std::cos(0.93 * 4.0 + 10 / 5.0));
    EXPECT_DOUBLE_EQ(ring_radius[10],
                     0.8 +
                         0.25 * std::cos(static_cast<double>(static_cast<float>(10 / 3.0 - 4.0))) +
                         0.08 * std::sin(0.9 * 4.0 + 10 / 3.0));
    for (int32_t n = 0; n < ring_count; ++n) {
        if (n == 10) continue;
        EXPECT_EQ(ring_radius[n], 0.0) << n;
        EXPECT_EQ(ring_offset[n], 0.0) << n;
        EXPECT_EQ(ring_tex_shift[n], 0.0) << n;
    }
}

TEST_F(TubeMath, ZeroTablesCollapseEveryCornerOntoTheAxis) {
    for (int32_t k = 0; k < ring_count; ++k) {
        for (int32_t m = 0; m <= tube_segments; ++m) {
            const TubeCorner c = tube_corner(k, m);
            EXPECT_EQ(c.x, 0.0f);
            EXPECT_EQ(c.z, 0.0f);
            EXPECT_EQ(c.y, static_cast<float>(5.5 * k / 65.0));
            EXPECT_EQ(c.s, static_cast<float>(m / 4.0));
            EXPECT_EQ(c.t, c.y);
        }
    }
}

TEST_F(TubeMath, CornersLieOnTheRingsEllipse) {
    ring_radius[7] = 1.0;
    ring_offset[7] = 0.5;
    ring_tex_shift[7] = 0.25;
    const float y = static_cast<float>(5.5 * 7 / 65.0);  // 0.5923...
    const TubeCorner start = tube_corner(7, 0);
    EXPECT_FLOAT_EQ(start.x, 0.8f);  // 0.3 R + X
    EXPECT_EQ(start.y, y);
    EXPECT_EQ(start.z, 0.0f);
    EXPECT_EQ(start.s, 0.25f);
    const TubeCorner quarter = tube_corner(7, 4);  // theta = pi/2: the semi-axis along z
    EXPECT_NEAR(quarter.x, 0.5f, 1e-7);
    EXPECT_FLOAT_EQ(quarter.z, 0.7f);
    EXPECT_EQ(quarter.s, 1.25f);
    const TubeCorner half = tube_corner(7, 8);
    EXPECT_FLOAT_EQ(half.x, 0.2f);
    EXPECT_NEAR(half.z, 0.0f, 1e-7);
    const TubeCorner closing = tube_corner(7, 16);  // 2 pi in single precision closes the ring
    EXPECT_FLOAT_EQ(closing.x, start.x);
    EXPECT_NEAR(closing.z, start.z, 1e-6);
    EXPECT_EQ(closing.s, 4.25f);
}

TEST_F(TubeMath, CornerAngleUsesTheSinglePrecisionPi) {
    // theta for m = 1 is 2 * 3.1415927f / 16 = 0.39269909 (a float), not pi/8 in double.
    ring_radius[0] = 1.0;
    const double theta = static_cast<double>(2.0f * 3.1415927f / 16.0f);
    const TubeCorner c = tube_corner(0, 1);
    EXPECT_EQ(c.x, static_cast<float>(0.3 * std::cos(theta)));
    EXPECT_EQ(c.z, static_cast<float>(0.7 * std::sin(theta)));
}

TEST_F(TubeMath, Scene2ColoursAtTimeZeroWithoutStepsAreSinCosTanOfTheSegment) {
    for (int32_t i : {0, 5, 62}) {
        for (int32_t j = 0; j < tube_segments; ++j) {
            const QuadColour c = scene_2_quad_colour(i, j, 0.0f, 0, 0, 0);
            EXPECT_EQ(c.red, static_cast<float>(std::sin(j)));
            EXPECT_EQ(c.green, static_cast<float>(std::cos(-j)));
            EXPECT_EQ(c.blue, static_cast<float>(std::tan(j)));
        }
    }
}

TEST_F(TubeMath, Scene2StepAddsOneToItsOwnComponentOnly) {
    const QuadColour plain = scene_2_quad_colour(3, 2, 0.0f, 0, 0, 0);
    const QuadColour blue_step = scene_2_quad_colour(3, 2, 0.0f, 1, 0, 0);
    EXPECT_EQ(blue_step.blue, static_cast<float>(std::tan(3.0)));
    EXPECT_EQ(blue_step.green, plain.green);
    EXPECT_EQ(blue_step.red, plain.red);
    const QuadColour green_step = scene_2_quad_colour(3, 2, 0.0f, 0, 1, 0);
    EXPECT_EQ(green_step.green, static_cast<float>(std::cos(-1.0)));
    EXPECT_EQ(green_step.blue, plain.blue);
    const QuadColour red_step = scene_2_quad_colour(3, 2, 0.0f, 0, 0, 1);
    EXPECT_EQ(red_step.red, static_cast<float>(std::sin(3.0)));
    EXPECT_EQ(red_step.green, plain.green);
}

TEST_F(TubeMath, Scene2ColoursRippleAlongTheTubeWithTime) {
    // b = 60 (15 s): band 3, segment 1 -> blue tan(60/30*3 + 1) = tan 7, green cos(60/20*3 - 1)
    // = cos 8, red sin(60/20*3 + 1) = sin 10; all parts exact in single precision.
    const QuadColour c = scene_2_quad_colour(3, 1, 60.0f, 0, 0, 0);
    EXPECT_EQ(c.blue, static_cast<float>(std::tan(7.0)));
    EXPECT_EQ(c.green, static_cast<float>(std::cos(8.0)));
    EXPECT_EQ(c.red, static_cast<float>(std::sin(10.0)));
}

TEST_F(TubeMath, TanLeavesTheColourUnclamped) {
    // j = 11 at time 0: tan 11 is about -225.95, passed on as it is.
    const QuadColour c = scene_2_quad_colour(0, 11, 0.0f, 0, 0, 0);
    EXPECT_LT(c.blue, -200.0f);
}

TEST_F(TubeMath, Scene3StripesDependOnSegmentAndTimeOnly) {
    // b = 40: blue sin 40 everywhere; segment 2 -> green cos(20 - 6) = cos 14, red cos(2 * 2).
    const QuadColour c = scene_3_quad_colour(2, 40.0f, 0, 0);
    EXPECT_EQ(c.blue, static_cast<float>(std::sin(40.0)));
    EXPECT_EQ(c.green, static_cast<float>(std::cos(14.0)));
    EXPECT_EQ(c.red, static_cast<float>(std::cos(4.0)));
    const QuadColour stepped = scene_3_quad_colour(2, 40.0f, 1, 1);
    EXPECT_EQ(stepped.green, static_cast<float>(std::cos(15.0)));
    EXPECT_EQ(stepped.red, static_cast<float>(std::cos(5.0)));
    EXPECT_EQ(stepped.blue, c.blue);
    // Every band of a frame gets the same stripe colours (no step on the first draws).
    for (int32_t i = 0; i < band_count; ++i) {
        const QuadColour banded = scene_3_face_colour(i, 2, 40.0f);
        EXPECT_EQ(banded.green, c.green) << i;
        EXPECT_EQ(banded.red, c.red) << i;
    }
}

// Advances the random source so that its next draw is the 32767 at draw 38724.
void advance_to_full_draw(int32_t draws_before) {
    scene_random_reset();
    for (int32_t k = 0; k < 38724 - 1 - draws_before; ++k)
        scene_rand();
}

TEST_F(TubeMath, Scene2FaceColourDrawsBlueThenGreenThenRed) {
    const QuadColour plain = scene_2_quad_colour(0, 1, 0.0f, 0, 0, 0);
    advance_to_full_draw(0);  // the first of the three draws is 32767
    EXPECT_EQ(scene_2_face_colour(0, 1, 0.0f).blue, static_cast<float>(std::tan(2.0)));
    advance_to_full_draw(1);
    const QuadColour second = scene_2_face_colour(0, 1, 0.0f);
    EXPECT_EQ(second.green, static_cast<float>(std::cos(0.0)));
    EXPECT_EQ(second.blue, plain.blue);
    advance_to_full_draw(2);
    const QuadColour third = scene_2_face_colour(0, 1, 0.0f);
    EXPECT_EQ(third.red, static_cast<float>(std::sin(2.0)));
    EXPECT_EQ(third.green, plain.green);
}

TEST_F(TubeMath, Scene3FaceColourDrawsGreenThenRed) {
    advance_to_full_draw(0);
    EXPECT_EQ(scene_3_face_colour(9, 1, 0.0f).green, static_cast<float>(std::cos(1.0 - 3.0)));
    advance_to_full_draw(1);
    const QuadColour second = scene_3_face_colour(9, 1, 0.0f);
    EXPECT_EQ(second.red, static_cast<float>(std::cos(1.0)));
    EXPECT_EQ(second.green, static_cast<float>(std::cos(-3.0)));
}

}  // namespace
