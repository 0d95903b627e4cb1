// The message forms as a user answers them, on both backends: the value each key or button
// gives back, and the window that owns the form.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "equipment/user_input.h"
#include "styled_forms/message_form.h"
#include "styled_forms/message_form_reader.h"

using namespace toolkit;

namespace {

// The user's answer: a key, a button clicked by name, or the window's close command.
struct TAnswer {
  int Key = 0;
  const char* Button = nullptr;
  void operator()(TForm& Form) const {
    if (Key) return user::PressKey(Key);
    if (Button) return user::Click(*Find(Form, Button));
    Form.CloseCommand();
  }
};

TAnswer Press(int Key) { return {Key, nullptr}; }
TAnswer ClickOn(const char* Button) { return {0, Button}; }
const TAnswer CloseBox{};

// Runs Show with the answer given inside the modal loop; a form the answer left open ends
// with mrAbort's stand-in 99 so that a wrong expectation fails at once.
int Answered(const TAnswer& Answer, const std::function<int()>& Show) {
  SetModalDriver([Answer](TForm& Form) {
    Answer(Form);
    if (Form.ModalResult() == mrNone) Form.SetModalResult(99);
  });
  return Show();
}

} // namespace

TEST(MessageForm, StandardButtonsAnswerWithTheirModalResults) {
  struct TCase {
    const char* What;
    TMessageButtons Buttons;
    TAnswer Answer;
    int Result;
  } Cases[] = {
      {"OK alone is the default", 0x20, Press(vkReturn), mrOk},
      {"OK alone answers Escape", 0x20, Press(vkEscape), mrOk},
      {"Yes is the default beside No", MessageButtons({btnYes, btnNo}), Press(vkReturn), mrYes},
      {"No answers Escape beside Yes", MessageButtons({btnYes, btnNo}), Press(vkEscape), mrNo},
      {"Cancel answers Escape before No", MessageButtons({btnYes, btnNo, btnCancel}), Press(vkEscape), mrCancel},
      {"OK is the default even after No", MessageButtons({btnNo, btnOK}), Press(vkReturn), mrOk},
      {"a click on No", MessageButtons({btnYes, btnNo, btnCancel}), ClickOn("No"), mrNo},
      {"a click on Yes to All", MessageButtons({btnYesToAll, btnNoToAll}), ClickOn("YesToAll"), mrYesToAll},
      {"the close box", MessageButtons({btnYes, btnNo}), CloseBox, mrCancel},
      {"Escape without a cancel button does nothing", MessageButtons({btnRetry, btnAbort}), Press(vkEscape), 99},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(Answered(C.Answer, [&] { return ShowMessageForm("Carry on?", mkConfirmation, C.Buttons, 0); }), C.Result)
        << C.What;
}

TEST(MessageForm, CustomButtonsAnswerWithTheirNumberAndZeroWhenClosed) {
  const std::vector<std::string> Captions = {"&Ignore", "Send bug report", "Terminate application"};
  struct TCase {
    const char* What;
    int CancelNumber;
    TAnswer Answer;
    int Result;
  } Cases[] = {
      {"the first button", 1, ClickOn("Button1"), 1},
      {"Escape with cancel number 1", 1, Press(vkEscape), 1},
      {"the third button", 1, ClickOn("Button3"), 3},
      {"Enter chooses the first", 3, Press(vkReturn), 1},
      {"a cancel number past the end is the last", 9, Press(vkEscape), 3},
      {"a cancel number of 0 is the first", 0, Press(vkEscape), 1},
      {"the close box", 1, CloseBox, 0},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(Answered(C.Answer, [&] { return ShowButtonMessageForm("Fault", mkError, Captions, C.CancelNumber); }),
              C.Result)
        << C.What;
}

TEST(MessageForm, ModalFormThatIsActiveOwnsTheMessage) {
  TForm Dialog(nullptr);
  Dialog.SetCaption("Dialog");
  std::uintptr_t Owner = 1, OwnerInside = 0, DialogWindow = 0;
  SetModalDriver([&](TForm& Form) {
    DialogWindow = Form.Handle();
    OwnerInside = ActiveOwnerWindow();
    Answered(Press(vkReturn), [] { return ShowMessageForm("Inside", mkInformation, 0x20, 0); });
    Form.SetModalResult(mrOk);
  });
  Dialog.ShowModal();
  EXPECT_NE(DialogWindow, 0u);
  EXPECT_EQ(OwnerInside, DialogWindow);
  Owner = ActiveOwnerWindow(); // nothing is active any more
  EXPECT_EQ(Owner, 0u);
}
