#include "styled_forms/style_form.h"

#include <utility>

#include "styled_forms/menu_item_ex.h"
#include "toolkit/backend.h"
#include "toolkit/idle_events.h"
#include "toolkit/platform.h"

using namespace toolkit;

bool UseStyle = true;

namespace {
TStyleFormReport Report;
} // namespace

void SetStyleFormReport(TStyleFormReport NewReport) { Report = std::move(NewReport); }

void StyleFormStartUp() {
  static bool Done = false;
  if (std::exchange(Done, true)) return;
  DisableWindowGhosting();
  ReadStyleSetting();
  if (Report.StartUp) Report.StartUp();
}

namespace {

int Channel(TColor C, int Shift) { return static_cast<int>((C >> Shift) & 0xFF); }

} // namespace

void ReadStyleSetting() {
  UseStyle = UseStyle && Screen->BitsPerPixel() > 8 && OsVersion().Major < 6;
  if (!UseStyle) return;
  for (TRegistryRoot Root : {TRegistryRoot::rrCurrentUser, TRegistryRoot::rrLocalMachine})
    if (ReadRegistryInteger(Root, "Software\\Quenfal\\", "UseStyleForm") == 0u) UseStyle = false;
}

int Brightness(TColor C) { return 2 * Channel(C, 0) + 3 * Channel(C, 8) + Channel(C, 16); }

TColor BlendColor(TColor A, TColor B, int W, int D) {
  TColor Result = 0;
  for (int Shift : {0, 8, 16}) {
    const int N = W * Channel(A, Shift) + (D - W) * Channel(B, Shift);
    int Q = N / D;
    const int R = N % D;
    if (2 * R > D || (2 * R == D && Q % 2 != 0)) ++Q;
    Result |= static_cast<TColor>(Q) << Shift;
  }
  return Result;
}

TFrameDelta FrameDelta(TFormBorderStyle Style) {
  using enum TFormBorderStyle;
  using enum TSystemMetric;
  TFrameDelta D;
  switch (Style) {
  case bsSizeable:
  case bsSizeToolWin:
    D.DX = Screen->SystemMetric(smCxSizeFrame) - 4;
    D.DY = Screen->SystemMetric(smCySizeFrame) - 4;
    break;
  case bsSingle:
  case bsDialog:
  case bsToolWindow:
    D.DX = Screen->SystemMetric(smCxDlgFrame) - 3;
    D.DY = Screen->SystemMetric(smCyDlgFrame) - 3;
    break;
  case bsNone: break;
  }
  D.DC = D.DY;
  if (Style == bsSizeable) D.DC = Screen->SystemMetric(smCyCaption) + D.DY - 26;
  if (Style == bsSizeToolWin) D.DC = Screen->SystemMetric(smCySmCaption) + D.DY - 18;
  return D;
}

// ===== TStyleForm =====

TStyleForm::TStyleForm(TComponent* Owner) : TForm(Owner) {
  Construct();
  Designed_ = true;
}

TStyleForm::TStyleForm(TComponent* Owner, TBuiltOnTheFly) : TForm(Owner) { Construct(); }

void TStyleForm::Construct() {
  StyleFormStartUp();
  // Every form made re-installs the plug-in's report, in case a host replaced it meanwhile.
  if (Report.OnException) Application->OnException = Report.OnException;
  if (UseStyle) LoadCaptionColors();
}

void TStyleForm::CreateWnd() {
  if (!std::exchange(Created_, true)) {
    // The toolkit has no maximized state; a form placed by the system keeps the system's size.
    if (Designed_ && Position != TPosition::poDefault) {
      const TFrameDelta D = FrameDelta(BorderStyle());
      GrowBy(2 * D.DX, D.DY + D.DC);
      // ShowModal centred the form at its designed size, just before making the window.
      if (Position == TPosition::poScreenCenter)
        SetBounds((Screen->Width() - Width()) / 2, (Screen->Height() - Height()) / 2, Width(), Height());
    }
    DoCreate();
  }
  TForm::CreateWnd();
}

void TStyleForm::GrowBy(int W, int H) {
  // Controls keep their place at the top left: the toolkit has no anchors or scroll bars
  // that a change of size would move.
  if (W == 0 && H == 0) return;
  SetBounds(Left(), Top(), Width() + W, Height() + H);
}

void TStyleForm::DoCreate() {
  if (!Scaled && Font().Charset == 1 && Screen->PixelsPerInch() != 96) {
    TFont F = Font();
    F.Name = "Arial";
    SetFont(F);
  }
  if (ParentFont && Application->MainForm && Application->MainForm != this) {
    TFont F = Font();
    F.Charset = Application->MainForm->Font().Charset;
    SetFont(F);
  }
  // Systems of major version 5 and later whose minor version is above 0 (5.1, 5.2, 6.1 ...):
  // the bar's items that do not draw themselves are drawn as styled bar items.
  const TOsVersion Version = OsVersion();
  if (Menu() && Version.Major > 4 && Version.Minor > 0) {
    TMenuItem& Bar = Menu()->Items();
    for (int I = 0; I < Bar.Count(); ++I)
      if (!Bar.Items(I)->OwnerDraw()) TMenuItemEx::Attach(*Bar.Items(I), Menu()->RightToLeft());
  }
}

void TStyleForm::LoadCaptionColors() {
  auto Pair = [](TColor Gradient, TColor Plain, TColor (&Colors)[2]) {
    Colors[0] = ColorToRGB(Gradient);
    Colors[1] = ColorToRGB(Plain);
    if (Brightness(Colors[0]) < Brightness(Colors[1])) std::swap(Colors[0], Colors[1]);
  };
  Pair(clGradientInactiveCaption, clInactiveCaption, InactiveCaptionColors_);
  Pair(clGradientActiveCaption, clActiveCaption, ActiveCaptionColors_);
  FaceColor_ = ColorToRGB(clBtnFace);
  ShadeColor_ = BlendColor(FaceColor_, clBlack, 1, 2);
}

void TStyleForm::RepaintCaption() {
  if (UseStyle && HandleAllocated()) backend::RepaintNonClient(*this);
}

// ===== Messages =====

bool TStyleForm::PaintNonClient(TCanvas& Canvas, bool Active) { return UseStyle && PaintCaption(Canvas, Active); }

bool TStyleForm::PaintsOwnCaption() const { return UseStyle && BorderStyle() != TFormBorderStyle::bsNone; }

void TStyleForm::NonClientMouseDown(int) {
  // The system drew its own caption while it handled the press (a themed one is left alone).
  if (!VisualStylesActive()) RepaintCaption();
}

bool TStyleForm::SystemCommand(int Command) {
  RepaintCaption();
  // A secondary form alone in the task bar would be an odd sight: the whole application goes.
  if (Command == scMinimize && Application->MainForm && Application->MainForm != this) {
    Application->Minimize();
    return true;
  }
  return false;
}

void TStyleForm::SystemCommandDone(int) { RepaintCaption(); }

void TStyleForm::SettingsChanged() {
  // The caption font is read from the system at every paint; the frame is recalculated.
  RepaintCaption();
}

void TStyleForm::SystemColorsChanged() {
  ReadStyleSetting();
  DropCaptionTexture();
  if (UseStyle) LoadCaptionColors();
  RepaintCaption();
}

bool TStyleForm::CursorAt(int HitTest, TCursor& Cursor) {
  if (UseStyle) {
    switch (HitTest) {
    case htLeft: case htRight: Cursor = TCursor::crSizeWE; return true;
    case htTop: case htBottom: Cursor = TCursor::crSizeNS; return true;
    case htTopLeft: case htBottomRight: Cursor = TCursor::crSizeNWSE; return true;
    case htTopRight: case htBottomLeft: Cursor = TCursor::crSizeNESW; return true;
    }
  }
  switch (HitTest) {
  case htCaption: case htSysMenu: case htMinButton: case htMaxButton: case htClose:
    // The screen's cursor, so that a busy cursor covers the caption too.
    Cursor = Screen->Cursor();
    return true;
  }
  return false;
}

void TStyleForm::EnterIdle() { RepaintCaption(); }

void TStyleForm::KeyboardCuesChanged() {
  // Newer systems repaint the buttons' focus rectangles and underlines late, after this
  // message; the repaint waits for the next idle moment.
  if (OsVersion().Major >= 6) RepaintButtonsWhenIdle(this);
}

void TStyleForm::Resized() { RepaintCaption(); }
