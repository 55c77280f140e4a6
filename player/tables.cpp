#include "player/tables.h"

#include <iterator>

// New volume after a multi-retrigger, by x = 1..15 of Rxy (entry x - 1): volume x multiply /
// divide + add. 7 halves (a shift right by 1 of a volume that is never negative); 8 keeps the
// volume. (x = 0 retriggers without touching the volume.)
const RetriggerVolumeChange retrigger_volume_changes[15] = {
    {-1, 1, 1}, {-2, 1, 1}, {-4, 1, 1}, {-8, 1, 1}, {-16, 1, 1},  // 1..5: -1 -2 -4 -8 -16
    {0, 2, 3},                                                    // 6: x 2/3
    {0, 1, 2},                                                    // 7: x 1/2
    {0, 1, 1},                                                    // 8: unchanged
    {1, 1, 1},  {2, 1, 1},  {4, 1, 1},  {8, 1, 1},  {16, 1, 1},   // 9..13: +1 +2 +4 +8 +16
    {0, 3, 2},                                                    // 14: x 3/2
    {0, 2, 1},                                                    // 15: x 2
};
static_assert(std::size(retrigger_volume_changes) == 15);
