#include "player/ring.h"

#include <new>

#include "player/audio_format.h"

// All start zeroed, as namespace-scope variables do; ring_set_rate sizes the ring.
XmModule* current_module;
int32_t block_frames;
int32_t ring_frames;
int32_t block_count;
int32_t write_block;
float inverse_rate;
int32_t ramp_length;
float ramp_reciprocal;
float* mix_buffer;
int16_t* wave_buffer;
BlockClock* block_table;
std::atomic<int32_t> clock_block;

namespace {

constexpr std::align_val_t mix_alignment{16};

}  // namespace

// Block length: 20 ms rounded up to a multiple of 4 frames; the ring holds buffer_ms / 20
// blocks twice over; the ramp lasts 128 frames at 44100 Hz and proportionally at other rates.
bool ring_set_rate(int32_t rate) {
    if (rate < min_output_rate || rate > max_output_rate) return false;
    output_rate = rate;
    inverse_rate = 1.0f / static_cast<float>(rate);
    block_frames = ((rate * 20 / 1000) + 3) & ~3;
    ring_frames = (buffer_ms / 20) * block_frames * 2;
    block_count = ring_frames / block_frames;
    ramp_length = rate * 128 / 44100;
    ramp_reciprocal = 1.0f / static_cast<float>(ramp_length);
    return true;
}

// Into a ring the last stop has released. The PCM and the clock start zeroed, so a block the
// device reaches before it is mixed plays silence; each block's mix is cleared as it is mixed.
void ring_allocate() {
    const size_t values = static_cast<size_t>(ring_frames) * 2;
    mix_buffer = static_cast<float*>(::operator new(values * sizeof(float), mix_alignment));
    wave_buffer = new int16_t[values]();
    block_table = new BlockClock[static_cast<size_t>(block_count)]();
}

void release_mix_buffer() {
    ::operator delete(mix_buffer, mix_alignment);
    mix_buffer = nullptr;
}

void release_wave_buffer() {
    delete[] wave_buffer;
    wave_buffer = nullptr;
}

void release_block_table() {
    delete[] block_table;
    block_table = nullptr;
}
