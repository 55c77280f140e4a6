// The SDL side of the platform layer: how SDL events become window messages, the display-mode
// choice and the Latin-1 texts.
#include <gtest/gtest.h>

#include "app/platform.h"

namespace {

SDL_Event key_event(uint32_t type, SDL_Keycode key, uint8_t repeat = 0) {
    SDL_Event event = {};
    event.type = type;
    event.key.keysym.sym = key;
    event.key.repeat = repeat;
    return event;
}

SDL_Event window_event(uint8_t what, int32_t data1 = 0, int32_t data2 = 0) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = what;
    event.window.windowID = 0;  // no such window: not minimised
    event.window.data1 = data1;
    event.window.data2 = data2;
    return event;
}

void expect_message(const WindowMessage& message, uint32_t code, uintptr_t wparam,
                    intptr_t lparam = 0) {
    EXPECT_EQ(message.code, code);
    EXPECT_EQ(message.wparam, wparam);
    EXPECT_EQ(message.lparam, lparam);
}

TEST(EventTranslation, KeysCarryTheirVirtualKeyAndRepeatsAreKeyDowns) {
    expect_message(window_message_from_event(key_event(SDL_KEYDOWN, SDLK_ESCAPE)), WM_KEYDOWN, 27);
    expect_message(window_message_from_event(key_event(SDL_KEYDOWN, SDLK_F1, 1)), WM_KEYDOWN, 112);
    expect_message(window_message_from_event(key_event(SDL_KEYUP, SDLK_q)), WM_KEYUP, 'Q');
}

TEST(EventTranslation, SizeChangeCarriesWidthAndHeightInTheWords) {
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_SIZE_CHANGED, 640, 0)),
                   WM_SIZE, 0, 640);
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_SIZE_CHANGED, 1024, 768)),
                   WM_SIZE, 0, (768 << 16) | 1024);
}

TEST(EventTranslation, MinimiseAndRestoreAreActivationMessages) {
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_MINIMIZED)), WM_ACTIVATE,
                   make_word_pair(WA_INACTIVE, 1));
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_RESTORED)), WM_ACTIVATE,
                   make_word_pair(WA_ACTIVE, 0));
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_FOCUS_LOST)), WM_ACTIVATE,
                   make_word_pair(WA_INACTIVE, 0));
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_FOCUS_GAINED)),
                   WM_ACTIVATE, make_word_pair(WA_ACTIVE, 0));
}

TEST(EventTranslation, CloseAndQuitRequestsAreCloseMessages) {
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_CLOSE)), WM_CLOSE, 0);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    expect_message(window_message_from_event(quit), WM_CLOSE, 0);
}

TEST(EventTranslation, EverythingElseIsANullMessage) {
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    expect_message(window_message_from_event(motion), WM_NULL, 0);
    expect_message(window_message_from_event(window_event(SDL_WINDOWEVENT_EXPOSED)), WM_NULL, 0);
}

class PlatformQueue : public testing::Test {
protected:
    void SetUp() override {
        platform_reset();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        SDL_QuitSubSystem(SDL_INIT_EVENTS);
        platform_reset();
    }
};

TEST_F(PlatformQueue, PostedQuitComesAfterTheWaitingEvents) {
    platform.post_quit_message(0);
    SDL_Event key = key_event(SDL_KEYDOWN, SDLK_a);
    ASSERT_EQ(SDL_PushEvent(&key), 1);

    WindowMessage message = {};
    ASSERT_TRUE(platform.peek_message(&message));
    expect_message(message, WM_KEYDOWN, 'A');
    ASSERT_TRUE(platform.peek_message(&message));
    expect_message(message, WM_QUIT, 0);
    EXPECT_FALSE(platform.peek_message(&message));
}

class DisplayModes : public testing::Test {
protected:
    void SetUp() override {
        platform_reset();
        ASSERT_TRUE(platform.register_window_class()) << SDL_GetError();
        ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop_), 0);
    }
    void TearDown() override {
        platform.change_display_settings(nullptr, 0);
        platform.unregister_window_class();
        platform_reset();
    }
    SDL_DisplayMode desktop_{};
};

TEST_F(DisplayModes, AModeOfTheDisplayIsGrantedAndAnUnknownOneRefused) {
    const int32_t bits = SDL_BYTESPERPIXEL(desktop_.format) * 8;  // 16, 24 or 32
    const DisplayModeRequest listed = {desktop_.w, desktop_.h, bits};
    EXPECT_EQ(platform.change_display_settings(&listed, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);

    const DisplayModeRequest other_depth = {desktop_.w, desktop_.h, bits == 16 ? 32 : 16};
    EXPECT_EQ(platform.change_display_settings(&other_depth, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    const DisplayModeRequest odd_size = {desktop_.w + 1, desktop_.h, bits};
    EXPECT_EQ(platform.change_display_settings(&odd_size, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    EXPECT_EQ(platform.change_display_settings(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
}

TEST(Latin1, BytesAboveAsciiBecomeTwoByteSequences) {
    EXPECT_EQ(utf8_from_latin1("V\xE4lkommen?"), "V\xC3\xA4lkommen?");
    EXPECT_EQ(utf8_from_latin1("HEJD\xC5!"), "HEJD\xC3\x85!");
    EXPECT_EQ(utf8_from_latin1("\x80\xBF\xC0\xFF"), "\xC2\x80\xC2\xBF\xC3\x80\xC3\xBF");
    EXPECT_EQ(utf8_from_latin1("Joka's Outline Font Tutorial"), "Joka's Outline Font Tutorial");
    EXPECT_EQ(utf8_from_latin1(""), "");
}

}  // namespace
