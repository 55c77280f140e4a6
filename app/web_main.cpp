// The show in a browser page: the entry point and the loop the browser calls once per
// animation frame. The page asks the start-up question, plays the show in the page or full
// screen, ends it on Escape and restarts it on F1, as the desktop program does. The page has no
// threads, so the ring is refilled here: at every frame and at every report of the worklet (a
// hidden page gets no animation frames, but its worklet reports go on arriving).
#include <emscripten.h>
#include <emscripten/html5.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/glyph_file.h"
#include "app/shell_state.h"
#include "app/web_page.h"
#include "app/worklet_wave_device.h"
#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"
#include "player/wave_device.h"
#include "scenes/lines.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/start_state.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

namespace {

constexpr int32_t output_rate = 44100;
constexpr int32_t output_channels = 2;
constexpr int32_t frame_bytes = 4;
constexpr int screen_width = 640;
constexpr int screen_height = 480;
constexpr int64_t report_age_limit_ns = 10'000'000'000;  // a report's age counts up to 10 s
constexpr const char* first_title = "Tirvalex3";
constexpr const char* toggled_title = "Joka's Outline Font Tutorial";

enum class PageState { loading, question, playing, ended };

PageState state = PageState::loading;
GlyphOutline baked_glyphs[outline_glyph_count];
const WaveDevice* device = nullptr;  // the device the music plays on, null when none
int64_t device_block = 0;            // the block being heard, counted from the playback's start
uint64_t heard_before = 0;           // bytes heard at the last look, so the clock never goes back
int32_t stepped_blocks = 0;          // blocks per frame when the clock is stepped, 0 when heard
bool toggled_once = false;

// Frames to read back once the clock reaches their times (the automation surface).
std::vector<uint32_t> grab_times_ms;
std::vector<uint8_t> grabbed_pixels;

// Bytes of the ring heard by now: the device's last queue report carried forward by the time
// since it was made, never beyond what the device has taken and never back.
uint64_t heard_bytes() {
    const uint64_t taken = device->position_bytes();
    uint64_t heard = taken;
    if (device->queue) {
        const DeviceQueue report = device->queue();
        const int64_t age_ns =
            std::clamp<int64_t>(steady_now_ns() - report.reported_ns, 0, report_age_limit_ns);
        const uint64_t since = uint64_t(age_ns) * uint64_t(output_rate) / 1000000000u;
        const uint64_t queued = std::min(report.queued_bytes, report.taken_bytes);
        heard = std::min(taken, report.taken_bytes - queued + since * frame_bytes);
    }
    heard_before = std::max(heard, heard_before);
    return heard_before;
}

// The device has moved on to block `block` of the playback: every block finished since is
// refilled, the clock moving onto the block being heard, and handed to the worklet again.
void play_until(int64_t block) {
    while (device_block < block) {
        const int32_t refilled = write_block;
        ++device_block;
        refill_played_blocks(int32_t(device_block % block_count));
        if (device == &worklet_wave_device) worklet_send_block(refilled, block_frames);
    }
}

void keep_ring_filled() {
    if (state != PageState::playing || device == nullptr || music_module == nullptr) return;
    play_until(int64_t(heard_bytes() / frame_bytes) / block_frames);
}

// Stops the music and releases its song.
void stop_music() {
    if (device != nullptr) {
        device->reset();
        device->close();
        device = nullptr;
    }
    if (music_module != nullptr) {
        module_free(music_module);
        music_module = nullptr;
    }
}

// Starts the embedded song from its beginning: the whole ring mixed, then handed to the
// worklet, or to the silent device (the clock runs on the page's clock) when there is no
// worklet. Without a device the clock moves only when the page steps it.
void start_music(bool with_device) {
    stop_music();
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    ring_set_rate(output_rate);
    engine_reset();
    music_module = module_load(nullptr, nullptr);
    if (music_module == nullptr) return;
    ring_allocate();
    reset_song_state(music_module);
    prefill_ring();
    device_block = 0;
    heard_before = 0;
    if (!with_device) return;
    device = &worklet_wave_device;
    if (!device->open(output_rate, output_channels)) {
        device = &silent_wave_device;
        device->open(output_rate, output_channels);
    }
    const uint32_t ring_bytes = uint32_t(ring_frames) * frame_bytes;
    device->prepare(wave_buffer, ring_bytes);
    device->write_looping(wave_buffer, ring_bytes);
}

// A 45-degree vertical field of view over the picture, from 0.1 to 100 units.
void set_projection(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Opens the picture in the mode asked for, as the desktop opens its window: the projection,
// the scenes' start state and the glyphs, then the music from its beginning.
void open_show(bool full_screen, const char* title) {
    full_screen_mode = full_screen;
    // Keys let go while nothing played (after the end, say) must not count as held.
    std::fill(std::begin(key_down), std::end(key_down), false);
    std::fill(std::begin(key_pressed), std::end(key_pressed), false);
    page_open_picture(full_screen, title);
    set_projection(screen_width, screen_height);
    set_scene_start_state();
    hand_glyphs_to_text(baked_glyphs);
    start_music(stepped_blocks == 0);
    state = PageState::playing;
}

void end_show() {
    stop_music();
    state = PageState::ended;
    page_show_ended();
}

// Reads the frame just drawn back once the clock has reached the next time asked for.
void grab_frame_if_due() {
    const uint32_t clock_ms = song_clock_ms(music_module);
    if (grab_times_ms.empty() || clock_ms < grab_times_ms.front()) return;
    grabbed_pixels.resize(size_t(screen_width) * screen_height * 4);
    glReadPixels(0, 0, screen_width, screen_height, GL_RGBA, GL_UNSIGNED_BYTE,
                 grabbed_pixels.data());
    while (!grab_times_ms.empty() && clock_ms >= grab_times_ms.front()) {
        page_frame_grabbed(grab_times_ms.front(), clock_ms, grabbed_pixels.data());
        grab_times_ms.erase(grab_times_ms.begin());
    }
}

// One pass per animation frame while the show plays. Escape ends the show; F1 restarts it in
// the other mode. A tap whose key-up came before the frame still counts once.
void frame() {
    if (state != PageState::playing) return;
    if (stepped_blocks == 0) keep_ring_filled();
    const bool escape = key_down[VK_ESCAPE] || key_pressed[VK_ESCAPE];
    const bool toggle = key_down[VK_F1] || key_pressed[VK_F1];
    std::fill(std::begin(key_pressed), std::end(key_pressed), false);
    if (!render_frame() || escape) {
        end_show();
        return;
    }
    page_frame_drawn(song_clock_ms(music_module));
    grab_frame_if_due();
    if (stepped_blocks != 0) play_until(device_block + stepped_blocks);
    if (toggle) {
        key_down[VK_F1] = false;
        toggled_once = true;
        page_close_picture();
        open_show(!full_screen_mode, toggled_title);
    }
}

}  // namespace

extern "C" {

// The page has loaded the wasm and the glyph file: the question is asked.
EMSCRIPTEN_KEEPALIVE bool web_start(const uint8_t* glyphs, uint32_t size) {
    if (!glyphs_from_bytes(glyphs, size, baked_glyphs)) return false;
    if (!page_create_context(screen_width, screen_height)) return false;
    lines_as_quads = true;
    emscripten_set_main_loop(frame, 0, 0);
    state = PageState::question;
    // Latin-1: "Välkommen?" and "HEJDÅ!".
    page_ask_question("V\xE4lkommen?", "HEJD\xC5!");
    return true;
}

// The answer to the question, given inside the user's gesture (click or key), which lets the
// page go full screen and start the sound. Yes (1) plays full screen, No (0) in the page.
EMSCRIPTEN_KEEPALIVE void web_answer(int yes) {
    if (state != PageState::question) return;
    open_show(yes != 0, toggled_once ? toggled_title : first_title);
}

// A key went down or up, by its virtual-key code (the browser's keyCode).
EMSCRIPTEN_KEEPALIVE void web_key(int code, bool down) {
    if (code < 0 || code >= 256) return;
    key_down[code] = down;
    if (down) key_pressed[code] = true;
}

// The browser has left full screen by itself (its own Escape): the show plays on in the page.
EMSCRIPTEN_KEEPALIVE void web_left_full_screen() {
    full_screen_mode = false;
}

// After the show has ended: the question again, as when the program is started again.
EMSCRIPTEN_KEEPALIVE void web_play_again() {
    if (state != PageState::ended) return;
    state = PageState::question;
    page_ask_question("V\xE4lkommen?", "HEJD\xC5!");
}

// The worklet has reported its position: blocks heard are refilled, in a hidden page too.
EMSCRIPTEN_KEEPALIVE void web_keep_ring_filled() {
    if (stepped_blocks == 0) keep_ring_filled();
}

// The automation surface: the song clock and the frames heard of the playing song.
EMSCRIPTEN_KEEPALIVE uint32_t web_clock_ms() {
    return song_clock_ms(music_module);
}

EMSCRIPTEN_KEEPALIVE double web_frames_heard() {
    return device ? double(heard_before / frame_bytes) : 0.0;
}

// Reads back the first frame drawn at or past each of these clock times (ascending).
EMSCRIPTEN_KEEPALIVE void web_grab_frames(const uint32_t* times_ms, int32_t count) {
    grab_times_ms.assign(times_ms, times_ms + count);
}

// Restarts the show silently with the clock stepped by `blocks` ring blocks per frame from the
// first frame, as the offline capture steps it, so frames can be set beside its pictures.
EMSCRIPTEN_KEEPALIVE void web_step_show(int32_t blocks) {
    stop_music();
    timeline_reset();
    scene_random_reset();
    ring_tables_reset();
    tunnel_reset();
    lines_reset();
    lines_as_quads = true;
    stepped_blocks = std::max(blocks, 1);
    open_show(false, first_title);
}

}  // extern "C"

int main() {
    page_loaded();
    return 0;
}
