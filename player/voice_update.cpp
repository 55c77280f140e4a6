// The voice update: the one place where a channel's update flags become fields of its mixer
// voice. A note start hands a sounding voice over to its twin (channel c uses voices c and
// c + 32 in turn) so the old note ramps out while the new one ramps in; then the final volume,
// panning and playback step follow from the channel's state.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "player/audio_format.h"
#include "player/channel.h"
#include "player/effects.h"
#include "player/loader.h"

namespace {

constexpr uint16_t LINEAR_FREQUENCIES = 1 << 0;
constexpr int32_t twin_distance = 32;
constexpr int32_t lowest_frequency = 100;  // Hz; lower pitches are stepped as 100 Hz
constexpr int32_t linear_centre_period = 4608;
constexpr int32_t linear_centre_frequency = 8363;
constexpr float one_over_768 = 1.0f / 768.0f;
constexpr int32_t amiga_clock = 14317056;
// 255 / 2^35: the product of volume (64), envelope (64), fadeout (65536) and global volume (64)
// is 2^30 at full scale, which this turns into 127.5.
constexpr float volume_scale = 255.0f / 34359738368.0f;

// The channel's voice after handing a sounding one over to its twin: the twin takes the whole
// record, and the old voice goes silent so the mixer ramps it out while it runs on.
Voice* hand_over(ChannelState& channel) {
    Voice* voice = channel.voice;
    const int32_t index = voice->index;  // the channel's own voice or its twin: c or c + 32
    const int32_t twin = index < twin_distance ? index + twin_distance : index - twin_distance;
    voices[twin] = *voice;
    voices[twin].index = twin;
    voice->volume = 0;
    voice->left_volume = 0;
    voice->right_volume = 0;
    channel.voice = &voices[twin];
    return channel.voice;
}

// A note start on a voice: the sample from the waiting start offset (0 when the offset lies
// at or beyond the sample's loop end or its length), forward, ramping in from silence.
void start_note(Voice& voice, XmSample* sample) {
    voice.sample = sample;
    const uint64_t loop_end = uint64_t(sample->loop_start) + sample->loop_length;
    if (voice.start_offset >= loop_end || voice.start_offset >= sample->length) {
        voice.start_offset = 0;
    }
    voice.position = voice.start_offset;
    voice.position_frac = 0;
    voice.direction = 1;
    voice.start_offset = 0;
    voice.ramp_left = 0;
    voice.ramp_right = 0;
    voice.ramp_frames_left = 0;
}

// The gains of the two output sides from the final volume and panning (0 = left).
void set_gains(Voice& voice) {
    voice.left_volume = (255 - voice.panning) * voice.volume / 255;
    voice.right_volume = voice.volume * voice.panning / 255;
}

// Final volume 0..127: channel volume with its tick offset, envelope, fadeout and global
// volume, multiplied in single precision.
int32_t final_volume(const ChannelState& channel, const XmModule& module) {
    const float volume = float(channel.volume + channel.volume_offset) *
                         float(channel.volume_env_value) * float(channel.fadeout_volume) *
                         float(module.global_volume) * volume_scale;
    return int32_t(std::clamp(volume, 0.0f, 127.0f));
}

// Final panning 0..255: the envelope moves the channel panning by up to 4 per envelope unit
// at the centre, less towards the sides.
int32_t final_panning(const ChannelState& channel) {
    const int64_t panning = channel.panning;
    const int64_t room = (128 - std::abs(panning - 128)) / 32;
    return int32_t(std::clamp<int64_t>(panning + room * (channel.panning_env_value - 32), 0, 255));
}

// Playback frequency in Hz of a period and its tick offset, on the module's table.
int32_t frequency(const ChannelState& channel, const XmModule& module) {
    const int32_t period = channel.period;
    const int32_t offset = channel.period_offset;
    if (module.flags & LINEAR_FREQUENCIES) {
        const float octaves = float(linear_centre_period - period + offset) * one_over_768;
        const double hertz = linear_centre_frequency * std::pow(2.0, double(octaves));
        return int32_t(std::clamp(hertz, 0.0, 2147483647.0));
    }
    return amiga_clock / (period + offset);
}

// Frames per output frame in 32.32 fixed point for a frequency of at least 100 Hz.
void set_step(Voice& voice, int32_t hertz) {
    const uint64_t rate = uint64_t(output_rate);
    const uint64_t stepped = uint64_t(std::max(hertz, lowest_frequency));
    voice.step = uint32_t(stepped / rate);
    voice.step_frac = uint32_t(((stepped % rate) << 32) / rate);
}

}  // namespace

// Passes the flagged parts of the channel's state to its voice, in a fixed order: note start,
// volume, panning, frequency, rewind. A period sum of 0 has no frequency and is skipped.
void update_voice(ChannelState* channel, XmSample* sample, const XmModule* module) {
    if (channel->voice == nullptr) return;
    if (sample == nullptr) sample = &empty_sample;
    if (int64_t(channel->period) + channel->period_offset == 0) {
        channel->update_flags &= uint8_t(~UPDATE_FREQUENCY);
    }
    const uint8_t flags = channel->update_flags;
    Voice* voice = channel->voice;
    if (flags & UPDATE_TRIGGER) {
        if (voice->sample != nullptr) voice = hand_over(*channel);
        start_note(*voice, sample);
    }
    if (flags & UPDATE_VOLUME) {
        voice->volume = final_volume(*channel, *module);
        set_gains(*voice);
    }
    if (flags & UPDATE_PANNING) {
        voice->panning = final_panning(*channel);
        set_gains(*voice);
    }
    if (flags & UPDATE_FREQUENCY) set_step(*voice, frequency(*channel, *module));
    if (flags & UPDATE_RESTART) {
        voice->position = 0;
        voice->position_frac = 0;
        voice->start_offset = 0;
    }
}
