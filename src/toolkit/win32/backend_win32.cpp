// The Win32 backend: each control gets the window its creation parameters ask for (a standard
// class, subclassed so that clicks, typing, focus, keys and the wheel reach the portable
// classes, or a class of our own that paints through the control's Paint hook). Timers are
// SetTimer timers and the modal loop is our own, so that idle time and dialog keys behave as
// on headless.
#include "toolkit/win32/backend_win32.h"

#include <windowsx.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <map>
#include <tuple>
#include <vector>

#include "toolkit/backend.h"
#include "toolkit/platform.h"

namespace toolkit {

namespace win32 {
int ModalDepth = 0;

HWND Hwnd(const TControl& Control) { return reinterpret_cast<HWND>(Control.Handle()); }

TControl* FromHandle(HWND Window) {
  return Window ? static_cast<TControl*>(GetPropA(Window, "FRControl")) : nullptr;
}
} // namespace win32

using namespace win32;

namespace {

constexpr const char* ControlProp = "FRControl";
constexpr const char* OldProcProp = "FRProc";
constexpr const char* FormClass = "FRForm";
constexpr const char* PaintedClass = "FRPainted";

// While code sets an edit's text the window's own change notice is not a user's edit.
bool SettingText = false;

// Top-level windows are the forms' (only TForm asks for one).
TForm* FormOf(TControl* Control) {
  return Control && Control->WindowParams().TopLevel ? static_cast<TForm*>(Control) : nullptr;
}

HINSTANCE ThisModule() {
  HMODULE Module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &Module);
  return Module;
}

TShiftState CurrentShift() {
  TShiftState Shift = 0;
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

// ===== Painting =====

// Copies a 32-bit bitmap to (X, Y) of Dc.
void Blit(HDC Dc, int X, int Y, TBitmap& Bitmap) {
  if (Bitmap.Empty()) return;
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  Info.bmiHeader.biWidth = Bitmap.Width();
  Info.bmiHeader.biHeight = -Bitmap.Height(); // top-down, as TBitmap keeps its rows
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(Dc, X, Y, Bitmap.Width(), Bitmap.Height(), 0, 0, 0, Bitmap.Height(),
                    Bitmap.ScanLine(0), &Info, DIB_RGB_COLORS);
}

// A bitmap of Width x Height that a control paints into, drawn off-screen and copied in one
// step so that the window never shows a half-painted state.
// Painter answers whether it drew anything; so does the result.
bool PaintOffScreen(HDC Dc, int X, int Y, int Width, int Height, const std::function<bool(TCanvas&)>& Painter) {
  TBitmap Buffer;
  Buffer.SetPixelFormat(TPixelFormat::pf32bit);
  Buffer.SetSize(std::max(Width, 0), std::max(Height, 0));
  if (Buffer.Empty() || !Painter(Buffer.Canvas())) return false;
  Blit(Dc, X, Y, Buffer);
  return true;
}

void Paint(HWND Window, TControl* Control) {
  PAINTSTRUCT Ps;
  HDC Dc = BeginPaint(Window, &Ps);
  RECT Client;
  GetClientRect(Window, &Client);
  Dispatch(Control, [&] {
    PaintOffScreen(Dc, 0, 0, Client.right, Client.bottom, [&](TCanvas& Canvas) {
      Canvas.Font = Control->Font();
      Control->Paint(Canvas);
      return true;
    });
  });
  EndPaint(Window, &Ps);
}

// Lets a form paint its own caption into Dc (the window's); true when it did. While the
// activation moves, the active window is not yet the one WM_NCACTIVATE announces: the
// message's own state is passed then.
bool PaintCaption(HWND Window, HDC Dc, TForm& Form, int ActiveState = -1) {
  const TRect R = Form.CaptionRect();
  const bool Active = ActiveState < 0 ? GetActiveWindow() == Window : ActiveState != 0;
  bool Painted = false;
  Dispatch(&Form, [&] {
    Painted = PaintOffScreen(Dc, R.Left, R.Top, R.Width(), R.Height(),
                             [&](TCanvas& Canvas) { return Form.PaintNonClient(Canvas, Active); });
  });
  return Painted;
}

bool PaintCaption(HWND Window, TForm& Form, int ActiveState = -1) {
  HDC Dc = GetWindowDC(Window);
  const bool Painted = PaintCaption(Window, Dc, Form, ActiveState);
  ReleaseDC(Window, Dc);
  return Painted;
}

// WM_NCPAINT: inside the update region, the form's own caption and the band of its border
// width first, then the system's frame and menu bar with both kept out of its region, so
// that nothing is painted twice and the system's caption never flashes up.
LRESULT PaintFrame(HWND Window, TForm& Form, WPARAM UpdateRegion, int ActiveState = -1) {
  RECT W;
  GetWindowRect(Window, &W);
  // The region arrives in screen coordinates; 1 stands for the whole window.
  HRGN Region = CreateRectRgn(W.left, W.top, W.right, W.bottom);
  if (UpdateRegion > 1) CombineRgn(Region, Region, reinterpret_cast<HRGN>(UpdateRegion), RGN_AND);
  HDC Dc = GetWindowDC(Window);
  OffsetRgn(Region, -W.left, -W.top);
  SelectClipRgn(Dc, Region);
  if (PaintCaption(Window, Dc, Form, ActiveState)) {
    const TRect C = Form.CaptionRect();
    HRGN Caption = CreateRectRgn(C.Left, C.Top, C.Right, C.Bottom);
    CombineRgn(Region, Region, Caption, RGN_DIFF);
    DeleteObject(Caption);
  }
  if (const int B = Form.BorderWidth(); B > 0) {
    const TRect I = Form.FrameInsets();
    const int Width = W.right - W.left, Height = W.bottom - W.top;
    ExcludeClipRect(Dc, I.Left, I.Top, Width - I.Right, Height - I.Bottom);
    const RECT Band{I.Left - B, I.Top - B, Width - I.Right + B, Height - I.Bottom + B};
    FillRect(Dc, &Band, BrushOf(Form.Color()));
  }
  ReleaseDC(Window, Dc);
  OffsetRgn(Region, W.left, W.top);
  const LRESULT Result = DefWindowProcA(Window, WM_NCPAINT, reinterpret_cast<WPARAM>(Region), 0);
  DeleteObject(Region);
  return Result;
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
    if (Code == BN_CLICKED) Dispatch(Control, [&] { Control->Notified(); });
    if (Code == EN_CHANGE && !SettingText) {
      std::string Text(GetWindowTextLengthA(Child) + 1, '\0');
      Text.resize(GetWindowTextA(Child, Text.data(), static_cast<int>(Text.size())));
      Dispatch(Control, [&] { Control->WindowTextChanged(Text); });
    }
    Result = 0;
    return true;
  }
  if (Message == WM_CTLCOLOREDIT || Message == WM_CTLCOLORSTATIC || Message == WM_CTLCOLORBTN) {
    HDC Dc = reinterpret_cast<HDC>(WParam);
    const bool OnParent = Control->WindowParams().ParentBackground && Control->Parent();
    const TColor Back = OnParent ? Control->Parent()->Color() : Control->Color();
    SetTextColor(Dc, Rgb(Control->Enabled() ? Control->Font().Color : clGrayText));
    SetBkColor(Dc, Rgb(Back));
    SetBkMode(Dc, OnParent ? TRANSPARENT : OPAQUE);
    Result = reinterpret_cast<LRESULT>(BrushOf(Back));
    return true;
  }
  return false;
}

LPCSTR CursorId(TCursor Cursor) {
  switch (Cursor) {
  case TCursor::crHourGlass: return IDC_WAIT;
  case TCursor::crSizeWE: return IDC_SIZEWE;
  case TCursor::crSizeNS: return IDC_SIZENS;
  case TCursor::crSizeNWSE: return IDC_SIZENWSE;
  case TCursor::crSizeNESW: return IDC_SIZENESW;
  default: return IDC_ARROW;
  }
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
  case WM_SETFOCUS: Dispatch(Control, [&] { Control->WindowFocused(); }); return false;
  case WM_CHAR: {
    char C = static_cast<char>(WParam);
    Dispatch(Control, [&] { C = Control->HandleKeyPress(C); });
    if (C == 0) {
      Result = 0;
      return true;
    }
    if (C != static_cast<char>(WParam)) {
      auto OldProc = reinterpret_cast<WNDPROC>(GetPropA(Window, OldProcProp));
      const auto Replaced = static_cast<unsigned char>(C);
      Result = OldProc ? CallWindowProcA(OldProc, Window, Message, Replaced, LParam)
                       : DefWindowProcA(Window, Message, Replaced, LParam);
      return true;
    }
    return false;
  }
  case WM_MOUSEWHEEL: {
    const int Delta = GET_WHEEL_DELTA_WPARAM(WParam);
    const TPoint Pos{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
    Dispatch(Control, [&] { Control->HandleMouseWheel(CurrentShift(), Delta, Pos); });
    Result = 0;
    return true;
  }
  case WM_SETCURSOR: {
    TCursor Cursor = Screen->Cursor();
    const int HitTest = LOWORD(LParam);
    // A busy cursor covers every window of ours; otherwise a form may choose its own.
    bool Chosen = Cursor == TCursor::crHourGlass;
    if (!Chosen)
      if (TForm* Form = FormOf(Control); Form && reinterpret_cast<HWND>(WParam) == Window)
        Dispatch(Form, [&] { Chosen = Form->CursorAt(HitTest, Cursor); });
    if (!Chosen) return false;
    ::SetCursor(LoadCursorA(nullptr, CursorId(Cursor)));
    Result = TRUE;
    return true;
  }
  default: return false;
  }
}

LRESULT CALLBACK SubclassProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  LRESULT Result = 0;
  if (CommonMessage(Window, Message, WParam, LParam, Result)) return Result;
  TControl* Control = FromHandle(Window);
  if (Message == WM_ERASEBKGND && Control && Control->WindowParams().FillBackground) {
    RECT Client;
    GetClientRect(Window, &Client);
    FillRect(reinterpret_cast<HDC>(WParam), &Client, BrushOf(Control->Color()));
    return 1;
  }
  auto OldProc = reinterpret_cast<WNDPROC>(GetPropA(Window, OldProcProp));
  return CallWindowProcA(OldProc, Window, Message, WParam, LParam);
}

// The item of Form's menu with Command, or null.
TMenuItem* MenuItemOf(TForm& Form, int Command) {
  return Form.Menu() ? Form.Menu()->FindItem(Command) : nullptr;
}

// WM_NCACTIVATE of Form: the frame and caption in the new state, the form told of it.
LRESULT FormActivation(HWND Window, TForm& Form, WPARAM Active, LPARAM LParam) {
  bool Own = false;
  Dispatch(&Form, [&] { Own = Form.PaintsOwnCaption(); });
  LRESULT Result;
  if (Own) {
    // The system would paint its own caption in the new state before ours covers it. Given
    // -1 it only takes the new state (without visual styles), and the frame is painted here
    // at once: our caption first, the rest by the system.
    Result = DefWindowProcA(Window, WM_NCACTIVATE, Active, -1);
    PaintFrame(Window, Form, 1, Active != FALSE);
  } else {
    Result = DefWindowProcA(Window, WM_NCACTIVATE, Active, LParam);
  }
  Dispatch(&Form, [&] { Form.NonClientActivated(Active != FALSE); });
  PaintCaption(Window, Form, Active != FALSE);
  return Result;
}

// WM_SETTEXT of Form: the system takes the text, the form paints the caption with it.
LRESULT FormCaptionText(HWND Window, TForm& Form, WPARAM WParam, LPARAM LParam) {
  bool Own = false;
  Dispatch(&Form, [&] { Own = Form.PaintsOwnCaption(); });
  // The system paints its own caption with the new text at once. An empty window region
  // keeps that off the screen; taken away without a redraw it leaves the screen as it was,
  // and the form paints its caption over it. (Our windows have no region of their own.)
  if (Own) SetWindowRgn(Window, CreateRectRgn(0, 0, 0, 0), FALSE);
  const LRESULT Result = DefWindowProcA(Window, WM_SETTEXT, WParam, LParam);
  if (Own) SetWindowRgn(Window, nullptr, FALSE);
  Dispatch(&Form, [&] { Form.CaptionChanged(); });
  // A form that left this caption to the system after all gets the system's one redrawn.
  if (!PaintCaption(Window, Form) && Own)
    RedrawWindow(Window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  return Result;
}

// WM_MEASUREITEM: the size of an owner-drawn item of Form's menu, measured by the item with
// the menu font. False for anything else.
bool MeasureMenuItem(TForm& Form, MEASUREITEMSTRUCT& Measure) {
  TMenuItem* Item = Measure.CtlType == ODT_MENU ? MenuItemOf(Form, static_cast<int>(Measure.itemData)) : nullptr;
  if (!Item) return false;
  TCanvas Canvas;
  Canvas.Font = Screen->MenuFont();
  Dispatch(Item, [&] {
    const TSize Size = Item->MeasureItem(Canvas);
    Measure.itemWidth = static_cast<UINT>(std::max(Size.Width, 0));
    Measure.itemHeight = static_cast<UINT>(std::max(Size.Height, 0));
  });
  return true;
}

// WM_DRAWITEM: an owner-drawn item of Form's menu, drawn by the item off-screen. False for
// anything else.
bool DrawMenuItem(TForm& Form, const DRAWITEMSTRUCT& Draw) {
  TMenuItem* Item = Draw.CtlType == ODT_MENU ? MenuItemOf(Form, static_cast<int>(Draw.itemData)) : nullptr;
  if (!Item) return false;
  const RECT& R = Draw.rcItem;
  Dispatch(Item, [&] {
    PaintOffScreen(Draw.hDC, R.left, R.top, R.right - R.left, R.bottom - R.top, [&](TCanvas& Canvas) {
      Canvas.Font = Screen->MenuFont();
      Item->DrawItem(Canvas, {0, 0, R.right - R.left, R.bottom - R.top}, Draw.itemState);
      return true;
    });
  });
  return true;
}

// The non-client messages of a form: the system handles each first (or not, where the form
// takes the message), then the form's hook runs. Returns true when handled, with Result set.
bool FormMessage(HWND Window, TForm& Form, UINT Message, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
  auto System = [&] { return DefWindowProcA(Window, Message, WParam, LParam); };
  auto Hook = [&](const std::function<void()>& Action) { Dispatch(&Form, Action); };
  switch (Message) {
  case WM_CLOSE: Hook([&] { Form.CloseCommand(); }); Result = 0; return true;
  case WM_NCPAINT: Result = PaintFrame(Window, Form, WParam); return true;
  case WM_NCCALCSIZE:
    Result = System();
    // The border width is a band of the frame: the client area lies inside it.
    if (const int B = Form.BorderWidth(); B > 0) {
      RECT& Client = WParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(LParam)->rgrc[0] : *reinterpret_cast<RECT*>(LParam);
      InflateRect(&Client, -B, -B);
    }
    return true;
  case WM_NCACTIVATE: Result = FormActivation(Window, Form, WParam, LParam); return true;
  case WM_SETTEXT: Result = FormCaptionText(Window, Form, WParam, LParam); return true;
  case WM_COMMAND:
    // A menu's choice: no control window and notification code 0 (1 from an accelerator).
    if (LParam != 0 || HIWORD(WParam) > 1) return false;
    if (TMenuItem* Item = MenuItemOf(Form, LOWORD(WParam))) Dispatch(Item, [&] { Item->Click(); });
    Result = 0;
    return true;
  case WM_MEASUREITEM:
    if (!MeasureMenuItem(Form, *reinterpret_cast<MEASUREITEMSTRUCT*>(LParam))) return false;
    Result = TRUE;
    return true;
  case WM_DRAWITEM:
    if (!DrawMenuItem(Form, *reinterpret_cast<const DRAWITEMSTRUCT*>(LParam))) return false;
    Result = TRUE;
    return true;
  case WM_NCHITTEST: {
    const int SystemResult = static_cast<int>(System());
    int Answer = SystemResult;
    Hook([&] { Answer = Form.NonClientHitTest({GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)}, SystemResult); });
    Result = Answer;
    return true;
  }
  case WM_NCLBUTTONDOWN:
    Result = System();
    Hook([&] { Form.NonClientMouseDown(static_cast<int>(WParam)); });
    return true;
  case WM_SYSCOMMAND: {
    const int Command = static_cast<int>(WParam & 0xFFF0);
    bool Handled = false;
    Hook([&] { Handled = Form.SystemCommand(Command); });
    Result = Handled ? 0 : System();
    Hook([&] { Form.SystemCommandDone(Command); });
    return true;
  }
  case WM_SETTINGCHANGE: Result = System(); Hook([&] { Form.SettingsChanged(); }); return true;
  case WM_SYSCOLORCHANGE: Result = System(); Hook([&] { Form.SystemColorsChanged(); }); return true;
  case WM_ENTERIDLE: Result = System(); Hook([&] { Form.EnterIdle(); }); return true;
  case WM_UPDATEUISTATE: Result = System(); Hook([&] { Form.KeyboardCuesChanged(); }); return true;
  case WM_SIZE: Result = System(); Hook([&] { Form.Resized(); }); return true;
  default: return false;
  }
}

LRESULT CALLBACK OwnWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  LRESULT Result = 0;
  if (CommonMessage(Window, Message, WParam, LParam, Result)) return Result;
  TControl* Control = FromHandle(Window);
  if (!Control) return DefWindowProcA(Window, Message, WParam, LParam);
  if (TForm* Form = FormOf(Control))
    if (FormMessage(Window, *Form, Message, WParam, LParam, Result)) return Result;
  switch (Message) {
  case WM_ERASEBKGND: {
    RECT Client;
    GetClientRect(Window, &Client);
    FillRect(reinterpret_cast<HDC>(WParam), &Client, BrushOf(Control->Color()));
    return 1;
  }
  case WM_PAINT: Paint(Window, Control); return 0;
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP: {
    const TPoint P{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
    if (Message == WM_LBUTTONDOWN) SetCapture(Window);
    else if (GetCapture() == Window) ReleaseCapture();
    Dispatch(Control, [&] { Message == WM_LBUTTONDOWN ? Control->MouseDown(P) : Control->MouseUp(P); });
    return 0;
  }
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
    if (TControl* Control = FromHandle(Msg.hwnd)) {
      bool Used = false;
      Dispatch(Control, [&] { Used = Control->HandleKeyDown(static_cast<int>(Msg.wParam), CurrentShift()); });
      if (Used) return;
    }
  TranslateMessage(&Msg);
  DispatchMessageA(&Msg);
}

} // namespace

// Handles the waiting messages; false once WM_QUIT arrived (it is posted again for the
// loops further out).
bool win32::PumpWaiting() {
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

namespace {

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
  const bool OwnClass = Params.WinClassName.empty();
  const char* Class = !OwnClass ? Params.WinClassName.c_str() : Params.TopLevel ? FormClass : PaintedClass;
  HWND Parent = Control.Parent() ? Hwnd(*Control.Parent()) : nullptr;
  if (Params.TopLevel) {
    Parent = reinterpret_cast<HWND>(Params.WndParent);
    // An owner that is not a window would make creation fail; the form is then unowned.
    if (Parent && !IsWindow(Parent)) Parent = nullptr;
  }
  const TRect B = Control.BoundsRect();
  SettingText = true;
  HWND Window = CreateWindowExA(Params.ExStyle, Class, Control.Text().c_str(), Params.Style, B.Left,
                                B.Top, B.Width(), B.Height(), Parent, nullptr, ThisModule(), nullptr);
  SettingText = false;
  if (!Window) throw EInvalidOperation("Error creating window");
  SetPropA(Window, ControlProp, &Control);
  if (!OwnClass) {
    SetPropA(Window, OldProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(Window, GWLP_WNDPROC)));
    SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc));
  }
  Control.SetHandle(reinterpret_cast<std::uintptr_t>(Window));
  SendMessageA(Window, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle(Control.Font())), FALSE);
  // The frame was measured before the window knew its form, without the border width.
  if (TForm* Form = FormOf(&Control); Form && Form->BorderWidth() > 0)
    SetWindowPos(Window, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {
// Appends Parent's sub-items to Menu. The command travels as the item's data too: owner-drawn
// messages name an item with sub-items by its menu's handle instead.
void AppendMenuItems(HMENU Menu, const TMenuItem& Parent, bool RightToLeft, bool Bar) {
  for (int I = 0; I < Parent.Count(); ++I) {
    const TMenuItem& Item = *Parent.Items(I);
    std::string Caption = Item.Caption();
    MENUITEMINFOA Info{};
    Info.cbSize = sizeof Info;
    Info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_STRING;
    Info.fType = Item.OwnerDraw() ? MFT_OWNERDRAW : MFT_STRING;
    // The first item of a right-to-left bar takes the others with it to the right.
    if (RightToLeft) Info.fType |= MFT_RIGHTORDER | (Bar && I == 0 ? MFT_RIGHTJUSTIFY : 0);
    Info.fState = Item.Enabled() ? MFS_ENABLED : MFS_GRAYED;
    Info.wID = static_cast<UINT>(Item.Command());
    Info.dwItemData = static_cast<ULONG_PTR>(Item.Command());
    Info.dwTypeData = Caption.data();
    if (Item.Count() > 0) {
      Info.fMask |= MIIM_SUBMENU;
      Info.hSubMenu = CreatePopupMenu();
      AppendMenuItems(Info.hSubMenu, Item, RightToLeft, false);
    }
    InsertMenuItemA(Menu, static_cast<UINT>(I), TRUE, &Info);
  }
}
} // namespace

void backend::UpdateMenu(TForm& Form) {
  HWND Window = Hwnd(Form);
  HMENU Old = GetMenu(Window), Bar = nullptr;
  if (Form.HasMenuBar()) {
    Bar = CreateMenu();
    AppendMenuItems(Bar, Form.Menu()->Items(), Form.Menu()->RightToLeft(), true);
  }
  ::SetMenu(Window, Bar);
  if (Old) DestroyMenu(Old);
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
  const bool TopLevel = Control.WindowParams().TopLevel;
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

void backend::RepaintNonClient(TControl& Control) {
  RedrawWindow(Hwnd(Control), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

bool backend::IsActiveWindow(const TControl& Control) { return GetActiveWindow() == Hwnd(Control); }

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

void backend::RunModalLoop(TForm& Form) {
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

  // A copy: the handler may replace the application's while it runs.
  if (const auto Shown = Application->OnModalShown) {
    PumpWaiting();
    Shown(Form);
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
                              SM_CXVSCROLL,   SM_CYMENU};
  return GetSystemMetrics(Index[static_cast<int>(Metric)]);
}

TRect backend::FrameInsets(std::uint32_t Style, std::uint32_t ExStyle) {
  RECT R{0, 0, 0, 0};
  AdjustWindowRectEx(&R, Style, FALSE, ExStyle);
  return {-R.left, -R.top, R.right, R.bottom};
}

TFont backend::SystemFont(int Which) {
  // The structure as it was before Vista added a field: 340 bytes, accepted everywhere.
  NONCLIENTMETRICSA Metrics{};
  Metrics.cbSize = offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA);
  TFont Font;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, Metrics.cbSize, &Metrics, 0)) return Font;
  const LOGFONTA* const Fonts[] = {&Metrics.lfMessageFont, &Metrics.lfCaptionFont, &Metrics.lfSmCaptionFont,
                                   &Metrics.lfMenuFont};
  const LOGFONTA& L = *Fonts[std::clamp(Which, 0, 3)];
  Font.Name = L.lfFaceName;
  Font.Height = L.lfHeight;
  Font.Charset = L.lfCharSet;
  Font.Style = (L.lfWeight >= FW_BOLD ? fsBold : 0u) | (L.lfItalic ? fsItalic : 0u) |
               (L.lfUnderline ? fsUnderline : 0u) | (L.lfStrikeOut ? fsStrikeOut : 0u);
  return Font;
}

// ===== Drawing into bitmaps =====

namespace {
// Runs Draw on a memory DC holding a copy of Clip's part of Target, then copies it back: GDI
// draws text and icons exactly as on screen, into our own bitmap.
void DrawThroughGdi(TBitmap& Target, const TRect& Clip, const std::function<void(HDC)>& Draw) {
  const int Left = std::max(Clip.Left, 0), Top = std::max(Clip.Top, 0);
  const int W = std::min(Clip.Right, Target.Width()) - Left, H = std::min(Clip.Bottom, Target.Height()) - Top;
  if (W <= 0 || H <= 0) return;
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  Info.bmiHeader.biWidth = W;
  Info.bmiHeader.biHeight = -H;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  HDC Dc = CreateCompatibleDC(nullptr);
  HBITMAP Section = CreateDIBSection(Dc, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  if (!Section) {
    DeleteDC(Dc);
    return;
  }
  HGDIOBJ OldBitmap = SelectObject(Dc, Section);
  auto* Pixels = static_cast<std::uint32_t*>(Bits);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const TColor C = Target.Pixel(Left + X, Top + Y);
      Pixels[Y * W + X] = ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
    }
  SetViewportOrgEx(Dc, -Left, -Top, nullptr);
  Draw(Dc);
  GdiFlush();
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const std::uint32_t P = Pixels[Y * W + X];
      Target.SetPixel(Left + X, Top + Y, ((P & 0xFF) << 16) | (P & 0xFF00) | ((P >> 16) & 0xFF));
    }
  SelectObject(Dc, OldBitmap);
  DeleteObject(Section);
  DeleteDC(Dc);
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
} // namespace

void backend::RenderText(TBitmap& Target, const TFont& Font, const TRect& Clip, TPoint At, const std::string& Text) {
  DrawThroughGdi(Target, Clip, [&](HDC Dc) {
    HGDIOBJ OldFont = SelectObject(Dc, FontHandle(Font));
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, Rgb(Font.Color));
    TextOutA(Dc, At.X, At.Y, Text.data(), static_cast<int>(Text.size()));
    SelectObject(Dc, OldFont);
  });
}

void backend::RenderSystemIcon(TSystemIcon Icon, TColor Background, TBitmap& Image) {
  Image.SetPixelFormat(TPixelFormat::pf32bit);
  Image.SetSize(32, 32);
  Image.Canvas().BrushColor = Background;
  Image.Canvas().FillRect({0, 0, 32, 32});
  DrawThroughGdi(Image, {0, 0, 32, 32}, [&](HDC Dc) { DrawIcon(Dc, 0, 0, LoadIconA(nullptr, SystemIconId(Icon))); });
}

void backend::RenderIcon(TBitmap& Target, const TRect& Rect, TSystemIcon Icon) {
  DrawThroughGdi(Target, Rect, [&](HDC Dc) {
    DrawIconEx(Dc, Rect.Left, Rect.Top, LoadIconA(nullptr, SystemIconId(Icon)), Rect.Width(), Rect.Height(), 0,
               nullptr, DI_NORMAL);
  });
}

void backend::RenderCaptionButton(TBitmap& Target, const TRect& Rect, TCaptionButton Button, bool Enabled) {
  static const UINT Kind[] = {DFCS_CAPTIONCLOSE, DFCS_CAPTIONMAX, DFCS_CAPTIONRESTORE, DFCS_CAPTIONMIN,
                              DFCS_CAPTIONHELP};
  DrawThroughGdi(Target, Rect, [&](HDC Dc) {
    RECT R{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
    DrawFrameControl(Dc, &R, DFC_CAPTION, Kind[static_cast<int>(Button)] | (Enabled ? 0 : DFCS_INACTIVE));
  });
}

namespace {
// The theme API of uxtheme.dll, looked up at run time: systems before XP have none.
struct TThemeApi {
  using TOpen = HANDLE(WINAPI*)(HWND, LPCWSTR);
  using TClose = HRESULT(WINAPI*)(HANDLE);
  using TDraw = HRESULT(WINAPI*)(HANDLE, HDC, int, int, const RECT*, const RECT*);
  TOpen Open = nullptr;
  TClose Close = nullptr;
  TDraw Draw = nullptr;
  TThemeApi() {
    // Stays loaded for the process: theme handles may outlive any one caller.
    HMODULE Module = LoadLibraryA("uxtheme.dll");
    if (!Module) return;
    Open = reinterpret_cast<TOpen>(reinterpret_cast<void*>(GetProcAddress(Module, "OpenThemeData")));
    Close = reinterpret_cast<TClose>(reinterpret_cast<void*>(GetProcAddress(Module, "CloseThemeData")));
    Draw = reinterpret_cast<TDraw>(reinterpret_cast<void*>(GetProcAddress(Module, "DrawThemeBackground")));
  }
};
} // namespace

bool backend::RenderThemePart(TBitmap& Target, const TRect& Rect, int Part, int State) {
  static const TThemeApi Api;
  if (!Api.Open || !Api.Close || !Api.Draw || !VisualStylesActive()) return false;
  HANDLE Theme = Api.Open(nullptr, L"WINDOW");
  if (!Theme) return false;
  bool Drawn = false;
  DrawThroughGdi(Target, Rect, [&](HDC Dc) {
    RECT R{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
    Drawn = SUCCEEDED(Api.Draw(Theme, Dc, Part, State, &R, nullptr));
  });
  Api.Close(Theme);
  return Drawn;
}

void backend::MinimizeWindow(TControl& Form) { ShowWindow(Hwnd(Form), SW_MINIMIZE); }

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

} // namespace toolkit
