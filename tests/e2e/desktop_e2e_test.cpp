// The demo as a user meets it on an ordinary desktop: a 24-bit screen of exactly 640x480, where
// Yes gives full screen at the screen's own depth, and a larger 24-bit screen, where Yes gives
// the offer of a window; on both, quick taps of the keys as xdotool sends them (down and up a
// few milliseconds apart, often within one frame): Escape ends the show with 0 and F1 toggles
// exactly once. Without any display the demo says so in one line and ends with 1.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/e2e/support/demo.h"
#include "tests/e2e/support/x_client.h"
#include "tests/e2e/support/x_server.h"
#include "tests/e2e/support/x_windows.h"

namespace {

// Long enough for a second toggle to show if one tap made two: a toggle re-creates the window
// within a fraction of a second, and the software renderer draws tens of frames meanwhile.
constexpr int settle_ms = 2000;

class Desktop : public testing::Test {
protected:
    void TearDown() override {
        stop_process(demo_);
        stop_x_server(server_);
    }

    void start(const std::string& screen) {
        server_ = start_x_server(screen);
        ASSERT_FALSE(server_.display.empty()) << "Xvfb did not start for " << screen;
        demo_ = start_demo(server_);
        ASSERT_GT(demo_.pid, 0) << "cannot start " << demo_binary();
    }

    XWindow expect_window(const std::string& name) {
        XWindow window;
        EXPECT_TRUE(wait_for_window(server_, name, &window))
            << "no window \"" << name << "\"; demo log:\n"
            << process_log(demo_);
        return window;
    }

    bool covers_screen(const XWindow& window) {
        int width = 0, height = 0;
        return screen_size(server_, &width, &height) && window.x == 0 && window.y == 0 &&
               window.width == width && window.height == height;
    }

    // Taps F1 in the window and waits for the toggled window; `fallback` answers the offer of
    // a window that a refused full-screen mode brings. After a pause the same toggled window is
    // still there and no further offer has come: one toggle.
    XWindow toggle_once(const XWindow& window, bool fallback) {
        EXPECT_TRUE(tap_key(server_, window, "F1"));
        if (fallback) {
            EXPECT_TRUE(answer_first_button(server_, expect_window(fallback_caption)));
        }
        const XWindow toggled = expect_window(toggled_title);
        EXPECT_TRUE(wait_for_window_gone(server_, first_title));
        sleep_milliseconds(settle_ms);
        XWindow later;
        EXPECT_TRUE(find_window(server_, toggled_title, &later));
        EXPECT_EQ(later.id, toggled.id) << "the window was made again: a second toggle";
        EXPECT_FALSE(find_window(server_, fallback_caption, nullptr)) << "a second toggle asked";
        EXPECT_FALSE(process_finished(demo_));
        return toggled;
    }

    // Taps Escape during scene 2 (the toggled show has just restarted); the exit code.
    int end_with_tap(const XWindow& window) {
        EXPECT_TRUE(tap_key(server_, window, "Escape"));
        EXPECT_TRUE(wait_for_process(demo_, e2e_wait_seconds)) << "a tap of Escape was lost";
        return demo_.exit_code;
    }

    XServer server_;
    ChildProcess demo_;
};

TEST_F(Desktop, YesOnA640x480x24ScreenGivesFullScreenAndTapsActOnce) {
    start("640x480x24");
    ASSERT_TRUE(answer_first_button(server_, expect_window(start_up_caption)));

    const XWindow window = expect_window(first_title);
    EXPECT_TRUE(covers_screen(window));
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
    EXPECT_FALSE(find_window(server_, fallback_caption, nullptr));  // no second question
    move_pointer_into(server_, window, 320, 240);
    EXPECT_TRUE(poll_until([this] { return cursor_is_hidden(server_.display); },
                           e2e_wait_seconds));  // the full-screen window hides the cursor

    const XWindow toggled = toggle_once(window, false);
    EXPECT_EQ(end_with_tap(toggled), 0);
}

TEST_F(Desktop, YesOnA1024x768x24ScreenOffersAWindowAndTapsActOnce) {
    start("1024x768x24");
    ASSERT_TRUE(answer_first_button(server_, expect_window(start_up_caption)));
    ASSERT_TRUE(answer_first_button(server_, expect_window(fallback_caption)));

    const XWindow window = expect_window(first_title);
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
    EXPECT_FALSE(covers_screen(window));

    // The toggle asks for full screen, which this screen refuses: one offer, one new window.
    const XWindow toggled = toggle_once(window, true);
    EXPECT_EQ(end_with_tap(toggled), 0);
}

TEST_F(Desktop, WithoutADisplayOneLineSaysWhyAndTheExitCodeIsOne) {
    // Empty values count as unset; the demo is not pointed at any server.
    demo_ = start_process({demo_binary()},
                          {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}});
    ASSERT_GT(demo_.pid, 0);
    ASSERT_TRUE(wait_for_process(demo_, e2e_wait_seconds));
    EXPECT_EQ(demo_.exit_code, 1);
    const std::string log = process_log(demo_);
    std::istringstream lines(log);
    std::string line;
    int line_count = 0;
    while (std::getline(lines, line))
        ++line_count;
    EXPECT_EQ(line_count, 1) << log;
    EXPECT_NE(log.find("no display to open a window on"), std::string::npos) << log;
}

}  // namespace
