// Test helper: what a message form shows, read from its controls, and a driver that answers
// every message form that comes up as a user would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "equipment/user_input.h"
#include "toolkit/forms.h"

struct TShownMessageForm {
  std::string Caption, Text;
  std::vector<std::string> Buttons; // captions, left to right
  std::string DefaultButton, CancelButton;
  std::uintptr_t OwnerWindow = 0;
};

// The control of Form named Name, or null.
inline toolkit::TControl* Find(toolkit::TForm& Form, const std::string& Name) {
  for (int I = 0; I < Form.ControlCount(); ++I)
    if (Form.Controls(I)->Name == Name) return Form.Controls(I);
  return nullptr;
}

inline TShownMessageForm ReadMessageForm(toolkit::TForm& Form) {
  TShownMessageForm Shown;
  Shown.Caption = Form.Caption();
  Shown.OwnerWindow = Form.WindowParams().WndParent;
  for (int I = 0; I < Form.ControlCount(); ++I) {
    toolkit::TControl* C = Form.Controls(I);
    if (C->Name == "Message") Shown.Text = C->Caption();
    if (auto* B = dynamic_cast<toolkit::TButton*>(C)) {
      Shown.Buttons.push_back(B->Caption());
      if (B->Default) Shown.DefaultButton = B->Caption();
      if (B->Cancel) Shown.CancelButton = B->Caption();
    }
  }
  return Shown;
}

// Reads every message form shown from now on into Shown and answers it with Enter, until
// the test takes the driver back (toolkit::TakeModalDriver()).
inline void AnswerMessageForms(std::vector<TShownMessageForm>& Shown) {
  toolkit::SetModalDriver([&Shown](toolkit::TForm& Form) {
    AnswerMessageForms(Shown);
    Shown.push_back(ReadMessageForm(Form));
    toolkit::user::PressKey(toolkit::vkReturn);
  });
}
