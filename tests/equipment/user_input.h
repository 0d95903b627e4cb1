// A simulated user, test equipment only: the same actions reach the controls
// through the same paths as a real user's on both backends (window messages on Win32).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toolkit/forms.h"

namespace toolkit {

// The function the next ShowModal runs inside its loop, as the user acts on the form (through
// Application->OnModalShown); consumed by that ShowModal. Without one the headless backend
// raises EInvalidOperation, since no user could ever close the form.
void SetModalDriver(std::function<void(TForm& Form)> Driver);
// Takes back the driver no form consumed; null when there is none.
std::function<void(TForm& Form)> TakeModalDriver();

} // namespace toolkit

namespace toolkit::user {

// Clicks Control with the left mouse button over its centre: a button or radio button takes
// the focus and is clicked, an edit takes the focus, a speed button is pressed and released.
// A disabled or hidden control ignores the click.
void Click(TControl& Control);
// Presses (and holds) / releases the left mouse button over the centre of Control.
void Press(TControl& Control);
void Release(TControl& Control);
// Presses and releases Key (a virtual key code) in the control that has the focus.
void PressKey(int Key, TShiftState Shift = 0);
// Types Text into the control that has the focus, one character at a time; in an edit each
// character replaces the selection. "\b" is the Backspace key's character.
void Type(const std::string& Text);
// Pastes Text into the focused edit: the selection is replaced in one change.
void Paste(const std::string& Text);
// Turns the mouse wheel by Delta (120 a notch) with the pointer at the screen point Pos.
void TurnWheel(int Delta, TPoint Pos);
// Lets Milliseconds pass while handling what happens: real time on Win32; headless the fake
// clock moves on, firing the timers that fall due in order, each followed by idle time.
void Wait(int Milliseconds);

// ---- Menus ----
// An item of a form's menu bar as the user sees it.
struct TShownMenuItem {
  std::string Caption;
  bool OwnerDrawn = false;
  bool Enabled = true;
  int SubItems = 0;
  friend bool operator==(const TShownMenuItem&, const TShownMenuItem&) = default;
};
// The items on Form's menu bar in their order; empty without a bar.
std::vector<TShownMenuItem> MenuBar(const TForm& Form);
// Chooses Item on its form's menu bar or in one of the bar's menus, as a click on it does:
// nothing happens for a disabled item, one with sub-items or one on no shown bar.
void ChooseMenuItem(TMenuItem& Item);
// The pixels of the owner-drawn bar item Index as the user sees it, unselected: read off the
// screen on Win32; headless, drawn as the system asks the item to draw itself. Image is empty
// when there is no such item.
void MenuBarItemImage(TForm& Form, int Index, TBitmap& Image);

} // namespace toolkit::user
