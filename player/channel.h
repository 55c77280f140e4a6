#pragma once
#include <cstdint>

#include "player/module.h"

// The records the engine, the effects, the voice update and the mixer share: one ChannelState
// per pattern channel and the mixer voices they drive. Channel c drives voice c or voice
// c + 32, alternating on note starts.

// What update_voice must pass to the voice on this tick.
constexpr uint8_t UPDATE_FREQUENCY = 1 << 0;
constexpr uint8_t UPDATE_VOLUME = 1 << 1;
constexpr uint8_t UPDATE_PANNING = 1 << 2;
constexpr uint8_t UPDATE_TRIGGER = 1 << 3;
constexpr uint8_t UPDATE_RESTART = 1 << 5;

constexpr int channel_capacity = 32;
constexpr int voice_capacity = 256;
constexpr int mixed_voice_count = 64;  // the twins of 32 channels

struct Voice {
    int32_t index;
    int32_t volume;   // 0..127
    int32_t panning;  // 0..255
    uint32_t start_offset;
    XmSample* sample;  // null = silent and free
    int32_t left_volume;
    int32_t right_volume;
    uint32_t position;
    uint32_t position_frac;
    uint32_t step_frac;
    uint32_t step;
    int32_t direction;  // 1 = forward
    int32_t ramp_last_left;
    int32_t ramp_last_right;
    int32_t ramp_left;
    int32_t ramp_right;
    float ramp_step_left;
    float ramp_step_right;
    int32_t ramp_frames_left;
};

struct ChannelState {
    uint8_t note;
    uint8_t update_flags;
    Voice* voice;
    int32_t period;
    int32_t volume;
    int32_t panning;
    int32_t volume_offset;
    int32_t period_offset;
    uint32_t volume_env_tick;
    uint32_t volume_env_point;
    int32_t volume_env_acc;
    int32_t volume_env_value;
    int32_t volume_env_step;
    uint8_t volume_env_done;
    uint32_t panning_env_tick;
    uint32_t panning_env_point;
    int32_t panning_env_acc;
    int32_t panning_env_value;
    int32_t panning_env_step;
    uint8_t panning_env_done;
    int32_t fadeout_volume;
    int32_t auto_vibrato_position;
    int32_t auto_vibrato_sweep_ticks;
    uint8_t key_released;
    uint8_t instrument;
    uint8_t real_note;
    int32_t note_period;
    uint8_t last_effect;
    int32_t sample_offset_memory;
    uint8_t porta_down_memory;
    uint8_t porta_up_memory;
    uint8_t extra_fine_down_memory;
    uint8_t extra_fine_up_memory;
    uint8_t volume_slide_memory;
    uint8_t panning_slide_memory;
    uint8_t retrigger_volume_change;
    uint8_t retrigger_interval;
    int32_t porta_target;
    uint8_t porta_speed;
    int8_t vibrato_position;
    uint8_t vibrato_speed;
    uint8_t vibrato_depth;
    int8_t tremolo_position;
    uint8_t tremolo_speed;
    uint8_t tremolo_depth;
    uint8_t tremor_count;
    uint8_t tremor_on;
    uint8_t tremor_off;
    int32_t loop_row;
    int32_t loop_count;
    uint8_t waveforms;
    uint8_t fine_volume_memory;
    uint8_t fine_up_memory;
    uint8_t fine_down_memory;
};

extern ChannelState channels[channel_capacity];
extern Voice voices[voice_capacity];
