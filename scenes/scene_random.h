#pragma once
#include <cstdint>

// The scenes' random source: 0..32767, unseeded.
constexpr int32_t scene_rand_max = 32767;
int32_t scene_rand();
void scene_random_reset();
