#include "tests/e2e/support/x_test.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <fstream>
#include <iterator>

// Last: the X headers define None and Bool, which the test framework uses as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

extern "C" char** environ;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

pid_t spawn(std::vector<std::string> arguments, std::vector<std::string> environment,
            int output_fd) {
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.push_back(*entry);
    std::vector<char*> argv, envp;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    for (std::string& e : environment)
        envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, output_fd, 2);
    pid_t pid = -1;
    posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int exit_code(pid_t pid, bool wait) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, wait ? 0 : WNOHANG) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

int run(std::vector<std::string> arguments, std::vector<std::string> environment) {
    return exit_code(spawn(std::move(arguments), std::move(environment)), true);
}

void stop(pid_t pid) {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
}

bool near(const uint8_t* pixel, int red, int green, int blue) {
    constexpr int tolerance = 12;  // the 16-bit screen keeps 5 or 6 bits of each primary
    return std::abs(pixel[0] - red) <= tolerance && std::abs(pixel[1] - green) <= tolerance &&
           std::abs(pixel[2] - blue) <= tolerance;
}

// Scene 2 clears to light blue (0.3, 0.5, 1), scene 3 to purple (0.9, 0, 0.6); each covers at
// least a fifth of the frame, the other's colour almost none. Scene 4 clears to black under a
// fogged tunnel whose quads have equal red and blue, with few white text pixels, and is not
// wholly black (a window before its first frame or after its last).
int scene_of(const std::vector<uint8_t>& rgb) {
    double blue = 0, purple = 0, white = 0, red_is_blue = 0, black = 0;
    const double share = 3.0 / double(std::max<size_t>(rgb.size(), 3));
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        blue += near(&rgb[i], 77, 128, 255) * share;
        purple += near(&rgb[i], 230, 0, 153) * share;
        white += (rgb[i] > 240 && rgb[i + 1] > 240 && rgb[i + 2] > 240) * share;
        red_is_blue += (std::abs(rgb[i] - rgb[i + 2]) <= 3) * share;
        black += near(&rgb[i], 0, 0, 0) * share;
    }
    if (blue >= 0.2 && purple < 0.02) return 2;
    if (purple >= 0.2 && blue < 0.02) return 3;
    if (blue < 0.02 && purple < 0.02 && white < 0.2 && red_is_blue > 0.95 && black < 0.9) return 4;
    return 0;
}

namespace {

int ignore_x_error(Display*, XErrorEvent*) {
    return 0;  // a window that goes away while it is looked at is simply not found
}

}  // namespace

#define DISPLAY_ static_cast<Display*>(display_)

void XTest::TearDown() {
    if (demo_exit() < 0) stop(demo_);
    if (display_ != nullptr) XCloseDisplay(DISPLAY_);
    if (server_ > 0) kill(server_, SIGTERM), waitpid(server_, nullptr, 0);
    if (!HasFailure() && !log_.empty()) std::filesystem::remove(log_);
}

void XTest::start_x(const std::string& screen) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    server_ = spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen,
                     "-nolisten", "tcp"});
    close(ready[1]);
    char number[16] = {};
    ASSERT_GT(read(ready[0], number, sizeof number - 1), 0) << "Xvfb did not start";
    close(ready[0]);
    display_name_ = ":" + std::to_string(std::atoi(number));
    display_ = XOpenDisplay(display_name_.c_str());
    ASSERT_NE(display_, nullptr);
    XSetErrorHandler(ignore_x_error);
    XAutoRepeatOff(DISPLAY_);  // a held key is one key-down
}

void XTest::start_demo(const std::vector<std::string>& environment) {
    log_ = std::filesystem::temp_directory_path() /
           ("tirvalex-e2e-" + std::to_string(getpid()) + ".log");
    std::vector<std::string> settings = environment;
    settings.insert(settings.end(), {"DISPLAY=" + display_name_, "LIBGL_ALWAYS_SOFTWARE=1"});
    const int log_fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    demo_ = spawn({TIRVALEX_BINARY_DIR "/tirvalex3"}, settings, log_fd);
    close(log_fd);
    ASSERT_GT(demo_, 0);
}

std::string XTest::demo_log() const {
    std::ifstream file(log_);
    return {std::istreambuf_iterator<char>(file), {}};
}

int XTest::demo_exit() {
    if (demo_code_ < 0) demo_code_ = exit_code(demo_);
    return demo_code_;
}

void XTest::xdotool(const std::string& arguments) const {
    std::system(
        ("DISPLAY=" + display_name_ + " xdotool " + arguments + " >/dev/null 2>&1").c_str());
}

void XTest::tap(const ScreenWindow& window, const std::string& keys) const {
    xdotool("windowfocus --sync " + std::to_string(window.id) + " key " + keys);
}

bool XTest::find(const std::string& name, ScreenWindow* window) const {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(DISPLAY_, DefaultRootWindow(DISPLAY_), &root, &parent, &children, &count);
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) {
        XTextProperty title = {};  // UTF-8 as the demo sets it
        XWindowAttributes at;
        found =
            XGetWMName(DISPLAY_, children[i], &title) &&
            std::string(reinterpret_cast<char*>(title.value), title.nitems).rfind(name, 0) == 0 &&
            XGetWindowAttributes(DISPLAY_, children[i], &at) && at.map_state == IsViewable;
        if (title.value != nullptr) XFree(title.value);
        if (found && window != nullptr) *window = {children[i], at.x, at.y, at.width, at.height};
    }
    if (children != nullptr) XFree(children);
    return found;
}

ScreenWindow XTest::wait_for(const std::string& name) const {
    ScreenWindow window;
    EXPECT_TRUE(poll_until([&] { return find(name, &window); })) << "no window " << name << "\n"
                                                                 << demo_log();
    return window;
}

bool XTest::cursor_hidden() const {
    XFixesCursorImage* image = XFixesGetCursorImage(DISPLAY_);
    bool transparent = image != nullptr;
    for (long i = 0; transparent && i < long(image->width) * image->height; ++i)
        transparent = (image->pixels[i] >> 24) == 0;  // ARGB: no alpha
    if (image != nullptr) XFree(image);
    return transparent;
}

std::vector<uint8_t> XTest::pixels(int x, int y, int width, int height) const {
    std::vector<uint8_t> rgb;
    XImage* image =
        XGetImage(DISPLAY_, DefaultRootWindow(DISPLAY_), x, y, width, height, AllPlanes, ZPixmap);
    for (int row = 0; image != nullptr && row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            for (unsigned long mask : {image->red_mask, image->green_mask, image->blue_mask})
                rgb.push_back(uint8_t(((pixel & mask) >> std::countr_zero(mask)) * 255 /
                                      (mask >> std::countr_zero(mask))));
        }
    }
    if (image != nullptr) XDestroyImage(image);
    return rgb;
}

long XTest::demo_resident_kb() const {
    std::ifstream status("/proc/" + std::to_string(demo_) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}
