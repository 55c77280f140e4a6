#include "tests/support/x_display.h"

#include <unistd.h>

#include <algorithm>
#include <bit>

// Last: the X headers define None and Bool, which other headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

namespace {

// Reads the display number Xvfb writes once it takes clients; "" when it ends first.
std::string read_display_number(int fd) {
    std::string number;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n')
        number += c;
    return c == '\n' ? number : "";
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

// One 8-bit channel of a pixel, from the bits its mask selects, scaled from their full value.
uint8_t channel_of(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / (mask >> shift));
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
    XAutoRepeatOff(display.connection);
    XSync(display.connection, False);
    return display;
}

void stop_x_display(XDisplay& display) {
    if (display.connection != nullptr) XCloseDisplay(display.connection);
    display.connection = nullptr;
    stop_process(display.server);
    display.name.clear();
}

std::string display_entry(const XDisplay& display) {
    return "DISPLAY=" + display.name;
}

bool find_window(const XDisplay& display, const std::string& title, ScreenWindow* window) {
    Display* connection = display.connection;
    Window root;
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(connection, DefaultRootWindow(connection), &root, &parent, &children, &count);
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        found = title_of(connection, children[i]).starts_with(title) &&
                XGetWindowAttributes(connection, children[i], &attributes) &&
                attributes.map_state == IsViewable;
        if (found && window != nullptr) {
            *window = {children[i], attributes.x, attributes.y, attributes.width,
                       attributes.height};
        }
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
    XFixesCursorImage* image = XFixesGetCursorImage(display.connection);
    if (image == nullptr) return false;
    const unsigned long* pixels = image->pixels;  // ARGB: transparent when no alpha anywhere
    const bool transparent = std::all_of(pixels, pixels + image->width * image->height,
                                         [](unsigned long argb) { return argb >> 24 == 0; });
    XFree(image);
    return transparent;
}

std::vector<Rgb> screen_pixels(const XDisplay& display, int x, int y, int width, int height) {
    Display* connection = display.connection;
    std::vector<Rgb> pixels;
    XImage* image = XGetImage(connection, DefaultRootWindow(connection), x, y, unsigned(width),
                              unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            pixels.push_back({channel_of(pixel, image->red_mask),
                              channel_of(pixel, image->green_mask),
                              channel_of(pixel, image->blue_mask)});
        }
    }
    XDestroyImage(image);
    return pixels;
}
