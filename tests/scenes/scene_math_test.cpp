// The scenes' maths without GL. Every expected value is the scene's rule evaluated by hand (a
// calculator in double precision, single-precision steps rounded where the rule rounds them).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "scenes/scene_random.h"
#include "scenes/title_fan_math.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

TEST(Tube, RingUpdateFollowsEachScenesRadiusRuleAwayFromTimeZero) {
    // b = 40 (10 s) and 80 (20 s). U = 0.35 sin(n/18 - 1.23b) + 0.55 cos(n/12 + 0.78b),
    // X = 0.3 cos(0.9b + n/6) + 0.05 cos(0.93b + n/5); scene 2's R = 0.8 + 0.25 cos(float(n/3 -
    // b)) + 0.08 sin(0.9b + n/3), scene 3's R = 0.8 + 0.45 cos(b + n/3) + 0.08 sin(0.9b + n/3).
    struct Ring {
        const char* scene;
        RadiusRule rule;
        float b;
        double shift;
        double radius;
        double offset;
    };
    const Ring rings[] = {
        {"scene 2", scene_2_radius, 40.0f, 0.879934401615, 0.998788341359, 0.238272040267},
        {"scene 3", scene_3_radius, 80.0f, 0.784083303458, 1.170982635797, -0.201479673853}};
    for (const Ring& ring : rings) {
        update_ring(5, ring.b, ring.rule);
        EXPECT_NEAR(ring_tex_shift[5], ring.shift, 1e-11) << ring.scene;
        EXPECT_NEAR(ring_radius[5], ring.radius, 1e-11) << ring.scene;
        EXPECT_NEAR(ring_offset[5], ring.offset, 1e-11) << ring.scene;
    }
}

TEST(Tube, CornerAndQuadColour) {
    // Ring 7 with R 2, X 0.5, U 0.25, corner 3: theta = float(2 x 3.1415927 x 3 / 16) =
    // 1.1780972; x = 0.6 cos theta + 0.5, y = t = 5.5 x 7 / 65, z = 1.4 sin theta, s = 3/4 + 0.25.
    ring_radius[7] = 2.0;
    ring_offset[7] = 0.5;
    ring_tex_shift[7] = 0.25;
    const TubeCorner c = tube_corner(7, 3);
    EXPECT_NEAR(c.x, 0.72961009, 1e-6);
    EXPECT_EQ(c.y, 0.59230769f);
    EXPECT_NEAR(c.z, 1.29343140, 1e-6);
    EXPECT_EQ(c.s, 1.0f);
    EXPECT_EQ(c.t, 0.59230769f);
    // Scene 2, band 3, segment 2, b = 40, steps 1: red sin(1 + 40/20 x 3 + 2) = sin 9, green
    // cos(1 + 40/20 x 3 - 2) = cos 5, blue tan(1 + 40/30 x 3 + 2) = tan 7. Scene 3, segment 2,
    // b = 80, steps 1: red cos(1 + 80/20 x 2) = cos 9, green cos(1 + 40 - 6) = cos 35, blue sin 80.
    struct Colour {
        const char* scene;
        QuadColour got;
        QuadColour expected;
    };
    const Colour colours[] = {{"scene 2",
                               scene_2_quad_colour(3, 2, 40.0f, 1, 1, 1),
                               {0.41211849f, 0.28366219f, 0.87144798f}},
                              {"scene 3",
                               scene_3_quad_colour(2, 80.0f, 1, 1),
                               {-0.91113026f, -0.90369221f, -0.99388865f}}};
    for (const Colour& colour : colours) {
        EXPECT_NEAR(colour.got.red, colour.expected.red, 1e-6) << colour.scene;
        EXPECT_NEAR(colour.got.green, colour.expected.green, 1e-6) << colour.scene;
        EXPECT_NEAR(colour.got.blue, colour.expected.blue, 1e-6) << colour.scene;
    }
}

TEST(TitleFan, UpperCaseOnEveryFourthRow) {
    EXPECT_EQ(std::string(fan_title(4)) + fan_title(5) + fan_title(6),
              "TIRVALEX 3tirvalex 3tirvalex 3");
}

TEST(Tunnel, PointsAndTextureGrid) {
    // T = 100, h = 5 - j/12, a = i x 0.19634955, points (i, j) -> x, y, z = -j, and s, t.
    fill_tunnel_points(100.0f);
    fill_tunnel_texcoords(100.0f);
    struct Point {
        int32_t i;
        int32_t j;
        float x;
        float y;
        float s;
        float t;
    };
    const Point points[] = {{5, 20, -5.580410f, 7.164330f, 2.3229167f, 1.625f},
                            {32, 32, -2.038796f, 4.821933f, 3.9666667f, 2.1f}};
    for (const Point& point : points) {
        const auto& place = tunnel_points[point.i][point.j];
        const auto& texcoord = tunnel_texcoords[point.i][point.j];
        EXPECT_NEAR(place.x, point.x, 2e-5) << point.i << "," << point.j;
        EXPECT_NEAR(place.y, point.y, 2e-5) << point.i << "," << point.j;
        EXPECT_EQ(place.z, float(-point.j)) << point.i << "," << point.j;
        EXPECT_NEAR(texcoord.s, point.s, 1e-6) << point.i << "," << point.j;
        EXPECT_NEAR(texcoord.t, point.t, 1e-6) << point.i << "," << point.j;
    }
}

TEST(SceneState, ResetsPutTheProgramStartBack) {
    // The capture tool and the benchmarks start the show again with these.
    update_ring(0, 7.0f, scene_3_radius);
    update_ring(63, 7.0f, scene_3_radius);
    fill_tunnel_points(9.0f);
    fill_tunnel_texcoords(9.0f);
    scene_rand();
    tunnel_prev_clock = 5;
    tunnel_time = 3.0f;
    ring_tables_reset();
    tunnel_reset();
    scene_random_reset();
    // The first and last places of each table: every loop runs its whole range.
    const std::pair<const char*, double> zeroed[] = {
        {"ring_offset[0]", ring_offset[0]},
        {"ring_radius[63]", ring_radius[63]},
        {"ring_tex_shift[63]", ring_tex_shift[63]},
        {"tunnel_points[0][0].x", tunnel_points[0][0].x},
        {"tunnel_points[32][32].z", tunnel_points[32][32].z},
        {"tunnel_texcoords[32][32].s", tunnel_texcoords[32][32].s},
        {"tunnel_prev_clock", tunnel_prev_clock},
        {"tunnel_time", tunnel_time}};
    for (const auto& [name, value] : zeroed)
        EXPECT_EQ(value, 0.0) << name;
    EXPECT_EQ(scene_rand(), 41);
}

}  // namespace
