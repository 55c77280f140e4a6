#include "app/window.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "app/message_box.h"
#include "app/renderer.h"
#include "app/shell_state.h"

WindowHandle window_handle = nullptr;
DeviceContext device_context = nullptr;
RenderContext render_context = nullptr;
InstanceHandle instance_handle = nullptr;
PixelFormatRequest pixel_format_request = {};

namespace {

bool pixel_format_request_filled = false;

constexpr const char* open_error_caption = "ERROR";
constexpr const char* close_error_caption = "SHUTDOWN ERROR";

// The request for a double-buffered RGBA format with a 16-bit depth buffer and nothing else,
// at the colour depth of the first open; later opens reuse it unchanged.
void fill_pixel_format_request(int bits) {
    if (pixel_format_request_filled) return;
    pixel_format_request = {};
    pixel_format_request.size = 40;
    pixel_format_request.version = 1;
    pixel_format_request.flags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pixel_format_request.pixel_type = PFD_TYPE_RGBA;
    pixel_format_request.color_bits = static_cast<uint8_t>(bits);
    pixel_format_request.depth_bits = 16;
    pixel_format_request.layer_type = PFD_MAIN_PLANE;
    pixel_format_request_filled = true;
}

// A failure from window creation on: tear down what was built, then tell the user.
bool fail_open(const char* text) {
    close_display_window();
    message_box(text, open_error_caption, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

// A failed teardown step is reported and the teardown goes on.
void report_close_failure(const char* text) {
    message_box(text, close_error_caption, MB_OK | MB_ICONINFORMATION);
}

// Offers windowed mode in place of a full-screen mode that was refused. False when the user
// declines, after telling them the program ends.
bool offer_windowed_mode() {
    const int32_t answer = message_box(
        "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
        "Instead?",
        "Vimpa - Zelmorint", MB_YESNO | MB_ICONEXCLAMATION);
    if (answer == ID_YES) {
        full_screen_mode = false;
        return true;
    }
    message_box("Program Will Now Close.", open_error_caption, MB_OK | MB_ICONSTOP);
    return false;
}

// Asks for the full-screen mode; when it is refused, offers windowed mode instead.
bool enter_full_screen_mode(int width, int height, int bits) {
    const DisplayModeRequest mode = {width, height, bits};
    if (platform.change_display_settings(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) {
        return true;
    }
    return offer_windowed_mode();
}

// The window with the prepared pixel format and its rendering context, made current, step by
// step. The message naming the step that failed, null when every step worked; the handles of
// the steps that worked are left for close_display_window.
const char* create_gl_window(const char* title, uint32_t ex_style, uint32_t style, int width,
                             int height) {
    window_handle =
        platform.create_window(ex_style, title, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                               width, height, &pixel_format_request);
    if (window_handle == nullptr) return "Window Creation Error.";

    device_context = platform.get_device_context(window_handle);
    if (device_context == nullptr) return "Can't Create A GL Device Context.";

    const uint32_t pixel_format =
        platform.choose_pixel_format(device_context, &pixel_format_request);
    if (pixel_format == 0) return "Can't Find A Suitable PixelFormat.";
    if (!platform.set_pixel_format(device_context, pixel_format, &pixel_format_request)) {
        return "Can't Set The PixelFormat.";
    }

    render_context = platform.create_context(device_context);
    if (render_context == nullptr) return "Can't Create A GL Rendering Context.";
    if (!platform.make_current(device_context, render_context)) {
        return "Can't Activate The GL Rendering Context.";
    }
    return nullptr;
}

}  // namespace

// The steps run in a fixed order and every failure names its step. The window class (SDL's
// video subsystem here) is registered on every open and unregistered on every close. Up to
// the display mode nothing needs undoing but the class registration, which the program's end
// takes with it; from the window on, a failure tears down everything built so far.
bool open_display_window(const char* title, int width, int height, int bits, bool full_screen) {
    // SDL sizes windows by their client area, so the window rectangle is the client rectangle
    // and needs no growing for the frame and title bar the styles add.
    const int window_width = width;
    const int window_height = height;
    full_screen_mode = full_screen;
    instance_handle = platform.module_handle();

    // These two failures leave nothing to tear down; the handle is cleared so that a failed
    // open always leaves no handles behind.
    if (!platform.register_window_class()) {
        instance_handle = nullptr;
        message_box("Failed To Register The Window Class.", open_error_caption,
                    MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (full_screen_mode && !enter_full_screen_mode(width, height, bits)) {
        instance_handle = nullptr;
        return false;
    }

    constexpr uint32_t windowed_ex_style = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    constexpr uint32_t windowed_style = WS_OVERLAPPEDWINDOW;
    uint32_t ex_style = windowed_ex_style;
    uint32_t style = windowed_style;
    if (full_screen_mode) {
        ex_style = WS_EX_APPWINDOW;
        style = WS_POPUP;
        platform.show_cursor(false);
    }

    // The window's pixel format is fixed when the window is created, so the request is made
    // ready here, for this window and every later one.
    fill_pixel_format_request(bits);
    const char* failure = create_gl_window(title, ex_style, style, window_width, window_height);
    // On this platform the display takes the full-screen mode with the window, so a full-screen
    // window that cannot be made is a mode that cannot be set: the display and the cursor are
    // put back and windowed mode is offered, as for a mode refused at once.
    if (failure != nullptr && window_handle == nullptr && full_screen_mode) {
        platform.change_display_settings(nullptr, 0);
        platform.show_cursor(true);
        if (!offer_windowed_mode()) {
            instance_handle = nullptr;
            return false;
        }
        failure =
            create_gl_window(title, windowed_ex_style, windowed_style, window_width, window_height);
    }
    if (failure != nullptr) return fail_open(failure);

    platform.show_window(window_handle);
    set_projection(width, height);  // size events before the context was current did nothing
    if (!platform.setup_renderer()) return fail_open("Initialization Failed.");
    return true;
}

// Undoes open_display_window step by step. Every handle is cleared whether or not its release
// worked, so a later teardown never hands an already released handle to the platform again.
void close_display_window() {
    if (full_screen_mode) {
        platform.change_display_settings(nullptr, 0);
        platform.show_cursor(true);
    }
    if (render_context != nullptr) {
        if (!platform.make_current(nullptr, nullptr)) {
            report_close_failure("Release Of DC And RC Failed.");
        }
        if (!platform.delete_context(render_context)) {
            report_close_failure("Release Rendering Context Failed.");
        }
        render_context = nullptr;
    }
    if (device_context != nullptr) {
        if (!platform.release_device_context(window_handle, device_context)) {
            report_close_failure("Release Device Context Failed.");
        }
        device_context = nullptr;
    }
    if (window_handle != nullptr) {
        if (!platform.destroy_window(window_handle))
            report_close_failure("Could Not Release hWnd.");
        window_handle = nullptr;
    }
    if (!platform.unregister_window_class()) report_close_failure("Could Not Unregister Class.");
    instance_handle = nullptr;
    // The text routine forgets the glyphs until the next window's set-up hands them over again.
    free_outline_font();
}

// Only the high word of the activation state is read: a window that merely loses the focus
// stays active and goes on drawing; a minimised one does not.
intptr_t display_window_proc(WindowHandle window, const WindowMessage* message) {
    switch (message->code) {
        case WM_ACTIVATE:
            window_active = high_word(message->wparam) == 0;
            return 0;
        case WM_SYSCOMMAND:
            if (message->wparam == SC_SCREENSAVE || message->wparam == SC_MONITORPOWER) return 0;
            break;
        case WM_CLOSE:
            platform.post_quit_message(0);
            return 0;
        case WM_KEYDOWN:
            if (message->wparam < 256) {
                key_down[message->wparam] = true;
                key_pressed[message->wparam] = true;
            }
            return 0;
        case WM_KEYUP:
            if (message->wparam < 256) key_down[message->wparam] = false;
            return 0;
        case WM_SIZE:
            set_projection(static_cast<int>(low_word(static_cast<uintptr_t>(message->lparam))),
                           static_cast<int>(high_word(static_cast<uintptr_t>(message->lparam))));
            return 0;
        default:
            break;
    }
    return platform.default_window_proc(window, message);
}

// A 45-degree vertical field of view over the client area, from 0.1 to 100 units. The aspect
// ratio is taken in double precision from the two integers; the near plane is the
// single-precision 0.1 widened to double.
void set_projection(int width, int height) {
    if (height == 0) height = 1;  // a window shrunk to nothing still has a valid aspect
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void window_reset() {
    window_handle = nullptr;
    device_context = nullptr;
    render_context = nullptr;
    instance_handle = nullptr;
    pixel_format_request = {};
    pixel_format_request_filled = false;
}
