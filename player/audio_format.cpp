#include "player/audio_format.h"

int32_t output_rate = 44100;
