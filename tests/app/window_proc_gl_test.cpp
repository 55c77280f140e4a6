// The window procedure: what each message does to the shell state and what it returns.
#include <gtest/gtest.h>

#include "app/shell_state.h"
#include "app/window.h"
#include "tests/app/platform_recorder.h"

namespace {

class WindowProc : public testing::Test {
protected:
    void SetUp() override {
        shell_state_reset();
        window_reset();
        install_platform_recorder();
    }
    void TearDown() override { platform_reset(); }

    static intptr_t send(uint32_t code, uintptr_t wparam, intptr_t lparam = 0) {
        const WindowMessage message = {code, wparam, lparam};
        return display_window_proc(nullptr, &message);
    }
};

TEST_F(WindowProc, KeyDownSetsAndKeyUpClearsTheKeysEntry) {
    EXPECT_EQ(send(WM_KEYDOWN, 27), 0);
    EXPECT_TRUE(key_down[27]);
    EXPECT_EQ(send(WM_KEYDOWN, 27), 0);  // auto-repeat sets it again
    EXPECT_TRUE(key_down[27]);
    EXPECT_EQ(send(WM_KEYDOWN, 112), 0);
    EXPECT_EQ(send(WM_KEYUP, 27), 0);
    EXPECT_FALSE(key_down[27]);
    EXPECT_TRUE(key_down[112]);
    EXPECT_TRUE(take_calls().empty());  // handled, nothing goes to the default procedure
}

TEST_F(WindowProc, KeyCodesPastTheTableAreIgnored) {
    EXPECT_EQ(send(WM_KEYDOWN, 256), 0);
    EXPECT_EQ(send(WM_KEYDOWN, 0x10000 + 27), 0);
    for (bool down : key_down)
        EXPECT_FALSE(down);
}

TEST_F(WindowProc, ActivationReadsOnlyTheMinimisedWord) {
    EXPECT_EQ(send(WM_ACTIVATE, make_word_pair(WA_INACTIVE, 1)), 0);
    EXPECT_FALSE(window_active);
    EXPECT_EQ(send(WM_ACTIVATE, make_word_pair(WA_ACTIVE, 0)), 0);
    EXPECT_TRUE(window_active);
    EXPECT_EQ(send(WM_ACTIVATE, make_word_pair(WA_INACTIVE, 0)), 0);
    EXPECT_TRUE(window_active);  // losing the focus without minimising keeps drawing
    EXPECT_EQ(send(WM_ACTIVATE, make_word_pair(WA_ACTIVE, 1)), 0);
    EXPECT_FALSE(window_active);
}

TEST_F(WindowProc, CloseRequestPostsTheQuitMessageWithCodeZero) {
    EXPECT_EQ(send(WM_CLOSE, 0), 0);
    EXPECT_EQ(take_calls(), (std::vector<std::string>{"post_quit_message"}));

    platform = sdl_platform;  // the queue itself: only the posted quit is waiting
    SDL_InitSubSystem(SDL_INIT_EVENTS);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    WindowMessage message = {};
    ASSERT_TRUE(platform.peek_message(&message));
    EXPECT_EQ(message.code, WM_QUIT);
    EXPECT_EQ(message.wparam, 0u);
    EXPECT_FALSE(platform.peek_message(&message));  // delivered once
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST_F(WindowProc, ScreenSaverAndMonitorPowerAreSwallowed) {
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_SCREENSAVE), 0);
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_MONITORPOWER), 0);
    EXPECT_TRUE(take_calls().empty());
}

TEST_F(WindowProc, OtherSystemCommandsAndMessagesGoToTheDefault) {
    send(WM_SYSCOMMAND, 0xF020);  // minimise
    send(WM_SYSCOMMAND, SC_SCREENSAVE + 1);
    send(WM_NULL, 0);
    EXPECT_EQ(take_calls(), (std::vector<std::string>{"default_window_proc", "default_window_proc",
                                                      "default_window_proc"}));
    EXPECT_TRUE(window_active);
}

}  // namespace
