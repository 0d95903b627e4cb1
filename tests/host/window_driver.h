// Test equipment: a user at the keyboard and mouse of real windows, driving them by caption,
// class and position through window messages. Works from the windows' own thread (it then
// handles their messages while it waits) or from a second thread while the windows' thread
// sits in a modal loop, such as a plug-in's dialog inside ProcessImage.
//
//   driver::WhileRunning([&] { Result = Host.Run(*Command, Image); }, [&] {
//     HWND Dialog = driver::WaitForTopWindow({.Caption = "Feature preserving resize"});
//     driver::ReplaceText(driver::FindChild(Dialog, "Edit", 0), "70");
//     driver::Click(driver::FindChild(Dialog, "Scale"));
//     driver::Click(driver::FindChild(Dialog, "OK"));
//   });
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace driver {

constexpr int DefaultTimeout = 10000; // milliseconds

// ---- Waiting ----

// Polls Condition until it holds or TimeoutMs passes; handles the calling thread's window
// messages meanwhile. Returns whether it held.
bool WaitUntil(const std::function<bool()>& Condition, int TimeoutMs = DefaultTimeout);
// Returns once Window's thread has handled the one message posted to it last, or has entered
// a nested modal loop (a message box, a dialog) while handling it.
void Settle(HWND Window);
// Posts a message to Window and settles; every action below goes through it.
void Post(HWND Window, UINT Message, WPARAM Wide, LPARAM Long);

// ---- Finding ----

// Criteria for a visible top-level window; empty fields match anything.
struct TWindowQuery {
  std::string Caption = {}; // the window's text, exactly
  std::string Text = {};    // the text of one of its controls, exactly (a message box's message)
  std::string Class = {};   // "#32770" for dialogs and message boxes
  HWND Owner = nullptr;     // owned by this window, directly or through its owners
  DWORD Process = 0;        // of this process id; 0 is the calling process
};
std::vector<HWND> TopWindows(const TWindowQuery& Query);
HWND FindTopWindow(const TWindowQuery& Query); // the first match, or null
HWND WaitForTopWindow(const TWindowQuery& Query, int TimeoutMs = DefaultTimeout);
// A descendant control whose caption is Caption, '&' markers ignored; null when none.
HWND FindChild(HWND Parent, const std::string& Caption);
// The Index-th (from 0) descendant of window class Class, in the parent's child order (the
// creation order, which is the tab order of a dialog); null when there are fewer.
HWND FindChild(HWND Parent, const std::string& Class, int Index);
// The deepest visible control under the client point (X, Y) of Parent; null when none.
HWND FindChildAt(HWND Parent, int X, int Y);

// ---- Reading ----

std::string TextOf(HWND Window);
std::string ClassOf(HWND Window);
// The item captions of the menu bar's popup named Menu ('&' removed); empty when none.
std::vector<std::string> MenuItems(HWND Window, const std::string& Menu);

// ---- Acting ----

void Focus(HWND Control);
// Clicks a button as BM_CLICK does: pressed, released, clicked, with the focus moving to it.
void Click(HWND Button);
// Presses and releases the left mouse button at the client point (X, Y) of Window.
void ClickAt(HWND Window, int X, int Y);
// Drags with the left mouse button from one client point of Window to another, holding Keys
// (MK_CONTROL, MK_SHIFT) throughout.
void Drag(HWND Window, POINT From, POINT To, WPARAM Keys = 0);
// Focuses Edit and types Text one WM_CHAR at a time at its caret ("\b" is Backspace).
void Type(HWND Edit, const std::string& Text);
// Focuses Edit, selects all of its text and types Text over it.
void ReplaceText(HWND Edit, const std::string& Text);
// Pastes Text into Edit in one change, replacing its selection (EM_REPLACESEL).
void Paste(HWND Edit, const std::string& Text);
// Presses and releases Key (VK_RETURN, VK_ESCAPE, ...) in Window, which should have the focus.
void PressKey(HWND Window, int Key);
// Drops the file at Path on Window, as from the shell (WM_DROPFILES).
void DropFile(HWND Window, const std::string& Path);
// Closes a top-level window as its close box or Alt+F4 does (WM_SYSCOMMAND SC_CLOSE).
void CloseWindow(HWND Window);
// Chooses Item of the menu bar's popup Menu of Window; false when there is no such item.
bool ChooseMenu(HWND Window, const std::string& Menu, const std::string& Item);

// ---- Capturing ----

// What the screen shows of a window's client area: rows top-down, 3 bytes (B, G, R) a pixel.
struct TCapture {
  int Width = 0, Height = 0;
  std::vector<std::uint8_t> Bgr;
  // 0xRRGGBB of a pixel.
  std::uint32_t Pixel(int X, int Y) const;
};
TCapture CaptureClient(HWND Window);

// ---- Running a modal action with a user beside it ----

// Closes what a user left open: the visible owned windows (dialogs, message boxes) of a
// process, as their close box would, a message box by its Cancel (or only) button.
class TWindowCloser {
public:
  explicit TWindowCloser(DWORD Process = 0) : Process(Process) {} // 0: this process
  // One round; call again while windows may still appear.
  void CloseAll();
  // The captions of the windows closed, each once.
  const std::vector<std::string>& Closed() const { return Captions; }

private:
  DWORD Process;
  std::vector<HWND> Seen;
  std::vector<std::string> Captions;
};

// Runs Action on this thread while User runs on a second one. When Action has not returned
// GraceMs after User did, the owned windows of this process are closed (TWindowCloser) until
// it returns, so a user who gave up cannot hang the test. Returns the captions of the windows
// it had to close: empty when User finished the job.
std::vector<std::string> WhileRunning(const std::function<void()>& Action, const std::function<void()>& User,
                                      int GraceMs = 2000);

} // namespace driver
