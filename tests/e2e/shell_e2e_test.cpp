// The real demo under its own X servers, answered and driven with the X tools as a user would:
// the start-up question, full screen where a 640x480 16-bit mode exists, the fallback question
// where none does, the window titles around F1, and the exit codes of Escape, of closing the
// window and of declining windowed mode. With no window manager a window's size is its client
// area and the demo's full-screen window is told apart by covering the screen and hiding the
// mouse cursor, which the windowed one shows.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/support/demo.h"
#include "tests/e2e/support/x_client.h"
#include "tests/e2e/support/x_server.h"
#include "tests/e2e/support/x_windows.h"

namespace {

class Shell : public testing::Test {
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

    // Waits for a window or box of that name; fails the test with the demo's log otherwise.
    XWindow expect_window(const std::string& name) {
        XWindow window;
        if (wait_for_window(server_, name, &window)) return window;
        std::string names;
        for (const XWindow& other : list_windows(server_))
            names += " \"" + other.name + "\"";
        const std::string state =
            process_finished(demo_) ? "ended with " + std::to_string(demo_.exit_code) : "running";
        ADD_FAILURE() << "no window \"" << name << "\"; windows:" << names << "; demo " << state
                      << ", log:\n"
                      << process_log(demo_);
        return window;
    }

    // Holds the key until the demo has ended, then lets go; the demo's exit code.
    int end_with_key(const XWindow& window, const std::string& key) {
        EXPECT_TRUE(press_key(server_, window, key));
        const bool ended = wait_for_process(demo_, e2e_wait_seconds);
        release_key(server_, key);
        EXPECT_TRUE(ended) << "the demo did not end on " << key;
        return demo_.exit_code;
    }

    bool covers_screen(const XWindow& window) {
        int width = 0, height = 0;
        return screen_size(server_, &width, &height) && window.x == 0 && window.y == 0 &&
               window.width == width && window.height == height;
    }

    // The pointer over the window shows the cursor the window sets, once the demo has seen
    // the pointer arrive.
    bool cursor_becomes_hidden(const XWindow& window) {
        move_pointer_into(server_, window, window.width / 2, window.height / 2);
        return poll_until([this] { return cursor_is_hidden(server_.display); }, e2e_wait_seconds);
    }
    bool cursor_shows(const XWindow& window) {
        move_pointer_into(server_, window, window.width / 2, window.height / 2);
        return !cursor_is_hidden(server_.display);
    }

    XServer server_;
    ChildProcess demo_;
};

TEST_F(Shell, YesOnA640x480x16ScreenGivesFullScreen) {
    start("640x480x16");
    const XWindow question = expect_window(start_up_caption);
    ASSERT_TRUE(answer_first_button(server_, question));

    const XWindow window = expect_window(first_title);
    EXPECT_TRUE(covers_screen(window));
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
    EXPECT_TRUE(cursor_becomes_hidden(window));
    EXPECT_FALSE(find_window(server_, fallback_caption, nullptr));  // the mode was granted

    EXPECT_EQ(end_with_key(window, "Escape"), 0);
}

TEST_F(Shell, YesWithoutA640x480ModeAsksAndGivesAWindowedClientArea) {
    start("1024x768x24");
    ASSERT_TRUE(answer_first_button(server_, expect_window(start_up_caption)));

    const XWindow fallback = expect_window(fallback_caption);
    ASSERT_TRUE(answer_first_button(server_, fallback));

    const XWindow window = expect_window(first_title);
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
    EXPECT_FALSE(covers_screen(window));
    EXPECT_TRUE(cursor_shows(window));

    EXPECT_EQ(end_with_key(window, "Escape"), 0);
}

TEST_F(Shell, NoGivesAWindowAndClosingItEndsWithZero) {
    start("640x480x16");
    ASSERT_TRUE(answer_second_button(server_, expect_window(start_up_caption)));

    const XWindow window = expect_window(first_title);
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
    EXPECT_TRUE(cursor_shows(window));
    EXPECT_FALSE(find_window(server_, fallback_caption, nullptr));

    ASSERT_TRUE(request_window_close(server_.display, window.id));
    ASSERT_TRUE(wait_for_process(demo_, e2e_wait_seconds)) << "the close did not end the demo";
    EXPECT_EQ(demo_.exit_code, 0);
}

TEST_F(Shell, F1ReopensWithTheSecondTitleAndEscapeEndsWithZero) {
    start("640x480x16");
    ASSERT_TRUE(answer_first_button(server_, expect_window(start_up_caption)));
    const XWindow first = expect_window(first_title);
    EXPECT_TRUE(cursor_becomes_hidden(first));

    ASSERT_TRUE(press_key(server_, first, "F1"));
    const XWindow toggled = expect_window(toggled_title);
    release_key(server_, "F1");
    EXPECT_TRUE(wait_for_window_gone(server_, first_title));
    EXPECT_EQ(toggled.width, 640);  // windowed now, the same client area
    EXPECT_EQ(toggled.height, 480);
    EXPECT_TRUE(cursor_shows(toggled));

    EXPECT_EQ(end_with_key(toggled, "Escape"), 0);
}

TEST_F(Shell, DecliningWindowedModeSaysSoAndEndsWithOne) {
    start("1024x768x24");
    ASSERT_TRUE(answer_first_button(server_, expect_window(start_up_caption)));
    ASSERT_TRUE(answer_second_button(server_, expect_window(fallback_caption)));

    const XWindow message = expect_window(error_caption);
    ASSERT_TRUE(answer_first_button(server_, message));

    ASSERT_TRUE(wait_for_process(demo_, e2e_wait_seconds));
    EXPECT_EQ(demo_.exit_code, 1);
    EXPECT_FALSE(find_window(server_, first_title, nullptr));
}

}  // namespace
