// The demo as a user meets it on an ordinary desktop: a 24-bit screen of exactly 640x480, where
// Yes gives full screen at the screen's own depth, and a larger 24-bit screen, where Yes gives
// the offer of a window; on both, quick taps of the keys as xdotool sends them (down and up a
// few milliseconds apart, often within one frame): F1 toggles exactly once and Escape ends the
// show with 0. Without any display the demo says so in one line and ends with 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "tests/e2e/support/demo_fixture.h"

namespace {

constexpr const char* offer = "Vimpa - Zelmorint";
constexpr const char* first = "Tirvalex3";
constexpr const char* toggled = "Joka's Outline Font Tutorial";

// A screen, and whether Yes gives full screen there (otherwise the offer of a window comes and
// is answered Yes, and comes again when F1 asks for full screen).
struct Screen {
    const char* size;
    bool full_screen;
};
const Screen screens[] = {{"640x480x24", true}, {"1024x768x24", false}};
void PrintTo(const Screen& screen, std::ostream* out) {
    *out << screen.size;
}

class Desktop : public DemoTest, public testing::WithParamInterface<Screen> {};

TEST_P(Desktop, YesThenTapsOfF1AndEscapeActOnce) {
    const Screen screen = GetParam();
    start_x(screen.size);
    start_demo();
    tap(wait_for("HEJD"), "Return");
    if (!screen.full_screen) tap(wait_for(offer), "Return");
    const ScreenWindow window = wait_for(first);
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
    if (screen.full_screen) {  // the whole 640x480 screen
        EXPECT_EQ(window.x, 0);
        EXPECT_EQ(window.y, 0);
    }
    EXPECT_FALSE(find_window(display_, offer)) << "a second question";
    xdotool(display_,
            {"mousemove", std::to_string(window.x + 320), std::to_string(window.y + 240)});
    const bool hidden = poll_until([&] { return cursor_hidden(display_); }, 5);
    EXPECT_EQ(hidden, screen.full_screen) << "the cursor over the show";

    // F1 tapped: the window in the other mode, asking again where full screen is refused; after
    // two seconds (tens of frames, time for a second toggle to show) still the same window.
    tap(window, "F1");
    if (!screen.full_screen) tap(wait_for(offer), "Return");
    const ScreenWindow other = wait_for(toggled);
    EXPECT_TRUE(poll_until([&] { return !find_window(display_, first); })) << "the first window";
    sleep_milliseconds(2000);
    ScreenWindow later;
    EXPECT_TRUE(find_window(display_, toggled, &later));
    EXPECT_EQ(later.id, other.id) << "the window was made again: a second toggle";
    EXPECT_FALSE(find_window(display_, offer)) << "a second toggle asked";
    EXPECT_LT(demo_exit(), 0);

    // Escape tapped during scene 2 (the toggled show has just started again).
    tap(other, "Escape");
    EXPECT_TRUE(demo_ends()) << "a tap of Escape was lost";
    EXPECT_EQ(demo_exit(), 0);
}
INSTANTIATE_TEST_SUITE_P(Screens, Desktop, testing::ValuesIn(screens),
                         testing::PrintToStringParamName());

// Empty values count as unset, and the demo is given no X server.
TEST_F(DemoTest, WithoutADisplayOneLineSaysWhyAndTheExitCodeIsOne) {
    start_demo({"WAYLAND_DISPLAY=", "SDL_VIDEODRIVER="});
    ASSERT_TRUE(demo_ends());
    EXPECT_EQ(demo_exit(), 1);
    const std::string log = read_file(demo_.log_path);
    EXPECT_EQ(std::ranges::count(log, '\n'), 1) << log;
    EXPECT_NE(log.find("no display to open a window on"), std::string::npos) << log;
}

}  // namespace
