// Test equipment for Win32: while the code under test runs a modal window on this thread,
// another thread finds that window by its caption, reads it and answers it as a user would,
// with keys and clicks posted to the windows that would get them.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

struct TShownWindow {
  bool Found = false;
  HWND Window = nullptr;
  std::string Caption, Text; // Text: the first STATIC child's
  HWND Owner = nullptr;
};

namespace shown_window {

struct TSearch {
  const std::vector<std::string>* Captions;
  HWND Found;
};

inline BOOL CALLBACK Match(HWND Window, LPARAM Param) {
  auto* Search = reinterpret_cast<TSearch*>(Param);
  DWORD Process = 0;
  GetWindowThreadProcessId(Window, &Process);
  if (Process != GetCurrentProcessId() || !IsWindowVisible(Window)) return TRUE;
  char Caption[256] = {};
  GetWindowTextA(Window, Caption, sizeof Caption);
  for (const std::string& C : *Search->Captions)
    if (C == Caption) {
      Search->Found = Window;
      return FALSE;
    }
  return TRUE;
}

} // namespace shown_window

// The child button of Window whose caption is Caption, or null.
inline HWND ChildButton(HWND Window, const char* Caption) { return FindWindowExA(Window, nullptr, "BUTTON", Caption); }

// Presses and releases Key in the window that has the focus in Window's thread.
inline void PostKey(HWND Window, int Key) {
  GUITHREADINFO Info{};
  Info.cbSize = sizeof Info;
  GetGUIThreadInfo(GetWindowThreadProcessId(Window, nullptr), &Info);
  HWND Target = Info.hwndFocus ? Info.hwndFocus : Window;
  PostMessageA(Target, WM_KEYDOWN, static_cast<WPARAM>(Key), 1);
  PostMessageA(Target, WM_KEYUP, static_cast<WPARAM>(Key), 0xC0000001);
}

// Clicks the left mouse button over the middle of Window.
inline void PostClick(HWND Window) {
  RECT R;
  GetClientRect(Window, &R);
  const LPARAM Middle = MAKELPARAM(R.right / 2, R.bottom / 2);
  PostMessageA(Window, WM_LBUTTONDOWN, MK_LBUTTON, Middle);
  PostMessageA(Window, WM_LBUTTONUP, 0, Middle);
}

// Runs Action here while another thread waits up to 20 seconds for a visible window of this
// process with one of Captions, reads it and runs Answer on it there.
inline TShownWindow AnswerWindowDuring(const std::vector<std::string>& Captions, const std::function<void(HWND)>& Answer,
                                       const std::function<void()>& Action) {
  TShownWindow Shown;
  std::atomic<bool> Done{false};
  std::thread User([&] {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Done && std::chrono::steady_clock::now() < Deadline) {
      shown_window::TSearch Search{&Captions, nullptr};
      EnumWindows(shown_window::Match, reinterpret_cast<LPARAM>(&Search));
      if (HWND Window = Search.Found) {
        // Give the window's thread time to finish showing and focusing it.
        Sleep(200);
        char Text[1024] = {};
        GetWindowTextA(Window, Text, sizeof Text);
        Shown.Caption = Text;
        Text[0] = 0;
        if (HWND Static = FindWindowExA(Window, nullptr, "STATIC", nullptr)) GetWindowTextA(Static, Text, sizeof Text);
        Shown.Text = Text;
        Shown.Owner = GetWindow(Window, GW_OWNER);
        Shown.Window = Window;
        Shown.Found = true;
        Answer(Window);
        return;
      }
      Sleep(20);
    }
  });
  Action();
  Done = true;
  User.join();
  return Shown;
}
