#pragma once
// What the end-to-end tests share: the demo run under an X server of the test's own with the
// software renderer, met as a user meets it (see tests/support/x_display.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/x_display.h"

class DemoTest : public testing::Test {
protected:
    // Stops the demo and the server; the demo's output is shown when the test failed.
    void TearDown() override;
    // Xvfb with this screen ("640x480x24").
    void start_x(const std::string& screen);
    // The demo on that display (none before start_x). The entries given come first, so they
    // win over the display and the software renderer set here.
    void start_demo(Environment environment = {});
    // The demo's exit code once it has ended; -1 while it runs.
    int demo_exit() { return process_finished(demo_) ? demo_.exit_code : -1; }
    bool demo_ends() { return wait_for_process(demo_); }
    // The window whose title starts so, once it shows; a failure naming it when none does.
    ScreenWindow wait_for(const std::string& title);
    void tap(const ScreenWindow& window, const std::string& key) {
        EXPECT_TRUE(tap_key(display_, window, key)) << key;
    }

    XDisplay display_;
    ChildProcess demo_;
};

// The first frame of 16-bit stereo samples that is not silent; the count of frames when none is.
inline size_t first_sound(const std::vector<int16_t>& pcm) {
    const auto sound = std::ranges::find_if(pcm, [](int16_t s) { return s != 0; });
    return size_t(sound - pcm.begin()) / 2;
}
