// The scenes' maths without GL. Every expected value is the scene's rule evaluated by hand (a
// calculator in double precision, single-precision steps rounded where the rule rounds them).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "scenes/scene_random.h"
#include "scenes/title_fan_math.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

TEST(Tube, RingUpdateFollowsEachScenesRadiusRuleAwayFromTimeZero) {
    // b = 40 (10 s) and 80 (20 s). U = 0.35 sin(n/18 - 1.23b) + 0.55 cos(n/12 + 0.78b),
    // X = 0.3 cos(0.9b + n/6) + 0.05 cos(0.93b + n/5); scene 2's R = 0.8 + 0.25 cos(float(n/3 -
    // b)) + 0.08 sin(0.9b + n/3), scene 3's R = 0.8 + 0.45 cos(b + n/3) + 0.08 sin(0.9b + n/3).
    const std::tuple<RadiusRule, int32_t, float, double, double, double> table[] = {
        {scene_2_radius, 5, 40.0f, 0.879934401615, 0.998788341359, 0.238272040267},
        {scene_3_radius, 5, 80.0f, 0.784083303458, 1.170982635797, -0.201479673853}};
    for (const auto& [rule, n, b, u, r, x] : table) {
        update_ring(n, b, rule);
        EXPECT_LT(std::fabs(ring_tex_shift[n] - u) + std::fabs(ring_radius[n] - r) +
                      std::fabs(ring_offset[n] - x),
                  1e-11)
            << n;
    }
}

TEST(Tube, CornerAndQuadColour) {
    // Ring 7 with R 2, X 0.5, U 0.25, corner 3: theta = float(2 x 3.1415927 x 3 / 16) =
    // 1.1780972; x = 0.6 cos theta + 0.5, y = t = 5.5 x 7 / 65, z = 1.4 sin theta, s = 3/4 + 0.25.
    ring_radius[7] = 2.0, ring_offset[7] = 0.5, ring_tex_shift[7] = 0.25;
    const TubeCorner c = tube_corner(7, 3);
    EXPECT_TRUE(std::fabs(c.x - 0.72961009) < 1e-6 && std::fabs(c.z - 1.29343140) < 1e-6);
    EXPECT_EQ(std::vector<float>({c.y, c.s, c.t}),
              std::vector<float>({0.59230769f, 1.0f, 0.59230769f}));
    // Scene 2, band 3, segment 2, b = 40, steps 1: red sin(1 + 40/20 x 3 + 2) = sin 9, green
    // cos(1 + 40/20 x 3 - 2) = cos 5, blue tan(1 + 40/30 x 3 + 2) = tan 7. Scene 3, segment 2,
    // b = 80, steps 1: red cos(1 + 80/20 x 2) = cos 9, green cos(1 + 40 - 6) = cos 35, blue sin 80.
    for (const auto& [q, red, green, blue] :
         {std::tuple(scene_2_quad_colour(3, 2, 40.0f, 1, 1, 1), 0.41211849, 0.28366219, 0.87144798),
          std::tuple(scene_3_quad_colour(2, 80.0f, 1, 1), -0.91113026, -0.90369221, -0.99388865)})
        EXPECT_LT(std::fabs(q.red - red) + std::fabs(q.green - green) + std::fabs(q.blue - blue),
                  1e-6);
}

TEST(TitleFan, UpperCaseOnEveryFourthRow) {
    EXPECT_EQ(std::string(fan_title(4)) + fan_title(5) + fan_title(6),
              "TIRVALEX 3tirvalex 3tirvalex 3");
}

TEST(Tunnel, TimeGridAndTexts) {
    // The first frame adds nothing stored: 28720 / 50 = 574.4; the next adds the stored
    // reading: (28740 + 28720) / 50 = 1149.2, both truncated.
    EXPECT_EQ(std::pair(tunnel_time_value(28720, 0), tunnel_time_value(28740, 28720)),
              std::pair(574.0f, 1149.0f));
    // T = 100, h = 5 - j/12, a = i x 0.19634955, points (i, j) -> x, y, z = -j, and s, t.
    fill_tunnel_points(100.0f), fill_tunnel_texcoords(100.0f);
    const std::tuple<int32_t, int32_t, float, float, float, float> table[] = {
        {5, 20, -5.580410f, 7.164330f, 2.3229167f, 1.625f},
        {32, 32, -2.038796f, 4.821933f, 3.9666667f, 2.1f}};
    for (const auto& [i, j, x, y, s, t] : table) {
        const auto& [p, tex] = std::tie(tunnel_points[i][j], tunnel_texcoords[i][j]);
        EXPECT_TRUE(std::fabs(p.x - x) < 2e-5 && std::fabs(p.y - y) < 2e-5 && p.z == -j &&
                    std::fabs(tex.s - s) < 1e-6 && std::fabs(tex.t - t) < 1e-6)
            << i << "," << j;
    }
    // At 20 s the message is centred 92 - 40 = 52 units right, the greetings 86 - 40 = 46.
    EXPECT_EQ(std::pair(scroller_x(20.0f), greetings_x(20.0f)), std::pair(52.0f, 46.0f));
}

TEST(SceneState, ResetsPutTheProgramStartBack) {
    // The capture tool and the benchmarks start the show again with these.
    update_ring(0, 7.0f, scene_3_radius), update_ring(63, 7.0f, scene_3_radius);
    fill_tunnel_points(9.0f), fill_tunnel_texcoords(9.0f), scene_rand();
    tunnel_prev_clock = 5, tunnel_time = 3.0f;
    ring_tables_reset(), tunnel_reset(), scene_random_reset();
    // The first and last places of each table: every loop runs its whole range.
    EXPECT_EQ(
        std::vector<double>({ring_offset[0], ring_radius[63], ring_tex_shift[63],
                             tunnel_points[0][0].x, tunnel_points[32][32].z,
                             tunnel_texcoords[32][32].s, double(tunnel_prev_clock), tunnel_time}),
        std::vector<double>(8, 0.0));
    EXPECT_EQ(scene_rand(), 41);
}

}  // namespace
