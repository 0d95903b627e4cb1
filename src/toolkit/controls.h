// The control tree: TControl and TWinControl, and the standard controls built on them.
// State lives here; the backend (headless or Win32) mirrors it in windows while a window
// exists, and reports what the user did through the protected notification operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/component.h"
#include "toolkit/create_params.h"
#include "toolkit/graphics.h"
#include "toolkit/types.h"

namespace toolkit {

class TWinControl;
class TForm;

// ===== TControl =====

class TControl : public TComponent {
public:
  explicit TControl(TComponent* Owner);
  // Leaves the parent and destroys the window.
  ~TControl() override;
  const char* ClassName() const override { return "TControl"; }

  TWinControl* Parent() const { return Parent_; }
  // Moves this control into Parent's child list (last in z-order), or out of any with null.
  // The window is made when the new parent has one. Raises EInvalidOperation when Parent is
  // this control or inside it.
  virtual void SetParent(TWinControl* Parent);

  int Left() const { return Bounds_.Left; }
  int Top() const { return Bounds_.Top; }
  int Width() const { return Bounds_.Width(); }
  int Height() const { return Bounds_.Height(); }
  // Position in the parent's client area (for forms: on the screen).
  TRect BoundsRect() const { return Bounds_; }
  // Moves and sizes the control (and its window); negative sizes count as 0.
  virtual void SetBounds(int Left, int Top, int Width, int Height);
  void SetLeft(int V) { SetBounds(V, Top(), Width(), Height()); }
  void SetTop(int V) { SetBounds(Left(), V, Width(), Height()); }
  void SetWidth(int V) { SetBounds(Left(), Top(), V, Height()); }
  void SetHeight(int V) { SetBounds(Left(), Top(), Width(), V); }
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }
  TRect ClientRect() const { return {0, 0, ClientWidth(), ClientHeight()}; }
  // Converts between screen coordinates and this control's client area.
  TPoint ScreenToClient(TPoint P) const;
  TPoint ClientToScreen(TPoint P) const;

  bool Visible() const { return Visible_; }
  // Shows or hides the control; hiding takes the focus away from anything inside it.
  virtual void SetVisible(bool Visible);
  // Visible itself and in every parent up to a shown form.
  bool Showing() const;
  bool Enabled() const { return Enabled_; }
  // A disabled control ignores the mouse and the keyboard and cannot take the focus.
  virtual void SetEnabled(bool Enabled);

  // Caption of buttons, labels, group boxes and forms; the content of edits.
  const std::string& Text() const { return Text_; }
  // Replaces the text; a real change runs TextModified (an edit's OnChange), the same text
  // does nothing.
  void SetText(const std::string& Text);
  const std::string& Caption() const { return Text_; }
  void SetCaption(const std::string& Text) { SetText(Text); }

  const TFont& Font() const { return Font_; }
  // Sets the font; children with ParentFont follow it.
  void SetFont(const TFont& Font);
  bool ParentFont = true;
  TColor Color() const { return Color_; }
  // The background colour; repaints.
  void SetColor(TColor Color);

  // Redraws the control now. Virtual so that the repaint can be observed in tests.
  virtual void Repaint();

  // The window of this control, 0 while there is none.
  std::uintptr_t Handle() const { return Handle_; }
  bool HandleAllocated() const { return Handle_ != 0; }

  TNotifyEvent OnClick;
  // Runs the click: the OnClick event.
  virtual void Click();

  // Makes the window now (and its parent's first) if it does not exist yet.
  virtual void HandleNeeded();
  // The parameters the current window was made with.
  const TCreateParams& WindowParams() const { return WindowParams_; }

  // Draws the client area (ClientRect) on Canvas; the window shows what it drew. The default
  // fills it with Color.
  virtual void Paint(TCanvas& Canvas);

  // ---- Backend use only: what happened to the window ----
  // The window was made (Handle) or destroyed (0).
  void SetHandle(std::uintptr_t Handle) { Handle_ = Handle; }
  // The content text of the window changed (user typing).
  virtual void WindowTextChanged(const std::string& Text);
  // The left mouse button went down / up at P (client coordinates) in a window of the
  // toolkit's own class; the window holds the mouse capture from the press to the release.
  virtual void MouseDown(TPoint) {}
  virtual void MouseUp(TPoint) {}
  // A command notification of a standard window (a click of a button).
  virtual void Notified() {}
  // The window received the keyboard focus.
  virtual void WindowFocused() {}
  // A key went down while the window had the focus; true when the key was used up, false
  // lets the window's default handling have it.
  virtual bool HandleKeyDown(int, TShiftState) { return false; }
  // A character was typed; returns it (possibly replaced), or 0 when a hook ate it.
  virtual char HandleKeyPress(char Key) { return Key; }
  // The wheel turned while the window had the focus (MousePos in screen coordinates).
  virtual void HandleMouseWheel(TShiftState, int, TPoint) {}

protected:
  // Called after the text changed, by code or by the user.
  virtual void TextModified() {}
  // Fills Params for the window to be made; overrides call the inherited one first.
  virtual void CreateParams(TCreateParams& Params);
  // Makes this control's window (its parent's exists).
  virtual void CreateWnd();
  // Applies a font that came from the parent (ParentFont stays set).
  void ApplyFont(const TFont& Font);
  friend class TWinControl;
  bool Visible_ = true;
  TRect Bounds_;
  std::string Text_;
  TFont Font_;
  TColor Color_ = clBtnFace;

private:
  TWinControl* Parent_ = nullptr;
  bool Enabled_ = true;
  std::uintptr_t Handle_ = 0;
  TCreateParams WindowParams_;
};

// A control without its own keyboard focus or children (labels, images).
class TGraphicControl : public TControl {
public:
  using TControl::TControl;
  const char* ClassName() const override { return "TGraphicControl"; }
};

// ===== TWinControl =====

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* Owner);
  // Frees owned components, then the children that remain, then the window.
  ~TWinControl() override;
  const char* ClassName() const override { return "TWinControl"; }

  int ControlCount() const { return static_cast<int>(Controls_.size()); }
  // The child at Index in z-order (first added first); Index must be below ControlCount().
  TControl* Controls(int Index) const { return Controls_.at(Index); }
  // The topmost visible child containing P (client coordinates), skipping disabled children
  // unless AllowDisabled and windowed ones unless AllowWinControls; null when none.
  TControl* ControlAtPos(TPoint P, bool AllowDisabled, bool AllowWinControls = false) const;

  // Position among the parent's windowed children in the tab cycle; setting it moves the
  // control there (clamped to the list) and shifts the others.
  int TabOrder() const;
  void SetTabOrder(int Order);
  bool TabStop = false;

  // True when this control and every parent is visible and enabled and the form is shown.
  virtual bool CanFocus() const;
  bool Focused() const;
  // Gives this control the keyboard focus; raises EInvalidOperation("Cannot focus a disabled
  // or invisible window") when it cannot take it.
  virtual void SetFocus();
  // Focuses the next (or previous) tab stop after Current among this control's descendants,
  // wrapping around; returns false when there is none.
  bool SelectNext(TWinControl* Current, bool Forward);
  // The focusable tab stops inside this control, in tab order, depth first.
  std::vector<TWinControl*> TabOrderList() const;

  // Destroys and makes the window again with fresh creation parameters; state is kept.
  void RecreateWnd();

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TMouseWheelEvent OnMouseWheel;

  // Runs KeyDown; a key it left nonzero that the control does not want goes to the form as a
  // dialog key.
  bool HandleKeyDown(int Key, TShiftState Shift) override;
  char HandleKeyPress(char Key) override;
  // Bubbles to the parents until one handles it.
  void HandleMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  // Tells the form, which makes this its active control and runs DoEnter.
  void WindowFocused() override;
  // Runs when this control became the form's focused control.
  virtual void DoEnter() {}

protected:
  virtual void KeyDown(int& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  // Whether the control handles Key itself rather than the dialog (Tab, Enter, Escape).
  virtual bool WantsKey(int Key) const;
  // Handles the wheel; false lets the parent have it.
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual bool DoMouseWheelDown(TShiftState, TPoint) { return false; }
  virtual bool DoMouseWheelUp(TShiftState, TPoint) { return false; }
  // Makes this window (its parent's exists) and then its children's.
  void CreateWnd() override;
  void DestroyWnd();

private:
  friend class TControl;
  std::vector<TControl*> Controls_;
  std::vector<TWinControl*> TabList_;
};

// The form a control sits on, or null.
TForm* GetParentForm(const TControl* Control);

// ===== Buttons, labels and boxes =====

// Base of push and radio buttons (the "button controls" repainted on keyboard-cue changes).
class TButtonControl : public TWinControl {
public:
  using TWinControl::TWinControl;
  const char* ClassName() const override { return "TButtonControl"; }
};

class TButton : public TButtonControl {
public:
  explicit TButton(TComponent* Owner);
  const char* ClassName() const override { return "TButton"; }
  // Enter presses the default button when no other button has the focus.
  bool Default = false;
  // Escape presses the cancel button.
  bool Cancel = false;
  // Set on the form when the button is clicked.
  TModalResult ModalResult = mrNone;
  void Click() override;
  void Notified() override { Click(); }

protected:
  void CreateParams(TCreateParams& Params) override;
};

class TLabel : public TGraphicControl {
public:
  explicit TLabel(TComponent* Owner);
  const char* ClassName() const override { return "TLabel"; }
  bool WordWrap = false;
  bool Transparent = false;
  // When false, '&' is shown as itself instead of underlining the next character.
  bool ShowAccelChar = true;

protected:
  void CreateParams(TCreateParams& Params) override;
};

class TGroupBox : public TWinControl {
public:
  explicit TGroupBox(TComponent* Owner);
  const char* ClassName() const override { return "TGroupBox"; }

protected:
  void CreateParams(TCreateParams& Params) override;
};

class TRadioGroup : public TGroupBox {
public:
  explicit TRadioGroup(TComponent* Owner);
  const char* ClassName() const override { return "TRadioGroup"; }
  const std::vector<std::string>& Items() const { return Items_; }
  // Replaces the items by new radio buttons; ItemIndex is kept when still in range, else -1.
  void SetItems(std::vector<std::string> Items);
  int ItemIndex() const { return ItemIndex_; }
  // Checks item Index (clamped to -1..count-1). A change to an item fires OnClick, as a
  // click by the user does; setting the current index or -1 fires nothing.
  void SetItemIndex(int Index);
  // The radio button of item Index (for driving the group like a user).
  TWinControl* Button(int Index) const { return Buttons_.at(Index); }
  void SetEnabled(bool Enabled) override;
  void SetBounds(int Left, int Top, int Width, int Height) override;
  void SetFocus() override;

private:
  friend class TRadioItem;
  void ArrangeButtons();
  void UpdateButtons();
  std::vector<std::string> Items_;
  std::vector<TWinControl*> Buttons_;
  int ItemIndex_ = -1;
};

// The radio button inside a TRadioGroup (created by the group).
class TRadioItem : public TButtonControl {
public:
  TRadioItem(TRadioGroup* Group, int Index);
  const char* ClassName() const override { return "TRadioItem"; }
  bool Checked() const;
  void Notified() override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

private:
  TRadioGroup* Group_;
  int Index_;
};

// ===== Edits =====

class TCustomEdit : public TWinControl {
public:
  explicit TCustomEdit(TComponent* Owner);
  const char* ClassName() const override { return "TCustomEdit"; }

  // Selects the whole text whenever the edit gets the focus from the keyboard.
  bool AutoSelect = true;
  // Fires after every change of the text, by code or by the user.
  TNotifyEvent OnChange;

  int SelStart() const;
  int SelLength() const;
  // Selects Length characters from Start (both clamped to the text); the caret goes to the end.
  void SetSelection(int Start, int Length);
  void SelectAll() { SetSelection(0, static_cast<int>(Text().size())); }

  // Horizontal alignment of the text; setting it recreates the window.
  TAlignment Alignment() const { return Alignment_; }
  virtual void SetAlignment(TAlignment Alignment);
  // Whether the window is a multi-line edit (its creation parameters ask for one).
  bool MultiLine() const { return WindowParams().HasStyle(esMultiLine); }

  // Limits text layout to Rect of the client area (multi-line windows only).
  void SetEditRect(const TRect& Rect);
  TRect EditRect() const { return EditRect_; }
  // Number of lines the window shows the text in (1 for single-line edits).
  int LineCount() const;
  // Scrolls the caret into view.
  void ScrollCaret();

  // The area inside the sunken border.
  int ClientWidth() const override { return Width() - 4; }
  int ClientHeight() const override { return Height() - 4; }

  void DoEnter() override;

protected:
  // Runs after every text change: fires OnChange.
  virtual void Change();
  void TextModified() override;
  void CreateWnd() override;
  bool WantsKey(int Key) const override;
  void CreateParams(TCreateParams& Params) override;

private:
  mutable int SelStart_ = 0, SelLength_ = 0;
  TRect EditRect_;
  TAlignment Alignment_ = TAlignment::taLeftJustify;
};

class TEdit : public TCustomEdit {
public:
  using TCustomEdit::TCustomEdit;
  const char* ClassName() const override { return "TEdit"; }
};

// ===== Speed buttons and images =====

// A flat button that does not take the focus, showing one image of a glyph strip: the strip
// holds NumGlyphs images side by side (up, disabled). Presses are reported through
// OnMouseDown and OnMouseUp so that a holder can repeat them.
class TSpeedButton : public TGraphicControl {
public:
  explicit TSpeedButton(TComponent* Owner);
  const char* ClassName() const override { return "TSpeedButton"; }
  TBitmap& Glyph() { return Glyph_; }
  // Replaces the glyph strip and redraws.
  void SetGlyph(const TBitmap& Glyph);
  int NumGlyphs = 1;
  bool Down() const { return Down_; }
  std::function<void(TObject* Sender, TPoint P)> OnMouseDown;
  std::function<void(TObject* Sender, TPoint P)> OnMouseUp;
  // The release clicks when P is inside the button.
  void MouseDown(TPoint P) override;
  void MouseUp(TPoint P) override;
  // True while the button is held down and still has the mouse to itself.
  bool Pressed() const;
  // A raised (sunken while down) face with the glyph centred.
  void Paint(TCanvas& Canvas) override;

private:
  TBitmap Glyph_;
  bool Down_ = false;
};

// A speed button that repeats its click while it is held: first 400 ms after the press, then
// every 100 ms; the release clicks once more, as any speed button's does.
class TTimerSpeedButton : public TSpeedButton {
public:
  explicit TTimerSpeedButton(TComponent* Owner);
  const char* ClassName() const override { return "TTimerSpeedButton"; }
  void MouseDown(TPoint P) override;
  void MouseUp(TPoint P) override;

private:
  class TTimer* RepeatTimer_;
};

class TImage : public TGraphicControl {
public:
  explicit TImage(TComponent* Owner);
  const char* ClassName() const override { return "TImage"; }
  TPicture Picture;
  bool Stretch = false;
  // The picture at the top left, on the parent's colour.
  void Paint(TCanvas& Canvas) override;
};

} // namespace toolkit
