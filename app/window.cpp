#include "app/window.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "app/message_box.h"
#include "app/renderer.h"
#include "app/shell.h"

namespace {

constexpr int depth_buffer_bits = 16;

constexpr const char* open_error_caption = "ERROR";
constexpr const char* close_error_caption = "SHUTDOWN ERROR";

// What the user is told when a step of the opening fails, the steps in the platform's order;
// a display mode refused for a window in a frame counts as the window's failure.
struct OpenFailureText {
    OpenStep step;
    const char* text;
};
constexpr OpenFailureText open_failure_texts[] = {
    {OpenStep::video, "Failed To Register The Window Class."},
    {OpenStep::buffers, "Can't Set The PixelFormat."},
    {OpenStep::window, "Window Creation Error."},
    {OpenStep::surface, "Can't Create A GL Device Context."},
    {OpenStep::pixel_format, "Can't Find A Suitable PixelFormat."},
    {OpenStep::gl_context, "Can't Create A GL Rendering Context."},
    {OpenStep::gl_current, "Can't Activate The GL Rendering Context."},
};

const char* open_failure_text(OpenStep step) {
    for (const OpenFailureText& failure : open_failure_texts) {
        if (failure.step == step) return failure.text;
    }
    return "Window Creation Error.";
}

// A failure from the window on: tear down what was built, then tell the user.
OpenOutcome fail_open(DisplayWindow& window, const char* text) {
    close_display_window(window);
    message_box(*window.platform, text, open_error_caption, Buttons::ok, Icon::exclamation);
    return OpenOutcome::failed;
}

// Offers windowed mode in place of a full-screen mode the display does not have. Opened when
// the user takes it, failed when they decline (after telling them the program ends).
OpenOutcome offer_windowed_mode(const Platform& platform) {
    const Answer answer = message_box(
        platform,
        "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
        "Instead?",
        "Vimpa - Zelmorint", Buttons::yes_no, Icon::exclamation);
    if (answer == Answer::not_yet) return OpenOutcome::waiting;
    if (answer == Answer::yes) {
        full_screen_mode = false;
        return OpenOutcome::opened;
    }
    message_box(platform, "Program Will Now Close.", open_error_caption, Buttons::ok, Icon::stop);
    return OpenOutcome::failed;
}

// The first listed mode of the wanted size at that depth (any depth for 0).
const DisplayMode* listed_mode(const DisplayModes& modes, const DisplayMode& wanted, int bits) {
    for (const DisplayMode& mode : modes.modes) {
        if (mode.width == wanted.width && mode.height == wanted.height &&
            (bits == 0 || mode.bits_per_pixel == bits)) {
            return &mode;
        }
    }
    return nullptr;
}

void report_close_failure(const Platform& platform, bool failed, const char* text) {
    if (failed) message_box(platform, text, close_error_caption, Buttons::ok, Icon::information);
}

}  // namespace

// X11 and Wayland cannot change the depth of a running display, so a 24-bit desktop lists its
// modes at its own depth only, and the pixel format of the window (the closest to the depth
// asked for) is what the depth request comes to there.
bool choose_full_screen_mode(const DisplayModes& modes, DisplayMode* wanted) {
    const DisplayMode* found = listed_mode(modes, *wanted, wanted->bits_per_pixel);
    if (found == nullptr) found = listed_mode(modes, *wanted, modes.desktop.bits_per_pixel);
    if (found == nullptr) found = listed_mode(modes, *wanted, 0);
    if (found == nullptr) return false;
    *wanted = *found;
    return true;
}

// The steps run in the platform's fixed order and every failure names its step. A video
// system that did not start, or a mode the user would not replace by a window, leaves nothing
// to tear down; any later failure tears down everything built so far. A display that cannot
// list its modes is asked for the mode itself.
OpenOutcome open_display_window(DisplayWindow& window, const char* title, int width, int height,
                                int bits, bool full_screen) {
    const Platform& platform = *window.platform;
    full_screen_mode = full_screen;
    if (window.pixel_format_bits == 0) window.pixel_format_bits = bits;
    WindowRequest request = {
        .full_screen = full_screen_mode,
        .width = width,
        .height = height,
        .title = title,
        .colour_bits = window.pixel_format_bits,
        .depth_bits = depth_buffer_bits,
        .display_mode = {width, height, bits, 0},
    };
    OpenStep step = OpenStep::display_mode;
    DisplayModes modes;
    if (!full_screen_mode || !platform.list_display_modes(&modes) ||
        choose_full_screen_mode(modes, &request.display_mode)) {
        step = platform.open_window(request);
    }
    if (full_screen_mode && step == OpenStep::display_mode) {
        const OpenOutcome offer = offer_windowed_mode(platform);
        if (offer != OpenOutcome::opened) return offer;
        request.full_screen = false;
        step = platform.open_window(request);
    }
    if (step == OpenStep::video) {
        message_box(platform, open_failure_text(step), open_error_caption, Buttons::ok,
                    Icon::exclamation);
        return OpenOutcome::failed;
    }
    if (step != OpenStep::opened) return fail_open(window, open_failure_text(step));
    set_projection(width, height);  // size events before the context was current did nothing
    if (!setup_renderer()) return fail_open(window, "Initialization Failed.");
    return OpenOutcome::opened;
}

// Every teardown step runs whether or not the ones before it worked.
void close_display_window(DisplayWindow& window) {
    const Platform& platform = *window.platform;
    const CloseFailures failed = platform.close_window();
    report_close_failure(platform, failed.release_gl_context, "Release Of DC And RC Failed.");
    report_close_failure(platform, failed.delete_gl_context, "Release Rendering Context Failed.");
    report_close_failure(platform, failed.release_surface, "Release Device Context Failed.");
    report_close_failure(platform, failed.destroy_window, "Could Not Release hWnd.");
    report_close_failure(platform, failed.stop_video, "Could Not Unregister Class.");
    // The text routine forgets the glyphs until the next window's set-up hands them over again.
    free_outline_font();
}

// A window that merely loses the focus stays active and goes on drawing; a minimised one does
// not.
void display_window_proc(const ShellEvent& event) {
    switch (event.kind) {
        case ShellEventKind::key_down:
            key_down[event.key] = true;
            break;
        case ShellEventKind::key_up:
            key_down[event.key] = false;
            break;
        case ShellEventKind::resized:
            set_projection(event.width, event.height);
            break;
        case ShellEventKind::minimised:
            window_active = false;
            break;
        case ShellEventKind::restored:
            window_active = true;
            break;
        default:
            break;
    }
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
