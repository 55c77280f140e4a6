// The scenes' random source: the classic 15-bit linear-congruential sequence (state x 214013 +
// 2531011, result bits 16..30, unseeded state 1), and the random step taken from it.
#include <gtest/gtest.h>

#include <cstdint>

#include "scenes/scene_random.h"
#include "scenes/tube_math.h"

namespace {

class SceneRandom : public testing::Test {
protected:
    void SetUp() override { scene_random_reset(); }
};

// The classic sequence's first 32767 is its 38724th draw (worked out from the rule above).
constexpr int32_t first_full_draw = 38724;

TEST_F(SceneRandom, UnseededSequenceStartsWithTheClassicValues) {
    // State 1 -> 2745024 -> ...: bits 16..30 of each new state.
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int32_t value : expected)
        EXPECT_EQ(scene_rand(), value);
}

TEST_F(SceneRandom, ResetStartsTheSequenceAgain) {
    for (int32_t k = 0; k < 1000; ++k)
        scene_rand();
    scene_random_reset();
    EXPECT_EQ(scene_rand(), 41);
    EXPECT_EQ(scene_rand(), 18467);
}

TEST_F(SceneRandom, DrawsStayWithinFifteenBits) {
    for (int32_t k = 0; k < 100000; ++k) {
        const int32_t value = scene_rand();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, scene_rand_max);
    }
}

TEST_F(SceneRandom, StepIsOneOnlyForTheDrawOf32767) {
    for (int32_t k = 1; k < first_full_draw; ++k)
        ASSERT_EQ(random_step(), 0) << "draw " << k;
    EXPECT_EQ(random_step(), 1);
    EXPECT_EQ(random_step(), 0);
}

}  // namespace
