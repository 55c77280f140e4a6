#include "tests/support/x_display.h"

#include <poll.h>
#include <unistd.h>

#include <bit>

// Last: the X headers define None and Bool, which other headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

namespace {

Display* connection_of(const XDisplay& display) {
    return static_cast<Display*>(display.connection);
}

// Reads the display number Xvfb writes once it takes clients; "" when it ends or never answers.
std::string read_display_number(int fd) {
    std::string number;
    const double deadline = monotonic_seconds() + wait_bound_seconds;
    while (monotonic_seconds() < deadline) {
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char c;
        if (read(fd, &c, 1) != 1) return "";
        if (c == '\n') return number;
        number += c;
    }
    return "";
}

// Xlib's default handler ends the process; a window that goes away while it is looked at is
// simply not found, and a failed read is an empty one.
int ignore_x_error(Display*, XErrorEvent*) {
    return 0;
}

std::string title_of(Display* connection, Window window) {
    XTextProperty title = {};
    if (!XGetWMName(connection, window, &title)) return "";
    std::string text(reinterpret_cast<const char*>(title.value), title.nitems);
    XFree(title.value);
    return text;
}

// One 8-bit channel of a pixel, from the bits its mask selects.
uint8_t channel_of(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const unsigned long value = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
    return static_cast<uint8_t>(value * 255 / ((1ul << bits) - 1));
}

}  // namespace

XDisplay start_x_display(const std::string& screen) {
    XDisplay display;
    int ready[2];
    if (pipe(ready) != 0) return display;
    display.server = start_process({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                                    screen, "-nolisten", "tcp"});
    close(ready[1]);
    const std::string number = read_display_number(ready[0]);
    close(ready[0]);
    if (!number.empty()) display.connection = XOpenDisplay((":" + number).c_str());
    if (display.connection == nullptr) {
        stop_process(display.server);
        return display;
    }
    display.name = ":" + number;
    XSetErrorHandler(ignore_x_error);
    XAutoRepeatOff(connection_of(display));
    XSync(connection_of(display), False);
    return display;
}

void stop_x_display(XDisplay& display) {
    if (display.connection != nullptr) XCloseDisplay(connection_of(display));
    display.connection = nullptr;
    stop_process(display.server);
    display.name.clear();
}

std::string display_entry(const XDisplay& display) {
    return "DISPLAY=" + display.name;
}

bool find_window(const XDisplay& display, const std::string& title, ScreenWindow* window) {
    Display* connection = connection_of(display);
    Window root;
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(connection, DefaultRootWindow(connection), &root, &parent, &children, &count);
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!title_of(connection, children[i]).starts_with(title)) continue;
        if (!XGetWindowAttributes(connection, children[i], &attributes)) continue;
        if (attributes.map_state != IsViewable) continue;
        found = true;
        if (window == nullptr) continue;
        window->id = children[i];
        window->x = attributes.x;
        window->y = attributes.y;
        window->width = attributes.width;
        window->height = attributes.height;
    }
    if (children != nullptr) XFree(children);
    return found;
}

bool wait_for_window(const XDisplay& display, const std::string& title, ScreenWindow* window) {
    return poll_until([&] { return find_window(display, title, window); });
}

bool xdotool(const XDisplay& display, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    return run_command(arguments, {display_entry(display)}).exit_code == 0;
}

// One xdotool run focuses and types, so the keys go to the window just focused.
bool tap_key(const XDisplay& display, const ScreenWindow& window, const std::string& key) {
    return xdotool(display, {"windowfocus", "--sync", std::to_string(window.id), "key", key});
}

bool cursor_hidden(const XDisplay& display) {
    XFixesCursorImage* image = XFixesGetCursorImage(connection_of(display));
    if (image == nullptr) return false;
    bool transparent = true;
    const long pixels = long(image->width) * image->height;
    for (long i = 0; i < pixels; ++i) {
        if ((image->pixels[i] >> 24) != 0) transparent = false;  // ARGB: some alpha
    }
    XFree(image);
    return transparent;
}

std::vector<uint8_t> screen_pixels(const XDisplay& display, int x, int y, int width, int height) {
    Display* connection = connection_of(display);
    std::vector<uint8_t> rgb;
    XImage* image = XGetImage(connection, DefaultRootWindow(connection), x, y, unsigned(width),
                              unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr) return rgb;
    rgb.reserve(size_t(width) * size_t(height) * 3);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            rgb.push_back(channel_of(pixel, image->red_mask));
            rgb.push_back(channel_of(pixel, image->green_mask));
            rgb.push_back(channel_of(pixel, image->blue_mask));
        }
    }
    XDestroyImage(image);
    return rgb;
}
