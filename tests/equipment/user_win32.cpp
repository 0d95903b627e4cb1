// The simulated user on Win32: every action is a window message posted to the window that
// would get it from a real mouse or keyboard, handled by the same pump as the modal loop's.
#include "equipment/user_input.h"

#include <algorithm>
#include <iterator>

#include "toolkit/forms.h"
#include "toolkit/win32/backend_win32.h"

namespace toolkit {

using namespace win32;

namespace {

bool Clickable(TControl& Control) {
  return Control.HandleAllocated() && Control.Showing() && Control.Enabled() &&
         IsWindowEnabled(Hwnd(Control));
}

void MouseButton(TControl& Control, bool Down) {
  if (!Clickable(Control)) return;
  const LPARAM Centre = MAKELPARAM(Control.Width() / 2, Control.Height() / 2);
  PostMessageA(Hwnd(Control), Down ? WM_LBUTTONDOWN : WM_LBUTTONUP, Down ? MK_LBUTTON : 0, Centre);
  PumpWaiting();
}

// The focused window, or the active form's when nothing has the focus.
HWND KeyboardTarget() {
  HWND Target = GetFocus();
  if (!Target && Screen->ActiveForm() && Screen->ActiveForm()->HandleAllocated())
    Target = Hwnd(*Screen->ActiveForm());
  return Target;
}

} // namespace

void user::Press(TControl& Control) { MouseButton(Control, true); }
void user::Release(TControl& Control) { MouseButton(Control, false); }

void user::Click(TControl& Control) {
  if (!Clickable(Control)) return;
  if (Control.WindowParams().WinClassName == ButtonClass) {
    // BM_CLICK presses and releases the button as the mouse would, focus included.
    SendMessageA(Hwnd(Control), BM_CLICK, 0, 0);
    PumpWaiting();
    return;
  }
  MouseButton(Control, true);
  MouseButton(Control, false);
}

void user::PressKey(int Key, TShiftState Shift) {
  HWND Target = KeyboardTarget();
  if (!Target) return;
  // Standard windows and our backend read the modifiers from the thread's key state, which
  // posted key messages leave alone: they are held there while the key is handled.
  BYTE Saved[256], Held[256];
  GetKeyboardState(Saved);
  std::copy(std::begin(Saved), std::end(Saved), std::begin(Held));
  if (Shift & ssShift) Held[VK_SHIFT] |= 0x80;
  if (Shift & ssCtrl) Held[VK_CONTROL] |= 0x80;
  SetKeyboardState(Held);
  PostMessageA(Target, WM_KEYDOWN, static_cast<WPARAM>(Key), 1);
  PostMessageA(Target, WM_KEYUP, static_cast<WPARAM>(Key), 0xC0000001);
  PumpWaiting();
  SetKeyboardState(Saved);
}

void user::Type(const std::string& Text) {
  for (char C : Text) {
    HWND Target = GetFocus();
    if (!Target) return;
    PostMessageA(Target, WM_CHAR, static_cast<unsigned char>(C), 1);
    PumpWaiting();
  }
}

void user::Paste(const std::string& Text) {
  HWND Target = GetFocus();
  if (!Target) return;
  // What a paste does inside the edit: the selection is replaced in one change.
  SendMessageA(Target, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Text.c_str()));
  PumpWaiting();
}

void user::TurnWheel(int Delta, TPoint Pos) {
  HWND Target = KeyboardTarget();
  if (!Target) return;
  PostMessageA(Target, WM_MOUSEWHEEL, MAKEWPARAM(0, Delta), MAKELPARAM(Pos.X, Pos.Y));
  PumpWaiting();
}

std::vector<user::TShownMenuItem> user::MenuBar(const TForm& Form) {
  std::vector<TShownMenuItem> Items;
  HMENU Bar = Form.HandleAllocated() ? GetMenu(Hwnd(Form)) : nullptr;
  for (int I = 0; Bar && I < GetMenuItemCount(Bar); ++I) {
    char Caption[256] = "";
    MENUITEMINFOA Info{};
    Info.cbSize = sizeof Info;
    Info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
    Info.dwTypeData = Caption;
    Info.cch = sizeof Caption;
    if (!GetMenuItemInfoA(Bar, static_cast<UINT>(I), TRUE, &Info)) continue;
    Items.push_back({Caption, (Info.fType & MFT_OWNERDRAW) != 0, (Info.fState & MFS_GRAYED) == 0,
                     Info.hSubMenu ? GetMenuItemCount(Info.hSubMenu) : 0});
  }
  return Items;
}

void user::ChooseMenuItem(TMenuItem& Item) {
  TMainMenu* Menu = Item.GetParentMenu();
  TForm* Form = Menu ? Menu->Form() : nullptr;
  HMENU Bar = Form && Form->HandleAllocated() ? GetMenu(Hwnd(*Form)) : nullptr;
  if (!Bar) return;
  // What the system does when the user picks the item: a command for enabled items without
  // a menu of their own.
  const UINT State = GetMenuState(Bar, static_cast<UINT>(Item.Command()), MF_BYCOMMAND);
  if (State == static_cast<UINT>(-1) || (State & (MF_GRAYED | MF_DISABLED | MF_POPUP))) return;
  PostMessageA(Hwnd(*Form), WM_COMMAND, MAKEWPARAM(Item.Command(), 0), 0);
  PumpWaiting();
}

void user::MenuBarItemImage(TForm& Form, int Index, TBitmap& Image) {
  Image.SetPixelFormat(TPixelFormat::pf32bit);
  Image.SetSize(0, 0);
  PumpWaiting();
  HWND Window = Hwnd(Form);
  RECT Item, Outer;
  if (!GetMenuItemRect(Window, GetMenu(Window), static_cast<UINT>(Index), &Item)) return;
  GetWindowRect(Window, &Outer);
  Image.SetSize(Item.right - Item.left, Item.bottom - Item.top);
  HDC Dc = GetWindowDC(Window);
  for (int Y = 0; Y < Image.Height(); ++Y)
    for (int X = 0; X < Image.Width(); ++X)
      Image.SetPixel(X, Y, GetPixel(Dc, Item.left - Outer.left + X, Item.top - Outer.top + Y) & 0xFFFFFF);
  ReleaseDC(Window, Dc);
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
