#pragma once
#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/window_message.h"

// The thin platform layer under the shell: the window-system operations the window, the main
// loop and the message boxes need, in the shape those callers expect of them, carried out
// with SDL2. Every SDL call of the shell goes through the record `platform`, so a test can
// replace any one operation with one that fails and walk every failure path; the program
// itself only ever runs with the SDL operations (`sdl_platform`).

// On this platform the window and its device context are the same SDL window: SDL draws,
// swaps and makes contexts current through the window itself.
using WindowHandle = SDL_Window*;
using DeviceContext = SDL_Window*;
using RenderContext = SDL_GLContext;
using InstanceHandle = const void*;  // a token for the program's own module

// Display-mode request for full screen: the mode's size and its bits per pixel.
struct DisplayModeRequest {
    int32_t width;
    int32_t height;
    int32_t bits_per_pixel;
};
constexpr uint32_t CDS_FULLSCREEN = 4;  // the change lasts while the program runs
constexpr int32_t DISP_CHANGE_SUCCESSFUL = 0;
constexpr int32_t DISP_CHANGE_FAILED = -1;
constexpr int32_t DISP_CHANGE_BADMODE = -2;

// Pixel-format request: the buffers the rendering context is to draw into. The closest
// format the driver grants is accepted.
struct PixelFormatRequest {
    uint16_t size;
    uint16_t version;
    uint32_t flags;  // PFD_* below
    uint8_t pixel_type;
    uint8_t color_bits;
    uint8_t alpha_bits;
    uint8_t accum_bits;
    uint8_t depth_bits;
    uint8_t stencil_bits;
    uint8_t aux_buffers;
    uint8_t layer_type;
};
constexpr uint32_t PFD_DOUBLEBUFFER = 0x01;
constexpr uint32_t PFD_DRAW_TO_WINDOW = 0x04;
constexpr uint32_t PFD_SUPPORT_OPENGL = 0x20;
constexpr uint8_t PFD_TYPE_RGBA = 0;
constexpr uint8_t PFD_MAIN_PLANE = 0;

// Window styles: the full-screen window is a bare popup, the windowed one has a title bar,
// a sizing frame and the usual buttons.
constexpr uint32_t WS_EX_WINDOWEDGE = 0x00000100;
constexpr uint32_t WS_EX_APPWINDOW = 0x00040000;
constexpr uint32_t WS_THICKFRAME = 0x00040000;
constexpr uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr uint32_t WS_CLIPCHILDREN = 0x02000000;
constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;
constexpr uint32_t WS_POPUP = 0x80000000;

// The display modes the full-screen search looks through: the first display's list and its
// desktop mode.
struct DisplayModeList {
    std::vector<SDL_DisplayMode> modes;
    SDL_DisplayMode desktop;
};

struct Platform {
    // The program's own module handle (a non-null token).
    InstanceHandle (*module_handle)();
    // Window class registration: starts and stops SDL's video subsystem.
    bool (*register_window_class)();
    bool (*unregister_window_class)();
    // Asks for a full-screen display mode (flags CDS_FULLSCREEN), or with a null mode and no
    // flags puts the desktop mode back. DISP_CHANGE_SUCCESSFUL or a failure code.
    int32_t (*change_display_settings)(const DisplayModeRequest* mode, uint32_t flags);
    // Shows or hides the mouse cursor.
    void (*show_cursor)(bool shown);
    // Creates the window, hidden, with a client area of width x height at (x, y). On this
    // platform the window's pixel format is fixed when it is created, so the request travels
    // with the window. The screen saver stays off while the window exists. Null on failure.
    WindowHandle (*create_window)(uint32_t ex_style, const char* title, uint32_t style, int32_t x,
                                  int32_t y, int32_t width, int32_t height,
                                  const PixelFormatRequest* pixel_format);
    bool (*destroy_window)(WindowHandle window);
    // The window's own device context, kept until teardown; null on failure.
    DeviceContext (*get_device_context)(WindowHandle window);
    bool (*release_device_context)(WindowHandle window, DeviceContext device_context);
    // The closest pixel format the window was granted for the request; 0 when none.
    uint32_t (*choose_pixel_format)(DeviceContext device_context,
                                    const PixelFormatRequest* request);
    // Gives the device context that pixel format; false when it cannot take it.
    bool (*set_pixel_format)(DeviceContext device_context, uint32_t format,
                             const PixelFormatRequest* request);
    // OpenGL rendering context: create (null on failure), make current (a null context
    // releases the current one), delete.
    RenderContext (*create_context)(DeviceContext device_context);
    bool (*make_current)(DeviceContext device_context, RenderContext context);
    bool (*delete_context)(RenderContext context);
    // Shows the window, brings it to the front and gives it the keyboard.
    void (*show_window)(WindowHandle window);
    // Presents the back buffer.
    bool (*swap_buffers)(DeviceContext device_context);
    // Takes the next message from the queue without waiting; false when it is empty. A quit
    // posted with post_quit_message is delivered as WM_QUIT once no other event is waiting.
    bool (*peek_message)(WindowMessage* message);
    void (*post_quit_message)(int32_t code);
    // What a message the window procedure does not handle comes to.
    intptr_t (*default_window_proc)(WindowHandle window, const WindowMessage* message);
    // Shows a message box (UTF-8 texts) and waits; false when none can be shown.
    bool (*show_message_box)(const SDL_MessageBoxData* box, int* button_id);
    // The renderer set-up the window runs once its context is current (the shell's own
    // setup_renderer). Test fixtures replace it to reach the failure the real one never reports.
    bool (*setup_renderer)();
    // The display modes of the first display; false when the display cannot tell.
    bool (*list_display_modes)(DisplayModeList* list);
};

extern Platform platform;            // the operations the shell calls
extern const Platform sdl_platform;  // the SDL operations

// The mode the last granted full-screen request chose; false when none is chosen.
bool chosen_full_screen_mode(SDL_DisplayMode* mode);

// The bits per pixel of a display mode's format: the stored size of one pixel, so 15- and
// 16-bit formats are both 16-bit modes and padded 24-bit ones are 32.
int32_t stored_bits_per_pixel(uint32_t format);

// Whether there is a display to open a window on. SDL would otherwise go on quietly to a
// driver that draws off screen, where nobody can answer a question. False, with the cause in
// `reason`, when neither DISPLAY nor WAYLAND_DISPLAY names a display, or the one named cannot
// be reached; true without a look when SDL_VIDEODRIVER names a driver of the user's choice.
bool display_available(std::string* reason);

// Puts the SDL operations back into `platform` and forgets a posted quit and a chosen
// full-screen mode (for test fixtures).
void platform_reset();

// The UTF-8 form of a Latin-1 text: every byte is the code point of the same number. The
// shell's texts are Latin-1; SDL takes UTF-8.
std::string utf8_from_latin1(const char* text);

// The message an SDL event becomes: keys, size, activation, close; WM_NULL for the rest.
WindowMessage window_message_from_event(const SDL_Event& event);
