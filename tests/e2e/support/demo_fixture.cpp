#include "tests/e2e/support/demo_fixture.h"

#include <iostream>

void DemoTest::TearDown() {
    if (HasFailure()) {
        std::cerr << "the demo's output:\n" << read_file(demo_.log_path);
    }
    stop_process(demo_);
    stop_x_display(display_);
}

void DemoTest::start_x(const std::string& screen) {
    display_ = start_x_display(screen);
    ASSERT_FALSE(display_.name.empty()) << "Xvfb did not start";
}

void DemoTest::start_demo(Environment environment) {
    environment.push_back(display_entry(display_));
    environment.push_back("LIBGL_ALWAYS_SOFTWARE=1");
    demo_ = start_process({built_program("tirvalex3")}, environment);
    ASSERT_GT(demo_.pid, 0);
}

ScreenWindow DemoTest::wait_for(const std::string& title) {
    ScreenWindow window;
    EXPECT_TRUE(wait_for_window(display_, title, &window)) << "no window " << title;
    return window;
}
