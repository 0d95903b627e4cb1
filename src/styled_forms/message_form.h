// The plug-in's message forms: an icon, a word-wrapped text and a centred row of buttons, in
// a styled form built on the fly. Two builders: the standard buttons chosen by a set, or
// buttons with the caller's captions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "styled_forms/style_form.h"

enum TMessageKind { mkWarning, mkError, mkInformation, mkConfirmation, mkCustom };

// The standard buttons: the set's bit order and the order on screen, left to right.
enum TMessageButton {
  btnYes, btnNo, btnYesToAll, btnNoToAll, btnAll, btnOK, btnRetry, btnIgnore, btnAbort, btnCancel, btnHelp
};
// A set of standard buttons: bit n stands for button n (OK alone is 0x20).
using TMessageButtons = std::uint16_t;
constexpr TMessageButtons MessageButtons(std::initializer_list<TMessageButton> Buttons) {
  TMessageButtons Set = 0;
  for (TMessageButton B : Buttons) Set = static_cast<TMessageButtons>(Set | 1u << B);
  return Set;
}

class TMessageForm : public TStyleForm {
public:
  // Owned by the active form's window where that is the right owner (ActiveOwnerWindow), in
  // the system's message font.
  explicit TMessageForm(toolkit::TComponent* Owner);
  const char* ClassName() const override { return "TMessageForm"; }
};

// The window a new message form should belong to: the active form's when it is the main form
// or modal, else none (the application's owner window then).
std::uintptr_t ActiveOwnerWindow();

// A x B / C rounded to the nearest, halves away from zero, as the system's MulDiv; -1 when C
// is 0.
int MulDivRounded(int A, int B, int C);

// Builds the message form for Text with the caption and icon of Kind and the standard
// Buttons; the default button is OK, else Yes, else Retry; Escape chooses Cancel, else No,
// else OK. Centred on the screen; the caller shows and frees it.
std::unique_ptr<TMessageForm> BuildMessageForm(const std::string& Text, TMessageKind Kind, TMessageButtons Buttons);
// Shows the message form modally, centred (or at X / Y where they are not negative), with
// HelpContext and HelpFile for its Help button; returns the modal result of the button
// pressed (mrYes ... mrYesToAll, mrCancel when closed otherwise).
int ShowMessageFormAt(const std::string& Text, TMessageKind Kind, TMessageButtons Buttons, int HelpContext,
                      int X, int Y, const std::string& HelpFile);
int ShowMessageForm(const std::string& Text, TMessageKind Kind, TMessageButtons Buttons, int HelpContext);

// Builds a message form whose buttons carry Captions; button i gives modal result -(i + 1).
// The first button is the default; Escape chooses button CancelNumber (counted from 1,
// limited to the buttons there are).
std::unique_ptr<TMessageForm> BuildButtonMessageForm(const std::string& Text, TMessageKind Kind,
                                                     const std::vector<std::string>& Captions, int CancelNumber);
// Shows it modally, centred, and returns the number of the button pressed (from 1), or 0
// when the form was closed without a button.
int ShowButtonMessageForm(const std::string& Text, TMessageKind Kind, const std::vector<std::string>& Captions,
                          int CancelNumber);
