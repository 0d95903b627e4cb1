// A form with every kind of control the toolkit offers, for looking at the Win32 backend.
// Usage: toolkit_sample [SECONDS]. Prints "shown" once the form is up and idle; with
// SECONDS it closes itself that long afterwards, else it waits for OK or Cancel.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "value_edits/value_edit.h"
#include "toolkit/forms.h"
#include "toolkit/timer.h"

using namespace toolkit;
using controls::TFloatEdit;
using controls::TIntegerEdit;

namespace {

template <typename T> T* Make(TForm* Form, TWinControl* Parent, int X, int Y, int W, int H,
                              const std::string& Text = "") {
  auto* Control = new T(Form);
  Control->SetParent(Parent);
  Control->SetBounds(X, Y, W, H);
  if (!Text.empty()) Control->SetText(Text);
  return Control;
}

} // namespace

int main(int Argc, char** Argv) {
  const int Seconds = Argc > 1 ? std::atoi(Argv[1]) : 0;
  TForm Form(nullptr);
  Form.SetCaption("Toolkit sample");
  Form.SetBorderStyle(TFormBorderStyle::bsDialog);
  Form.Position = TPosition::poScreenCenter;
  TFont Font;
  Form.SetFont(Font);
  Form.SetClientWidth(372);
  Form.SetClientHeight(324);

  Make<TLabel>(&Form, &Form, 12, 16, 110, 13, "Cost window size:");
  auto* Spin = Make<TIntegerEdit>(&Form, &Form, 128, 13, 57, 21);
  Spin->SetMax(111);
  Spin->SetMin(3);
  Spin->SetSpinIncrement(2);
  Spin->SetValue(5);
  Spin->SetAlignment(TAlignment::taRightJustify);
  auto* Show = Make<TButton>(&Form, &Form, 192, 13, 69, 21, "Show cost");

  auto* Group = Make<TRadioGroup>(&Form, &Form, 12, 40, 249, 81);
  Group->SetText("Selection handling");
  Group->SetItems({"Ignore selection", "Selected area is expensive to contract",
                   "Selected area is cheap to contract"});
  Group->SetItemIndex(1);

  auto* Box = Make<TGroupBox>(&Form, &Form, 12, 128, 249, 105, "Automatic scaling");
  Make<TLabel>(&Form, Box, 8, 20, 44, 13, "Width:");
  auto* Width = Make<TIntegerEdit>(&Form, Box, 56, 17, 61, 21);
  Width->SetMax(960);
  Width->SetSpinIncrement(1);
  Width->SetValue(640);
  Make<TLabel>(&Form, Box, 8, 44, 44, 13, "Height:");
  auto* Disabled = Make<TIntegerEdit>(&Form, Box, 56, 41, 61, 21);
  Disabled->SetMax(480);
  Disabled->SetSpinIncrement(1);
  Disabled->SetValue(480);
  Disabled->SetEnabled(false);
  // Text that is no number shows in the warning colour.
  auto* Invalid = Make<TFloatEdit>(&Form, Box, 124, 17, 61, 21);
  Invalid->SetSpinIncrement(1);
  Invalid->SetText("abc");
  Make<TButton>(&Form, Box, 8, 72, 101, 21, "Scale");
  Make<TButton>(&Form, Box, 124, 72, 101, 21, "Disabled")->SetEnabled(false);

  auto* Wrapped = Make<TLabel>(&Form, &Form, 12, 240, 249, 40,
                               "A word-wrapped label: the text breaks between words to fit "
                               "the width, & shows an ampersand as it is.");
  Wrapped->WordWrap = true;
  Wrapped->ShowAccelChar = false;
  auto* Ticks = Make<TLabel>(&Form, &Form, 12, 290, 120, 13, "Timer ticks: 0");

  auto* Icon = Make<TImage>(&Form, &Form, 276, 13, 32, 32);
  Icon->Picture.Icon().Icon = TSystemIcon::siAsterisk;
  auto* Picture = Make<TImage>(&Form, &Form, 276, 56, 84, 64);
  TBitmap& Bitmap = Picture->Picture.Bitmap();
  Bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  Bitmap.SetSize(84, 64);
  for (int X = 0; X < 84; ++X) {
    Bitmap.Canvas().PenColor = static_cast<TColor>((X * 3) | ((255 - X * 3) << 16));
    Bitmap.Canvas().MoveTo(X, 0);
    Bitmap.Canvas().LineTo(X, 64);
  }
  Bitmap.Canvas().BrushColor = clWhite;
  Bitmap.Canvas().FillRect({20, 20, 64, 44});

  auto* Cancel = Make<TButton>(&Form, &Form, 196, 292, 75, 25, "Cancel");
  Cancel->Cancel = true;
  Cancel->ModalResult = mrCancel;
  auto* Ok = Make<TButton>(&Form, &Form, 284, 292, 77, 25, "OK");
  Ok->Default = true;
  Ok->ModalResult = mrOk;
  Show->OnClick = [&](TObject*) { Spin->SetValue(7); };

  int Count = 0;
  auto* Timer = new TTimer(&Form);
  Timer->SetInterval(200);
  Timer->SetOnTimer([&](TObject*) {
    ++Count;
    Ticks->SetText("Timer ticks: " + std::to_string(Count));
    if (Seconds > 0 && Count * 200 >= Seconds * 1000) Form.SetModalResult(mrCancel);
  });

  bool Announced = false;
  Application->OnIdle = [&](TObject*, bool&) {
    if (Announced) return;
    Announced = true;
    std::printf("shown\n");
    std::fflush(stdout);
  };
  Form.SetActiveControl(Ok);
  const TModalResult Result = Form.ShowModal();
  std::printf("modal result %d\n", Result);
  return 0;
}
