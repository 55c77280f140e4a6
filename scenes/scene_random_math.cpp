#include "scenes/scene_random.h"

// The classic 15-bit linear-congruential generator the show's random steps were designed
// for: state x 214013 + 2531011, result bits 16..30, unseeded state 1. A 31-bit generator
// would make the colour steps large on nearly every draw instead of on one draw in 32768.
static uint32_t scene_random_state = 1;

int32_t scene_rand() {
    scene_random_state = scene_random_state * 214013u + 2531011u;
    return static_cast<int32_t>((scene_random_state >> 16) & 0x7FFF);
}

void scene_random_reset() {
    scene_random_state = 1;
}
