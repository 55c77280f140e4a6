#include "app/worklet_wave_device.h"

#include <emscripten.h>

#include <cmath>

// The JavaScript side is web/page.js's `audio` object: it owns the AudioContext and the
// worklet node and keeps the worklet's last report of its position.

EM_JS(bool, js_audio_open, (int32_t rate, int32_t channels),
      { return audio.open(rate, channels); });
EM_JS(void, js_audio_start, (const int16_t* ring, uint32_t bytes),
      { audio.start(HEAP16.slice(ring >> 1, (ring + bytes) >> 1)); });
EM_JS(void, js_audio_send_block, (int32_t block, const int16_t* pcm, uint32_t values),
      { audio.sendBlock(block, HEAP16.slice(pcm >> 1, (pcm >> 1) + values)); });
EM_JS(void, js_audio_stop, (), { audio.stop(); });
// Frames taken, frames of them not yet heard, and the moment of that report (performance.now).
EM_JS(void, js_audio_figures, (double* figures), {
    const f = audio.figures();
    HEAPF64[figures >> 3] = f.taken;
    HEAPF64[(figures >> 3) + 1] = f.queued;
    HEAPF64[(figures >> 3) + 2] = f.reportedMs;
});

namespace {

struct Figures {
    double taken_frames;
    double queued_frames;
    double reported_ms;
};

Figures figures() {
    double values[3] = {};
    js_audio_figures(values);
    return {values[0], values[1], values[2]};
}

bool worklet_open(int32_t rate, int32_t channels) {
    return js_audio_open(rate, channels);
}

bool worklet_prepare(const int16_t*, uint32_t) {
    return true;
}

bool worklet_write_looping(const int16_t* buffer, uint32_t bytes) {
    js_audio_start(buffer, bytes);
    return true;
}

uint64_t worklet_position_bytes() {
    return uint64_t(figures().taken_frames) * ring_frame_bytes;
}

// The performance clock the report is dated by is the one the steady clock reads in a page.
DeviceQueue worklet_queue() {
    const Figures f = figures();
    return {uint64_t(f.taken_frames) * ring_frame_bytes,
            uint64_t(std::llround(f.queued_frames)) * ring_frame_bytes,
            std::llround(f.reported_ms * 1e6)};
}

void worklet_unprepare() {}

void worklet_stop() {
    js_audio_stop();
}

}  // namespace

const WaveDevice worklet_wave_device = {
    worklet_open,           worklet_prepare, worklet_write_looping,
    worklet_position_bytes, worklet_queue,   worklet_unprepare,
    worklet_stop,           worklet_stop,    nullptr,
};

void worklet_send_block(int32_t block, const int16_t* pcm, int32_t block_frames) {
    js_audio_send_block(block, pcm, uint32_t(block_frames) * 2);
}
