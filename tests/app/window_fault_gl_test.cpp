// Every failure path of opening and closing the display window, reached by making one
// platform operation fail. Each case checks the message the user sees (text, caption, icon,
// buttons), the teardown that follows in its order, and that no handle is left behind. The
// expected step orders are the window's open and close sequences written out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/message_box.h"
#include "app/shell_state.h"
#include "app/window.h"
#include "tests/app/platform_recorder.h"

namespace {

using Calls = std::vector<std::string>;

// The open sequence of a windowed window that succeeds, step by step.
const Calls windowed_open = {
    "module_handle",       "register_window_class", "create_window",  "get_device_context",
    "choose_pixel_format", "set_pixel_format",      "create_context", "make_current",
    "show_window",         "setup_renderer",
};
// The close sequence of a window that was fully opened windowed.
const Calls windowed_close = {
    "release_current", "delete_context",          "release_device_context",
    "destroy_window",  "unregister_window_class",
};

constexpr uint32_t warning_box = SDL_MESSAGEBOX_WARNING | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
constexpr uint32_t error_box = SDL_MESSAGEBOX_ERROR | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
constexpr uint32_t information_box =
    SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
constexpr uint32_t return_and_escape =
    SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;

// The renderer set-up stands in for the real one: logged, and failing when the test says.
bool recorded_renderer_setup() {
    return !platform_recorder_detail::fails("setup_renderer");
}

class WindowFaults : public testing::Test {
protected:
    void SetUp() override {
        shell_state_reset();
        window_reset();
        install_platform_recorder();
        platform.setup_renderer = recorded_renderer_setup;
    }
    void TearDown() override {
        recorder.failing.clear();
        if (window_handle != nullptr || render_context != nullptr) close_display_window();
        platform_reset();
        window_reset();
    }

    static void expect_no_handles() {
        EXPECT_EQ(window_handle, nullptr);
        EXPECT_EQ(device_context, nullptr);
        EXPECT_EQ(render_context, nullptr);
        EXPECT_EQ(instance_handle, nullptr);
    }

    // An OK box with that text and caption and the icon flag.
    static void expect_ok_box(const RecordedBox& box, const std::string& text,
                              const std::string& caption, uint32_t flags) {
        EXPECT_EQ(box.message, text);
        EXPECT_EQ(box.title, caption);
        EXPECT_EQ(box.flags, flags);
        EXPECT_FALSE(box.has_owner);
        ASSERT_EQ(box.buttons.size(), 1u);
        EXPECT_EQ(box.buttons[0].text, "OK");
        EXPECT_EQ(box.buttons[0].id, ID_OK);
        EXPECT_EQ(box.buttons[0].flags, return_and_escape);
    }
};

// The prefix of a sequence up to and including one step.
Calls up_to(const Calls& sequence, const std::string& step) {
    const auto end = std::find(sequence.begin(), sequence.end(), step);
    return Calls(sequence.begin(), end == sequence.end() ? end : end + 1);
}

Calls joined(Calls first, const Calls& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// One failing opening step from the window on: its message and the teardown it leads to.
struct OpenFault {
    const char* step;
    const char* message;
    Calls teardown;
};

class OpenFaults : public WindowFaults, public testing::WithParamInterface<OpenFault> {};

TEST_P(OpenFaults, TearDownWhatWasBuiltThenReportTheStep) {
    const OpenFault& fault = GetParam();
    recorder.failing = {fault.step};

    EXPECT_FALSE(open_display_window("Tirvalex3", 640, 480, 16, false));

    Calls expected = joined(up_to(windowed_open, fault.step), fault.teardown);
    expected.push_back("message_box");  // the message comes after the teardown
    EXPECT_EQ(take_calls(), expected);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    expect_ok_box(recorder.boxes[0], fault.message, "ERROR", warning_box);
    expect_no_handles();
}

const Calls unregister_only = {"unregister_window_class"};
const Calls from_window = {"destroy_window", "unregister_window_class"};
const Calls from_device_context = {"release_device_context", "destroy_window",
                                   "unregister_window_class"};

INSTANTIATE_TEST_SUITE_P(
    EveryStep, OpenFaults,
    testing::Values(
        OpenFault{"create_window", "Window Creation Error.", unregister_only},
        OpenFault{"get_device_context", "Can't Create A GL Device Context.", from_window},
        OpenFault{"choose_pixel_format", "Can't Find A Suitable PixelFormat.", from_device_context},
        OpenFault{"set_pixel_format", "Can't Set The PixelFormat.", from_device_context},
        OpenFault{"create_context", "Can't Create A GL Rendering Context.", from_device_context},
        OpenFault{"make_current", "Can't Activate The GL Rendering Context.", windowed_close},
        OpenFault{"setup_renderer", "Initialization Failed.", windowed_close}),
    [](const testing::TestParamInfo<OpenFault>& info) { return std::string(info.param.step); });

TEST_F(WindowFaults, ClassRegistrationFailureReportsWithoutTeardown) {
    recorder.failing = {"register_window_class"};

    EXPECT_FALSE(open_display_window("Tirvalex3", 640, 480, 16, true));

    EXPECT_EQ(take_calls(), (Calls{"module_handle", "register_window_class", "message_box"}));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    expect_ok_box(recorder.boxes[0], "Failed To Register The Window Class.", "ERROR", warning_box);
    expect_no_handles();
}

TEST_F(WindowFaults, FullScreenFailureRestoresTheDisplayAndTheCursorFirst) {
    recorder.grant_display_mode = true;
    recorder.failing = {"create_window"};

    EXPECT_FALSE(open_display_window("Tirvalex3", 640, 480, 16, true));

    EXPECT_EQ(take_calls(),
              (Calls{"module_handle", "register_window_class", "change_display_settings",
                     "hide_cursor", "create_window", "restore_display_mode", "show_cursor",
                     "unregister_window_class", "message_box"}));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    expect_ok_box(recorder.boxes[0], "Window Creation Error.", "ERROR", warning_box);
    EXPECT_EQ(recorder.window_styles.at(0), WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    expect_no_handles();
}

// The question asked when the full-screen mode is refused.
void expect_fallback_question(const RecordedBox& box) {
    EXPECT_EQ(box.message,
              "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed "
              "Mode Instead?");
    EXPECT_EQ(box.title, "Vimpa - Zelmorint");
    EXPECT_EQ(box.flags, warning_box);
    EXPECT_FALSE(box.has_owner);
    ASSERT_EQ(box.buttons.size(), 2u);
    EXPECT_EQ(box.buttons[0].text, "Yes");
    EXPECT_EQ(box.buttons[0].id, ID_YES);
    EXPECT_EQ(box.buttons[0].flags, static_cast<uint32_t>(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT));
    EXPECT_EQ(box.buttons[1].text, "No");
    EXPECT_EQ(box.buttons[1].id, ID_NO);
    EXPECT_EQ(box.buttons[1].flags, 0u);
}

TEST_F(WindowFaults, RefusedModeAnsweredYesOpensWindowedAndCloseLeavesTheDisplayAlone) {
    recorder.failing = {"change_display_settings"};
    recorder.answers = {ID_YES};

    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, true));

    EXPECT_FALSE(full_screen_mode);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    expect_fallback_question(recorder.boxes[0]);
    Calls expected = {"module_handle", "register_window_class", "change_display_settings",
                      "message_box"};
    expected = joined(expected, Calls(windowed_open.begin() + 2, windowed_open.end()));
    EXPECT_EQ(take_calls(), expected);  // no cursor hiding either
    EXPECT_EQ(recorder.window_styles.at(0),
              WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);

    close_display_window();
    EXPECT_EQ(take_calls(), windowed_close);
    expect_no_handles();
}

// No, and a box closed without an answer, both end the opening.
class RefusedModeDeclined : public WindowFaults, public testing::WithParamInterface<int> {};

TEST_P(RefusedModeDeclined, SaysTheProgramClosesAndFails) {
    recorder.failing = {"change_display_settings"};
    recorder.answers = {GetParam()};

    EXPECT_FALSE(open_display_window("Tirvalex3", 640, 480, 16, true));

    EXPECT_EQ(take_calls(), (Calls{"module_handle", "register_window_class",
                                   "change_display_settings", "message_box", "message_box"}));
    ASSERT_EQ(recorder.boxes.size(), 2u);
    expect_fallback_question(recorder.boxes[0]);
    expect_ok_box(recorder.boxes[1], "Program Will Now Close.", "ERROR", error_box);
    expect_no_handles();
    sdl_platform.unregister_window_class();  // the program ends here; the test tidies up
}

INSTANTIATE_TEST_SUITE_P(NoOrClosed, RefusedModeDeclined, testing::Values(ID_NO, -1),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == ID_NO ? "No" : "Closed");
                         });

// One failing teardown step: its message, and the steps after it still run.
struct CloseFault {
    const char* step;
    const char* message;
};

class CloseFaults : public WindowFaults, public testing::WithParamInterface<CloseFault> {};

TEST_P(CloseFaults, ReportTheStepAndGoOn) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    take_calls();
    recorder.failing = {GetParam().step};

    close_display_window();

    Calls expected = up_to(windowed_close, GetParam().step);
    expected.push_back("message_box");
    expected.insert(expected.end(), windowed_close.begin() + (expected.size() - 1),
                    windowed_close.end());
    EXPECT_EQ(take_calls(), expected);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    expect_ok_box(recorder.boxes[0], GetParam().message, "SHUTDOWN ERROR", information_box);
    expect_no_handles();
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, CloseFaults,
    testing::Values(CloseFault{"release_current", "Release Of DC And RC Failed."},
                    CloseFault{"delete_context", "Release Rendering Context Failed."},
                    CloseFault{"release_device_context", "Release Device Context Failed."},
                    CloseFault{"destroy_window", "Could Not Release hWnd."},
                    CloseFault{"unregister_window_class", "Could Not Unregister Class."}),
    [](const testing::TestParamInfo<CloseFault>& info) { return std::string(info.param.step); });

TEST_F(WindowFaults, EveryTeardownStepFailingGivesEveryMessageInOrder) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    take_calls();
    recorder.failing = windowed_close;

    close_display_window();

    const std::vector<std::string> messages = {
        "Release Of DC And RC Failed.", "Release Rendering Context Failed.",
        "Release Device Context Failed.", "Could Not Release hWnd.", "Could Not Unregister Class."};
    ASSERT_EQ(recorder.boxes.size(), messages.size());
    for (size_t i = 0; i < messages.size(); ++i) {
        expect_ok_box(recorder.boxes[i], messages[i], "SHUTDOWN ERROR", information_box);
    }
    expect_no_handles();
}

TEST_F(WindowFaults, FullScreenCloseRestoresTheDisplayAndCursorBeforeTheContext) {
    recorder.grant_display_mode = true;
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, true));
    EXPECT_TRUE(full_screen_mode);
    take_calls();

    close_display_window();

    EXPECT_EQ(take_calls(), joined({"restore_display_mode", "show_cursor"}, windowed_close));
    EXPECT_TRUE(recorder.boxes.empty());
    expect_no_handles();
}

TEST_F(WindowFaults, CloseWithNothingOpenOnlyUnregistersTheClass) {
    full_screen_mode = false;

    close_display_window();

    EXPECT_EQ(take_calls(), unregister_only);
    EXPECT_TRUE(recorder.boxes.empty());
    expect_no_handles();
}

TEST_F(WindowFaults, ReopeningRegistersAgainAndKeepsTheFirstPixelFormatRequest) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));
    EXPECT_NE(window_handle, nullptr);
    EXPECT_EQ(device_context, window_handle);  // the window is its own device context here
    EXPECT_NE(render_context, nullptr);
    EXPECT_NE(instance_handle, nullptr);
    close_display_window();
    take_calls();

    ASSERT_TRUE(open_display_window("Joka's Outline Font Tutorial", 640, 480, 32, false));

    EXPECT_EQ(take_calls(), windowed_open);  // registered again, a fresh context made current
    EXPECT_EQ(recorder.window_titles,
              (std::vector<std::string>{"Tirvalex3", "Joka's Outline Font Tutorial"}));
    EXPECT_EQ(pixel_format_request.size, 40);
    EXPECT_EQ(pixel_format_request.version, 1);
    EXPECT_EQ(pixel_format_request.flags, 0x25u);
    EXPECT_EQ(pixel_format_request.pixel_type, PFD_TYPE_RGBA);
    EXPECT_EQ(pixel_format_request.color_bits, 16);  // the first open's depth
    EXPECT_EQ(pixel_format_request.depth_bits, 16);
    EXPECT_EQ(pixel_format_request.alpha_bits, 0);
    EXPECT_EQ(pixel_format_request.accum_bits, 0);
    EXPECT_EQ(pixel_format_request.stencil_bits, 0);
    EXPECT_EQ(pixel_format_request.aux_buffers, 0);
    EXPECT_EQ(pixel_format_request.layer_type, PFD_MAIN_PLANE);
}

TEST_F(WindowFaults, WindowedWindowHasAResizableClientAreaOfTheRequestedSize) {
    ASSERT_TRUE(open_display_window("Tirvalex3", 640, 480, 16, false));

    int width = 0, height = 0;
    SDL_GetWindowSize(window_handle, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    const uint32_t flags = SDL_GetWindowFlags(window_handle);
    EXPECT_NE(flags & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_EQ(flags & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_EQ(flags & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), render_context);
    EXPECT_STREQ(SDL_GetWindowTitle(window_handle), "Tirvalex3");
}

}  // namespace
