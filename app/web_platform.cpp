#include "app/web_platform.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <GL/gl.h>

#include <deque>
#include <vector>

#include "app/web_renderer.h"
#include "player/session.h"

// The page's side of these calls is web/page.js's `page` object.

EM_JS(void, page_loaded, (), { page.moduleReady(); });
EM_JS(void, page_ask_question, (const char* text, const char* caption),
      { page.askQuestion(page.latin1(HEAPU8, text), page.latin1(HEAPU8, caption)); });
EM_JS(void, page_open_picture, (bool full_screen, const char* title),
      { page.openPicture(full_screen, page.latin1(HEAPU8, title)); });
EM_JS(void, page_close_picture, (), { page.closePicture(); });
EM_JS(void, page_show_ended, (), { page.showEnded(); });
EM_JS(void, page_frame_drawn, (uint32_t clock_ms), { page.frameDrawn(clock_ms); });
EM_JS(void, page_frame_grabbed, (uint32_t requested_ms, uint32_t clock_ms, const uint8_t* rgba),
      { page.frameGrabbed(requested_ms, clock_ms, HEAPU8.slice(rgba, rgba + 640 * 480 * 4)); });

namespace {

constexpr int picture_width = 640;
constexpr int picture_height = 480;
constexpr DisplayMode picture_mode = {picture_width, picture_height, 32, 0};

std::deque<ShellEvent> events;  // from the page's key handlers, oldest first
bool question_shown = false;
Answer given_answer = Answer::not_yet;
std::vector<uint32_t> grab_times_ms;
std::vector<uint8_t> grabbed_pixels;

// The picture is the window: full screen through the browser's request (the user's answer or
// F1 lets it), in the page otherwise. The WebGL context outlives it.
OpenStep open_picture(const WindowRequest& request) {
    page_open_picture(request.full_screen, request.title);
    return OpenStep::opened;
}

CloseFailures close_picture() {
    page_close_picture();
    return {};
}

ShellEvent next_event() {
    if (events.empty()) return {ShellEventKind::none};
    const ShellEvent event = events.front();
    events.pop_front();
    return event;
}

// The browser shows the frame when the frame's callback returns; before that the frame can be
// read back for the automation surface.
void present_frame() {
    const uint32_t clock_ms = song_clock_ms(playing_song());
    page_frame_drawn(clock_ms);
    if (!grab_times_ms.empty() && clock_ms >= grab_times_ms.front()) {
        grabbed_pixels.resize(size_t(picture_width) * picture_height * 4);
        glReadPixels(0, 0, picture_width, picture_height, GL_RGBA, GL_UNSIGNED_BYTE,
                     grabbed_pixels.data());
        while (!grab_times_ms.empty() && clock_ms >= grab_times_ms.front()) {
            page_frame_grabbed(grab_times_ms.front(), clock_ms, grabbed_pixels.data());
            grab_times_ms.erase(grab_times_ms.begin());
        }
    }
    music_frame_presented();
}

// The page's picture has one size: full screen scales it, keeping 4:3.
bool list_display_modes(DisplayModes* modes) {
    modes->modes = {picture_mode};
    modes->desktop = picture_mode;
    return true;
}

// The page's box shows the question once; its answer comes with a later step.
Answer ask(const char* text, const char* caption, Buttons, Icon) {
    if (!question_shown) {
        question_shown = true;
        given_answer = Answer::not_yet;
        page_ask_question(text, caption);
    }
    const Answer answer = given_answer;
    if (answer != Answer::not_yet) question_shown = false;
    return answer;
}

}  // namespace

const Platform web_platform = {
    open_picture, close_picture, next_event, present_frame, list_display_modes, ask,
};

void grab_frames_at(const uint32_t* times_ms, int32_t count) {
    grab_times_ms.assign(times_ms, times_ms + count);
}

// The GL emulation sets itself up through callbacks the browser library runs when it creates
// a context itself; a context made through the HTML5 interface has to run them by hand. No
// alpha (the clear colour's alpha would let the page show through) and no multisampling, as
// on the desktop.
bool page_create_context(int width, int height) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = false;
    attributes.depth = true;
    attributes.stencil = false;
    attributes.antialias = false;
    attributes.majorVersion = 1;
    emscripten_set_canvas_element_size("#canvas", width, height);
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) return false;
    if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) return false;
    EM_ASM({
        for (const callback of Browser.moduleContextCreatedCallbacks)
            callback();
        Browser.moduleContextCreatedCallbacks = [];
    });
    return true;
}

void answer_question(bool yes) {
    given_answer = yes ? Answer::yes : Answer::no;
}

extern "C" {

// A key went down or up, by its virtual-key code (the browser's keyCode).
EMSCRIPTEN_KEEPALIVE void web_key(int code, bool down) {
    if (code <= 0 || code >= 256) return;
    ShellEvent event = {down ? ShellEventKind::key_down : ShellEventKind::key_up};
    event.key = uint8_t(code);
    events.push_back(event);
}

}  // extern "C"
