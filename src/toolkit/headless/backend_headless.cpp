// The headless backend: no windows, only the bookkeeping a window system would do, kept
// deterministic. Handles are counters, the focus is a pointer, the clock is fake and moves
// only in user::Wait, and text is measured with a fixed fake font:
//   h = |Font.Height| (11 when 0); every character is (h + 1) / 2 pixels wide, one more when
//   bold; a line is h + 2 pixels high. ("MS Sans Serif" -11 gives 6 x 13.)
// The screen is 1024 x 768 at 96 dpi and 32 bits; frames are 4 pixels when sizeable, 3
// otherwise; captions are 26 pixels high, 18 for tool windows.
#include <algorithm>
#include <vector>

#include "toolkit/backend.h"
#include "toolkit/headless/headless.h"
#include "toolkit/user_input.h"

namespace toolkit {

namespace {

std::uintptr_t LastHandle = 0;
TWinControl* Focus = nullptr;
int ModalDepth = 0;
long long Now = 0;

struct TScheduled {
  TTimer* Timer;
  long long Due;
};
std::vector<TScheduled> Timers;
std::uintptr_t LastTimerId = 0;

// Every user action ends with the queue empty, which is when a modal loop goes idle.
void AfterInput() {
  if (ModalDepth > 0) Application->DoIdle();
}

TForm* ActiveForm() { return Screen->ActiveForm(); }

} // namespace

long long headless::Clock() { return Now; }

// ===== Windows =====

void backend::MakeWindow(TControl& Control, const TCreateParams&) { Control.SetHandle(++LastHandle); }

void backend::FreeWindow(TControl& Control) {
  if (Focus == &Control) Focus = nullptr;
  Control.SetHandle(0);
}

void backend::UpdateBounds(TControl&) {}
void backend::UpdateText(TControl&) {}
void backend::UpdateVisible(TControl& Control) {
  // A window that disappears loses the focus inside it.
  if (!Control.Visible() && Focus) {
    for (const TControl* C = Focus; C; C = C->Parent())
      if (C == &Control) Focus = nullptr;
  }
}
void backend::UpdateEnabled(TControl&) {}
void backend::UpdateFont(TControl&) {}
void backend::UpdateChecked(TRadioItem&) {}
void backend::Repaint(TControl&) {}
// The pointer never leaves a held headless button.
bool backend::HasMouseCapture(const TControl&) { return true; }

void backend::SetFocus(TWinControl& Control) {
  if (Focus == &Control) return;
  Focus = &Control;
  if (TForm* Form = GetParentForm(&Control)) Form->FocusMoved(&Control);
}

TWinControl* backend::FocusedControl() { return Focus; }

// ===== Edits =====

void backend::SetEditSelection(TCustomEdit&, int, int) {}
void backend::GetEditSelection(const TCustomEdit&, int&, int&) {}
void backend::SetEditRect(TCustomEdit&, const TRect&) {}

int backend::EditLineCount(const TCustomEdit& Edit) {
  TCanvas Canvas;
  Canvas.Font = Edit.Font();
  const int Width = Edit.EditRect().Width() > 0 ? Edit.EditRect().Width() : Edit.ClientWidth();
  return Canvas.MeasureWrapped(Edit.Text(), Width).Height / Canvas.TextHeight("");
}

void backend::ScrollCaret(TCustomEdit&) {}

// ===== Message loop =====

void backend::RunModalLoop(TForm& Form, const std::function<void(TForm&)>& Driver) {
  if (!Driver)
    throw EInvalidOperation("No driver for the modal form \"" + Form.Caption() + "\"");
  ++ModalDepth;
  struct TLeave {
    ~TLeave() { --ModalDepth; }
  } Leave;
  Driver(Form);
  // After the driver only idle time can still end the form; if it does not, no one will.
  while (!Form.ModalEnded()) {
    Application->DoIdle();
    if (Form.ModalResult() == mrNone && !Application->Terminated())
      throw EInvalidOperation("The driver of \"" + Form.Caption() + "\" left it open");
  }
}

void backend::ProcessMessages() {}
void backend::Terminate() {}

// ===== Timers =====

void backend::StartTimer(TTimer& Timer) {
  Timer.Id = ++LastTimerId;
  Timers.push_back({&Timer, Now + Timer.Interval()});
}

void backend::StopTimer(TTimer& Timer) {
  std::erase_if(Timers, [&](const TScheduled& S) { return S.Timer == &Timer; });
  Timer.Id = 0;
}

// ===== Screen, fonts and text =====

TSize backend::TextExtent(const TFont& Font, const std::string& Text) {
  const int H = Font.Height == 0 ? 11 : std::abs(Font.Height);
  const int CharWidth = (H + 1) / 2 + ((Font.Style & fsBold) ? 1 : 0);
  return {CharWidth * static_cast<int>(Text.size()), H + 2};
}

TColor backend::SystemColor(int Index) {
  switch (Index) {
  case 5: case 20: return 0xFFFFFF;
  case 15: return 0xC0C0C0;
  case 16: case 17: return 0x808080;
  default: return 0x000000;
  }
}

void backend::SetCursor(TCursor) {}
TSize backend::ScreenSize() { return {1024, 768}; }
int backend::PixelsPerInch() { return 96; }
int backend::BitsPerPixel() { return 32; }

int backend::SystemMetric(TSystemMetric Metric) {
  switch (Metric) {
  case TSystemMetric::smCxSizeFrame: case TSystemMetric::smCySizeFrame: return 4;
  case TSystemMetric::smCxDlgFrame: case TSystemMetric::smCyDlgFrame: return 3;
  case TSystemMetric::smCyCaption: return 26;
  case TSystemMetric::smCySmCaption: return 18;
  case TSystemMetric::smCxSmIcon: case TSystemMetric::smCySmIcon: return 16;
  case TSystemMetric::smCxVScroll: return 16;
  }
  return 0;
}

TRect backend::FrameInsets(TFormBorderStyle Style) {
  using enum TFormBorderStyle;
  if (Style == bsNone) return {};
  const bool Sizeable = Style == bsSizeable || Style == bsSizeToolWin;
  const bool Tool = Style == bsToolWindow || Style == bsSizeToolWin;
  const int Frame = Sizeable ? 4 : 3;
  return {Frame, Frame + (Tool ? 18 : 26), Frame, Frame};
}

TFont backend::SystemFont(int Which) {
  TFont Font;
  Font.Name = "Tahoma";
  Font.Height = -11;
  if (Which != 0) Font.Style = fsBold;
  return Font;
}

bool backend::ShowHelp(const std::string& HelpFile, int Context) {
  headless::ShownHelp().push_back({HelpFile, Context});
  return true;
}

bool backend::LoadBitmapResource(const std::string& Name, TBitmap& Bitmap) {
  if (Name != "SpinUp" && Name != "SpinDown") return false;
  // 9 x 6, 16 colours: olive with a black triangle of 1, 3, 5 and 7 pixels on rows 1 to 4
  // pointing up; the down glyph is the same mirrored top to bottom.
  Bitmap.SetPixelFormat(TPixelFormat::pf4bit);
  Bitmap.SetSize(9, 6);
  for (int Y = 0; Y < 6; ++Y) {
    const int Row = Name == "SpinUp" ? Y : 5 - Y;
    const int Half = Row >= 1 && Row <= 4 ? Row - 1 : -1;
    for (int X = 0; X < 9; ++X)
      Bitmap.SetPixel(X, Y, Half >= 0 && std::abs(X - 4) <= Half ? clBlack : clOlive);
  }
  return true;
}

// ===== The simulated user =====

namespace {
void MouseButton(TControl& Control, bool Down) {
  auto* Speed = dynamic_cast<TSpeedButton*>(&Control);
  if (!Speed || !Control.Showing() || !Control.Enabled()) return;
  const TPoint Centre{Control.Width() / 2, Control.Height() / 2};
  Dispatch(Speed, [&] { Down ? Speed->MouseDown(Centre) : Speed->MouseUp(Centre); });
  AfterInput();
}
} // namespace

void user::Click(TControl& Control) {
  if (dynamic_cast<TSpeedButton*>(&Control)) {
    MouseButton(Control, true);
    return MouseButton(Control, false);
  }
  if (!Control.Showing() || !Control.Enabled()) return;
  Dispatch(&Control, [&] {
    auto* Win = dynamic_cast<TWinControl*>(&Control);
    if (!Win) return Control.Click();
    // A button takes the focus when pressed, before it reports the click on release.
    if (Win->CanFocus()) Win->SetFocus();
    Win->Notified();
  });
  AfterInput();
}

void user::Press(TControl& Control) { MouseButton(Control, true); }
void user::Release(TControl& Control) { MouseButton(Control, false); }

void user::PressKey(int Key, TShiftState Shift) {
  TWinControl* Target = Focus ? Focus : ActiveForm();
  if (!Target) return;
  Dispatch(Target, [&] {
    if (Target->HandleKeyDown(Key, Shift)) return;
    // Keys the control keeps that also make characters arrive as characters too.
    if (Key == vkReturn || Key == vkEscape || Key == vkTab) Target->HandleKeyPress(static_cast<char>(Key));
  });
  AfterInput();
}

void user::Type(const std::string& Text) {
  for (char Typed : Text) {
    TWinControl* Target = Focus;
    if (!Target) return;
    Dispatch(Target, [&] {
      const char C = Target->HandleKeyPress(Typed);
      auto* Edit = dynamic_cast<TCustomEdit*>(Target);
      if (C == 0 || !Edit) return;
      const std::string Old = Edit->Text();
      const int Caret = Edit->SelStart() + 1;
      const std::string New =
          Old.substr(0, Edit->SelStart()) + C + Old.substr(Edit->SelStart() + Edit->SelLength());
      Edit->SelectionChanged(Caret, 0);
      Edit->WindowTextChanged(New);
    });
    AfterInput();
  }
}

void user::TurnWheel(int Delta, TPoint Pos) {
  TWinControl* Target = Focus ? Focus : ActiveForm();
  if (!Target) return;
  Dispatch(Target, [&] { Target->HandleMouseWheel(0, Delta, Pos); });
  AfterInput();
}

void user::Wait(int Milliseconds) {
  const long long End = Now + Milliseconds;
  while (true) {
    auto Next = std::min_element(Timers.begin(), Timers.end(),
                                 [](const TScheduled& A, const TScheduled& B) { return A.Due < B.Due; });
    if (Next == Timers.end() || Next->Due > End) break;
    Now = Next->Due;
    TTimer* Timer = Next->Timer;
    Next->Due += Timer->Interval();
    Dispatch(Timer, [&] { Timer->Tick(); });
    AfterInput();
  }
  Now = End;
}

} // namespace toolkit

std::vector<toolkit::headless::TShownHelp>& toolkit::headless::ShownHelp() {
  static std::vector<TShownHelp> Requests;
  return Requests;
}
