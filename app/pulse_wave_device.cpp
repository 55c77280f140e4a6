#include "app/pulse_wave_device.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "app/sdl_wave_device.h"

// One playback stream on a threaded main loop of the client library. The server asks for data
// as its queue drains; the write callback, on the main loop's thread, copies the next bytes of
// the looping ring at its cursor and asks for a timing report. Each report gives the byte the
// sink was playing when the server answered, dated on the steady clock: with the bytes taken,
// that is the queue the output thread reads.
//
// The stream, the ring fields and the flags are touched only under the main loop's lock (the
// callbacks run under it); the byte count is an atomic and the report has a small lock of its
// own, so the output thread reads both without waiting for the server.

namespace {

// The queue the stream asks for, the server's buffer and the sink's together: long enough to
// play on while a busy desktop (compilers beside the show) holds up the server's own main
// thread, which asks for the data, for a few hundred milliseconds; a quarter of the ring. The
// clock accounts for it, so it costs the picture nothing.
constexpr pa_usec_t requested_latency_usec = 500 * PA_USEC_PER_MSEC;

pa_threaded_mainloop* main_loop = nullptr;
pa_context* context = nullptr;
pa_stream* stream = nullptr;
pa_sample_spec format{};
const uint8_t* ring = nullptr;  // the looping buffer, while prepared
uint32_t ring_bytes = 0;
uint32_t cursor = 0;   // next byte of the ring to take
bool playing = false;  // between write_looping and reset
std::atomic<uint64_t> bytes_taken{0};
std::atomic<int64_t> lost_ns{0};  // when the server dropped the playing stream; 0 while none
std::mutex report_lock;           // held only to copy the report in or out
DeviceQueue last_report;

bool loop_thread_raised = false;  // the main loop's thread has asked for its priority

template <typename Object>
void wake_waiter(Object*, void*) {
    pa_threaded_mainloop_signal(main_loop, 0);
}

// Leaves for the output thread that `heard` bytes of the ring had been played at `heard_ns`.
void post_report(uint64_t heard, int64_t heard_ns) {
    const uint64_t taken = bytes_taken.load();
    const std::lock_guard<std::mutex> hold(report_lock);
    last_report = {taken, taken - std::min(heard, taken), heard_ns};
}

// The server asks for `bytes` more: the next whole frames of the ring, wrapping at its end. The
// queue is kept within half the ring of the last position reported heard, so that the device
// never takes a block before it has been mixed again, whatever the server grants (a user's
// latency setting may ask for more than the ring holds). The copy is ordered after the output
// thread's refills of the blocks it copies.
void take_from_ring(pa_stream*, size_t bytes, void*) {
    if (!loop_thread_raised) {
        raise_audio_thread_priority();
        loop_thread_raised = true;
    }
    if (!playing || !ring) return;
    acquire_ring_refills();
    uint64_t limit = ring_bytes / 2;  // the furthest the device may take, in ring bytes
    {
        const std::lock_guard<std::mutex> hold(report_lock);
        limit += last_report.taken_bytes - last_report.queued_bytes;
    }
    const uint64_t taken = bytes_taken.load();
    const size_t asked = bytes - bytes % pa_frame_size(&format);
    size_t left = limit > taken ? std::min<uint64_t>(asked, limit - taken) : 0;
    left -= left % pa_frame_size(&format);
    const bool held_back = left < asked;
    while (left > 0) {
        const size_t chunk = std::min<size_t>(left, ring_bytes - cursor);
        if (pa_stream_write(stream, ring + cursor, chunk, nullptr, 0, PA_SEEK_RELATIVE) != 0) break;
        left -= chunk;
        cursor = cursor + chunk == ring_bytes ? 0 : uint32_t(cursor + chunk);
        bytes_taken.fetch_add(chunk);
    }
    if (pa_operation* update = pa_stream_update_timing_info(stream, nullptr, nullptr))
        pa_operation_unref(update);
    // A queue held back may stay short of what the server waits for before it starts: it is
    // told to play what it has.
    if (!held_back) return;
    if (pa_operation* start = pa_stream_trigger(stream, nullptr, nullptr))
        pa_operation_unref(start);
}

// A timing report, asked for after each write: while the stream plays, the byte being played
// when the server answered is what it had read of the stream less what the sink held, and the
// moment is the server's timestamp, moved from the wall clock onto the steady clock.
void take_timing_report(pa_stream* reported, void*) {
    const pa_timing_info* timing = pa_stream_get_timing_info(reported);
    if (!playing || timing == nullptr || timing->read_index_corrupt || !timing->playing) return;
    const auto sink_bytes = int64_t(pa_usec_to_bytes(timing->sink_usec, &format));
    const int64_t age_ns = int64_t(pa_timeval_age(&timing->timestamp)) * 1000;
    post_report(uint64_t(std::max<int64_t>(0, timing->read_index - sink_bytes)),
                steady_now_ns() - age_ns);
}

// A stream the server drops while it plays (the server went away) leaves the position running
// on with the clock, as on the silent device, so that the show goes on without sound.
void follow_stream_state(pa_stream* changed, void*) {
    if (playing && !PA_STREAM_IS_GOOD(pa_stream_get_state(changed))) lost_ns.store(steady_now_ns());
    pa_threaded_mainloop_signal(main_loop, 0);
}

void drop_stream() {
    if (!stream) return;
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

// A corked stream in the ring's format, asking for the queue above with the server's latency
// adjusted to it. Waits until the server has made it or refused it.
bool connect_stream() {
    stream = pa_stream_new(context, "Song", &format, nullptr);
    if (!stream) return false;
    pa_stream_set_state_callback(stream, follow_stream_state, nullptr);
    pa_stream_set_write_callback(stream, take_from_ring, nullptr);
    pa_stream_set_latency_update_callback(stream, take_timing_report, nullptr);
    pa_buffer_attr wanted;
    wanted.maxlength = uint32_t(-1);
    wanted.tlength = uint32_t(pa_usec_to_bytes(requested_latency_usec, &format));
    wanted.prebuf = uint32_t(-1);
    wanted.minreq = uint32_t(-1);
    wanted.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                         PA_STREAM_AUTO_TIMING_UPDATE);
    bool good = pa_stream_connect_playback(stream, nullptr, &wanted, flags, nullptr, nullptr) == 0;
    while (good && pa_stream_get_state(stream) != PA_STREAM_READY) {
        good = PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
        if (good) pa_threaded_mainloop_wait(main_loop);
    }
    if (!good) drop_stream();
    return good;
}

void pulse_close() {
    if (!main_loop) return;
    pa_threaded_mainloop_lock(main_loop);
    playing = false;
    drop_stream();
    if (context) {
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }
    ring = nullptr;
    pa_threaded_mainloop_unlock(main_loop);
    pa_threaded_mainloop_stop(main_loop);
    pa_threaded_mainloop_free(main_loop);
    main_loop = nullptr;
}

// Connects to the server the environment names (or the user's own) and makes the stream, so
// that a server without a place to play refuses here and the demo can turn to another device.
bool pulse_open(int32_t rate, int32_t channels) {
    if (main_loop || rate <= 0 || channels <= 0 || channels > int32_t(PA_CHANNELS_MAX))
        return false;
    format = {PA_SAMPLE_S16NE, uint32_t(rate), uint8_t(channels)};
    if (!pa_sample_spec_valid(&format)) return false;
    main_loop = pa_threaded_mainloop_new();
    if (!main_loop) return false;
    loop_thread_raised = false;
    context = pa_context_new(pa_threaded_mainloop_get_api(main_loop), "Tirvalex3");
    bool good = context != nullptr;
    if (good) pa_context_set_state_callback(context, wake_waiter<pa_context>, nullptr);
    good = good && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0;
    good = good && pa_threaded_mainloop_start(main_loop) == 0;
    pa_threaded_mainloop_lock(main_loop);
    while (good && pa_context_get_state(context) != PA_CONTEXT_READY) {
        good = PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
        if (good) pa_threaded_mainloop_wait(main_loop);
    }
    good = good && connect_stream();
    pa_threaded_mainloop_unlock(main_loop);
    if (!good) pulse_close();
    return good;
}

bool pulse_prepare(const int16_t* buffer, uint32_t bytes) {
    if (!main_loop) return false;
    pa_threaded_mainloop_lock(main_loop);
    ring = reinterpret_cast<const uint8_t*>(buffer);
    ring_bytes = bytes - bytes % uint32_t(pa_frame_size(&format));
    cursor = 0;
    pa_threaded_mainloop_unlock(main_loop);
    return true;
}

// Lets the corked stream play and fills what it asks for from the ring's start; the server
// starts once it holds what it waits for. After a reset the stream is made again.
bool pulse_write_looping(const int16_t* buffer, uint32_t bytes) {
    if (!main_loop || reinterpret_cast<const uint8_t*>(buffer) != ring) return false;
    pa_threaded_mainloop_lock(main_loop);
    ring_bytes = bytes - bytes % uint32_t(pa_frame_size(&format));
    cursor = 0;
    bytes_taken.store(0);
    lost_ns.store(0);
    post_report(0, steady_now_ns());  // nothing heard yet
    playing = true;
    const bool good = stream || connect_stream();
    if (good) {
        if (pa_operation* uncork = pa_stream_cork(stream, 0, nullptr, nullptr))
            pa_operation_unref(uncork);
        take_from_ring(stream, pa_stream_writable_size(stream), nullptr);
    }
    playing = good;
    if (!good) lost_ns.store(steady_now_ns());  // plays on silently, as a dropped stream does
    pa_threaded_mainloop_unlock(main_loop);
    return good;
}

uint64_t pulse_position_bytes() {
    const uint64_t taken = bytes_taken.load();
    const int64_t lost = lost_ns.load();
    if (lost == 0) return taken;
    const int64_t since_ns = std::max<int64_t>(0, steady_now_ns() - lost);
    const uint64_t seconds = uint64_t(since_ns) / 1000000000u;
    const uint64_t rest_ns = uint64_t(since_ns) % 1000000000u;
    const uint64_t frames = seconds * format.rate + rest_ns * format.rate / 1000000000u;
    return taken + frames * pa_frame_size(&format);
}

DeviceQueue pulse_queue() {
    const std::lock_guard<std::mutex> hold(report_lock);
    return last_report;
}

void pulse_unprepare() {
    if (!main_loop) return;
    pa_threaded_mainloop_lock(main_loop);
    playing = false;
    ring = nullptr;
    ring_bytes = cursor = 0;
    pa_threaded_mainloop_unlock(main_loop);
}

// The stream goes, and with it what the server still holds of the ring.
void pulse_reset() {
    if (!main_loop) return;
    pa_threaded_mainloop_lock(main_loop);
    playing = false;
    drop_stream();
    pa_threaded_mainloop_unlock(main_loop);
}

}  // namespace

const WaveDevice pulse_wave_device = {
    pulse_open,      pulse_prepare, pulse_write_looping, pulse_position_bytes,        pulse_queue,
    pulse_unprepare, pulse_reset,   pulse_close,         raise_audio_thread_priority,
};
