#include "bench/support/x_client.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <dlfcn.h>

#include <bit>

namespace {

// The X library entry points used here, looked up once.
struct XLibrary {
    bool loaded = false;
    decltype(&XOpenDisplay) open_display = nullptr;
    decltype(&XCloseDisplay) close_display = nullptr;
    decltype(&XInternAtom) intern_atom = nullptr;
    decltype(&XSendEvent) send_event = nullptr;
    decltype(&XSync) sync = nullptr;
    decltype(&XAutoRepeatOn) auto_repeat_on = nullptr;
    decltype(&XAutoRepeatOff) auto_repeat_off = nullptr;
    decltype(&XFree) free = nullptr;
    decltype(&XFixesQueryVersion) query_fixes_version = nullptr;
    decltype(&XFixesGetCursorImage) get_cursor_image = nullptr;
    decltype(&XGetImage) get_image = nullptr;
    decltype(&XSetErrorHandler) set_error_handler = nullptr;
};

template <typename Function>
void look_up(void* library, const char* name, Function& function) {
    function = library != nullptr ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}

const XLibrary& x_library() {
    static const XLibrary library = [] {
        XLibrary x;
        void* xlib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        void* xfixes = dlopen("libXfixes.so.3", RTLD_NOW | RTLD_LOCAL);
        look_up(xlib, "XOpenDisplay", x.open_display);
        look_up(xlib, "XCloseDisplay", x.close_display);
        look_up(xlib, "XInternAtom", x.intern_atom);
        look_up(xlib, "XSendEvent", x.send_event);
        look_up(xlib, "XSync", x.sync);
        look_up(xlib, "XAutoRepeatOn", x.auto_repeat_on);
        look_up(xlib, "XAutoRepeatOff", x.auto_repeat_off);
        look_up(xlib, "XFree", x.free);
        look_up(xfixes, "XFixesQueryVersion", x.query_fixes_version);
        look_up(xfixes, "XFixesGetCursorImage", x.get_cursor_image);
        look_up(xlib, "XGetImage", x.get_image);
        look_up(xlib, "XSetErrorHandler", x.set_error_handler);
        x.loaded = x.open_display && x.close_display && x.intern_atom && x.send_event && x.sync &&
                   x.auto_repeat_on && x.auto_repeat_off && x.free;
        return x;
    }();
    return library;
}

// Runs `request` on a fresh connection to the display; false when none can be made.
template <typename Request>
bool with_display(const std::string& name, Request request) {
    const XLibrary& x = x_library();
    if (!x.loaded) return false;
    Display* display = x.open_display(name.c_str());
    if (display == nullptr) return false;
    const bool done = request(x, display);
    x.sync(display, False);
    x.close_display(display);
    return done;
}

// One 8-bit channel of a pixel, from the bits its mask selects.
uint8_t channel_of(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const unsigned long value = (pixel & mask) >> shift;
    return static_cast<uint8_t>(bits >= 8 ? value >> (bits - 8)
                                          : value * 255 / ((1ul << bits) - 1));
}

// Xlib's default handler ends the process on any error; a failed read is only a false here.
int ignore_x_error(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

bool set_key_repeat(const std::string& display, bool on) {
    return with_display(display, [on](const XLibrary& x, Display* connection) {
        if (on) {
            x.auto_repeat_on(connection);
        } else {
            x.auto_repeat_off(connection);
        }
        return true;
    });
}

bool request_window_close(const std::string& display, unsigned long window) {
    return with_display(display, [window](const XLibrary& x, Display* connection) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = x.intern_atom(connection, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(x.intern_atom(connection, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        return x.send_event(connection, window, False, NoEventMask, &event) != 0;
    });
}

bool cursor_is_hidden(const std::string& display) {
    if (x_library().get_cursor_image == nullptr || x_library().query_fixes_version == nullptr) {
        return false;
    }
    return with_display(display, [](const XLibrary& x, Display* connection) {
        int major = 4, minor = 0;  // the extension answers only clients that said their version
        if (!x.query_fixes_version(connection, &major, &minor)) return false;
        XFixesCursorImage* image = x.get_cursor_image(connection);
        if (image == nullptr) return false;
        bool transparent = true;
        const unsigned long pixels = static_cast<unsigned long>(image->width) * image->height;
        for (unsigned long i = 0; i < pixels; ++i) {
            if ((image->pixels[i] >> 24) & 0xFF) transparent = false;  // ARGB: alpha set
        }
        x.free(image);
        return transparent;
    });
}

bool read_screen_pixels(const std::string& display, int x, int y, int width, int height,
                        std::vector<uint8_t>* rgb) {
    const XLibrary& library = x_library();
    if (library.get_image == nullptr || library.set_error_handler == nullptr || width <= 0 ||
        height <= 0) {
        return false;
    }
    return with_display(display, [&](const XLibrary& lib, Display* connection) {
        const auto earlier_handler = lib.set_error_handler(ignore_x_error);
        XImage* image = lib.get_image(connection, DefaultRootWindow(connection), x, y,
                                      unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        lib.set_error_handler(earlier_handler);
        if (image == nullptr) return false;
        rgb->resize(size_t(width) * size_t(height) * 3);
        uint8_t* out = rgb->data();
        for (int row = 0; row < height; ++row) {
            for (int column = 0; column < width; ++column) {
                const unsigned long pixel = XGetPixel(image, column, row);
                *out++ = channel_of(pixel, image->red_mask);
                *out++ = channel_of(pixel, image->green_mask);
                *out++ = channel_of(pixel, image->blue_mask);
            }
        }
        XDestroyImage(image);
        return true;
    });
}
