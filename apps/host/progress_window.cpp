#include "progress_window.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

namespace {

const char* const ClassName = "ResizeHostProgress";
constexpr int CancelId = IDCANCEL;
constexpr int ClientWidth = 320, ClientHeight = 86;

} // namespace

// Window procedure of the progress window; the object is in GWLP_USERDATA.
struct TProgressWindowClass {
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM Wide, LPARAM Long) {
    auto* Self = reinterpret_cast<TProgressWindow*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
    switch (Message) {
      case WM_COMMAND:
        if (Self && LOWORD(Wide) == CancelId) Self->Cancelled = true;
        return 0;
      case WM_CLOSE: // the close box (or Escape through the dialog keys) cancels too
        if (Self) Self->Cancelled = true;
        return 0;
    }
    return DefWindowProcA(Window, Message, Wide, Long);
  }

  static void Register() {
    static bool Registered = false;
    if (Registered) return;
    INITCOMMONCONTROLSEX Controls{sizeof(Controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&Controls);
    WNDCLASSA Class{};
    Class.lpfnWndProc = Proc;
    Class.hInstance = GetModuleHandleA(nullptr);
    Class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    Class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    Class.lpszClassName = ClassName;
    RegisterClassA(&Class);
    Registered = true;
  }
};

TProgressWindow::~TProgressWindow() {
  if (Handle) DestroyWindow(Handle);
}

void TProgressWindow::Create(HWND Owner) {
  TProgressWindowClass::Register();
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT Frame{0, 0, ClientWidth, ClientHeight};
  AdjustWindowRect(&Frame, Style, FALSE);
  RECT Over{};
  GetWindowRect(Owner ? Owner : GetDesktopWindow(), &Over);
  const int Width = Frame.right - Frame.left, Height = Frame.bottom - Frame.top;
  Handle = CreateWindowExA(WS_EX_DLGMODALFRAME, ClassName, "", Style, (Over.left + Over.right - Width) / 2,
                           (Over.top + Over.bottom - Height) / 2, Width, Height, Owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  Bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 12, 14, ClientWidth - 24, 20, Handle, nullptr,
                        GetModuleHandleA(nullptr), nullptr);
  SendMessageA(Bar, PBM_SETRANGE32, 0, 100);
  HWND Cancel = CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                (ClientWidth - 88) / 2, 48, 88, 26, Handle, reinterpret_cast<HMENU>(CancelId),
                                GetModuleHandleA(nullptr), nullptr);
  SendMessageA(Cancel, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

bool TProgressWindow::Update(HWND Owner, const std::string& Title, int Percent) {
  if (!Handle) Create(Owner);
  if (!IsWindowVisible(Handle)) {
    SetWindowTextA(Handle, (Title + " - Progress").c_str());
    // Shown active (Escape cancels), because Wine without a window manager leaves an inactive
    // popup under the active window; Hide gives the activation back.
    Previous = GetActiveWindow();
    SetWindowPos(Handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  }
  SendMessageA(Bar, PBM_SETPOS, std::clamp(Percent, 0, 100), 0);
  UpdateWindow(Handle);
  // Only this window's messages: input meant for the plug-in's own windows waits for its
  // loop, so the plug-in is not re-entered while it works.
  MSG Message;
  while (PeekMessageA(&Message, Handle, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageA(Handle, &Message)) {
      TranslateMessage(&Message);
      DispatchMessageA(&Message);
    }
  }
  // Repaints of every window, so that the image the plug-in refreshed shows while it works.
  for (int I = 0; I < 64 && PeekMessageA(&Message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++I)
    DispatchMessageA(&Message);
  const bool Go = !Cancelled;
  Cancelled = false;
  return Go;
}

void TProgressWindow::Hide() {
  if (Handle && IsWindowVisible(Handle)) {
    ShowWindow(Handle, SW_HIDE);
    // Wine may have dropped the activation meanwhile (focus events of the X server) instead
    // of passing it on: then it goes back too.
    const HWND Active = GetActiveWindow();
    if ((!Active || Active == Handle) && Previous && IsWindow(Previous)) SetActiveWindow(Previous);
  }
  Previous = nullptr;
  Cancelled = false;
}
