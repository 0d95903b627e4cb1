// The headless backend: no windows on a screen, only the bookkeeping a window system would do,
// kept deterministic. Each window is a record made from the control's creation parameters;
// the standard classes behave as Win32's do (an EDIT window edits its text and caret on keys,
// a BUTTON window clicks on a press and release over it), the toolkit's own class reports the
// mouse to the control and holds the capture meanwhile. The focus and the capture are
// handles, the clock is fake and moves only when a test waits, and text is measured with a
// fixed fake font:
//   h = |Font.Height| (11 when 0); every character is (h + 1) / 2 pixels wide, one more when
//   bold; a line is h + 2 pixels high. ("MS Sans Serif" -11 gives 6 x 13.)
// The screen is 1024 x 768 at 96 dpi and 32 bits; frames are 4 pixels when sizeable, 3
// otherwise; captions are 26 pixels high, 18 for tool windows; the colours are those of the
// classic look; the menu bar is 19 pixels high. Tests may change the depth, resolution, metrics and colours through headless::Platform().
// With visual styles switched on there, a theme part is a fill in a colour of its part and
// state.
#include <algorithm>
#include <map>
#include <vector>

#include "toolkit/backend.h"
#include "toolkit/headless/headless.h"

namespace toolkit {

namespace {

struct TWindow {
  TControl* Control;
  TCreateParams Params;
  // An edit's selection: the anchor stays where it began, the caret moves.
  int Anchor = 0, Caret = 0;
  // A form's menu bar.
  std::vector<headless::TMenuBarItem> MenuBar;
};

std::map<std::uintptr_t, TWindow> Windows;
std::uintptr_t LastHandle = 0;
std::uintptr_t Focus = 0;
std::uintptr_t Capture = 0;
int ModalDepth = 0;
long long Now = 0;

struct TScheduled {
  TTimer* Timer;
  long long Due;
};
std::vector<TScheduled> Timers;
std::uintptr_t LastTimerId = 0;

TWindow* WindowOf(std::uintptr_t Handle) {
  auto It = Windows.find(Handle);
  return It == Windows.end() ? nullptr : &It->second;
}

TWindow& WindowOf(const TControl& Control) { return Windows.at(Control.Handle()); }

} // namespace

long long headless::Clock() { return Now; }

void headless::AfterInput() {
  if (ModalDepth > 0) Application->DoIdle();
}

void headless::RunModal(const std::function<void()>& Body) {
  // A window that goes modal takes the mouse from whatever held it.
  Capture = 0;
  ++ModalDepth;
  struct TLeave {
    ~TLeave() { --ModalDepth; }
  } Leave;
  Body();
}

TControl* headless::FocusedWindow() {
  const TWindow* W = WindowOf(Focus);
  return W ? W->Control : nullptr;
}

void headless::AdvanceClock(int Milliseconds) {
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

// ===== Windows =====

void backend::MakeWindow(TControl& Control, const TCreateParams& Params) {
  Windows[++LastHandle] = {&Control, Params, 0, 0, {}};
  Control.SetHandle(LastHandle);
}

void backend::FreeWindow(TControl& Control) {
  const std::uintptr_t Handle = Control.Handle();
  if (Focus == Handle) Focus = 0;
  if (Capture == Handle) Capture = 0;
  Windows.erase(Handle);
  Control.SetHandle(0);
}

void backend::UpdateBounds(TControl&) {}

void backend::UpdateText(TControl& Control) {
  // Replacing a window's text puts the caret at its start.
  TWindow& W = WindowOf(Control);
  W.Anchor = W.Caret = 0;
}

void backend::UpdateVisible(TControl& Control) {
  // A window that disappears loses the focus inside it.
  if (Control.Visible()) return;
  for (const TControl* C = headless::FocusedWindow(); C; C = C->Parent())
    if (C == &Control) Focus = 0;
}

namespace {
std::vector<headless::TMenuBarItem> MirrorItems(const TMenuItem& Parent, bool RightToLeft) {
  std::vector<headless::TMenuBarItem> Items;
  for (int I = 0; I < Parent.Count(); ++I) {
    const TMenuItem& Item = *Parent.Items(I);
    Items.push_back({Item.Caption(), Item.Command(), Item.OwnerDraw(), Item.Enabled(), RightToLeft,
                     MirrorItems(Item, RightToLeft)});
  }
  return Items;
}

const headless::TMenuBarItem* FindBarItem(const std::vector<headless::TMenuBarItem>& Items, int Command) {
  for (const auto& Item : Items) {
    if (Item.Command == Command) return &Item;
    if (const auto* Found = FindBarItem(Item.Items, Command)) return Found;
  }
  return nullptr;
}
} // namespace

void backend::UpdateMenu(TForm& Form) {
  TWindow& W = WindowOf(Form);
  W.MenuBar.clear();
  if (Form.HasMenuBar()) W.MenuBar = MirrorItems(Form.Menu()->Items(), Form.Menu()->RightToLeft());
}

const std::vector<headless::TMenuBarItem>& headless::MenuBar(const TForm& Form) {
  static const std::vector<TMenuBarItem> None;
  const TWindow* W = WindowOf(Form.Handle());
  return W ? W->MenuBar : None;
}

void headless::ChooseMenuItem(TForm& Form, int Command) {
  const TMenuBarItem* Shown = FindBarItem(MenuBar(Form), Command);
  if (!Shown || !Shown->Enabled || !Shown->Items.empty()) return;
  if (TMenuItem* Item = Form.Menu() ? Form.Menu()->FindItem(Command) : nullptr)
    Dispatch(Item, [&] { Item->Click(); });
  AfterInput();
}

bool headless::DrawMenuBarItem(TForm& Form, int Index, TOwnerDrawState State, TBitmap& Into) {
  const auto& Bar = MenuBar(Form);
  if (Index < 0 || Index >= static_cast<int>(Bar.size()) || !Bar[Index].OwnerDraw) return false;
  TMenuItem* Item = Form.Menu() ? Form.Menu()->FindItem(Bar[Index].Command) : nullptr;
  if (!Item) return false;
  Dispatch(Item, [&] {
    TCanvas Measure;
    Measure.Font = Screen->MenuFont();
    const int Width = Item->MeasureItem(Measure).Width;
    Into.SetPixelFormat(TPixelFormat::pf32bit);
    Into.SetSize(std::max(Width, 0), Screen->SystemMetric(TSystemMetric::smCyMenu));
    Into.Canvas().Font = Screen->MenuFont();
    Item->DrawItem(Into.Canvas(), {0, 0, Into.Width(), Into.Height()}, State);
  });
  return true;
}

void backend::UpdateEnabled(TControl&) {}
void backend::UpdateFont(TControl&) {}
void backend::UpdateChecked(TRadioItem&) {}
void backend::Repaint(TControl&) {}
void backend::RepaintNonClient(TControl&) {}

bool backend::HasMouseCapture(const TControl& Control) {
  return Capture != 0 && Capture == Control.Handle();
}

bool backend::IsActiveWindow(const TControl& Control) { return Screen->ActiveForm() == &Control; }

void backend::SetFocus(TWinControl& Control) {
  if (Focus == Control.Handle()) return;
  Focus = Control.Handle();
  Control.WindowFocused();
}

TWinControl* backend::FocusedControl() {
  // Only windowed controls ever take the focus.
  return static_cast<TWinControl*>(headless::FocusedWindow());
}

// ===== Edits =====

void backend::SetEditSelection(TCustomEdit& Edit, int Start, int Length) {
  TWindow& W = WindowOf(Edit);
  W.Anchor = Start;
  W.Caret = Start + Length;
}

void backend::GetEditSelection(const TCustomEdit& Edit, int& Start, int& Length) {
  const TWindow& W = WindowOf(Edit);
  Start = std::min(W.Anchor, W.Caret);
  Length = std::abs(W.Caret - W.Anchor);
}

void backend::SetEditRect(TCustomEdit&, const TRect&) {}

int backend::EditLineCount(const TCustomEdit& Edit) {
  // An edit that scrolls sideways breaks lines only where the text does.
  if (WindowOf(Edit).Params.HasStyle(esAutoHScroll))
    return 1 + static_cast<int>(std::count(Edit.Text().begin(), Edit.Text().end(), '\n'));
  TCanvas Canvas;
  Canvas.Font = Edit.Font();
  const int Width = Edit.EditRect().Width() > 0 ? Edit.EditRect().Width() : Edit.ClientWidth();
  return Canvas.MeasureWrapped(Edit.Text(), Width).Height / Canvas.TextHeight("");
}

void backend::ScrollCaret(TCustomEdit&) {}

namespace {

// Replaces the selection by Inserted, as typing and pasting do, and reports the new text.
void ReplaceSelection(TWindow& W, const std::string& Inserted) {
  const std::string& Old = W.Control->Text();
  const int Size = static_cast<int>(Old.size());
  const int Start = std::clamp(std::min(W.Anchor, W.Caret), 0, Size);
  const int End = std::clamp(std::max(W.Anchor, W.Caret), 0, Size);
  const std::string New = Old.substr(0, Start) + Inserted + Old.substr(End);
  W.Anchor = W.Caret = Start + static_cast<int>(Inserted.size());
  if (New != Old) W.Control->WindowTextChanged(New);
}

// The default handling of an EDIT window for a key the control did not use.
void EditKey(TWindow& W, int Key, TShiftState Shift) {
  const int Size = static_cast<int>(W.Control->Text().size());
  const bool MultiLine = W.Params.HasStyle(esMultiLine);
  const bool Extend = (Shift & ssShift) != 0;
  auto MoveTo = [&](int Caret) {
    W.Caret = std::clamp(Caret, 0, Size);
    if (!Extend) W.Anchor = W.Caret;
  };
  const int Start = std::min(W.Anchor, W.Caret), End = std::max(W.Anchor, W.Caret);
  switch (Key) {
  case vkLeft: MoveTo(!Extend && Start != End ? Start : W.Caret - 1); break;
  case vkRight: MoveTo(!Extend && Start != End ? End : W.Caret + 1); break;
  case vkHome: MoveTo(0); break;
  case vkEnd: MoveTo(Size); break;
  // A single-line edit takes Up and Down for Left and Right; our multi-line texts are one
  // line, where they move nothing.
  case vkUp: if (!MultiLine) MoveTo(W.Caret - 1); break;
  case vkDown: if (!MultiLine) MoveTo(W.Caret + 1); break;
  case vkDelete:
    if (Start == End && Start < Size) W.Caret = Start + 1, W.Anchor = Start;
    ReplaceSelection(W, "");
    break;
  }
}

// The default handling of an EDIT window for a typed character.
void EditChar(TWindow& W, char C) {
  if (C == '\b') {
    if (W.Anchor == W.Caret && W.Caret > 0) --W.Anchor;
    return ReplaceSelection(W, "");
  }
  if (C == '\r') {
    if (W.Params.HasStyle(esMultiLine)) ReplaceSelection(W, "\r\n");
    return;
  }
  // Other control characters (Tab, Escape, Ctrl+letters) insert nothing.
  if (static_cast<unsigned char>(C) < 32) return;
  ReplaceSelection(W, std::string(1, C));
}

// Where a click at X (client coordinates) puts the caret: the nearest gap between characters.
int CaretAt(const TWindow& W, int X) {
  TCanvas Canvas;
  Canvas.Font = W.Control->Font();
  const std::string& Text = W.Control->Text();
  const int TextWidth = Canvas.TextWidth(Text);
  const int Client = W.Control->ClientWidth();
  int Origin = 1;
  if (W.Params.HasStyle(esRight)) Origin = Client - 1 - TextWidth;
  else if (W.Params.HasStyle(esCenter)) Origin = (Client - TextWidth) / 2;
  int Best = 0;
  for (int I = 1; I <= static_cast<int>(Text.size()); ++I)
    if (std::abs(Origin + Canvas.TextWidth(Text.substr(0, I)) - X) <
        std::abs(Origin + Canvas.TextWidth(Text.substr(0, Best)) - X))
      Best = I;
  return Best;
}

bool IsGroupBox(const TWindow& W) { return (W.Params.Style & 0xF) == bsGroupBox; }

} // namespace

void headless::KeyDown(int Key, TShiftState Shift) {
  TWindow* W = WindowOf(Focus);
  TControl* Target = W ? W->Control : Screen->ActiveForm();
  if (!Target) return;
  Dispatch(Target, [&] {
    if (Target->HandleKeyDown(Key, Shift)) return;
    // Keys that also make characters arrive as characters too, as TranslateMessage sends them.
    if (Key == vkReturn || Key == vkEscape || Key == vkTab || Key == vkBack)
      return CharTyped(static_cast<char>(Key));
    if (W && W->Params.WinClassName == EditClass) EditKey(*W, Key, Shift);
  });
  AfterInput();
}

void headless::CharTyped(char Typed) {
  TWindow* W = WindowOf(Focus);
  if (!W) return;
  TControl* Target = W->Control;
  Dispatch(Target, [&] {
    const char C = Target->HandleKeyPress(Typed);
    if (C != 0 && W->Params.WinClassName == EditClass) EditChar(*W, C);
  });
}

void headless::Paste(const std::string& Text) {
  TWindow* W = WindowOf(Focus);
  if (!W || W->Params.WinClassName != EditClass) return;
  // A single-line edit takes the first line only.
  std::string Line = Text;
  if (!W->Params.HasStyle(esMultiLine)) Line = Line.substr(0, Line.find_first_of("\r\n"));
  Dispatch(W->Control, [&] { ReplaceSelection(*W, Line); });
  AfterInput();
}

void headless::MouseButton(TControl& Control, bool Down) {
  if (!Control.HandleAllocated() || !Control.Showing() || !Control.Enabled()) return;
  TWindow& W = WindowOf(Control);
  const TPoint Centre{Control.Width() / 2, Control.Height() / 2};
  const std::uintptr_t Handle = Control.Handle();
  Dispatch(&Control, [&] {
    if (W.Params.WinClassName.empty()) {
      // The toolkit's own windows hold the mouse from the press to the release.
      if (Down) Capture = Handle;
      else if (Capture == Handle) Capture = 0;
      return Down ? Control.MouseDown(Centre) : Control.MouseUp(Centre);
    }
    auto* Win = static_cast<TWinControl*>(&Control); // standard classes are windowed controls
    if (W.Params.WinClassName == ButtonClass && !IsGroupBox(W)) {
      // A button takes the focus when pressed, and clicks when released over itself.
      if (Down) {
        if (Win->CanFocus()) Win->SetFocus();
        Capture = Handle;
      } else if (Capture == Handle) {
        Capture = 0;
        Control.Notified();
      }
    } else if (W.Params.WinClassName == EditClass && Down) {
      if (Win->CanFocus()) Win->SetFocus();
      if (TWindow* Still = WindowOf(Handle)) Still->Anchor = Still->Caret = CaretAt(*Still, Centre.X);
    }
  });
  AfterInput();
}

void headless::TurnWheel(int Delta, TPoint Pos) {
  TWindow* W = WindowOf(Focus);
  TControl* Target = W ? W->Control : Screen->ActiveForm();
  if (!Target) return;
  Dispatch(Target, [&] { Target->HandleMouseWheel(0, Delta, Pos); });
  AfterInput();
}

// ===== Message loop =====

void backend::RunModalLoop(TForm& Form) {
  // A copy: the handler may replace the application's while it runs.
  const auto Driver = Application->OnModalShown;
  if (!Driver)
    throw EInvalidOperation("No driver for the modal form \"" + Form.Caption() + "\"");
  headless::RunModal([&] {
    Driver(Form);
    // After the driver only idle time can still end the form; if it does not, no one will.
    while (!Form.ModalEnded()) {
      Application->DoIdle();
      if (Form.ModalResult() == mrNone && !Application->Terminated())
        throw EInvalidOperation("The driver of \"" + Form.Caption() + "\" left it open");
    }
  });
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
  const auto& Overrides = headless::Platform().SystemColors;
  if (auto It = Overrides.find(Index); It != Overrides.end()) return It->second;
  switch (Index) {
  case 2: return 0x6A240A;       // active caption
  case 3: return 0x808080;       // inactive caption
  case 9: return 0xFFFFFF;       // caption text
  case 19: return 0xC8D0D4;      // inactive caption text
  case 27: return 0xF0CAA6;      // gradient active caption
  case 28: return 0xC0C0C0;      // gradient inactive caption
  case 5: case 14: case 20: return 0xFFFFFF;
  case 4: case 15: return 0xC0C0C0; // menu, button face
  case 13: return 0x800000;         // highlight
  case 16: case 17: return 0x808080;
  default: return 0x000000;
  }
}

void backend::SetCursor(TCursor) {}
TSize backend::ScreenSize() { return {1024, 768}; }
int backend::PixelsPerInch() { return headless::Platform().PixelsPerInch; }
int backend::BitsPerPixel() { return headless::Platform().BitsPerPixel; }

int backend::SystemMetric(TSystemMetric Metric) {
  const auto& Overrides = headless::Platform().SystemMetrics;
  if (auto It = Overrides.find(Metric); It != Overrides.end()) return It->second;
  switch (Metric) {
  case TSystemMetric::smCxSizeFrame: case TSystemMetric::smCySizeFrame: return 4;
  case TSystemMetric::smCxDlgFrame: case TSystemMetric::smCyDlgFrame: return 3;
  case TSystemMetric::smCyCaption: return 26;
  case TSystemMetric::smCySmCaption: return 18;
  case TSystemMetric::smCxSmIcon: case TSystemMetric::smCySmIcon: return 16;
  case TSystemMetric::smCxVScroll: return 16;
  case TSystemMetric::smCyMenu: return 19;
  }
  return 0;
}

TRect backend::FrameInsets(std::uint32_t Style, std::uint32_t ExStyle) {
  const bool Framed = (Style & (wsThickFrame | wsCaption | wsBorder)) || (ExStyle & wsExDlgModalFrame);
  if (!Framed) return {};
  using enum TSystemMetric;
  const int Frame = SystemMetric((Style & wsThickFrame) ? smCxSizeFrame : smCxDlgFrame);
  const int Caption = (Style & wsCaption) != wsCaption ? 0
                      : SystemMetric((ExStyle & wsExToolWindow) ? smCySmCaption : smCyCaption);
  return {Frame, Frame + Caption, Frame, Frame};
}

TFont backend::SystemFont(int Which) {
  TFont Font;
  Font.Name = "Tahoma";
  Font.Height = -11;
  if (Which == 1 || Which == 2) Font.Style = fsBold;
  return Font;
}

// ===== Drawing into bitmaps =====

// Text is drawn as one box per character: a cell of the fake font with a one-pixel gap on
// the right and below, in the font's colour, so that tests can see where text went.
void backend::RenderText(TBitmap& Target, const TFont& Font, const TRect& Clip, TPoint At, const std::string& Text) {
  const TSize Cell = TextExtent(Font, "x");
  const TColor Color = ColorToRGB(Font.Color);
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == ' ') continue;
    const int Left = At.X + static_cast<int>(I) * Cell.Width;
    for (int Y = std::max(At.Y, Clip.Top); Y < std::min(At.Y + Cell.Height - 1, Clip.Bottom); ++Y)
      for (int X = std::max(Left, Clip.Left); X < std::min(Left + Cell.Width - 1, Clip.Right); ++X)
        Target.SetPixel(X, Y, Color);
  }
}

// An icon is a 32 x 32 disc in a colour of its kind on Background.
void backend::RenderSystemIcon(TSystemIcon Icon, TColor Background, TBitmap& Image) {
  static const TColor Colors[] = {0, 0x808080, 0x0000FF, 0xFF0000, 0x00FFFF, 0xFF8000};
  Image.SetPixelFormat(TPixelFormat::pf32bit);
  Image.SetSize(32, 32);
  for (int Y = 0; Y < 32; ++Y)
    for (int X = 0; X < 32; ++X) {
      const int DX = 2 * X - 31, DY = 2 * Y - 31;
      Image.SetPixel(X, Y, DX * DX + DY * DY <= 31 * 31 ? Colors[static_cast<int>(Icon)] : Background);
    }
}

// A scaled icon is a disc of the icon's colour filling Rect.
void backend::RenderIcon(TBitmap& Target, const TRect& Rect, TSystemIcon Icon) {
  TBitmap Image;
  RenderSystemIcon(Icon, 0, Image);
  const TColor Colour = Image.Pixel(16, 16);
  const int W = Rect.Width(), H = Rect.Height();
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const int DX = 2 * X - (W - 1), DY = 2 * Y - (H - 1);
      if (DX * DX * H * H + DY * DY * W * W <= W * W * H * H) Target.SetPixel(Rect.Left + X, Rect.Top + Y, Colour);
    }
}

// A caption button is a raised face with a black (grey when disabled) dot in the middle, one
// pixel per kind of button (close 1 ... help 5) on its top row, so tests can tell them apart.
void backend::RenderCaptionButton(TBitmap& Target, const TRect& Rect, TCaptionButton Button, bool Enabled) {
  TCanvas& Canvas = Target.Canvas();
  Canvas.BrushColor = clBtnFace;
  Canvas.FillRect(Rect);
  Canvas.DrawEdge(Rect, true);
  const TColor Mark = Enabled ? clBlack : ColorToRGB(clGrayText);
  Target.SetPixel((Rect.Left + Rect.Right) / 2, (Rect.Top + Rect.Bottom) / 2, Mark);
  for (int I = 0; I <= static_cast<int>(Button); ++I) Target.SetPixel(Rect.Left + 2 + I, Rect.Top + 2, Mark);
}

bool backend::RenderThemePart(TBitmap& Target, const TRect& Rect, int Part, int State) {
  if (!headless::Platform().VisualStyles) return false;
  TCanvas& Canvas = Target.Canvas();
  Canvas.BrushColor = static_cast<TColor>((Part * 40 % 256) | (State * 60 % 256) << 8 | 0x800000);
  Canvas.FillRect(Rect);
  return true;
}

void backend::MinimizeWindow(TControl& Form) { headless::Platform().Minimized.push_back(&Form); }

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

} // namespace toolkit

std::vector<toolkit::headless::TShownHelp>& toolkit::headless::ShownHelp() {
  static std::vector<TShownHelp> Requests;
  return Requests;
}
