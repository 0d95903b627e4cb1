// The modeless window that shows a plug-in's progress, with a Cancel button.
#pragma once

#include <string>

struct HWND__;

class TProgressWindow {
public:
  TProgressWindow() = default;
  TProgressWindow(const TProgressWindow&) = delete;
  TProgressWindow& operator=(const TProgressWindow&) = delete;
  ~TProgressWindow();

  // Shows Percent (clamped to 0..100) under the caption "<Title> - Progress", owned by Owner,
  // and handles the window's own waiting messages and pending repaints (the plug-in is busy
  // and does not pump). Returns false once when Cancel was clicked since the last call.
  bool Update(HWND__* Owner, const std::string& Title, int Percent);
  void Hide();
  HWND__* Window() const { return Handle; }

private:
  HWND__* Handle = nullptr;
  HWND__* Bar = nullptr;
  HWND__* Previous = nullptr; // the active window before this one was shown
  bool Cancelled = false;

  void Create(HWND__* Owner);
  friend struct TProgressWindowClass;
};
