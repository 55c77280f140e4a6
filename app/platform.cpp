#include "app/platform.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/keymap.h"
#include "app/renderer.h"

namespace {

// A quit posted by the window procedure, delivered once the queue has nothing else.
bool quit_posted = false;
int32_t posted_quit_code = 0;

// The full-screen mode granted by the last display-mode change; the next full-screen window
// takes it. SDL switches the display when that window is shown and puts the desktop mode back
// when the window goes.
bool full_screen_mode_chosen = false;
SDL_DisplayMode full_screen_display_mode = {};

// The program's module token: the address of a static of the program.
const char module_token = 0;

InstanceHandle sdl_module_handle() {
    return &module_token;
}

// The video driver the first open connected with ("x11"), kept for every later open.
std::string connected_video_driver;

constexpr int video_connect_attempts = 25;  // five seconds at most
constexpr Uint32 video_connect_retry_ms = 200;

// Starts the video subsystem. When SDL cannot reach the display it quietly moves on to the
// next driver it knows, down to one that draws off screen; at an F1 toggle on a busy machine
// a connection that fails once would so leave the show running in a window nobody can see.
// Later opens therefore insist on the driver the first open connected with, and try a few
// times before the open fails and says so.
// Starts SDL's video, trying again for a while: a connection can fail once on a busy machine.
// Each failed try says why on stderr when `report` is set.
bool start_video(bool report) {
    for (int attempt = 0; attempt < video_connect_attempts; ++attempt) {
        if (attempt > 0) SDL_Delay(video_connect_retry_ms);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        if (report) std::fprintf(stderr, "video: %s\n", SDL_GetError());
    }
    return false;
}

bool sdl_register_window_class() {
    if (!connected_video_driver.empty()) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, connected_video_driver.c_str());
    }
    if (!start_video(true)) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (connected_video_driver.empty() && driver != nullptr) connected_video_driver = driver;
    return true;
}

bool sdl_unregister_window_class() {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

// The first display's modes and desktop mode, as SDL lists them.
bool sdl_list_display_modes(DisplayModeList* list) {
    const int mode_count = SDL_GetNumDisplayModes(0);
    if (mode_count < 0 || SDL_GetDesktopDisplayMode(0, &list->desktop) != 0) return false;
    list->modes.clear();
    for (int i = 0; i < mode_count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) == 0) list->modes.push_back(mode);
    }
    return true;
}

// The first listed mode of that size at that depth, or null.
const SDL_DisplayMode* listed_mode(const DisplayModeList& list, int32_t width, int32_t height,
                                   int32_t bits) {
    for (const SDL_DisplayMode& mode : list.modes) {
        if (mode.w == width && mode.h == height &&
            (bits == 0 || stored_bits_per_pixel(mode.format) == bits)) {
            return &mode;
        }
    }
    return nullptr;
}

// A display mode of the requested size, any refresh rate: at the requested depth when the
// display lists one, otherwise at the display's own depth, otherwise at any depth. X11 and
// Wayland cannot change the depth of a running display, so a 24-bit desktop lists its modes at
// its own depth only, and the pixel format of the window (16 bits asked for, the closest
// granted) is what the depth request comes to there. Only a display without a mode of that
// size answers "mode not supported".
int32_t sdl_change_display_settings(const DisplayModeRequest* mode, uint32_t /*flags*/) {
    if (mode == nullptr) {  // back to the desktop mode
        full_screen_mode_chosen = false;
        return DISP_CHANGE_SUCCESSFUL;
    }
    DisplayModeList list;
    if (!platform.list_display_modes(&list)) return DISP_CHANGE_FAILED;
    const SDL_DisplayMode* found =
        listed_mode(list, mode->width, mode->height, mode->bits_per_pixel);
    if (found == nullptr) {
        found = listed_mode(list, mode->width, mode->height,
                            stored_bits_per_pixel(list.desktop.format));
    }
    if (found == nullptr) found = listed_mode(list, mode->width, mode->height, 0);
    if (found == nullptr) return DISP_CHANGE_BADMODE;
    full_screen_display_mode = *found;
    full_screen_mode_chosen = true;
    return DISP_CHANGE_SUCCESSFUL;
}

void sdl_show_cursor(bool shown) {
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

// The SDL buffer sizes for a pixel-format request: red, green and blue from the colour depth
// (5/6/5 at 16 bits), the depth buffer and double buffering as asked, in a compatibility
// context. SDL takes the sizes as minimums and the driver grants the closest format.
bool set_gl_attributes(const PixelFormatRequest* request) {
    int red = 8, green = 8, blue = 8;
    if (request->color_bits <= 15) {
        red = green = blue = 5;
    } else if (request->color_bits == 16) {
        red = 5, green = 6, blue = 5;
    }
    SDL_GL_ResetAttributes();
    bool accepted = true;
    auto set = [&accepted](SDL_GLattr attribute, int value) {
        accepted = SDL_GL_SetAttribute(attribute, value) == 0 && accepted;
    };
    set(SDL_GL_RED_SIZE, red);
    set(SDL_GL_GREEN_SIZE, green);
    set(SDL_GL_BLUE_SIZE, blue);
    set(SDL_GL_ALPHA_SIZE, request->alpha_bits);
    set(SDL_GL_DEPTH_SIZE, request->depth_bits);
    set(SDL_GL_STENCIL_SIZE, request->stencil_bits);
    set(SDL_GL_ACCUM_RED_SIZE, request->accum_bits / 4);
    set(SDL_GL_ACCUM_GREEN_SIZE, request->accum_bits / 4);
    set(SDL_GL_ACCUM_BLUE_SIZE, request->accum_bits / 4);
    set(SDL_GL_ACCUM_ALPHA_SIZE, request->accum_bits / 4);
    set(SDL_GL_DOUBLEBUFFER, (request->flags & PFD_DOUBLEBUFFER) ? 1 : 0);
    set(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    return accepted;
}

// The popup style is the full-screen window: no frame, and the chosen display mode. A sizing
// frame makes the window resizable.
WindowHandle sdl_create_window(uint32_t /*ex_style*/, const char* title, uint32_t style, int32_t x,
                               int32_t y, int32_t width, int32_t height,
                               const PixelFormatRequest* pixel_format) {
    if (!set_gl_attributes(pixel_format)) return nullptr;
    const bool full_screen = (style & WS_POPUP) != 0;
    uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (full_screen) flags |= SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;

    SDL_Window* window =
        SDL_CreateWindow(utf8_from_latin1(title).c_str(), x, y, width, height, flags);
    if (window == nullptr) return nullptr;
    // The display takes the mode when the window is shown; a mode SDL cannot match to one of
    // the display's own makes the window fail here.
    SDL_DisplayMode granted;
    if (full_screen && full_screen_mode_chosen &&
        (SDL_SetWindowDisplayMode(window, &full_screen_display_mode) != 0 ||
         SDL_GetWindowDisplayMode(window, &granted) != 0)) {
        SDL_DestroyWindow(window);
        return nullptr;
    }
    SDL_DisableScreenSaver();
    return window;
}

bool sdl_destroy_window(WindowHandle window) {
    SDL_DestroyWindow(window);
    SDL_EnableScreenSaver();
    return true;
}

DeviceContext sdl_get_device_context(WindowHandle window) {
    return SDL_GetWindowID(window) != 0 ? window : nullptr;
}

bool sdl_release_device_context(WindowHandle window, DeviceContext device_context) {
    return window != nullptr && device_context == window;
}

// The window's pixel format, fixed from the request when the window was created.
uint32_t sdl_choose_pixel_format(DeviceContext device_context,
                                 const PixelFormatRequest* /*request*/) {
    return SDL_GetWindowPixelFormat(device_context);
}

// The window takes a GL context exactly when it was created for one in that format.
bool sdl_set_pixel_format(DeviceContext device_context, uint32_t format,
                          const PixelFormatRequest* /*request*/) {
    return (SDL_GetWindowFlags(device_context) & SDL_WINDOW_OPENGL) != 0 &&
           SDL_GetWindowPixelFormat(device_context) == format;
}

RenderContext sdl_create_context(DeviceContext device_context) {
    return SDL_GL_CreateContext(device_context);
}

bool sdl_make_current(DeviceContext device_context, RenderContext context) {
    return SDL_GL_MakeCurrent(device_context, context) == 0;
}

bool sdl_delete_context(RenderContext context) {
    SDL_GL_DeleteContext(context);
    return true;
}

void sdl_show_window(WindowHandle window) {
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
}

bool sdl_swap_buffers(DeviceContext device_context) {
    SDL_GL_SwapWindow(device_context);
    return true;
}

bool sdl_peek_message(WindowMessage* message) {
    SDL_Event event;
    if (SDL_PollEvent(&event)) {
        *message = window_message_from_event(event);
        return true;
    }
    if (quit_posted) {
        quit_posted = false;
        *message = {WM_QUIT, static_cast<uintptr_t>(posted_quit_code), 0};
        return true;
    }
    return false;
}

void sdl_post_quit_message(int32_t code) {
    quit_posted = true;
    posted_quit_code = code;
}

intptr_t sdl_default_window_proc(WindowHandle /*window*/, const WindowMessage* /*message*/) {
    return 0;  // SDL has already done whatever the system does with the event
}

// SDL shows a box from a child process once video is up, and on a busy machine that child can
// fail before its window appears; one more try covers that. A box that still cannot be shown
// says why on stderr, and the caller then prints its text there too.
bool sdl_show_message_box(const SDL_MessageBoxData* box, int* button_id) {
    constexpr int message_box_attempts = 2;
    for (int attempt = 0; attempt < message_box_attempts; ++attempt) {
        if (SDL_ShowMessageBox(box, button_id) == 0) return true;
        std::fprintf(stderr, "message box: %s\n", SDL_GetError());
    }
    return false;
}

// The WM_ACTIVATE parameter: active or not in the low word, minimised in the high word.
WindowMessage activation_message(uintptr_t state, bool minimised) {
    return {WM_ACTIVATE, make_word_pair(static_cast<uint32_t>(state), minimised ? 1 : 0), 0};
}

bool window_is_minimised(uint32_t window_id) {
    SDL_Window* window = SDL_GetWindowFromID(window_id);
    return window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) != 0;
}

WindowMessage window_event_message(const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            return {WM_SIZE, 0,
                    static_cast<intptr_t>(make_word_pair(static_cast<uint32_t>(event.data1),
                                                         static_cast<uint32_t>(event.data2)))};
        case SDL_WINDOWEVENT_MINIMIZED:
            return activation_message(WA_INACTIVE, true);
        case SDL_WINDOWEVENT_RESTORED:
            return activation_message(WA_ACTIVE, false);
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            return activation_message(WA_ACTIVE, window_is_minimised(event.windowID));
        case SDL_WINDOWEVENT_FOCUS_LOST:
            return activation_message(WA_INACTIVE, window_is_minimised(event.windowID));
        case SDL_WINDOWEVENT_CLOSE:
            return {WM_CLOSE, 0, 0};
        default:
            return {WM_NULL, 0, 0};
    }
}

}  // namespace

bool chosen_full_screen_mode(SDL_DisplayMode* mode) {
    if (full_screen_mode_chosen && mode != nullptr) *mode = full_screen_display_mode;
    return full_screen_mode_chosen;
}

int32_t stored_bits_per_pixel(uint32_t format) {
    return SDL_ISPIXELFORMAT_FOURCC(format) ? 0 : SDL_BYTESPERPIXEL(format) * 8;
}

namespace {

bool names_something(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

bool display_available(std::string* reason) {
    if (names_something("SDL_VIDEODRIVER")) return true;
    const bool x11 = names_something("DISPLAY");
    const bool wayland = names_something("WAYLAND_DISPLAY");
    if (!x11 && !wayland) {
        *reason = "neither DISPLAY nor WAYLAND_DISPLAY is set";
        return false;
    }
    // Only the kinds of display the environment names are tried, so no other driver speaks up.
    if (x11 != wayland) SDL_SetHint(SDL_HINT_VIDEODRIVER, x11 ? "x11" : "wayland");
    // The display counts as unreachable only after the same tries a window's open makes.
    bool reached = false;
    if (start_video(false)) {
        const std::string driver = SDL_GetCurrentVideoDriver();
        reached = driver != "offscreen" && driver != "dummy";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    if (!reached) {
        *reason = x11 ? "DISPLAY=" + std::string(std::getenv("DISPLAY")) + " cannot be reached"
                      : "WAYLAND_DISPLAY=" + std::string(std::getenv("WAYLAND_DISPLAY")) +
                            " cannot be reached";
    }
    return reached;
}

std::string utf8_from_latin1(const char* text) {
    std::string utf8;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        if (*c < 0x80) {
            utf8 += static_cast<char>(*c);
        } else {
            utf8 += static_cast<char>(0xC0 | (*c >> 6));
            utf8 += static_cast<char>(0x80 | (*c & 0x3F));
        }
    }
    return utf8;
}

// Key repeat arrives as further key-downs, as the window procedure expects. A quit request
// from outside the window (the terminal's interrupt, the session ending) is handled as a
// close of the window.
WindowMessage window_message_from_event(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
            return {WM_KEYDOWN, virtual_key_of(event.key.keysym.sym), 0};
        case SDL_KEYUP:
            return {WM_KEYUP, virtual_key_of(event.key.keysym.sym), 0};
        case SDL_WINDOWEVENT:
            return window_event_message(event.window);
        case SDL_QUIT:
            return {WM_CLOSE, 0, 0};
        default:
            return {WM_NULL, 0, 0};
    }
}

const Platform sdl_platform = {
    sdl_module_handle,
    sdl_register_window_class,
    sdl_unregister_window_class,
    sdl_change_display_settings,
    sdl_show_cursor,
    sdl_create_window,
    sdl_destroy_window,
    sdl_get_device_context,
    sdl_release_device_context,
    sdl_choose_pixel_format,
    sdl_set_pixel_format,
    sdl_create_context,
    sdl_make_current,
    sdl_delete_context,
    sdl_show_window,
    sdl_swap_buffers,
    sdl_peek_message,
    sdl_post_quit_message,
    sdl_default_window_proc,
    sdl_show_message_box,
    setup_renderer,
    sdl_list_display_modes,
};

Platform platform = sdl_platform;

void platform_reset() {
    platform = sdl_platform;
    quit_posted = false;
    posted_quit_code = 0;
    full_screen_mode_chosen = false;
    full_screen_display_mode = {};
    connected_video_driver.clear();
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
}
