// The plug-in's own forms on show: a styled form with a menu bar and, over it, a message form
// of each kind with several buttons (./dev screenshot).
// Usage: forms_sample DIR. Each time a stage is up and idle the sample prints "shown NAME";
// it moves on once the file DIR/NAME.done exists (the screenshot is taken), and ends after the
// last stage.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "styled_forms/message_form.h"
#include "toolkit/timer.h"

using namespace toolkit;

namespace {

// A designed form like the plug-in's dialog: sizeable, so its caption has all its buttons.
class TSampleForm : public TStyleForm {
public:
  TSampleForm() : TStyleForm(nullptr) {
    SetCaption("Feature preserving resize");
    SetBounds(40, 40, 460, 240);
    // A menu bar: where the system version asks for it, its items are drawn as styled items.
    auto* Menu = new TMainMenu(this);
    for (const char* Caption : {"&File", "&Edit", "&Help"}) {
      auto* Item = new TMenuItem(this);
      Item->SetCaption(Caption);
      Menu->Items().Add(Item);
    }
    SetMenu(Menu);
    auto* Text = new TLabel(this);
    Text->SetParent(this);
    Text->SetBounds(16, 20, 300, 13);
    Text->SetCaption("A styled form: its caption bar is painted by the form itself.");
    auto* Width = new TEdit(this);
    Width->SetParent(this);
    Width->SetBounds(16, 48, 80, 21);
    Width->SetText("640");
    auto* Ok = new TButton(this);
    Ok->SetParent(this);
    Ok->SetBounds(270, 140, 75, 25);
    Ok->SetCaption("OK");
    Ok->Default = true;
    auto* Cancel = new TButton(this);
    Cancel->SetParent(this);
    Cancel->SetBounds(355, 140, 75, 25);
    Cancel->SetCaption("Cancel");
  }
};

struct TStage {
  const char* Name;
  std::function<void()> Show; // null: the styled form alone
};

} // namespace

int main(int Argc, char** Argv) {
  if (Argc < 2) {
    std::fprintf(stderr, "usage: forms_sample DIR\n");
    return 2;
  }
  const std::filesystem::path Dir = Argv[1];
  const std::vector<TStage> Stages = {
      {"styled-active", nullptr},
      {"warning", [] { ShowMessageForm("The image is larger than the screen.\nCarry on?", mkWarning,
                                       MessageButtons({btnYes, btnNo, btnCancel}), 0); }},
      {"error", [] { ShowButtonMessageForm("Invalid access to memory location. Read of NIL pointer.", mkError,
                                           {"&Ignore", "Send bug report", "Terminate application"}, 1); }},
      {"information", [] { ShowMessageForm("Only 8 or 24 bit images supported", mkInformation,
                                           MessageButtons({btnOK, btnHelp}), 0); }},
      {"confirmation", [] { ShowMessageForm("Replace the existing file?", mkConfirmation,
                                            MessageButtons({btnYes, btnNo, btnYesToAll, btnNoToAll}), 0); }},
      {"custom", [] { ShowMessageForm("The seam search was stopped.", mkCustom,
                                      MessageButtons({btnAbort, btnRetry, btnIgnore}), 0); }},
  };
  std::size_t Current = 0;
  bool Announced = false, Running = false;
  auto Done = [&] { return std::filesystem::exists(Dir / (std::string(Stages[Current].Name) + ".done")); };

  TSampleForm Form;
  Application->OnIdle = [&](TObject*, bool&) {
    if (std::exchange(Announced, true)) return;
    std::printf("shown %s\n", Stages[Current].Name);
    std::fflush(stdout);
  };
  auto* Poll = new TTimer(&Form);
  Poll->SetInterval(100);
  Poll->SetOnTimer([&](TObject*) {
    if (!Done()) return;
    // While a message form is up its own modal loop runs: end it; the running chain below
    // then shows the next one.
    if (Running) {
      if (TForm* Active = Screen->ActiveForm(); Active && Active != &Form) Active->SetModalResult(mrCancel);
      return;
    }
    Running = true;
    for (Current = 1; Current < Stages.size(); ++Current) {
      Announced = false;
      Stages[Current].Show();
    }
    Form.SetModalResult(mrOk);
  });
  Form.ShowModal();
  return 0;
}
