// Menus: a form's main menu bar and its items. The items keep all state; while the form has a
// window the backend mirrors the bar there and reports choices and drawing requests back
// through the "backend use only" operations.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/component.h"
#include "toolkit/graphics.h"
#include "toolkit/types.h"

namespace toolkit {

class TForm;
class TMainMenu;

// How an owner-drawn item is to be drawn; Win32's ODS_ values, so they travel unchanged.
enum TOwnerDrawFlag : unsigned {
  odSelected = 0x1, odGrayed = 0x2, odDisabled = 0x4, odChecked = 0x8, odFocused = 0x10,
  odDefault = 0x20, odHotLight = 0x40, odInactive = 0x80, odNoAccel = 0x100
};
using TOwnerDrawState = unsigned;

// Draws the item into Rect of Canvas in State.
using TMenuDrawItemEvent =
    std::function<void(TObject* Sender, TCanvas& Canvas, const TRect& Rect, TOwnerDrawState State)>;
// Adjusts the size the item asks for (Canvas measures in the menu font).
using TMenuMeasureItemEvent = std::function<void(TObject* Sender, TCanvas& Canvas, int& Width, int& Height)>;

// ===== TMenuItem =====

class TMenuItem : public TComponent {
public:
  explicit TMenuItem(TComponent* Owner);
  // Frees the sub-items and leaves the parent item.
  ~TMenuItem() override;
  const char* ClassName() const override { return "TMenuItem"; }

  // The text; '&' underlines the next character, which chooses the item with Alt.
  const std::string& Caption() const { return Caption_; }
  void SetCaption(const std::string& Caption);
  // A disabled item is greyed and cannot be chosen.
  bool Enabled() const { return Enabled_; }
  void SetEnabled(bool Enabled);

  TNotifyEvent OnClick;
  // Runs OnClick when the item is enabled.
  virtual void Click();

  // The item's own drawing: with a handler the item is owner-drawn and the system leaves
  // its look to the handler.
  const TMenuDrawItemEvent& OnDrawItem() const { return OnDrawItem_; }
  void SetOnDrawItem(TMenuDrawItemEvent Handler);
  bool OwnerDraw() const { return static_cast<bool>(OnDrawItem_); }
  TMenuMeasureItemEvent OnMeasureItem;

  int Count() const { return static_cast<int>(Items_.size()); }
  // The sub-item at Index; Index must be below Count().
  TMenuItem* Items(int Index) const { return Items_.at(Index); }
  // Makes Item the last sub-item (leaving its former parent); this item frees it when it goes.
  // Raises EInvalidOperation when Item is this item or one of its parents.
  void Add(TMenuItem* Item);
  TMenuItem* Parent() const { return Parent_; }
  // The main menu whose bar holds this item (through its parents), or null.
  TMainMenu* GetParentMenu() const;

  // The number the window system knows the item by, unique in the process while it lives.
  int Command() const { return Command_; }

  // ---- Backend use only ----
  // The size an owner-drawn item asks for: its caption in Canvas's font and 4 pixels on each
  // side, as high as the menu bar, then OnMeasureItem.
  TSize MeasureItem(TCanvas& Canvas);
  // Runs OnDrawItem (Rect is the whole item).
  void DrawItem(TCanvas& Canvas, const TRect& Rect, TOwnerDrawState State);

private:
  friend class TMainMenu;
  // Tells the form showing the bar to bring it up to date.
  void Changed();
  std::string Caption_;
  bool Enabled_ = true;
  TMenuDrawItemEvent OnDrawItem_;
  TMenuItem* Parent_ = nullptr;
  std::vector<TMenuItem*> Items_;
  TMainMenu* Menu_ = nullptr; // set on a main menu's root item only
  int Command_;
};

// ===== TMainMenu =====

// The menu bar of a form (TForm::SetMenu): its top-level items are the sub-items of Items().
class TMainMenu : public TComponent {
public:
  explicit TMainMenu(TComponent* Owner);
  // Leaves the form first, so the bar goes with the menu.
  ~TMainMenu() override;
  const char* ClassName() const override { return "TMainMenu"; }

  TMenuItem& Items() { return *Items_; }
  const TMenuItem& Items() const { return *Items_; }
  // The reading order of the menu's texts: right to left lays the bar out from the right.
  bool RightToLeft() const { return RightToLeft_; }
  void SetRightToLeft(bool RightToLeft);
  // The item with Command anywhere in the menu, or null.
  TMenuItem* FindItem(int Command) const;
  // The form showing this menu's bar, or null.
  TForm* Form() const { return Form_; }

private:
  friend class TForm;
  friend class TMenuItem;
  void Changed();
  std::unique_ptr<TMenuItem> Items_;
  bool RightToLeft_ = false;
  TForm* Form_ = nullptr;
};

} // namespace toolkit
