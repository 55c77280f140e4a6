#include "app/web_renderer.h"

#include <algorithm>

#include "app/glyph_file.h"
#include "app/renderer.h"
#include "app/worklet_wave_device.h"
#include "data/module_bytes.h"
#include "player/session.h"

GlyphOutline baked_glyphs[outline_glyph_count];

namespace {

constexpr int32_t output_rate_hz = 44100;
constexpr int32_t output_channels = 2;

const WaveDevice* device = nullptr;  // the device the song plays on, null when none
int64_t device_block = 0;            // the block being heard, counted from the song's start
uint64_t heard_before = 0;           // bytes heard at the last look, so the clock never goes back
int32_t stepped_blocks = 0;

// The device has moved on to block `block`: the blocks it finished are mixed again and handed
// to the worklet, each a ring's length after the block it replaces.
void play_until(int64_t block) {
    while (device_block < block) {
        ++device_block;
        play_offline_until(device_block);
        const int64_t refilled = device_block - 1 + ring_block_count();
        if (device == &worklet_wave_device)
            worklet_send_block(int32_t(refilled % ring_block_count()), heard_block_pcm(refilled),
                               ring_block_frames());
    }
}

}  // namespace

void keep_ring_filled() {
    if (device == nullptr || playing_song() == nullptr) return;
    heard_before = device_bytes_heard(*device, heard_before);
    play_until(int64_t(heard_before / ring_frame_bytes) / ring_block_frames());
}

void stop_music() {
    if (device != nullptr) {
        device->reset();
        device->close();
        device = nullptr;
    }
    release_song(playing_song());
}

void step_music(int32_t blocks) {
    stepped_blocks = std::max(blocks, 0);
}

void music_frame_presented() {
    if (stepped_blocks != 0) play_until(device_block + stepped_blocks);
}

uint64_t music_frames_heard() {
    return device != nullptr ? heard_before / ring_frame_bytes : 0;
}

// The embedded song from its beginning, the whole ring mixed and handed to the worklet, or to
// the silent device (the clock then runs on the page's clock) where there is no worklet.
void start_music() {
    stop_music();
    XmModule* song = load_song(module_bytes, module_size);
    if (!start_song_offline(song, output_rate_hz)) {
        release_song(song);
        return;
    }
    device_block = 0;
    heard_before = 0;
    if (stepped_blocks != 0) return;
    device = &worklet_wave_device;
    if (!device->open(output_rate_hz, output_channels)) {
        device = &silent_wave_device;
        device->open(output_rate_hz, output_channels);
    }
    const uint32_t ring_bytes =
        uint32_t(ring_block_count()) * uint32_t(ring_block_frames()) * ring_frame_bytes;
    device->prepare(heard_block_pcm(0), ring_bytes);
    device->write_looping(heard_block_pcm(0), ring_bytes);
}

// The glyphs come from the baked file instead of the font.
void build_outline_font() {
    hand_glyphs_to_text(baked_glyphs);
}

void free_outline_font() {
    text_reset();
}
