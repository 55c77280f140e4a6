// What the shell does on an ordinary desktop: which display mode the full-screen request takes
// from the modes a display lists, the windowed-mode offer when the full-screen window cannot be
// made, and key taps whose key-up arrives with their key-down between two frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_loop.h"
#include "app/message_box.h"
#include "app/shell_state.h"
#include "app/window.h"
#include "scenes/scenes.h"
#include "tests/app/platform_recorder.h"

namespace {

using Calls = std::vector<std::string>;

constexpr WindowMessage empty_queue = {WM_NULL, 0, 0};
constexpr WindowMessage key_down_of(uintptr_t key) {
    return {WM_KEYDOWN, key, 0};
}
constexpr WindowMessage key_up_of(uintptr_t key) {
    return {WM_KEYUP, key, 0};
}

constexpr uint32_t windowed_style = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr uint32_t full_screen_style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
const std::string fallback_text =
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
    "Instead?";

// The display the mode search sees in a test.
DisplayModeList test_display;
bool test_display_lists = true;
bool list_test_display(DisplayModeList* list) {
    *list = test_display;
    return test_display_lists;
}

SDL_DisplayMode mode(int width, int height, uint32_t format) {
    SDL_DisplayMode made{};
    made.format = format;
    made.w = width;
    made.h = height;
    made.refresh_rate = 60;
    return made;
}

bool no_renderer_setup() {
    return true;
}

class Desktop : public testing::Test {
protected:
    void SetUp() override {
        shell_state_reset();
        window_reset();
        timeline_reset();
        install_platform_recorder();
        platform.setup_renderer = no_renderer_setup;
        test_display_lists = true;
    }
    void TearDown() override {
        if (window_handle != nullptr) close_display_window();
        platform_reset();
        window_reset();
    }
};

// The 640x480 request at 16 bits against the modes a display lists. Formats: RGB565 is a
// 16-bit mode, RGB888 (padded) a 32-bit one, RGB24 a 24-bit one, INDEX8 an 8-bit one.
struct ModeCase {
    const char* name;
    std::vector<SDL_DisplayMode> modes;
    uint32_t desktop_format;
    int32_t result;
    uint32_t chosen_format;  // 0: no mode chosen
};

TEST_F(Desktop, TheFullScreenRequestTakesA640x480ModeAtTheBestDepthListed) {
    const ModeCase cases[] = {
        {"16 bits preferred though listed last",
         {mode(640, 480, SDL_PIXELFORMAT_RGB888), mode(640, 480, SDL_PIXELFORMAT_RGB565)},
         SDL_PIXELFORMAT_RGB888,
         DISP_CHANGE_SUCCESSFUL,
         SDL_PIXELFORMAT_RGB565},
        {"a 24-bit desktop: its own depth",
         {mode(800, 600, SDL_PIXELFORMAT_RGB565), mode(640, 480, SDL_PIXELFORMAT_RGB888)},
         SDL_PIXELFORMAT_RGB888,
         DISP_CHANGE_SUCCESSFUL,
         SDL_PIXELFORMAT_RGB888},
        {"the display's depth before another listed first",
         {mode(640, 480, SDL_PIXELFORMAT_INDEX8), mode(640, 480, SDL_PIXELFORMAT_RGB24)},
         SDL_PIXELFORMAT_RGB24,
         DISP_CHANGE_SUCCESSFUL,
         SDL_PIXELFORMAT_RGB24},
        {"any depth at 640x480 rather than none",
         {mode(640, 480, SDL_PIXELFORMAT_INDEX8)},
         SDL_PIXELFORMAT_RGB888,
         DISP_CHANGE_SUCCESSFUL,
         SDL_PIXELFORMAT_INDEX8},
        {"no 640x480 mode: not supported",
         {mode(1024, 768, SDL_PIXELFORMAT_RGB565), mode(640, 400, SDL_PIXELFORMAT_RGB565),
          mode(480, 640, SDL_PIXELFORMAT_RGB565)},
         SDL_PIXELFORMAT_RGB565,
         DISP_CHANGE_BADMODE,
         0},
        {"no modes at all", {}, SDL_PIXELFORMAT_RGB888, DISP_CHANGE_BADMODE, 0},
    };
    platform = sdl_platform;
    platform.list_display_modes = list_test_display;
    const DisplayModeRequest request = {640, 480, 16};
    for (const ModeCase& row : cases) {
        SCOPED_TRACE(row.name);
        test_display.modes = row.modes;
        test_display.desktop = mode(1024, 768, row.desktop_format);
        platform.change_display_settings(nullptr, 0);  // forget the last choice
        EXPECT_EQ(platform.change_display_settings(&request, CDS_FULLSCREEN), row.result);
        SDL_DisplayMode chosen{};
        EXPECT_EQ(chosen_full_screen_mode(&chosen), row.chosen_format != 0);
        if (row.chosen_format != 0) {
            EXPECT_EQ(chosen.format, row.chosen_format);
            EXPECT_EQ(chosen.w, 640);
            EXPECT_EQ(chosen.h, 480);
        }
    }
    test_display_lists = false;  // a display that cannot list its modes
    EXPECT_EQ(platform.change_display_settings(&request, CDS_FULLSCREEN), DISP_CHANGE_FAILED);
}

// A full-screen window that cannot be made: the display and the cursor are put back, windowed
// mode is offered, and the answer decides as for a mode refused at once.
struct CreationCase {
    const char* name;
    std::vector<std::string> failing;
    int answer;
    bool opens;
    std::vector<std::string> messages;  // the boxes' texts in order
    std::vector<uint32_t> styles;       // of every window creation
};

TEST_F(Desktop, AFullScreenWindowThatCannotBeMadeOffersAWindow) {
    const CreationCase cases[] = {
        {"Yes opens a window",
         {"create_window#1"},
         ID_YES,
         true,
         {fallback_text},
         {full_screen_style, windowed_style}},
        {"No closes",
         {"create_window#1"},
         ID_NO,
         false,
         {fallback_text, "Program Will Now Close."},
         {full_screen_style}},
        {"a window that cannot be made either",
         {"create_window"},
         ID_YES,
         false,
         {fallback_text, "Window Creation Error."},
         {full_screen_style, windowed_style}},
    };
    for (const CreationCase& row : cases) {
        SCOPED_TRACE(row.name);
        install_platform_recorder();
        recorder.grant_display_mode = true;
        recorder.failing = row.failing;
        recorder.answers = {row.answer};
        window_reset();
        platform.setup_renderer = no_renderer_setup;

        EXPECT_EQ(open_display_window("Tirvalex3", 640, 480, 16, true), row.opens);

        std::vector<std::string> messages;
        for (const RecordedBox& box : recorder.boxes)
            messages.push_back(box.message);
        EXPECT_EQ(messages, row.messages);
        EXPECT_EQ(recorder.window_styles, row.styles);
        EXPECT_EQ(full_screen_mode, row.answer != ID_YES);
        // Display and cursor are back before the question is asked.
        const Calls calls = take_calls();
        const Calls head(calls.begin(), calls.begin() + 7);
        EXPECT_EQ(head,
                  (Calls{"module_handle", "register_window_class", "change_display_settings",
                         "hide_cursor", "create_window", "restore_display_mode", "show_cursor"}));
        EXPECT_EQ(window_handle != nullptr, row.opens);
        if (window_handle != nullptr) close_display_window();
    }
}

// Key messages between frames and what the loop makes of them: the window count (one more per
// F1 toggle) and how the loop ended. A script that the loop does not end with Escape ends with
// the recorder's quit code 99.
struct KeyCase {
    const char* name;
    std::vector<WindowMessage> script;
    size_t windows;
    int exit_code;
};

TEST_F(Desktop, AKeyTapBetweenTwoFramesCountsOnce) {
    const WindowMessage esc_down = key_down_of(VK_ESCAPE), esc_up = key_up_of(VK_ESCAPE);
    const WindowMessage f1_down = key_down_of(VK_F1), f1_up = key_up_of(VK_F1);
    const KeyCase cases[] = {
        {"Escape tapped", {empty_queue, esc_down, esc_up, empty_queue}, 1, exit_normal},
        {"F1 tapped toggles once",
         {f1_down, f1_up, empty_queue, empty_queue, empty_queue, esc_down, esc_up, empty_queue},
         2,
         exit_normal},
        {"F1 held toggles once", {f1_down, empty_queue, empty_queue, empty_queue, f1_up}, 2, 99},
        {"two F1 taps before one frame toggle once",
         {f1_down, f1_up, f1_down, f1_up, empty_queue, empty_queue},
         2,
         99},
        {"F1 taps in two batches toggle twice",
         {f1_down, f1_up, empty_queue, f1_down, f1_up, empty_queue},
         3,
         99},
        {"another key tapped does nothing", {key_down_of('A'), key_up_of('A'), empty_queue}, 1, 99},
    };
    for (const KeyCase& row : cases) {
        SCOPED_TRACE(row.name);
        shell_state_reset();
        window_reset();
        timeline_reset();
        install_platform_recorder();
        platform.setup_renderer = no_renderer_setup;
        recorder.grant_display_mode = true;
        recorder.script_only = true;
        recorder.answers = {ID_NO};
        recorder.script.assign(row.script.begin(), row.script.end());

        EXPECT_EQ(run_main_loop(), row.exit_code);
        EXPECT_EQ(recorder.window_titles.size(), row.windows);
    }
}

}  // namespace
