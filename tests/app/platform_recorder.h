#pragma once
// A platform layer for the shell's tests: every operation is logged under a short name and then
// carried out by SDL, except the ones a test names as failing ("name" every time, "name#k" the
// k-th time). Opening steps that fail do nothing; teardown steps do their work and then report
// failure, so nothing leaks. Message boxes are logged ("box" + icon + caption + text, the icon W
// for exclamation, E for stop, I for information and question) and answered from a list (the
// first button when it is empty). The queue hands out a script first (WM_NULL: an empty pass,
// logged "idle"); past it the real queue, and then WM_QUIT with code 99.
// A display-mode change is granted unless it is failed; the desktop mode is kept.
// Names: mod reg mode restore cursor0 cursor1 win dc choose setpf ctx cur show swap<scene> msg idle
// quit default uncur delctx reldc delwin unreg.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "app/message_box.h"
#include "app/platform.h"
#include "app/shell_state.h"
#include "app/window.h"
#include "scenes/scenes.h"

struct Recorder {
    std::vector<std::string> calls, failing;
    std::string windows;  // the windows made, each "<style> <w>x<h>+<x>+<y> <bits> <title>" or:
    // W windowed, P full-screen popup, each 640x480 at 16 bits at the corner; 1 for "Tirvalex3",
    // 2 for "Joka's Outline Font Tutorial"
    std::map<std::string, int> counts;
    std::deque<int> answers;
    std::deque<WindowMessage> script;
    bool no_boxes = false;
};
inline Recorder rec;

inline bool fails(const std::string& name) {
    rec.calls.push_back(name);
    const std::string numbered = name + "#" + std::to_string(++rec.counts[name]);
    return std::ranges::count(rec.failing, name) + std::ranges::count(rec.failing, numbered) > 0;
}

#define OPENING(name, op, failed) \
    [](auto... a) { return fails(name) ? failed : sdl_platform.op(a...); }
#define TEARDOWN(name, op) [](auto... a) -> bool { return !fails(name) & sdl_platform.op(a...); }

inline const Platform recording_platform = {
    OPENING("mod", module_handle, nullptr),
    OPENING("reg", register_window_class, false),
    TEARDOWN("unreg", unregister_window_class),
    [](const DisplayModeRequest* mode, uint32_t flags) {
        if (mode == nullptr)
            return fails(flags ? "restore?" : "restore") ? -1 : DISP_CHANGE_SUCCESSFUL;
        if (fails("mode " + std::to_string(mode->width) + "x" + std::to_string(mode->height) + "x" +
                  std::to_string(mode->bits_per_pixel) + (flags == CDS_FULLSCREEN ? "" : "?")))
            return DISP_CHANGE_BADMODE;
        return sdl_platform.change_display_settings(nullptr, flags);  // granted, desktop kept
    },
    [](bool shown) { fails(shown ? "cursor1" : "cursor0"); },
    [](uint32_t ex_style, const char* title, uint32_t style, int32_t x, int32_t y, int32_t width,
       int32_t height, const PixelFormatRequest* format) -> WindowHandle {
        char window[160];
        std::snprintf(window, sizeof window, "%x %dx%d+%d+%d %d %s", style, width, height, x, y,
                      format->color_bits, title);
        const std::map<std::string, std::string> known = {  // overlapped or popup | clip children
            {"6cf0000 640x480+0+0 16 Tirvalex3", "W1"},
            {"86000000 640x480+0+0 16 Tirvalex3", "P1"},
            {"6cf0000 640x480+0+0 16 Joka's Outline Font Tutorial", "W2"},
            {"86000000 640x480+0+0 16 Joka's Outline Font Tutorial", "P2"}};
        rec.windows += (rec.windows.empty() ? "" : " ") +
                       (known.contains(window) ? known.at(window) : std::string(window));
        return fails("win") ? nullptr
                            : sdl_platform.create_window(ex_style, title, style & ~WS_POPUP, x, y,
                                                         width, height, format);
    },
    TEARDOWN("delwin", destroy_window),
    OPENING("dc", get_device_context, nullptr),
    TEARDOWN("reldc", release_device_context),
    OPENING("choose", choose_pixel_format, 0u),
    OPENING("setpf", set_pixel_format, false),
    OPENING("ctx", create_context, nullptr),
    [](DeviceContext dc, RenderContext context) -> bool {
        if (context == nullptr) return !fails("uncur") & sdl_platform.make_current(dc, context);
        return !fails("cur") && sdl_platform.make_current(dc, context);
    },
    TEARDOWN("delctx", delete_context),
    [](WindowHandle window) { fails("show"), sdl_platform.show_window(window); },
    [](DeviceContext dc) {  // "swap" and the scene then current
        return !fails("swap" + std::to_string(current_scene)) && sdl_platform.swap_buffers(dc);
    },
    [](WindowMessage* message) {
        if (!rec.script.empty()) {
            *message = rec.script.front();
            rec.script.pop_front();
            rec.calls.push_back(message->code != WM_NULL ? "msg" : "idle");
            return message->code != WM_NULL;
        }
        if (sdl_platform.peek_message(message)) return true;
        *message = {WM_QUIT, 99, 0};
        return true;
    },
    [](int32_t code) { fails("quit"), sdl_platform.post_quit_message(code); },
    [](WindowHandle, const WindowMessage*) -> intptr_t {
        return fails("default"), 7;  // the platform's default handling answers 7 here
    },
    [](const SDL_MessageBoxData* box, int* button) {
        const bool error = box->flags & SDL_MESSAGEBOX_ERROR,
                   warning = box->flags & SDL_MESSAGEBOX_WARNING;
        rec.calls.push_back(std::string("box") + "IWE"[warning + 2 * error] + ":" + box->title +
                            ":" + box->message);
        if (rec.no_boxes) return false;
        *button = rec.answers.empty() ? box->buttons[0].buttonid : rec.answers.front();
        if (!rec.answers.empty()) rec.answers.pop_front();
        return true;
    },
    [] { return !fails("setup"); },  // the renderer set-up, only logged
    [](DisplayModeList* list) { return sdl_platform.list_display_modes(list); },
};

// One fixture for the shell: fresh shell state, window, timeline and recording platform;
// whatever a test left open is closed afterwards.
class Shell : public testing::Test {
protected:
    void SetUp() override {
        shell_state_reset(), window_reset(), platform_reset(), timeline_reset();
        rec = Recorder{};
        platform = recording_platform;
    }
    void TearDown() override {
        rec.failing.clear();
        if (window_handle != nullptr) close_display_window();
        platform_reset(), window_reset();
    }
    // The log so far, joined by spaces, and a fresh log.
    static std::string log() {
        std::string joined;
        for (const std::string& call : rec.calls)
            joined += (joined.empty() ? "" : " ") + call;
        rec.calls.clear();
        return joined;
    }
    static void expect_no_handles() {
        EXPECT_TRUE(!window_handle && !device_context && !render_context && !instance_handle);
    }
};
