// The message form's layout on the headless platform, whose message font measures 6 x 13:
// margins, spacing and button sizes follow the average character; texts wrap at half the
// screen's width.
#include <gtest/gtest.h>

#include <string>

#include "styled_forms/forms_test_support.h"
#include "styled_forms/message_form.h"
#include "styled_forms/message_form_reader.h"

using namespace toolkit;

TEST(MessageFormMetrics, MulDivRoundsHalvesAwayFromZero) {
  struct TCase {
    int A, B, C, Result;
  } Cases[] = {{10, 5, 4, 13}, {50, 5, 4, 63}, {-10, 5, 4, -13}, {10, -5, -4, 13},
               {14, 13, 8, 23}, {10, 13, 8, 16}, {1, 1, 0, -1}};
  for (const TCase& C : Cases) EXPECT_EQ(MulDivRounded(C.A, C.B, C.C), C.Result) << C.A << "*" << C.B << "/" << C.C;
}

TEST(MessageFormMetrics, OneLineBesideTheIconLeavesA32PixelTextAreaAndCentresTheButton) {
  TPlatformScope Scope;
  // cx 6, cy 13: margins 12 and 13, spacing 15 and 16, buttons 75 x 23, 6 apart.
  const auto Form = BuildMessageForm("Only 8 or 24 bit images supported", mkInformation, MessageButtons({btnOK}));
  EXPECT_EQ(Form->Caption(), "Information");
  EXPECT_EQ(Form->BorderStyle(), TFormBorderStyle::bsDialog);
  EXPECT_EQ(Form->ClientWidth(), 198 + 32 + 15 + 2 * 12);
  EXPECT_EQ(Form->ClientHeight(), 32 + 23 + 16 + 2 * 13);
  EXPECT_EQ(Form->Left(), 512 - Form->Width() / 2);
  EXPECT_EQ(Form->Top(), 384 - Form->Height() / 2);
  EXPECT_EQ(Find(*Form, "Image")->BoundsRect(), (TRect{12, 13, 44, 45}));
  auto* Image = static_cast<TImage*>(Find(*Form, "Image"));
  EXPECT_EQ(Image->Picture.Icon().Icon, TSystemIcon::siAsterisk);
  EXPECT_EQ(Find(*Form, "Message")->BoundsRect(), (TRect{59, 13, 59 + 198, 26}));
  EXPECT_EQ(Find(*Form, "OK")->BoundsRect(), (TRect{97, 61, 97 + 75, 61 + 23}));
}

TEST(MessageFormMetrics, LongTextWrapsAtHalfTheScreenWidth) {
  TPlatformScope Scope;
  std::string Text;
  for (int I = 0; I < 40; ++I) Text += "several words ";
  const auto Form = BuildMessageForm(Text, mkWarning, MessageButtons({btnOK}));
  const TRect Label = Find(*Form, "Message")->BoundsRect();
  EXPECT_LE(Label.Width(), 512);
  EXPECT_GT(Label.Width(), 400);
  EXPECT_EQ(Label.Height() % 13, 0);
  EXPECT_GT(Label.Height(), 13);
  EXPECT_EQ(Form->ClientHeight(), Label.Height() + 23 + 16 + 26);
}

TEST(MessageFormMetrics, CustomKindHasTheApplicationsTitleAndNoIcon) {
  TPlatformScope Scope;
  const auto Form = BuildMessageForm("Done", mkCustom, MessageButtons({btnOK}));
  EXPECT_EQ(Form->Caption(), Application->Title);
  EXPECT_EQ(Find(*Form, "Image"), nullptr);
  EXPECT_EQ(Find(*Form, "Message")->Left(), 12);
  EXPECT_EQ(Form->ClientWidth(), 75 + 24);
  EXPECT_EQ(Form->ClientHeight(), 13 + 23 + 16 + 26);
}

TEST(MessageFormMetrics, ButtonsInBitOrderWithTheDefaultAndCancelOfTheSet) {
  TPlatformScope Scope;
  struct TCase {
    TMessageButtons Buttons;
    std::vector<std::string> Names;
    const char* Default;
    const char* Cancel;
  } Cases[] = {
      {MessageButtons({btnCancel, btnNo, btnYes}), {"Yes", "No", "Cancel"}, "Yes", "Cancel"},
      {MessageButtons({btnYes, btnNo}), {"Yes", "No"}, "Yes", "No"},
      {0x20, {"OK"}, "OK", "OK"},
      {MessageButtons({btnAbort, btnRetry, btnIgnore}), {"Retry", "Ignore", "Abort"}, "Retry", ""},
      {MessageButtons({btnNo, btnOK, btnHelp}), {"No", "OK", "Help"}, "OK", "No"},
      {MessageButtons({btnYesToAll, btnNoToAll, btnAll}), {"YesToAll", "NoToAll", "All"}, "", ""},
  };
  for (const TCase& C : Cases) {
    const auto Form = BuildMessageForm("?", mkConfirmation, C.Buttons);
    std::vector<std::string> Names;
    std::string Default, Cancel;
    int X = -1;
    for (int I = 0; I < Form->ControlCount(); ++I)
      if (auto* B = dynamic_cast<TButton*>(Form->Controls(I))) {
        Names.push_back(B->Name);
        if (B->Default) Default = B->Name;
        if (B->Cancel) Cancel = B->Name;
        EXPECT_GT(B->Left(), X);
        X = B->Left();
        EXPECT_EQ(B->Width(), 75);
      }
    EXPECT_EQ(Names, C.Names);
    EXPECT_EQ(Default, C.Default) << C.Buttons;
    EXPECT_EQ(Cancel, C.Cancel) << C.Buttons;
    const int N = static_cast<int>(Names.size());
    EXPECT_EQ(Form->ClientWidth(), std::max(6 + 32 + 15, N * 75 + (N - 1) * 6) + 24) << C.Buttons;
  }
}

TEST(MessageFormMetrics, CustomCaptionsWidenEveryButtonToTheWidestCaption) {
  TPlatformScope Scope;
  const auto Form = BuildButtonMessageForm("Access violation", mkError,
                                           {"&Ignore", "Send bug report", "Terminate application"}, 1);
  // "Terminate application": 21 characters of 6 pixels, + 8.
  for (const char* Name : {"Button1", "Button2", "Button3"}) EXPECT_EQ(Find(*Form, Name)->Width(), 134) << Name;
  EXPECT_EQ(Form->ClientWidth(), 3 * 134 + 2 * 6 + 24);
  EXPECT_EQ(Find(*Form, "Button1")->Left(), 12);
}

TEST(MessageFormMetrics, RightToLeftReadingPlacesTheTextFromTheRight) {
  TPlatformScope Scope;
  Application->RightToLeft = true;
  const auto Form = BuildMessageForm("Only 8 or 24 bit images supported", mkInformation, MessageButtons({btnOK}));
  Application->RightToLeft = false;
  EXPECT_EQ(Find(*Form, "Message")->Left(), Form->ClientWidth() - 59 - 198);
}

TEST(MessageFormMetrics, HelpButtonShowsTheFormsHelpAndLeavesItOpen) {
  TPlatformScope Scope;
  headless::ShownHelp().clear();
  bool StillOpen = false;
  SetModalDriver([&](TForm& Form) {
    Find(Form, "Help")->Click();
    StillOpen = Form.ModalResult() == mrNone;
    Find(Form, "OK")->Click();
  });
  EXPECT_EQ(ShowMessageFormAt("?", mkConfirmation, MessageButtons({btnOK, btnHelp}), 42, 5, -1, "plugin.hlp"), mrOk);
  EXPECT_TRUE(StillOpen);
  ASSERT_EQ(headless::ShownHelp().size(), 1u);
  EXPECT_EQ(headless::ShownHelp()[0].HelpFile, "plugin.hlp");
  EXPECT_EQ(headless::ShownHelp()[0].Context, 42);
}
