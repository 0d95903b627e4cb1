#include "window_driver.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace driver {

namespace {

bool OnThisThread(HWND Window) { return GetWindowThreadProcessId(Window, nullptr) == GetCurrentThreadId(); }

void PumpThisThread() {
  MSG Message;
  while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
}

std::string WithoutMarkers(std::string Text) {
  std::erase(Text, '&');
  return Text;
}

bool OwnedBy(HWND Window, HWND Owner) {
  for (HWND W = GetWindow(Window, GW_OWNER); W; W = GetWindow(W, GW_OWNER))
    if (W == Owner) return true;
  return false;
}

BOOL CALLBACK Collect(HWND Window, LPARAM List) {
  reinterpret_cast<std::vector<HWND>*>(List)->push_back(Window);
  return TRUE;
}

std::vector<HWND> Descendants(HWND Parent) {
  std::vector<HWND> Found;
  EnumChildWindows(Parent, Collect, reinterpret_cast<LPARAM>(&Found));
  return Found;
}

bool Matches(HWND Window, const TWindowQuery& Query) {
  DWORD Process = 0;
  GetWindowThreadProcessId(Window, &Process);
  if (Process != (Query.Process ? Query.Process : GetCurrentProcessId()) || !IsWindowVisible(Window)) return false;
  if (!Query.Caption.empty() && TextOf(Window) != Query.Caption) return false;
  if (!Query.Class.empty() && ClassOf(Window) != Query.Class) return false;
  if (Query.Owner && !OwnedBy(Window, Query.Owner)) return false;
  if (!Query.Text.empty()) {
    const auto Children = Descendants(Window);
    return std::any_of(Children.begin(), Children.end(), [&](HWND C) { return TextOf(C) == Query.Text; });
  }
  return true;
}

} // namespace

// ============================================================================
// Waiting
// ============================================================================

bool WaitUntil(const std::function<bool()>& Condition, int TimeoutMs) {
  const DWORD Start = GetTickCount();
  while (!Condition()) {
    if (GetTickCount() - Start >= DWORD(TimeoutMs)) return false;
    PumpThisThread();
    Sleep(10);
  }
  return true;
}

namespace {

// The posted message Post waits for: taken once the window's thread has removed it from its
// queue to dispatch it.
std::atomic<HWND> AwaitedWindow{nullptr};
std::atomic<UINT> AwaitedMessage{0};
std::atomic<bool> AwaitedTaken{false};

LRESULT CALLBACK WatchQueue(int Code, WPARAM Removed, LPARAM Message) {
  const auto* M = reinterpret_cast<const MSG*>(Message);
  if (Code == HC_ACTION && Removed == PM_REMOVE && M->hwnd == AwaitedWindow && M->message == AwaitedMessage)
    AwaitedTaken = true;
  return CallNextHookEx(nullptr, Code, Removed, Message);
}

} // namespace

void Settle(HWND Window) {
  if (OnThisThread(Window)) {
    PumpThisThread();
    return;
  }
  // A sent message is handled the next time the thread looks at its queue: after it has
  // dispatched the posted message it was on, or inside the modal loop that message started.
  // Three round trips cover a loop that peeks without removing before it gets the message.
  for (int I = 0; I < 3; ++I) {
    DWORD_PTR Ignored = 0;
    SendMessageTimeoutA(Window, WM_NULL, 0, 0, SMTO_NORMAL, DefaultTimeout, &Ignored);
  }
}

// Posted, not sent: an action that opens a modal window must not block the user's thread. One
// message at a time: Settle covers one posted message, not a queue of them.
// Round trips alone can all be answered before the thread gets to a posted message, so for
// threads of this process Post first waits until the message has been taken.
void Post(HWND Window, UINT Message, WPARAM Wide, LPARAM Long) {
  HHOOK Hook = OnThisThread(Window) ? nullptr
                                    : SetWindowsHookExA(WH_GETMESSAGE, WatchQueue, nullptr,
                                                        GetWindowThreadProcessId(Window, nullptr));
  AwaitedWindow = Window;
  AwaitedMessage = Message;
  AwaitedTaken = false;
  if (PostMessageA(Window, Message, Wide, Long) && Hook) {
    const DWORD Start = GetTickCount();
    while (!AwaitedTaken && IsWindow(Window) && GetTickCount() - Start < DWORD(DefaultTimeout)) Sleep(1);
  }
  if (Hook) UnhookWindowsHookEx(Hook);
  AwaitedWindow = nullptr;
  Settle(Window);
}

// ============================================================================
// Finding and reading
// ============================================================================

std::vector<HWND> TopWindows(const TWindowQuery& Query) {
  std::vector<HWND> All, Found;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&All));
  std::copy_if(All.begin(), All.end(), std::back_inserter(Found), [&](HWND W) { return Matches(W, Query); });
  return Found;
}

HWND FindTopWindow(const TWindowQuery& Query) {
  const auto Found = TopWindows(Query);
  return Found.empty() ? nullptr : Found.front();
}

HWND WaitForTopWindow(const TWindowQuery& Query, int TimeoutMs) {
  HWND Found = nullptr;
  WaitUntil([&] { return (Found = FindTopWindow(Query)) != nullptr; }, TimeoutMs);
  return Found;
}

HWND FindChild(HWND Parent, const std::string& Caption) {
  for (HWND Child : Descendants(Parent))
    if (WithoutMarkers(TextOf(Child)) == WithoutMarkers(Caption)) return Child;
  return nullptr;
}

HWND FindChild(HWND Parent, const std::string& Class, int Index) {
  for (HWND Child : Descendants(Parent))
    if (lstrcmpiA(ClassOf(Child).c_str(), Class.c_str()) == 0 && Index-- == 0) return Child;
  return nullptr;
}

HWND FindChildAt(HWND Parent, int X, int Y) {
  HWND Found = nullptr;
  POINT Point{X, Y};
  for (HWND Inside = Parent; Inside;) {
    HWND Child = ChildWindowFromPointEx(Inside, Point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (!Child || Child == Inside) break;
    MapWindowPoints(Inside, Child, &Point, 1);
    Found = Inside = Child;
  }
  return Found;
}

std::string TextOf(HWND Window) {
  // WM_GETTEXT, unlike GetWindowText, also reads the text of another process's controls.
  char Text[1024] = {};
  DWORD_PTR Length = 0;
  SendMessageTimeoutA(Window, WM_GETTEXT, sizeof(Text), reinterpret_cast<LPARAM>(Text), SMTO_NORMAL, DefaultTimeout,
                      &Length);
  return Text;
}

std::string ClassOf(HWND Window) {
  char Name[256] = {};
  GetClassNameA(Window, Name, sizeof(Name));
  return Name;
}

namespace {

HMENU Popup(HWND Window, const std::string& Menu) {
  HMENU Bar = GetMenu(Window);
  for (int I = 0; Bar && I < GetMenuItemCount(Bar); ++I) {
    char Text[256] = {};
    GetMenuStringA(Bar, UINT(I), Text, sizeof(Text), MF_BYPOSITION);
    if (WithoutMarkers(Text) == WithoutMarkers(Menu)) return GetSubMenu(Bar, I);
  }
  return nullptr;
}

} // namespace

std::vector<std::string> MenuItems(HWND Window, const std::string& Menu) {
  std::vector<std::string> Items;
  HMENU Found = Popup(Window, Menu);
  for (int I = 0; Found && I < GetMenuItemCount(Found); ++I) {
    char Text[256] = {};
    GetMenuStringA(Found, UINT(I), Text, sizeof(Text), MF_BYPOSITION);
    Items.push_back(WithoutMarkers(Text));
  }
  return Items;
}

// ============================================================================
// Acting
// ============================================================================

void Focus(HWND Control) {
  if (OnThisThread(Control)) {
    SetFocus(Control);
    return;
  }
  // SetFocus reaches only windows of the caller's input queue: share the target's for a moment.
  const DWORD Target = GetWindowThreadProcessId(Control, nullptr);
  AttachThreadInput(GetCurrentThreadId(), Target, TRUE);
  SetFocus(Control);
  AttachThreadInput(GetCurrentThreadId(), Target, FALSE);
  Settle(Control);
}

void Click(HWND Button) {
  Post(Button, BM_CLICK, 0, 0);
}

void ClickAt(HWND Window, int X, int Y) {
  Post(Window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(X, Y));
  Post(Window, WM_LBUTTONUP, 0, MAKELPARAM(X, Y));
}

void Drag(HWND Window, POINT From, POINT To, WPARAM Keys) {
  Post(Window, WM_LBUTTONDOWN, MK_LBUTTON | Keys, MAKELPARAM(From.x, From.y));
  Post(Window, WM_MOUSEMOVE, MK_LBUTTON | Keys, MAKELPARAM((From.x + To.x) / 2, (From.y + To.y) / 2));
  Post(Window, WM_MOUSEMOVE, MK_LBUTTON | Keys, MAKELPARAM(To.x, To.y));
  Post(Window, WM_LBUTTONUP, Keys, MAKELPARAM(To.x, To.y));
}

void Type(HWND Edit, const std::string& Text) {
  Focus(Edit);
  for (char C : Text) Post(Edit, WM_CHAR, static_cast<unsigned char>(C), 1);
}

void ReplaceText(HWND Edit, const std::string& Text) {
  Focus(Edit);
  Post(Edit, EM_SETSEL, 0, -1);
  Type(Edit, Text);
}

void Paste(HWND Edit, const std::string& Text) {
  Focus(Edit);
  // Sent so that Text outlives the call; EM_REPLACESEL does not open modal windows.
  DWORD_PTR Ignored = 0;
  SendMessageTimeoutA(Edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Text.c_str()), SMTO_NORMAL, DefaultTimeout,
                      &Ignored);
}

void PressKey(HWND Window, int Key) {
  Post(Window, WM_KEYDOWN, WPARAM(Key), 1);
  Post(Window, WM_KEYUP, WPARAM(Key), LPARAM(0xC0000001));
}

void DropFile(HWND Window, const std::string& Path) {
  // What the shell hands a window that accepts files: a DROPFILES block, freed by DragFinish.
  HGLOBAL Memory = GlobalAlloc(GHND, sizeof(DROPFILES) + Path.size() + 2);
  auto* Drop = static_cast<DROPFILES*>(GlobalLock(Memory));
  Drop->pFiles = sizeof(DROPFILES);
  std::copy(Path.begin(), Path.end(), reinterpret_cast<char*>(Drop + 1));
  GlobalUnlock(Memory);
  Post(Window, WM_DROPFILES, WPARAM(Memory), 0);
}

void CloseWindow(HWND Window) {
  Post(Window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool ChooseMenu(HWND Window, const std::string& Menu, const std::string& Item) {
  HMENU Found = Popup(Window, Menu);
  for (int I = 0; Found && I < GetMenuItemCount(Found); ++I) {
    char Text[256] = {};
    GetMenuStringA(Found, UINT(I), Text, sizeof(Text), MF_BYPOSITION);
    if (WithoutMarkers(Text) != WithoutMarkers(Item)) continue;
    Post(Window, WM_COMMAND, MAKEWPARAM(GetMenuItemID(Found, I), 0), 0);
    return true;
  }
  return false;
}

// ============================================================================
// Capturing
// ============================================================================

std::uint32_t TCapture::Pixel(int X, int Y) const {
  const std::uint8_t* P = &Bgr[(std::size_t(Y) * Width + X) * 3];
  return std::uint32_t(P[2]) << 16 | P[1] << 8 | P[0];
}

TCapture CaptureClient(HWND Window) {
  Settle(Window);
  RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Settle(Window);
  TCapture Capture;
  RECT Client{};
  GetClientRect(Window, &Client);
  Capture.Width = Client.right;
  Capture.Height = Client.bottom;
  if (Capture.Width < 1 || Capture.Height < 1) return Capture;
  BITMAPINFO Info{};
  Info.bmiHeader = {sizeof(BITMAPINFOHEADER), Capture.Width, -Capture.Height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* Bits = nullptr;
  HDC Screen = GetDC(Window);
  HDC Memory = CreateCompatibleDC(Screen);
  HBITMAP Bitmap = CreateDIBSection(Screen, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, Capture.Width, Capture.Height, Screen, 0, 0, SRCCOPY);
  GdiFlush();
  const int Stride = (Capture.Width * 3 + 3) / 4 * 4;
  Capture.Bgr.resize(std::size_t(Capture.Width) * Capture.Height * 3);
  for (int Y = 0; Y < Capture.Height; ++Y)
    std::copy_n(static_cast<const std::uint8_t*>(Bits) + std::size_t(Y) * Stride, Capture.Width * 3,
                Capture.Bgr.begin() + std::size_t(Y) * Capture.Width * 3);
  SelectObject(Memory, Old);
  DeleteObject(Bitmap);
  DeleteDC(Memory);
  ReleaseDC(Window, Screen);
  return Capture;
}

// ============================================================================
// WhileRunning
// ============================================================================

void TWindowCloser::CloseAll() {
  for (HWND Window : TopWindows({.Process = Process})) {
    if (!GetWindow(Window, GW_OWNER)) continue;
    if (std::find(Seen.begin(), Seen.end(), Window) == Seen.end()) {
      Seen.push_back(Window);
      Captions.push_back(TextOf(Window));
    }
    // Posted, without settling: the window's thread may be another process's.
    if (ClassOf(Window) == "#32770")
      PostMessageA(Window, WM_COMMAND, IDCANCEL, 0);
    else
      PostMessageA(Window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

std::vector<std::string> WhileRunning(const std::function<void()>& Action, const std::function<void()>& User,
                                      int GraceMs) {
  std::atomic<bool> ActionDone{false};
  TWindowCloser Closer;
  std::thread UserThread([&] {
    if (User) User();
    const DWORD Returned = GetTickCount();
    while (!ActionDone && GetTickCount() - Returned < DWORD(GraceMs)) Sleep(20);
    for (; !ActionDone; Sleep(200)) Closer.CloseAll();
  });
  Action();
  ActionDone = true;
  UserThread.join();
  return Closer.Closed();
}

} // namespace driver
