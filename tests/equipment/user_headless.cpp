// The simulated user on the headless backend: each action goes through the backend's window
// model, as window messages would on Win32.
#include "equipment/user_input.h"

#include "toolkit/headless/headless.h"

namespace toolkit {

void user::Click(TControl& Control) {
  headless::MouseButton(Control, true);
  headless::MouseButton(Control, false);
}

void user::Press(TControl& Control) { headless::MouseButton(Control, true); }
void user::Release(TControl& Control) { headless::MouseButton(Control, false); }
void user::PressKey(int Key, TShiftState Shift) { headless::KeyDown(Key, Shift); }

void user::Type(const std::string& Text) {
  for (char C : Text) {
    headless::CharTyped(C);
    headless::AfterInput();
  }
}

void user::Paste(const std::string& Text) { headless::Paste(Text); }
void user::TurnWheel(int Delta, TPoint Pos) { headless::TurnWheel(Delta, Pos); }
void user::Wait(int Milliseconds) { headless::AdvanceClock(Milliseconds); }

std::vector<user::TShownMenuItem> user::MenuBar(const TForm& Form) {
  std::vector<TShownMenuItem> Items;
  for (const auto& Item : headless::MenuBar(Form))
    Items.push_back({Item.Caption, Item.OwnerDraw, Item.Enabled, static_cast<int>(Item.Items.size())});
  return Items;
}

void user::ChooseMenuItem(TMenuItem& Item) {
  TMainMenu* Menu = Item.GetParentMenu();
  if (Menu && Menu->Form()) headless::ChooseMenuItem(*Menu->Form(), Item.Command());
}

void user::MenuBarItemImage(TForm& Form, int Index, TBitmap& Image) {
  if (!headless::DrawMenuBarItem(Form, Index, 0, Image)) Image.SetSize(0, 0);
}

} // namespace toolkit
