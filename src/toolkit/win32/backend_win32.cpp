// The Win32 backend: each control is a real window (standard BUTTON, EDIT and STATIC classes,
// a class of our own for forms and for the painted controls), subclassed so that clicks,
// typing, focus, keys and the wheel reach the portable classes. Timers are SetTimer timers
// and the modal loop is our own, so that idle time and dialog keys behave as on headless.
#include <windows.h>
#include <windowsx.h>

#include <cstddef>
#include <cstring>
#include <exception>
#include <map>
#include <tuple>
#include <vector>

#include "toolkit/backend.h"
#include "toolkit/user_input.h"

namespace toolkit {

namespace {

constexpr const char* ControlProp = "FRControl";
constexpr const char* OldProcProp = "FRProc";
constexpr const char* FormClass = "FRForm";
constexpr const char* PaintedClass = "FRPainted";

int ModalDepth = 0;
// Modifiers a simulated key press holds; posted key messages leave the real key state alone.
TShiftState SimulatedShift = 0;
// While code sets an edit's text the window's own change notice is not a user's edit.
bool SettingText = false;

HWND Hwnd(const TControl& Control) { return reinterpret_cast<HWND>(Control.Handle()); }

TControl* FromHandle(HWND Window) {
  return Window ? static_cast<TControl*>(GetPropA(Window, ControlProp)) : nullptr;
}

HINSTANCE ThisModule() {
  HMODULE Module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &Module);
  return Module;
}

TShiftState CurrentShift() {
  TShiftState Shift = SimulatedShift;
  if (GetKeyState(VK_SHIFT) < 0) Shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) Shift |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) Shift |= ssAlt;
  return Shift;
}

COLORREF Rgb(TColor Color) { return static_cast<COLORREF>(ColorToRGB(Color) & 0xFFFFFF); }

// Fonts and brushes are few and shared by many windows; they live as long as the process.
HFONT FontHandle(const TFont& Font) {
  static std::map<std::tuple<std::string, int, unsigned, int>, HFONT> Cache;
  auto Key = std::make_tuple(Font.Name, Font.Height, Font.Style, Font.Charset);
  auto& Handle = Cache[Key];
  if (!Handle)
    Handle = CreateFontA(Font.Height, 0, 0, 0, (Font.Style & fsBold) ? FW_BOLD : FW_NORMAL,
                         (Font.Style & fsItalic) != 0, (Font.Style & fsUnderline) != 0,
                         (Font.Style & fsStrikeOut) != 0, static_cast<BYTE>(Font.Charset),
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, Font.Name.c_str());
  return Handle;
}

HBRUSH BrushOf(TColor Color) {
  static std::map<COLORREF, HBRUSH> Cache;
  auto& Brush = Cache[Rgb(Color)];
  if (!Brush) Brush = CreateSolidBrush(Rgb(Color));
  return Brush;
}

void FormStyle(TFormBorderStyle Style, DWORD& WindowStyle, DWORD& ExStyle) {
  using enum TFormBorderStyle;
  ExStyle = 0;
  WindowStyle = WS_CLIPCHILDREN;
  switch (Style) {
  case bsNone: WindowStyle |= WS_POPUP; break;
  case bsSingle: WindowStyle |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_BORDER; break;
  case bsSizeable: WindowStyle |= WS_OVERLAPPEDWINDOW; break;
  case bsDialog:
    WindowStyle |= WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    ExStyle = WS_EX_DLGMODALFRAME;
    break;
  case bsToolWindow:
    WindowStyle |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
    ExStyle = WS_EX_TOOLWINDOW;
    break;
  case bsSizeToolWin:
    WindowStyle |= WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    ExStyle = WS_EX_TOOLWINDOW;
    break;
  }
}

// ===== Painting =====

// Draws the SourceWidth columns of Bitmap from SourceX at (X, Y); with Transparent, pixels
// of the bottom-left pixel's colour show Background instead (the glyph convention).
void DrawBitmap(HDC Dc, int X, int Y, const TBitmap& Bitmap, int SourceX, int SourceWidth,
                bool Transparent, TColor Background) {
  const int H = Bitmap.Height();
  if (SourceWidth <= 0 || H <= 0) return;
  const TColor Key = Bitmap.Pixel(0, H - 1);
  std::vector<std::uint32_t> Pixels(static_cast<std::size_t>(SourceWidth) * H);
  for (int Row = 0; Row < H; ++Row)
    for (int Col = 0; Col < SourceWidth; ++Col) {
      TColor C = Bitmap.Pixel(SourceX + Col, Row);
      if (Transparent && C == Key) C = ColorToRGB(Background);
      // 0x00BBGGRR to the DIB's 0x00RRGGBB
      Pixels[Row * SourceWidth + Col] = ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
    }
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  Info.bmiHeader.biWidth = SourceWidth;
  Info.bmiHeader.biHeight = -H; // top-down
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(Dc, X, Y, SourceWidth, H, 0, 0, 0, H, Pixels.data(), &Info, DIB_RGB_COLORS);
}

void PaintSpeedButton(HDC Dc, RECT Client, TSpeedButton& Button) {
  FillRect(Dc, &Client, BrushOf(clBtnFace));
  DrawEdge(Dc, &Client, Button.Down() ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  TBitmap& Glyph = Button.Glyph();
  const int Count = std::max(Button.NumGlyphs, 1);
  const int W = Glyph.Width() / Count;
  const int Index = !Button.Enabled() && Count > 1 ? 1 : 0;
  const int Shift = Button.Down() ? 1 : 0;
  DrawBitmap(Dc, (Client.right - W) / 2 + Shift, (Client.bottom - Glyph.Height()) / 2 + Shift,
             Glyph, Index * W, W, true, clBtnFace);
}

LPCSTR SystemIconId(TSystemIcon Icon) {
  switch (Icon) {
  case TSystemIcon::siHand: return IDI_HAND;
  case TSystemIcon::siQuestion: return IDI_QUESTION;
  case TSystemIcon::siExclamation: return IDI_EXCLAMATION;
  case TSystemIcon::siAsterisk: return IDI_ASTERISK;
  default: return IDI_APPLICATION;
  }
}

void PaintImage(HDC Dc, RECT Client, TImage& Image) {
  FillRect(Dc, &Client, BrushOf(Image.Parent() ? Image.Parent()->Color() : clBtnFace));
  const TGraphic* Graphic = Image.Picture.Graphic();
  if (auto* Icon = dynamic_cast<const TIcon*>(Graphic); Icon && Icon->Icon != TSystemIcon::siNone)
    DrawIcon(Dc, 0, 0, LoadIconA(nullptr, SystemIconId(Icon->Icon)));
  else if (auto* Bitmap = dynamic_cast<const TBitmap*>(Graphic))
    DrawBitmap(Dc, 0, 0, *Bitmap, 0, Bitmap->Width(), false, clBtnFace);
}

void Paint(HWND Window, TControl* Control) {
  PAINTSTRUCT Ps;
  HDC Dc = BeginPaint(Window, &Ps);
  RECT Client;
  GetClientRect(Window, &Client);
  Dispatch(Control, [&] {
    if (auto* Speed = dynamic_cast<TSpeedButton*>(Control)) PaintSpeedButton(Dc, Client, *Speed);
    else if (auto* Image = dynamic_cast<TImage*>(Control)) PaintImage(Dc, Client, *Image);
    else FillRect(Dc, &Client, BrushOf(Control->Color()));
  });
  EndPaint(Window, &Ps);
}

// ===== Messages =====

// Messages a window gets about its children: commands and colours. Returns true when
// handled, with Result set.
bool ChildNotification(UINT Message, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
  HWND Child = reinterpret_cast<HWND>(LParam);
  TControl* Control = FromHandle(Child);
  if (!Control) return false;
  if (Message == WM_COMMAND) {
    const UINT Code = HIWORD(WParam);
    auto* Win = dynamic_cast<TWinControl*>(Control);
    if (Code == BN_CLICKED && Win) Dispatch(Control, [&] { Win->Notified(); });
    if (Code == EN_CHANGE && !SettingText)
      if (auto* Edit = dynamic_cast<TCustomEdit*>(Control)) {
        DWORD Start = 0, End = 0;
        SendMessageA(Child, EM_GETSEL, reinterpret_cast<WPARAM>(&Start), reinterpret_cast<LPARAM>(&End));
        std::string Text(GetWindowTextLengthA(Child) + 1, '\0');
        Text.resize(GetWindowTextA(Child, Text.data(), static_cast<int>(Text.size())));
        Dispatch(Control, [&] {
          Edit->SelectionChanged(static_cast<int>(Start), static_cast<int>(End - Start));
          Edit->WindowTextChanged(Text);
        });
      }
    Result = 0;
    return true;
  }
  if (Message == WM_CTLCOLOREDIT || Message == WM_CTLCOLORSTATIC || Message == WM_CTLCOLORBTN) {
    HDC Dc = reinterpret_cast<HDC>(WParam);
    // Labels, radio buttons and group boxes sit on their parent's background.
    const bool OnParent = !dynamic_cast<TCustomEdit*>(Control) && Control->Parent();
    const TColor Back = OnParent ? Control->Parent()->Color() : Control->Color();
    SetTextColor(Dc, Rgb(Control->Enabled() ? Control->Font().Color : clGrayText));
    SetBkColor(Dc, Rgb(Back));
    SetBkMode(Dc, OnParent ? TRANSPARENT : OPAQUE);
    Result = reinterpret_cast<LRESULT>(BrushOf(Back));
    return true;
  }
  return false;
}

// Messages every window of ours handles the same way. Returns true when handled.
bool CommonMessage(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
  TControl* Control = FromHandle(Window);
  if (!Control) return false;
  switch (Message) {
  case WM_COMMAND:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLORBTN: return ChildNotification(Message, WParam, LParam, Result);
  case WM_SETFOCUS:
    if (auto* Win = dynamic_cast<TWinControl*>(Control); Win && !dynamic_cast<TForm*>(Win))
      if (TForm* Form = GetParentForm(Win)) Dispatch(Win, [&] { Form->FocusMoved(Win); });
    return false;
  case WM_CHAR:
    if (auto* Win = dynamic_cast<TWinControl*>(Control)) {
      char C = static_cast<char>(WParam);
      Dispatch(Win, [&] { C = Win->HandleKeyPress(C); });
      if (C == 0) {
        Result = 0;
        return true;
      }
      if (C != static_cast<char>(WParam)) {
        Result = CallWindowProcA(reinterpret_cast<WNDPROC>(GetPropA(Window, OldProcProp)), Window,
                                 Message, static_cast<unsigned char>(C), LParam);
        return true;
      }
    }
    return false;
  case WM_MOUSEWHEEL:
    if (auto* Win = dynamic_cast<TWinControl*>(Control)) {
      const int Delta = GET_WHEEL_DELTA_WPARAM(WParam);
      const TPoint Pos{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
      Dispatch(Win, [&] { Win->HandleMouseWheel(CurrentShift(), Delta, Pos); });
      Result = 0;
      return true;
    }
    return false;
  case WM_SETCURSOR:
    if (Screen->Cursor() == TCursor::crHourGlass) {
      ::SetCursor(LoadCursorA(nullptr, IDC_WAIT));
      Result = TRUE;
      return true;
    }
    return false;
  default: return false;
  }
}

LRESULT CALLBACK SubclassProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  LRESULT Result = 0;
  if (CommonMessage(Window, Message, WParam, LParam, Result)) return Result;
  if (Message == WM_ERASEBKGND && dynamic_cast<TGroupBox*>(FromHandle(Window))) {
    // The group box class paints only its frame and caption; its inside is ours.
    RECT Client;
    GetClientRect(Window, &Client);
    FillRect(reinterpret_cast<HDC>(WParam), &Client, BrushOf(FromHandle(Window)->Color()));
    return 1;
  }
  auto OldProc = reinterpret_cast<WNDPROC>(GetPropA(Window, OldProcProp));
  return CallWindowProcA(OldProc, Window, Message, WParam, LParam);
}

LRESULT CALLBACK OwnWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  LRESULT Result = 0;
  if (CommonMessage(Window, Message, WParam, LParam, Result)) return Result;
  TControl* Control = FromHandle(Window);
  if (!Control) return DefWindowProcA(Window, Message, WParam, LParam);
  switch (Message) {
  case WM_ERASEBKGND: {
    RECT Client;
    GetClientRect(Window, &Client);
    FillRect(reinterpret_cast<HDC>(WParam), &Client, BrushOf(Control->Color()));
    return 1;
  }
  case WM_PAINT:
    if (dynamic_cast<TForm*>(Control)) break;
    Paint(Window, Control);
    return 0;
  case WM_CLOSE:
    if (auto* Form = dynamic_cast<TForm*>(Control)) Dispatch(Form, [&] { Form->CloseCommand(); });
    return 0;
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP:
    if (auto* Speed = dynamic_cast<TSpeedButton*>(Control)) {
      const TPoint P{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
      if (Message == WM_LBUTTONDOWN) SetCapture(Window);
      else if (GetCapture() == Window) ReleaseCapture();
      Dispatch(Speed, [&] { Message == WM_LBUTTONDOWN ? Speed->MouseDown(P) : Speed->MouseUp(P); });
      return 0;
    }
    break;
  }
  return DefWindowProcA(Window, Message, WParam, LParam);
}

void RegisterClasses() {
  static bool Registered = false;
  if (Registered) return;
  WNDCLASSA Class{};
  Class.lpfnWndProc = OwnWindowProc;
  Class.hInstance = ThisModule();
  Class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  Class.lpszClassName = FormClass;
  Class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  RegisterClassA(&Class);
  Class.lpszClassName = PaintedClass;
  Class.hIcon = nullptr;
  Class.style = CS_HREDRAW | CS_VREDRAW;
  RegisterClassA(&Class);
  Registered = true;
}

// Handles one message the way the modal loop does: keys first go to the controls, so that
// hooks and dialog keys run before the window's own handling.
void HandleMessage(MSG& Msg) {
  if (Msg.message == WM_KEYDOWN || Msg.message == WM_SYSKEYDOWN)
    if (auto* Win = dynamic_cast<TWinControl*>(FromHandle(Msg.hwnd))) {
      bool Used = false;
      Dispatch(Win, [&] { Used = Win->HandleKeyDown(static_cast<int>(Msg.wParam), CurrentShift()); });
      if (Used) return;
    }
  TranslateMessage(&Msg);
  DispatchMessageA(&Msg);
}

// Handles the waiting messages; false once WM_QUIT arrived (it is posted again for the
// loops further out).
bool PumpWaiting() {
  MSG Msg;
  while (PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) {
    if (Msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(Msg.wParam));
      return false;
    }
    HandleMessage(Msg);
  }
  return true;
}

std::map<UINT_PTR, TTimer*>& RunningTimers() {
  static std::map<UINT_PTR, TTimer*> Timers;
  return Timers;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR Id, DWORD) {
  auto& Timers = RunningTimers();
  auto It = Timers.find(Id);
  if (It == Timers.end()) return;
  TTimer* Timer = It->second;
  Dispatch(Timer, [&] { Timer->Tick(); });
}

} // namespace

// ===== Windows =====

void backend::MakeWindow(TControl& Control, const TCreateParams& Params) {
  RegisterClasses();
  DWORD Style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD ExStyle = 0;
  const char* Class = PaintedClass;
  HWND Parent = Control.Parent() ? Hwnd(*Control.Parent()) : nullptr;
  TRect B = Control.BoundsRect();
  if (auto* Form = dynamic_cast<TForm*>(&Control)) {
    FormStyle(Form->BorderStyle(), Style, ExStyle);
    Class = FormClass;
    Parent = reinterpret_cast<HWND>(Params.WndParent);
    // An owner that is not a window would make creation fail; the form is then unowned.
    if (Parent && !IsWindow(Parent)) Parent = nullptr;
  } else if (auto* Button = dynamic_cast<TButton*>(&Control)) {
    Class = "BUTTON";
    Style |= WS_TABSTOP | (Button->Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  } else if (dynamic_cast<TRadioItem*>(&Control)) {
    Class = "BUTTON";
    Style |= BS_RADIOBUTTON;
  } else if (dynamic_cast<TGroupBox*>(&Control)) {
    Class = "BUTTON";
    Style |= BS_GROUPBOX | WS_CLIPCHILDREN;
  } else if (dynamic_cast<TCustomEdit*>(&Control)) {
    Class = "EDIT";
    ExStyle = WS_EX_CLIENTEDGE;
    Style |= WS_TABSTOP | (Params.MultiLine ? ES_MULTILINE : ES_AUTOHSCROLL);
    if (Params.ClipChildren) Style |= WS_CLIPCHILDREN;
    if (Params.Alignment == TAlignment::taRightJustify) Style |= ES_RIGHT;
    if (Params.Alignment == TAlignment::taCenter) Style |= ES_CENTER;
  } else if (auto* Label = dynamic_cast<TLabel*>(&Control)) {
    Class = "STATIC";
    Style |= Label->WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
    if (!Label->ShowAccelChar) Style |= SS_NOPREFIX;
  }
  if (Control.Visible()) Style |= WS_VISIBLE;
  if (!Control.Enabled()) Style |= WS_DISABLED;
  if (dynamic_cast<TForm*>(&Control)) Style &= ~WS_VISIBLE; // ShowModal shows it

  SettingText = true;
  HWND Window = CreateWindowExA(ExStyle, Class, Control.Text().c_str(), Style, B.Left, B.Top,
                                B.Width(), B.Height(), Parent, nullptr, ThisModule(), nullptr);
  SettingText = false;
  if (!Window) throw EInvalidOperation("Error creating window");
  SetPropA(Window, ControlProp, &Control);
  if (Class != FormClass && Class != PaintedClass) {
    SetPropA(Window, OldProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(Window, GWLP_WNDPROC)));
    SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc));
  }
  Control.SetHandle(reinterpret_cast<std::uintptr_t>(Window));
  SendMessageA(Window, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle(Control.Font())), FALSE);
  if (auto* Item = dynamic_cast<TRadioItem*>(&Control)) UpdateChecked(*Item);
}

void backend::FreeWindow(TControl& Control) {
  HWND Window = Hwnd(Control);
  Control.SetHandle(0);
  if (auto OldProc = GetPropA(Window, OldProcProp)) {
    SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldProc));
    RemovePropA(Window, OldProcProp);
  }
  RemovePropA(Window, ControlProp);
  ::DestroyWindow(Window);
}

void backend::UpdateBounds(TControl& Control) {
  const TRect B = Control.BoundsRect();
  SetWindowPos(Hwnd(Control), nullptr, B.Left, B.Top, B.Width(), B.Height(),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void backend::UpdateText(TControl& Control) {
  SettingText = true;
  SetWindowTextA(Hwnd(Control), Control.Text().c_str());
  SettingText = false;
}

void backend::UpdateVisible(TControl& Control) {
  const bool TopLevel = dynamic_cast<TForm*>(&Control) != nullptr;
  ShowWindow(Hwnd(Control), !Control.Visible() ? SW_HIDE : TopLevel ? SW_SHOWNORMAL : SW_SHOWNA);
  if (TopLevel && Control.Visible()) SetForegroundWindow(Hwnd(Control));
}

void backend::UpdateEnabled(TControl& Control) { EnableWindow(Hwnd(Control), Control.Enabled()); }

void backend::UpdateFont(TControl& Control) {
  SendMessageA(Hwnd(Control), WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle(Control.Font())), TRUE);
}

void backend::UpdateChecked(TRadioItem& Item) {
  SendMessageA(Hwnd(Item), BM_SETCHECK, Item.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
  // Only the checked item is a tab stop, as in the core's tab list.
  LONG_PTR Style = GetWindowLongPtrA(Hwnd(Item), GWL_STYLE);
  Style = Item.TabStop ? (Style | WS_TABSTOP) : (Style & ~WS_TABSTOP);
  SetWindowLongPtrA(Hwnd(Item), GWL_STYLE, Style);
}

bool backend::HasMouseCapture(const TControl& Control) { return GetCapture() == Hwnd(Control); }

void backend::Repaint(TControl& Control) {
  InvalidateRect(Hwnd(Control), nullptr, TRUE);
  UpdateWindow(Hwnd(Control));
}

// ===== Focus =====

void backend::SetFocus(TWinControl& Control) { ::SetFocus(Hwnd(Control)); }

TWinControl* backend::FocusedControl() { return dynamic_cast<TWinControl*>(FromHandle(GetFocus())); }

// ===== Edits =====

void backend::SetEditSelection(TCustomEdit& Edit, int Start, int Length) {
  SendMessageA(Hwnd(Edit), EM_SETSEL, Start, Start + Length);
}

void backend::GetEditSelection(const TCustomEdit& Edit, int& Start, int& Length) {
  DWORD S = 0, E = 0;
  SendMessageA(Hwnd(Edit), EM_GETSEL, reinterpret_cast<WPARAM>(&S), reinterpret_cast<LPARAM>(&E));
  Start = static_cast<int>(S);
  Length = static_cast<int>(E - S);
}

void backend::SetEditRect(TCustomEdit& Edit, const TRect& Rect) {
  RECT R{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  SendMessageA(Hwnd(Edit), EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&R));
}

int backend::EditLineCount(const TCustomEdit& Edit) {
  return static_cast<int>(SendMessageA(Hwnd(Edit), EM_GETLINECOUNT, 0, 0));
}

void backend::ScrollCaret(TCustomEdit& Edit) { SendMessageA(Hwnd(Edit), EM_SCROLLCARET, 0, 0); }

// ===== Message loop =====

void backend::RunModalLoop(TForm& Form, const std::function<void(TForm&)>& Driver) {
  // The owner stays disabled while the form is modal, and is enabled again before the form
  // hides, so that the activation goes back to it.
  HWND Owner = GetWindow(Hwnd(Form), GW_OWNER);
  const bool DisableOwner = Owner && IsWindowEnabled(Owner);
  struct TModalScope {
    HWND Owner;
    bool Disabled;
    TModalScope(HWND O, bool D) : Owner(O), Disabled(D) {
      ++ModalDepth;
      if (Disabled) EnableWindow(Owner, FALSE);
    }
    ~TModalScope() {
      --ModalDepth;
      if (Disabled) EnableWindow(Owner, TRUE);
    }
  } Scope(Owner, DisableOwner);

  if (Driver) {
    PumpWaiting();
    Driver(Form);
  }
  while (!Form.ModalEnded()) {
    MSG Msg;
    if (PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) {
      if (Msg.message == WM_QUIT) {
        Application->Terminate();
        PostQuitMessage(static_cast<int>(Msg.wParam));
        continue;
      }
      HandleMessage(Msg);
    } else if (Application->DoIdle() && Form.ModalResult() == mrNone) {
      // An idle handler that ended the form sent no message that would wake us.
      WaitMessage();
    }
  }
}

void backend::ProcessMessages() { PumpWaiting(); }

void backend::Terminate() { PostQuitMessage(0); }

// ===== Timers =====

void backend::StartTimer(TTimer& Timer) {
  Timer.Id = SetTimer(nullptr, 0, static_cast<UINT>(Timer.Interval()), TimerProc);
  if (!Timer.Id) throw EInvalidOperation("Not enough timers available");
  RunningTimers()[Timer.Id] = &Timer;
}

void backend::StopTimer(TTimer& Timer) {
  KillTimer(nullptr, Timer.Id);
  RunningTimers().erase(Timer.Id);
  Timer.Id = 0;
}

// ===== Screen, fonts and text =====

TSize backend::TextExtent(const TFont& Font, const std::string& Text) {
  HDC Dc = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(Dc, FontHandle(Font));
  SIZE Size{0, 0};
  TEXTMETRICA Metrics{};
  GetTextMetricsA(Dc, &Metrics);
  if (!Text.empty()) GetTextExtentPoint32A(Dc, Text.data(), static_cast<int>(Text.size()), &Size);
  SelectObject(Dc, Old);
  ReleaseDC(nullptr, Dc);
  return {Size.cx, Text.empty() ? Metrics.tmHeight : Size.cy};
}

TColor backend::SystemColor(int Index) { return GetSysColor(Index); }

void backend::SetCursor(TCursor Cursor) {
  ::SetCursor(LoadCursorA(nullptr, Cursor == TCursor::crHourGlass ? IDC_WAIT : IDC_ARROW));
}

TSize backend::ScreenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

int backend::PixelsPerInch() {
  HDC Dc = GetDC(nullptr);
  const int Result = GetDeviceCaps(Dc, LOGPIXELSY);
  ReleaseDC(nullptr, Dc);
  return Result;
}

int backend::BitsPerPixel() {
  HDC Dc = GetDC(nullptr);
  const int Result = GetDeviceCaps(Dc, BITSPIXEL) * GetDeviceCaps(Dc, PLANES);
  ReleaseDC(nullptr, Dc);
  return Result;
}

int backend::SystemMetric(TSystemMetric Metric) {
  static const int Index[] = {SM_CXSIZEFRAME, SM_CYSIZEFRAME, SM_CXDLGFRAME, SM_CYDLGFRAME,
                              SM_CYCAPTION,   SM_CYSMCAPTION, SM_CXSMICON,   SM_CYSMICON,
                              SM_CXVSCROLL};
  return GetSystemMetrics(Index[static_cast<int>(Metric)]);
}

TRect backend::FrameInsets(TFormBorderStyle Style) {
  DWORD WindowStyle, ExStyle;
  FormStyle(Style, WindowStyle, ExStyle);
  RECT R{0, 0, 0, 0};
  AdjustWindowRectEx(&R, WindowStyle, FALSE, ExStyle);
  return {-R.left, -R.top, R.right, R.bottom};
}

TFont backend::SystemFont(int Which) {
  // The structure as it was before Vista added a field: 340 bytes, accepted everywhere.
  NONCLIENTMETRICSA Metrics{};
  Metrics.cbSize = offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA);
  TFont Font;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, Metrics.cbSize, &Metrics, 0)) return Font;
  const LOGFONTA& L = Which == 0 ? Metrics.lfMessageFont : Which == 1 ? Metrics.lfCaptionFont : Metrics.lfSmCaptionFont;
  Font.Name = L.lfFaceName;
  Font.Height = L.lfHeight;
  Font.Charset = L.lfCharSet;
  Font.Style = (L.lfWeight >= FW_BOLD ? fsBold : 0u) | (L.lfItalic ? fsItalic : 0u) |
               (L.lfUnderline ? fsUnderline : 0u) | (L.lfStrikeOut ? fsStrikeOut : 0u);
  return Font;
}

bool backend::ShowHelp(const std::string& HelpFile, int Context) {
  HWND Owner = Screen->ActiveForm() ? Hwnd(*Screen->ActiveForm()) : nullptr;
  return WinHelpA(Owner, HelpFile.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(Context));
}

bool backend::LoadBitmapResource(const std::string& Name, TBitmap& Bitmap) {
  HINSTANCE Module = ThisModule();
  HRSRC Found = FindResourceA(Module, Name.c_str(), reinterpret_cast<LPCSTR>(RT_BITMAP));
  HGLOBAL Loaded = Found ? LoadResource(Module, Found) : nullptr;
  const auto* Data = Loaded ? static_cast<const std::uint8_t*>(LockResource(Loaded)) : nullptr;
  if (!Data || SizeofResource(Module, Found) < sizeof(BITMAPINFOHEADER)) return false;
  BITMAPINFOHEADER Header;
  std::memcpy(&Header, Data, sizeof Header);
  TPixelFormat Format;
  switch (Header.biBitCount) {
  case 1: Format = TPixelFormat::pf1bit; break;
  case 4: Format = TPixelFormat::pf4bit; break;
  case 8: Format = TPixelFormat::pf8bit; break;
  case 24: Format = TPixelFormat::pf24bit; break;
  case 32: Format = TPixelFormat::pf32bit; break;
  default: return false;
  }
  if (Header.biCompression != BI_RGB || Header.biWidth <= 0 || Header.biHeight == 0) return false;
  const int Height = std::abs(static_cast<int>(Header.biHeight));
  const bool BottomUp = Header.biHeight > 0;
  const DWORD Colors = Header.biBitCount <= 8 ? (Header.biClrUsed ? Header.biClrUsed : 1u << Header.biBitCount) : 0;
  const std::uint8_t* Palette = Data + Header.biSize;
  const std::uint8_t* Bits = Palette + Colors * 4;
  const std::size_t Stride = (static_cast<std::size_t>(Header.biWidth) * Header.biBitCount + 31) / 32 * 4;
  if (static_cast<std::size_t>(Bits - Data) + Stride * Height > SizeofResource(Module, Found)) return false;
  Bitmap.SetSize(0, 0);
  Bitmap.SetPixelFormat(Format);
  Bitmap.SetSize(Header.biWidth, Height);
  std::vector<TPaletteEntry> Entries;
  for (DWORD I = 0; I < Colors; ++I)
    Entries.push_back({Palette[4 * I + 2], Palette[4 * I + 1], Palette[4 * I], 0});
  if (Colors) Bitmap.SetPalette(Entries);
  for (int Y = 0; Y < Height; ++Y)
    std::memcpy(Bitmap.ScanLine(Y), Bits + Stride * (BottomUp ? Height - 1 - Y : Y),
                std::min<std::size_t>(Stride, Bitmap.RowBytes()));
  return true;
}

// ===== The simulated user =====

namespace {
bool Clickable(TControl& Control) {
  return Control.Showing() && Control.Enabled() && IsWindowEnabled(Hwnd(Control));
}

void MouseButton(TControl& Control, bool Down) {
  if (!dynamic_cast<TSpeedButton*>(&Control) || !Clickable(Control)) return;
  const LPARAM Centre = MAKELPARAM(Control.Width() / 2, Control.Height() / 2);
  PostMessageA(Hwnd(Control), Down ? WM_LBUTTONDOWN : WM_LBUTTONUP, Down ? MK_LBUTTON : 0, Centre);
  PumpWaiting();
}
} // namespace

void user::Press(TControl& Control) { MouseButton(Control, true); }
void user::Release(TControl& Control) { MouseButton(Control, false); }

void user::Click(TControl& Control) {
  if (!Clickable(Control)) return;
  HWND Window = Hwnd(Control);
  if (dynamic_cast<TSpeedButton*>(&Control)) {
    MouseButton(Control, true);
    MouseButton(Control, false);
  } else if (dynamic_cast<TButtonControl*>(&Control)) {
    // BM_CLICK presses and releases the button as the mouse would, focus included.
    SendMessageA(Window, BM_CLICK, 0, 0);
  } else {
    Dispatch(&Control, [&] { Control.Click(); });
  }
  PumpWaiting();
}

void user::PressKey(int Key, TShiftState Shift) {
  HWND Target = GetFocus();
  if (!Target && Screen->ActiveForm()) Target = Hwnd(*Screen->ActiveForm());
  if (!Target) return;
  SimulatedShift = Shift;
  PostMessageA(Target, WM_KEYDOWN, static_cast<WPARAM>(Key), 1);
  PostMessageA(Target, WM_KEYUP, static_cast<WPARAM>(Key), 0xC0000001);
  PumpWaiting();
  SimulatedShift = 0;
}

void user::Type(const std::string& Text) {
  for (char C : Text) {
    HWND Target = GetFocus();
    if (!Target) return;
    PostMessageA(Target, WM_CHAR, static_cast<unsigned char>(C), 1);
    PumpWaiting();
  }
}

void user::TurnWheel(int Delta, TPoint Pos) {
  HWND Target = GetFocus();
  if (!Target && Screen->ActiveForm()) Target = Hwnd(*Screen->ActiveForm());
  if (!Target) return;
  PostMessageA(Target, WM_MOUSEWHEEL, MAKEWPARAM(0, Delta), MAKELPARAM(Pos.X, Pos.Y));
  PumpWaiting();
}

void user::Wait(int Milliseconds) {
  const DWORD Start = GetTickCount();
  while (true) {
    PumpWaiting();
    if (ModalDepth > 0) Application->DoIdle();
    const DWORD Elapsed = GetTickCount() - Start;
    if (Elapsed >= static_cast<DWORD>(Milliseconds)) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, Milliseconds - Elapsed, QS_ALLINPUT);
  }
}

} // namespace toolkit
