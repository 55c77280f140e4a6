// Message boxes: what SDL is asked to show for each style, the answers, and the text written
// to stderr when no box can be shown.
#include <gtest/gtest.h>

#include "app/message_box.h"
#include "tests/app/platform_recorder.h"

namespace {

class MessageBox : public testing::Test {
protected:
    void SetUp() override { install_platform_recorder(); }
    void TearDown() override { platform_reset(); }
};

struct IconCase {
    uint32_t style;
    uint32_t sdl_flag;
    const char* name;
};

class MessageBoxIcons : public MessageBox, public testing::WithParamInterface<IconCase> {};

TEST_P(MessageBoxIcons, MapToSdlsThreeKinds) {
    message_box("text", "caption", MB_OK | GetParam().style);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].flags,
              GetParam().sdl_flag | static_cast<uint32_t>(SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT));
}

INSTANTIATE_TEST_SUITE_P(
    EveryIcon, MessageBoxIcons,
    testing::Values(IconCase{MB_ICONQUESTION, SDL_MESSAGEBOX_INFORMATION, "Question"},
                    IconCase{MB_ICONINFORMATION, SDL_MESSAGEBOX_INFORMATION, "Information"},
                    IconCase{MB_ICONEXCLAMATION, SDL_MESSAGEBOX_WARNING, "Exclamation"},
                    IconCase{MB_ICONSTOP, SDL_MESSAGEBOX_ERROR, "Stop"}),
    [](const testing::TestParamInfo<IconCase>& info) { return std::string(info.param.name); });

TEST_F(MessageBox, StartUpQuestionIsLatin1ConvertedWithYesAsTheReturnDefault) {
    recorder.answers = {ID_NO};

    EXPECT_EQ(message_box("V\xE4lkommen?", "HEJD\xC5!", MB_YESNO | MB_ICONQUESTION), ID_NO);

    ASSERT_EQ(recorder.boxes.size(), 1u);
    const RecordedBox& box = recorder.boxes[0];
    EXPECT_EQ(box.message, "V\xC3\xA4lkommen?");
    EXPECT_EQ(box.title, "HEJD\xC3\x85!");
    EXPECT_FALSE(box.has_owner);
    ASSERT_EQ(box.buttons.size(), 2u);
    EXPECT_EQ(box.buttons[0].text, "Yes");
    EXPECT_EQ(box.buttons[0].id, ID_YES);
    EXPECT_EQ(box.buttons[0].flags, static_cast<uint32_t>(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT));
    EXPECT_EQ(box.buttons[1].text, "No");
    EXPECT_EQ(box.buttons[1].id, ID_NO);
    EXPECT_EQ(box.buttons[1].flags, 0u);
}

TEST_F(MessageBox, AnswersAreTheButtonsCodesAndClosingGivesNone) {
    recorder.answers = {ID_YES, -1, ID_OK};
    EXPECT_EQ(message_box("q", "c", MB_YESNO), ID_YES);
    EXPECT_EQ(message_box("q", "c", MB_YESNO), ID_NONE);
    EXPECT_EQ(message_box("m", "c", MB_OK), ID_OK);
}

TEST_F(MessageBox, WithoutADisplayTheTextGoesToStderr) {
    recorder.boxes_unavailable = true;

    testing::internal::CaptureStderr();
    const int32_t answer = message_box("Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP);
    const std::string written = testing::internal::GetCapturedStderr();

    EXPECT_EQ(answer, ID_NONE);
    EXPECT_EQ(written, "ERROR: Program Will Now Close.\n");
}

TEST_F(MessageBox, StderrGetsUtf8Too) {
    recorder.boxes_unavailable = true;

    testing::internal::CaptureStderr();
    message_box("V\xE4lkommen?", "HEJD\xC5!", MB_YESNO | MB_ICONQUESTION);

    EXPECT_EQ(testing::internal::GetCapturedStderr(), "HEJD\xC3\x85!: V\xC3\xA4lkommen?\n");
}

}  // namespace
