#pragma once
#include <cstdint>

// Fixed tables of the playback engine.

// How a multi-retrigger (Rxy) changes the volume, by its x: the new volume is
// volume x multiply / divide + add, truncating, before the limit to 0..64.
struct RetriggerVolumeChange {
    int8_t add;
    uint8_t multiply;
    uint8_t divide;
};

extern const RetriggerVolumeChange retrigger_volume_changes[15];
