// What only the headless backend can tell a test.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/controls.h"
#include "toolkit/forms.h"
#include "toolkit/message_box.h"
#include "toolkit/platform.h"

namespace toolkit::headless {

// The fake clock in milliseconds; it moves only in AdvanceClock.
long long Clock();
// Moves the clock on by Milliseconds, firing the timers that fall due in order, each
// followed by idle time while a modal loop runs.
void AdvanceClock(int Milliseconds);

// ---- What a user does (the simulated user's means) ----
// The key goes to the focused window (else the active form): the control's hooks first, then
// the window's default handling; Enter, Escape, Tab and Back also arrive as characters.
void KeyDown(int Key, TShiftState Shift);
// A character typed into the focused window.
void CharTyped(char C);
// Replaces the focused edit's selection by Text in one change.
void Paste(const std::string& Text);
// Presses or releases the left mouse button over the centre of Control's window.
void MouseButton(TControl& Control, bool Down);
// Turns the wheel with the pointer at Pos (screen coordinates); the focused window gets it.
void TurnWheel(int Delta, TPoint Pos);
// Idle time after an input, while a modal loop runs.
void AfterInput();
// The control whose window has the focus, or null.
TControl* FocusedWindow();
// Runs Body as a modal loop: the capture is released and idle time and timers run modally.
void RunModal(const std::function<void()>& Body);

// ---- Message boxes ----
struct TShownMessage {
  std::string Text;
  TMessageBoxKind Kind;
  std::uintptr_t OwnerWindow;
};
// Every message box shown so far, oldest first.
std::vector<TShownMessage>& ShownMessages();
// The next message box runs Driver inside its modal loop; without one it counts as dismissed
// at once.
void SetMessageBoxDriver(std::function<void()> Driver);

// An item of a form's menu bar as the backend last built it.
struct TMenuBarItem {
  std::string Caption;
  int Command = 0;
  bool OwnerDraw = false;
  bool Enabled = true;
  bool RightToLeft = false;
  std::vector<TMenuBarItem> Items;
};
// The items of Form's menu bar, empty without one.
const std::vector<TMenuBarItem>& MenuBar(const TForm& Form);
// The user chooses the item with Command on Form's bar or in one of its menus: its OnClick
// runs as the window system's command brings it. Disabled items, items with sub-items and
// commands not on the bar do nothing.
void ChooseMenuItem(TForm& Form, int Command);
// The window system asks Form to draw the owner-drawn bar item Index in State, as it does
// whenever the bar is shown: Into becomes the item's size (as measured, as high as the bar)
// and holds the drawing. False, drawing nothing, when the bar has no such owner-drawn item.
bool DrawMenuBarItem(TForm& Form, int Index, TOwnerDrawState State, TBitmap& Into);

struct TShownHelp {
  std::string HelpFile;
  int Context;
};
// Every help request so far, oldest first.
std::vector<TShownHelp>& ShownHelp();

// The system the headless platform services describe; tests may change it.
struct TPlatform {
  TOsVersion Version{5, 1, 2600};
  std::string ModuleFileName = "C:\\Program Files\\Host\\Plugins\\FeatureResize.dll";
  std::string ExecutableFileName = "C:\\Program Files\\Host\\Host.exe";
  char DecimalSeparator = '.';
  bool GhostingDisabled = false;
  struct TSystemErrorBox {
    std::uintptr_t Owner;
    std::string Text;
    bool OwnThread;
  };
  std::vector<TSystemErrorBox> SystemErrorBoxes;
  // The display and its look, over the fixed values of the backend.
  int BitsPerPixel = 32;
  int PixelsPerInch = 96;
  std::map<TSystemMetric, int> SystemMetrics;
  std::map<int, TColor> SystemColors; // by system colour index
  bool VisualStyles = false;
  // Windows minimized so far.
  std::vector<const TControl*> Minimized;
};
TPlatform& Platform();

// Stores (or with no value removes) a registry number.
void SetRegistryInteger(TRegistryRoot Root, const std::string& Key, const std::string& Name,
                        std::optional<std::uint32_t> Value);
// Gives FileName a version resource.
void SetVersionResource(const std::string& FileName, std::vector<std::uint8_t> Bytes);

} // namespace toolkit::headless
