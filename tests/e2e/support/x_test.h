#pragma once
// What the end-to-end tests share: children started with settings of their own, waiting with a
// deadline, and a fixture that runs the demo under an X server of its own (Xvfb on the screen a
// test names, keys without auto-repeat) and meets it as a user does: windows found by the start
// of their names, the screen's pixels, keys typed through xdotool.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

double now();
template <typename Condition>
bool poll_until(Condition condition, double seconds = 120) {
    for (const double end = now() + seconds; !condition();) {
        if (now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A child with these entries ("NAME=value") before the test's own environment, its output to
// `output_fd`.
pid_t spawn(std::vector<std::string> arguments, std::vector<std::string> environment = {},
            int output_fd = 2);
// The exit code of a child that has ended (128 when a signal ended it), once it ends when told to
// wait; -1 while it runs.
int exit_code(pid_t pid, bool wait = false);
// Runs a command to its end; its exit code.
int run(std::vector<std::string> arguments, std::vector<std::string> environment = {});
// Ends a child that still runs.
void stop(pid_t pid);

// Whether a screen pixel (8-bit red, green, blue) shows that colour, within what a 16-bit screen
// keeps of it.
bool near(const uint8_t* pixel, int red, int green, int blue);
// The scene a screenshot of the show's window shows (2, 3 or 4), 0 when it is none of them.
int scene_of(const std::vector<uint8_t>& rgb);

// A viewable top-level window: its id, its position and size on the screen.
struct ScreenWindow {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

class XTest : public testing::Test {
protected:
    void TearDown() override;
    // Xvfb with this screen ("640x480x24") on a display of its own.
    void start_x(const std::string& screen);
    // The demo on that display (none before start_x) with the software renderer; `environment`
    // comes first, so its entries win. Its output goes to a log kept when the test fails.
    void start_demo(const std::vector<std::string>& environment = {});
    std::string demo_log() const;
    // The demo's exit code once it has ended; -1 while it runs.
    int demo_exit();
    bool demo_ends(double seconds = 120) {
        return poll_until([&] { return demo_exit() >= 0; }, seconds);
    }
    void xdotool(const std::string& arguments) const;
    // Focuses the window and types the keys as one quick tap each ("key" of xdotool).
    void tap(const ScreenWindow& window, const std::string& keys) const;
    bool find(const std::string& name, ScreenWindow* window = nullptr) const;
    ScreenWindow wait_for(const std::string& name) const;
    // Whether the pointer's cursor is wholly transparent.
    bool cursor_hidden() const;
    // The screen's pixels in a rectangle, row by row, as 8-bit red, green, blue.
    std::vector<uint8_t> pixels(int x, int y, int width, int height) const;
    long demo_resident_kb() const;

    std::string display_name_;
    pid_t demo_ = -1;
    std::filesystem::path log_;

private:
    pid_t server_ = -1;
    int demo_code_ = -1;
    void* display_ = nullptr;  // the test's own connection
};
