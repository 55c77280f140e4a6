// The main loop with a real window and a scripted message queue: the start-up question, one
// message per pass with frames only on an empty queue, Escape, the window's close, the F1
// toggle, a minimised window and the exit codes.
#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<int32_t> scenes_at_swap;
void record_scene_at_swap() {
    scenes_at_swap.push_back(current_scene);
}

bool no_renderer_setup() {
    return true;
}

class MainLoop : public testing::Test {
protected:
    void SetUp() override {
        shell_state_reset();
        window_reset();
        timeline_reset();
        install_platform_recorder();
        recorder.script_only = true;
        platform.setup_renderer = no_renderer_setup;
        scenes_at_swap.clear();
    }
    void TearDown() override {
        if (window_handle != nullptr) close_display_window();
        platform_reset();
        window_reset();
    }

    // The logged calls that show the loop's shape, in order.
    static Calls loop_calls() {
        const Calls shape = {"message_box",  "create_window", "destroy_window",
                             "swap_buffers", "message",       "empty"};
        Calls calls;
        for (const std::string& call : take_calls()) {
            if (std::find(shape.begin(), shape.end(), call) != shape.end()) calls.push_back(call);
        }
        return calls;
    }
};

TEST_F(MainLoop, AnsweringNoOpensAWindowAndEscapeEndsWithZero) {
    recorder.answers = {ID_NO};
    recorder.script = {empty_queue, empty_queue, key_down_of(VK_ESCAPE), empty_queue};

    EXPECT_EQ(run_main_loop(), exit_normal);

    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].message, "V\xC3\xA4lkommen?");
    EXPECT_EQ(recorder.boxes[0].title, "HEJD\xC3\x85!");
    EXPECT_EQ(recorder.boxes[0].flags,
              SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT);
    EXPECT_FALSE(full_screen_mode);
    EXPECT_EQ(recorder.window_titles, (std::vector<std::string>{"Tirvalex3"}));
    EXPECT_EQ(recorder.window_styles, (std::vector<uint32_t>{windowed_style}));
    // The pass that sees Escape has drawn its frame but does not present it.
    EXPECT_EQ(loop_calls(), (Calls{"message_box", "create_window", "empty", "swap_buffers", "empty",
                                   "swap_buffers", "message", "empty", "destroy_window"}));
    EXPECT_EQ(window_handle, nullptr);
}

TEST_F(MainLoop, AnsweringYesAsksForTheFullScreenWindow) {
    recorder.grant_display_mode = true;
    recorder.answers = {ID_YES};
    recorder.script = {key_down_of(VK_ESCAPE), empty_queue};

    EXPECT_EQ(run_main_loop(), exit_normal);

    EXPECT_TRUE(full_screen_mode);
    EXPECT_EQ(recorder.window_styles, (std::vector<uint32_t>{full_screen_style}));
}

TEST_F(MainLoop, ClosingTheWindowEndsWithZero) {
    recorder.answers = {ID_NO};
    recorder.script = {empty_queue, {WM_CLOSE, 0, 0}};

    EXPECT_EQ(run_main_loop(), exit_normal);  // the posted quit, not the script's end (99)

    EXPECT_EQ(window_handle, nullptr);
}

TEST_F(MainLoop, TakesOneMessagePerPassAndDrawsOnlyWhenTheQueueIsEmpty) {
    recorder.answers = {ID_NO};
    recorder.script = {key_down_of('A'), key_up_of('A'),         key_down_of('B'), empty_queue,
                       key_up_of('B'),   key_down_of(VK_ESCAPE), empty_queue};

    EXPECT_EQ(run_main_loop(), exit_normal);

    EXPECT_EQ(loop_calls(),
              (Calls{"message_box", "create_window", "message", "message", "message", "empty",
                     "swap_buffers", "message", "message", "empty", "destroy_window"}));
    EXPECT_FALSE(key_down['A']);
    EXPECT_FALSE(key_down['B']);
    EXPECT_TRUE(key_down[VK_ESCAPE]);
}

TEST_F(MainLoop, F1ReopensInTheOtherModeWithTheSecondTitle) {
    recorder.grant_display_mode = true;
    recorder.script = {empty_queue, key_down_of(VK_F1), empty_queue, key_down_of(VK_ESCAPE),
                       empty_queue};

    EXPECT_EQ(run_main_loop(), exit_normal);

    EXPECT_EQ(recorder.window_titles,
              (std::vector<std::string>{"Tirvalex3", "Joka's Outline Font Tutorial"}));
    EXPECT_EQ(recorder.window_styles, (std::vector<uint32_t>{full_screen_style, windowed_style}));
    EXPECT_FALSE(full_screen_mode);
    EXPECT_FALSE(key_down[VK_F1]);
    // The toggling pass presents its frame first, then closes and reopens.
    EXPECT_EQ(loop_calls(), (Calls{"message_box", "create_window", "empty", "swap_buffers",
                                   "message", "empty", "swap_buffers", "destroy_window",
                                   "create_window", "message", "empty", "destroy_window"}));
}

TEST_F(MainLoop, EveryF1KeyDownTogglesOnceAutoRepeatIncluded) {
    recorder.grant_display_mode = true;
    recorder.script = {key_down_of(VK_F1),     empty_queue, key_down_of(VK_F1), empty_queue,
                       key_down_of(VK_ESCAPE), empty_queue};

    EXPECT_EQ(run_main_loop(), exit_normal);

    EXPECT_EQ(recorder.window_titles,
              (std::vector<std::string>{"Tirvalex3", "Joka's Outline Font Tutorial",
                                        "Joka's Outline Font Tutorial"}));
    EXPECT_EQ(recorder.window_styles,
              (std::vector<uint32_t>{full_screen_style, windowed_style, full_screen_style}));
    EXPECT_TRUE(full_screen_mode);
}

TEST_F(MainLoop, F1InThePassThatEndsStillTogglesBeforeTheEnd) {
    recorder.answers = {ID_NO};
    recorder.script = {key_down_of(VK_ESCAPE), key_down_of(VK_F1), empty_queue};
    recorder.failing = {"change_display_settings"};  // the toggle goes through the fallback

    EXPECT_EQ(run_main_loop(), exit_normal);

    EXPECT_EQ(loop_calls(),
              (Calls{"message_box", "create_window", "message", "message", "empty",
                     "destroy_window", "message_box", "create_window", "destroy_window"}));
    EXPECT_EQ(recorder.window_titles,
              (std::vector<std::string>{"Tirvalex3", "Joka's Outline Font Tutorial"}));
}

TEST_F(MainLoop, MinimisedWindowSwapsButDrawsNothingUntilRestored) {
    recorder.answers = {ID_NO};
    recorder.on_swap = record_scene_at_swap;
    recorder.script = {{WM_ACTIVATE, make_word_pair(WA_INACTIVE, 1), 0},
                       empty_queue,
                       empty_queue,
                       {WM_ACTIVATE, make_word_pair(WA_ACTIVE, 0), 0},
                       empty_queue,
                       key_down_of(VK_ESCAPE),
                       empty_queue};

    EXPECT_EQ(run_main_loop(), exit_normal);

    // No frame while minimised leaves the opening scene in place; the first frame after the
    // restore draws it and moves on to scene 2 (the song clock reads 0 without music).
    EXPECT_EQ(scenes_at_swap, (std::vector<int32_t>{0, 0, 2}));
}

TEST_F(MainLoop, EscapeIsHonouredWhileMinimised) {
    recorder.answers = {ID_NO};
    recorder.script = {
        {WM_ACTIVATE, make_word_pair(WA_INACTIVE, 1), 0}, key_down_of(VK_ESCAPE), empty_queue};

    EXPECT_EQ(run_main_loop(), exit_normal);

    EXPECT_EQ(current_scene, 0);
}

TEST_F(MainLoop, AWindowThatCannotOpenAtStartEndsWithOne) {
    recorder.answers = {ID_NO};
    recorder.failing = {"create_window"};

    EXPECT_EQ(run_main_loop(), exit_window_failed);

    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[1].message, "Window Creation Error.");
    EXPECT_EQ(window_handle, nullptr);
}

TEST_F(MainLoop, AWindowThatCannotReopenAtTheToggleEndsWithOne) {
    recorder.answers = {ID_NO};
    recorder.failing = {"create_context#2"};
    recorder.script = {key_down_of(VK_F1), empty_queue};
    recorder.grant_display_mode = true;

    EXPECT_EQ(run_main_loop(), exit_window_failed);

    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[1].message, "Can't Create A GL Rendering Context.");
    EXPECT_EQ(window_handle, nullptr);
    EXPECT_EQ(render_context, nullptr);
}

TEST_F(MainLoop, WithNoDisplayAtAllBothTextsGoToStderrAndTheExitIsOne) {
    recorder.boxes_unavailable = true;
    recorder.failing = {"register_window_class"};

    testing::internal::CaptureStderr();
    const int exit_code = run_main_loop();
    const std::string written = testing::internal::GetCapturedStderr();

    EXPECT_EQ(exit_code, exit_window_failed);
    EXPECT_TRUE(full_screen_mode);  // no answer is not a No
    EXPECT_EQ(written,
              "HEJD\xC3\x85!: V\xC3\xA4lkommen?\nERROR: Failed To Register The Window Class.\n");
}

}  // namespace
