#pragma once
// A platform layer for tests: every operation is logged by name and then carried out with the
// SDL operations, except the one a test names as failing, which reports failure. Message
// boxes are never shown: they are recorded and answered from a list the test gives.
#include <SDL.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/platform.h"

struct RecordedButton {
    std::string text;
    uint32_t flags;
    int id;
};

struct RecordedBox {
    std::string title;    // UTF-8, as SDL gets it
    std::string message;  // UTF-8
    uint32_t flags;
    bool has_owner;
    std::vector<RecordedButton> buttons;
};

struct PlatformRecorder {
    std::vector<std::string> calls;  // operation names in call order
    std::vector<RecordedBox> boxes;
    std::deque<int> answers;  // button ids for the next boxes; the first button when empty
    // Operations that report failure: "name" fails every call, "name#k" only the k-th.
    std::vector<std::string> failing;
    std::map<std::string, int> call_counts;
    bool boxes_unavailable = false;   // no message box can be shown at all
    bool grant_display_mode = false;  // the full-screen mode change succeeds without SDL
    // Messages peek_message delivers (logged "message"; a WM_NULL entry stands for an empty
    // queue, logged "empty"), before the real queue. Once the script and the real queue are
    // both used up, a test that set script_only gets WM_QUIT with code 99, so a loop that
    // the script failed to end still ends.
    std::deque<WindowMessage> script;
    bool script_only = false;
    void (*on_swap)() = nullptr;          // called at every swap_buffers
    std::vector<uint32_t> window_styles;  // the style of every create_window call
    std::vector<std::string> window_titles;
};

inline PlatformRecorder recorder;

namespace platform_recorder_detail {

// Logs the call; true when the test wants this operation to fail.
inline bool fails(const char* name) {
    recorder.calls.emplace_back(name);
    const std::string numbered =
        std::string(name) + "#" + std::to_string(++recorder.call_counts[name]);
    for (const std::string& failing : recorder.failing) {
        if (failing == name || failing == numbered) return true;
    }
    return false;
}

// Opening steps fail without doing anything; teardown steps do their work and then report
// failure, so a test that fails them leaks nothing.
inline const Platform recording_platform = {
    [] { return fails("module_handle") ? nullptr : sdl_platform.module_handle(); },
    [] { return !fails("register_window_class") && sdl_platform.register_window_class(); },
    [] {
        const bool failed = fails("unregister_window_class");
        return sdl_platform.unregister_window_class() && !failed;
    },
    [](const DisplayModeRequest* mode, uint32_t flags) {
        if (fails(mode != nullptr ? "change_display_settings" : "restore_display_mode")) {
            return DISP_CHANGE_BADMODE;
        }
        if (mode != nullptr && recorder.grant_display_mode) return DISP_CHANGE_SUCCESSFUL;
        return sdl_platform.change_display_settings(mode, flags);
    },
    [](bool shown) {
        fails(shown ? "show_cursor" : "hide_cursor");
        sdl_platform.show_cursor(shown);
    },
    [](uint32_t ex_style, const char* title, uint32_t style, int32_t x, int32_t y, int32_t width,
       int32_t height, const PixelFormatRequest* pixel_format) -> WindowHandle {
        recorder.window_styles.push_back(style);
        recorder.window_titles.emplace_back(title);
        if (fails("create_window")) return nullptr;
        return sdl_platform.create_window(ex_style, title, style, x, y, width, height,
                                          pixel_format);
    },
    [](WindowHandle window) {
        const bool failed = fails("destroy_window");
        return sdl_platform.destroy_window(window) && !failed;
    },
    [](WindowHandle window) -> DeviceContext {
        return fails("get_device_context") ? nullptr : sdl_platform.get_device_context(window);
    },
    [](WindowHandle window, DeviceContext device_context) {
        const bool failed = fails("release_device_context");
        return sdl_platform.release_device_context(window, device_context) && !failed;
    },
    [](DeviceContext device_context, const PixelFormatRequest* request) -> uint32_t {
        return fails("choose_pixel_format")
                   ? 0
                   : sdl_platform.choose_pixel_format(device_context, request);
    },
    [](DeviceContext device_context, uint32_t format, const PixelFormatRequest* request) {
        return !fails("set_pixel_format") &&
               sdl_platform.set_pixel_format(device_context, format, request);
    },
    [](DeviceContext device_context) -> RenderContext {
        return fails("create_context") ? nullptr : sdl_platform.create_context(device_context);
    },
    [](DeviceContext device_context, RenderContext context) {
        if (context == nullptr) {
            const bool failed = fails("release_current");
            return sdl_platform.make_current(device_context, context) && !failed;
        }
        return !fails("make_current") && sdl_platform.make_current(device_context, context);
    },
    [](RenderContext context) {
        const bool failed = fails("delete_context");
        return sdl_platform.delete_context(context) && !failed;
    },
    [](WindowHandle window) {
        fails("show_window");
        sdl_platform.show_window(window);
    },
    [](DeviceContext device_context) {
        if (recorder.on_swap != nullptr) recorder.on_swap();
        return !fails("swap_buffers") && sdl_platform.swap_buffers(device_context);
    },
    [](WindowMessage* message) {
        if (!recorder.script.empty()) {
            *message = recorder.script.front();
            recorder.script.pop_front();
            const bool taken = message->code != WM_NULL;
            recorder.calls.emplace_back(taken ? "message" : "empty");
            return taken;
        }
        if (sdl_platform.peek_message(message)) return true;
        if (!recorder.script_only) return false;
        *message = {WM_QUIT, 99, 0};
        return true;
    },
    [](int32_t code) {
        fails("post_quit_message");
        sdl_platform.post_quit_message(code);
    },
    [](WindowHandle window, const WindowMessage* message) {
        fails("default_window_proc");
        return sdl_platform.default_window_proc(window, message);
    },
    [](const SDL_MessageBoxData* box, int* button_id) {
        recorder.calls.emplace_back("message_box");
        if (recorder.boxes_unavailable) return false;
        RecordedBox recorded{box->title, box->message, box->flags, box->window != nullptr, {}};
        for (int i = 0; i < box->numbuttons; ++i) {
            recorded.buttons.push_back(
                {box->buttons[i].text, box->buttons[i].flags, box->buttons[i].buttonid});
        }
        recorder.boxes.push_back(recorded);
        if (recorder.answers.empty()) {
            *button_id = box->buttons[0].buttonid;
        } else {
            *button_id = recorder.answers.front();
            recorder.answers.pop_front();
        }
        return true;
    },
    // The real renderer set-up unless a test replaces it.
    [] { return sdl_platform.setup_renderer(); },
    [](DisplayModeList* list) { return sdl_platform.list_display_modes(list); },
};

}  // namespace platform_recorder_detail

// Starts a fresh recording and puts the recording operations into `platform`.
inline void install_platform_recorder() {
    platform_reset();
    recorder = PlatformRecorder{};
    platform = platform_recorder_detail::recording_platform;
}

// The calls logged since the last clear, and a fresh log.
inline std::vector<std::string> take_calls() {
    std::vector<std::string> calls;
    calls.swap(recorder.calls);
    return calls;
}
