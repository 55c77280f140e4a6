// The demo as a user meets it on an ordinary desktop: a 24-bit screen of exactly 640x480, where
// Yes gives full screen at the screen's own depth, and a larger 24-bit screen, where Yes gives
// the offer of a window; on both, quick taps of the keys as xdotool sends them (down and up a
// few milliseconds apart, often within one frame): F1 toggles exactly once and Escape ends the
// show with 0. Without any display the demo says so in one line and ends with 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/e2e/support/x_test.h"

namespace {

constexpr const char *offer = "Vimpa - Zelmorint", *first = "Tirvalex3",
                     *toggled = "Joka's Outline Font Tutorial";

// Each row: the screen, whether Yes gives full screen there (otherwise the offer of a window
// comes and is answered Yes, and comes again when F1 asks for full screen).
const std::pair<const char*, bool> screens[] = {{"640x480x24", true}, {"1024x768x24", false}};

class Desktop : public XTest, public testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(Desktop, YesThenTapsOfF1AndEscapeActOnce) {
    const auto [screen, full_screen] = GetParam();
    start_x(screen);
    start_demo();
    tap(wait_for("HEJD"), "Return");
    if (!full_screen) tap(wait_for(offer), "Return");
    const ScreenWindow window = wait_for(first);
    EXPECT_EQ(window.width * 1000 + window.height, 640480);
    EXPECT_TRUE(!full_screen || window.x + window.y == 0);  // the whole 640x480 screen
    EXPECT_FALSE(find(offer)) << "a second question";
    xdotool("mousemove " + std::to_string(window.x + 320) + " " + std::to_string(window.y + 240));
    EXPECT_EQ(poll_until([&] { return cursor_hidden(); }, 5), full_screen);

    // F1 tapped: the window in the other mode, asking again where full screen is refused; after
    // two seconds (tens of frames, time for a second toggle to show) still the same window.
    tap(window, "F1");
    if (!full_screen) tap(wait_for(offer), "Return");
    const ScreenWindow other = wait_for(toggled);
    EXPECT_TRUE(poll_until([&] { return !find(first); }));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ScreenWindow later;
    EXPECT_TRUE(find(toggled, &later));
    EXPECT_EQ(later.id, other.id) << "the window was made again: a second toggle";
    EXPECT_FALSE(find(offer)) << "a second toggle asked";
    EXPECT_LT(demo_exit(), 0);

    // Escape tapped during scene 2 (the toggled show has just started again).
    tap(other, "Escape");
    EXPECT_TRUE(demo_ends()) << "a tap of Escape was lost";
    EXPECT_EQ(demo_exit(), 0);
}
INSTANTIATE_TEST_SUITE_P(Screens, Desktop, testing::ValuesIn(screens),
                         [](const auto& info) { return std::string(info.param.first); });

// Empty values count as unset, and the demo is given no X server.
TEST_F(XTest, WithoutADisplayOneLineSaysWhyAndTheExitCodeIsOne) {
    start_demo({"WAYLAND_DISPLAY=", "SDL_VIDEODRIVER="});
    ASSERT_TRUE(demo_ends());
    EXPECT_EQ(demo_exit(), 1);
    const std::string log = demo_log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("no display to open a window on"), std::string::npos) << log;
}

}  // namespace
