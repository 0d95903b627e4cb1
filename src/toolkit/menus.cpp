#include "toolkit/menus.h"

#include <algorithm>
#include <set>

#include "toolkit/backend.h"
#include "toolkit/forms.h"

namespace toolkit {

namespace {

// Window systems carry a command in 16 bits; the numbers start above the few small ones that
// dialogs use for their standard buttons.
constexpr int FirstCommand = 0x100, LastCommand = 0xFFFF;
std::set<int>& UsedCommands() {
  static std::set<int> Used;
  return Used;
}

int TakeCommand() {
  int Command = FirstCommand;
  for (int Used : UsedCommands()) {
    if (Used != Command) break;
    ++Command;
  }
  if (Command > LastCommand) throw EInvalidOperation("Too many menu items");
  UsedCommands().insert(Command);
  return Command;
}

} // namespace

// ===== TMenuItem =====

TMenuItem::TMenuItem(TComponent* Owner) : TComponent(Owner), Command_(TakeCommand()) {}

TMenuItem::~TMenuItem() {
  // A sub-item owned elsewhere still goes with its parent, as a window's children do.
  while (!Items_.empty()) delete Items_.back();
  if (Parent_) {
    std::erase(Parent_->Items_, this);
    Parent_->Changed();
  }
  UsedCommands().erase(Command_);
}

void TMenuItem::SetCaption(const std::string& Caption) {
  if (Caption == Caption_) return;
  Caption_ = Caption;
  Changed();
}

void TMenuItem::SetEnabled(bool Enabled) {
  if (Enabled == Enabled_) return;
  Enabled_ = Enabled;
  Changed();
}

void TMenuItem::Click() {
  if (Enabled_ && OnClick) OnClick(this);
}

void TMenuItem::SetOnDrawItem(TMenuDrawItemEvent Handler) {
  const bool WasOwnerDraw = OwnerDraw();
  OnDrawItem_ = std::move(Handler);
  if (OwnerDraw() != WasOwnerDraw) Changed();
}

void TMenuItem::Add(TMenuItem* Item) {
  for (const TMenuItem* P = this; P; P = P->Parent_)
    if (P == Item) throw EInvalidOperation("A menu item cannot hold itself or a parent");
  if (Item->Parent_) {
    std::erase(Item->Parent_->Items_, Item);
    Item->Parent_->Changed();
  }
  Item->Parent_ = this;
  Items_.push_back(Item);
  Changed();
}

TMainMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* Root = this;
  while (Root->Parent_) Root = Root->Parent_;
  return Root->Menu_;
}

void TMenuItem::Changed() {
  if (TMainMenu* Menu = GetParentMenu()) Menu->Changed();
}

TSize TMenuItem::MeasureItem(TCanvas& Canvas) {
  int Width = Canvas.TextWidth(StripAccelChars(Caption_)) + 8;
  int Height = std::max(Canvas.TextHeight(""), Screen->SystemMetric(TSystemMetric::smCyMenu));
  if (OnMeasureItem) OnMeasureItem(this, Canvas, Width, Height);
  return {Width, Height};
}

void TMenuItem::DrawItem(TCanvas& Canvas, const TRect& Rect, TOwnerDrawState State) {
  if (OnDrawItem_) OnDrawItem_(this, Canvas, Rect, State);
}

// ===== TMainMenu =====

TMainMenu::TMainMenu(TComponent* Owner) : TComponent(Owner), Items_(std::make_unique<TMenuItem>(nullptr)) {
  Items_->Menu_ = this;
}

TMainMenu::~TMainMenu() {
  if (Form_ && Form_->Menu() == this) Form_->SetMenu(nullptr);
  // The items go without asking for a bar that is gone already.
  Items_->Menu_ = nullptr;
}

void TMainMenu::SetRightToLeft(bool RightToLeft) {
  if (RightToLeft == RightToLeft_) return;
  RightToLeft_ = RightToLeft;
  Changed();
}

TMenuItem* TMainMenu::FindItem(int Command) const {
  std::vector<TMenuItem*> Pending = Items_->Items_;
  while (!Pending.empty()) {
    TMenuItem* Item = Pending.back();
    Pending.pop_back();
    if (Item->Command() == Command) return Item;
    Pending.insert(Pending.end(), Item->Items_.begin(), Item->Items_.end());
  }
  return nullptr;
}

void TMainMenu::Changed() {
  if (Form_ && Form_->HandleAllocated()) backend::UpdateMenu(*Form_);
}

} // namespace toolkit
