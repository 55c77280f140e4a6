#include "app/web_page.h"

#include <emscripten.h>
#include <emscripten/html5.h>

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
