#pragma once
#include <cstdint>

// The output rate in Hz that the engine's tempo and frequency steps are computed for. Set by
// audio start-up; 44100 until then.
extern int32_t output_rate;
