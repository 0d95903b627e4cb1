#include "toolkit/controls.h"

#include <algorithm>

#include "toolkit/backend.h"
#include "toolkit/forms.h"
#include "toolkit/timer.h"

namespace toolkit {

namespace {

template <typename T> void EraseValue(std::vector<T>& List, T Value) {
  auto It = std::find(List.begin(), List.end(), Value);
  if (It != List.end()) List.erase(It);
}

} // namespace

// ===== TControl =====

TControl::TControl(TComponent* Owner) : TComponent(Owner) {}

TControl::~TControl() {
  if (HandleAllocated()) backend::FreeWindow(*this);
  if (Parent_) EraseValue(Parent_->Controls_, this);
}

void TControl::SetParent(TWinControl* NewParent) {
  if (NewParent == Parent_) return;
  for (const TControl* P = NewParent; P; P = P->Parent_)
    if (P == this) throw EInvalidOperation("A control cannot have itself or a child as parent");
  if (Parent_) {
    if (auto* Win = dynamic_cast<TWinControl*>(this)) {
      Win->DestroyWnd();
      EraseValue(Parent_->TabList_, Win);
    } else if (HandleAllocated()) {
      backend::FreeWindow(*this);
    }
    EraseValue(Parent_->Controls_, this);
  }
  Parent_ = NewParent;
  if (!Parent_) return;
  Parent_->Controls_.push_back(this);
  if (auto* Win = dynamic_cast<TWinControl*>(this)) Parent_->TabList_.push_back(Win);
  if (ParentFont) ApplyFont(Parent_->Font_);
  if (Parent_->HandleAllocated()) HandleNeeded();
}

void TControl::SetBounds(int Left, int Top, int Width, int Height) {
  Bounds_ = {Left, Top, Left + std::max(Width, 0), Top + std::max(Height, 0)};
  if (HandleAllocated()) backend::UpdateBounds(*this);
}

TPoint TControl::ClientToScreen(TPoint P) const {
  for (const TControl* C = this; C; C = C->Parent_) {
    P.X += C->Left();
    P.Y += C->Top();
    if (auto* Form = dynamic_cast<const TForm*>(C)) {
      const TRect Insets = Form->FrameInsets();
      P.X += Insets.Left;
      P.Y += Insets.Top;
    }
  }
  return P;
}

TPoint TControl::ScreenToClient(TPoint P) const {
  const TPoint Origin = ClientToScreen({0, 0});
  return {P.X - Origin.X, P.Y - Origin.Y};
}

void TControl::SetVisible(bool Visible) {
  if (Visible == Visible_) return;
  Visible_ = Visible;
  if (HandleAllocated()) backend::UpdateVisible(*this);
}

bool TControl::Showing() const {
  if (!Visible_) return false;
  if (Parent_) return Parent_->Showing();
  return HandleAllocated() && dynamic_cast<const TForm*>(this) != nullptr;
}

void TControl::SetEnabled(bool Enabled) {
  if (Enabled == Enabled_) return;
  Enabled_ = Enabled;
  if (HandleAllocated()) backend::UpdateEnabled(*this);
}

void TControl::SetText(const std::string& Text) {
  if (Text == Text_) return;
  Text_ = Text;
  if (HandleAllocated()) backend::UpdateText(*this);
  TextModified();
}

void TControl::WindowTextChanged(const std::string& Text) {
  Text_ = Text;
  TextModified();
}

void TControl::SetFont(const TFont& Font) {
  ParentFont = false;
  ApplyFont(Font);
}

void TControl::ApplyFont(const TFont& Font) {
  Font_ = Font;
  if (HandleAllocated()) backend::UpdateFont(*this);
  if (auto* Win = dynamic_cast<TWinControl*>(this))
    for (TControl* Child : Win->Controls_)
      if (Child->ParentFont) Child->ApplyFont(Font);
}

void TControl::SetColor(TColor Color) {
  Color_ = Color;
  Repaint();
}

void TControl::Repaint() {
  if (HandleAllocated()) backend::Repaint(*this);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::HandleNeeded() {
  if (HandleAllocated()) return;
  // A child's window can only exist inside its parent's, and making the parent's window
  // makes the children's.
  if (Parent_) Parent_->HandleNeeded();
  if (!HandleAllocated()) CreateWnd();
}

void TControl::CreateParams(TCreateParams& Params) {
  Params.Style = wsChild | wsClipSiblings;
  if (Visible_) Params.Style |= wsVisible;
  if (!Enabled_) Params.Style |= wsDisabled;
}

void TControl::CreateWnd() {
  WindowParams_ = {};
  CreateParams(WindowParams_);
  backend::MakeWindow(*this, WindowParams_);
}

void TControl::Paint(TCanvas& Canvas) {
  Canvas.BrushColor = Color_;
  Canvas.FillRect(ClientRect());
}

TForm* GetParentForm(const TControl* Control) {
  for (const TControl* C = Control; C; C = C->Parent())
    if (auto* Form = dynamic_cast<const TForm*>(C)) return const_cast<TForm*>(Form);
  return nullptr;
}

// ===== TWinControl =====

TWinControl::TWinControl(TComponent* Owner) : TControl(Owner) {}

TWinControl::~TWinControl() {
  // Owned components go first, newest first; children owned elsewhere still die with their
  // parent, since their windows cannot outlive it.
  DestroyComponents();
  while (!Controls_.empty()) delete Controls_.back();
  if (TForm* Form = GetParentForm(this); Form && Form != this && Form->ActiveControl() == this)
    Form->FocusMoved(nullptr);
  DestroyWnd();
  if (Parent()) EraseValue(Parent()->TabList_, this);
}

TControl* TWinControl::ControlAtPos(TPoint P, bool AllowDisabled, bool AllowWinControls) const {
  for (auto It = Controls_.rbegin(); It != Controls_.rend(); ++It) {
    TControl* C = *It;
    if (!C->Visible() || (!C->Enabled() && !AllowDisabled)) continue;
    if (!AllowWinControls && dynamic_cast<TWinControl*>(C)) continue;
    if (C->BoundsRect().Contains(P)) return C;
  }
  return nullptr;
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& List = Parent()->TabList_;
  return static_cast<int>(std::find(List.begin(), List.end(), this) - List.begin());
}

void TWinControl::SetTabOrder(int Order) {
  if (!Parent()) return;
  auto& List = Parent()->TabList_;
  EraseValue(List, this);
  Order = std::clamp(Order, 0, static_cast<int>(List.size()));
  List.insert(List.begin() + Order, this);
}

bool TWinControl::CanFocus() const {
  const TControl* C = this;
  for (; C->Parent(); C = C->Parent())
    if (!C->Visible() || !C->Enabled()) return false;
  const auto* Form = dynamic_cast<const TForm*>(C);
  return Form && Form->Showing() && Form->Enabled();
}

bool TWinControl::Focused() const { return HandleAllocated() && backend::FocusedControl() == this; }

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  backend::SetFocus(*this);
}

std::vector<TWinControl*> TWinControl::TabOrderList() const {
  std::vector<TWinControl*> List;
  for (TWinControl* C : TabList_) {
    if (!C->Visible() || !C->Enabled()) continue;
    if (C->TabStop && C->CanFocus()) List.push_back(C);
    const auto Inner = C->TabOrderList();
    List.insert(List.end(), Inner.begin(), Inner.end());
  }
  return List;
}

bool TWinControl::SelectNext(TWinControl* Current, bool Forward) {
  const auto List = TabOrderList();
  if (List.empty()) return false;
  const auto N = static_cast<int>(List.size());
  const auto Found = static_cast<int>(std::find(List.begin(), List.end(), Current) - List.begin());
  int Next;
  if (Found == N) Next = Forward ? 0 : N - 1;
  else Next = (Found + (Forward ? 1 : N - 1)) % N;
  List[Next]->SetFocus();
  return true;
}

void TWinControl::CreateWnd() {
  TControl::CreateWnd();
  for (TControl* Child : Controls_) Child->HandleNeeded();
}

void TWinControl::DestroyWnd() {
  for (auto It = Controls_.rbegin(); It != Controls_.rend(); ++It) {
    if (auto* Win = dynamic_cast<TWinControl*>(*It)) Win->DestroyWnd();
    else if ((*It)->HandleAllocated()) backend::FreeWindow(**It);
  }
  if (HandleAllocated()) backend::FreeWindow(*this);
}

void TWinControl::RecreateWnd() {
  if (!HandleAllocated()) return;
  const bool HadFocus = Focused();
  DestroyWnd();
  CreateWnd();
  if (HadFocus && CanFocus()) SetFocus();
}

void TWinControl::WindowFocused() {
  if (TForm* Form = GetParentForm(this); Form && Form != this) Form->FocusMoved(this);
}

bool TWinControl::HandleKeyDown(int Key, TShiftState Shift) {
  KeyDown(Key, Shift);
  if (Key == 0) return true;
  if (WantsKey(Key)) return false;
  TForm* Form = GetParentForm(this);
  return Form && Form->DialogKey(Key, Shift);
}

char TWinControl::HandleKeyPress(char Key) {
  KeyPress(Key);
  return Key;
}

void TWinControl::KeyDown(int& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

bool TWinControl::WantsKey(int Key) const {
  return Key != vkTab && Key != vkReturn && Key != vkEscape;
}

void TWinControl::HandleMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  for (TWinControl* C = this; C; C = C->Parent())
    if (C->DoMouseWheel(Shift, WheelDelta, MousePos)) return;
}

bool TWinControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, Handled);
  if (Handled) return true;
  if (WheelDelta > 0) return DoMouseWheelUp(Shift, MousePos);
  if (WheelDelta < 0) return DoMouseWheelDown(Shift, MousePos);
  return false;
}

// ===== Buttons, labels and boxes =====

TButton::TButton(TComponent* Owner) : TButtonControl(Owner) {
  TabStop = true;
  Bounds_ = {0, 0, 75, 25};
}

void TButton::CreateParams(TCreateParams& Params) {
  TButtonControl::CreateParams(Params);
  Params.WinClassName = ButtonClass;
  Params.Style |= wsTabStop | (Default ? bsDefPushButton : bsPushButton);
}

void TButton::Click() {
  // The form learns its result before OnClick runs, so a handler can still override it.
  if (ModalResult != mrNone)
    if (TForm* Form = GetParentForm(this)) Form->SetModalResult(ModalResult);
  TControl::Click();
}

TLabel::TLabel(TComponent* Owner) : TGraphicControl(Owner) { Bounds_ = {0, 0, 65, 13}; }

void TLabel::CreateParams(TCreateParams& Params) {
  TGraphicControl::CreateParams(Params);
  Params.WinClassName = StaticClass;
  Params.Style |= WordWrap ? ssTextLeft : ssTextLeftNoWrap;
  if (!ShowAccelChar) Params.Style |= ssNoPrefix;
  Params.ParentBackground = true;
}

TGroupBox::TGroupBox(TComponent* Owner) : TWinControl(Owner) { Bounds_ = {0, 0, 185, 105}; }

void TGroupBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = ButtonClass;
  Params.Style |= bsGroupBox | wsClipChildren;
  Params.ParentBackground = true;
  // The group box class paints only its frame and caption; its inside is ours.
  Params.FillBackground = true;
}

TRadioGroup::TRadioGroup(TComponent* Owner) : TGroupBox(Owner) {}

void TRadioGroup::SetItems(std::vector<std::string> Items) {
  for (TWinControl* B : Buttons_) delete B;
  Buttons_.clear();
  Items_ = std::move(Items);
  for (int I = 0; I < static_cast<int>(Items_.size()); ++I)
    Buttons_.push_back(new TRadioItem(this, I));
  if (ItemIndex_ >= static_cast<int>(Items_.size())) ItemIndex_ = -1;
  ArrangeButtons();
  UpdateButtons();
}

void TRadioGroup::SetItemIndex(int Index) {
  Index = std::clamp(Index, -1, static_cast<int>(Items_.size()) - 1);
  if (Index == ItemIndex_) return;
  ItemIndex_ = Index;
  UpdateButtons();
  if (Index >= 0) Click();
}

void TRadioGroup::SetEnabled(bool Enabled) {
  TGroupBox::SetEnabled(Enabled);
  for (TWinControl* B : Buttons_) B->SetEnabled(Enabled);
}

void TRadioGroup::SetBounds(int Left, int Top, int Width, int Height) {
  TGroupBox::SetBounds(Left, Top, Width, Height);
  ArrangeButtons();
}

void TRadioGroup::SetFocus() {
  if (Buttons_.empty()) return TGroupBox::SetFocus();
  Buttons_[std::max(ItemIndex_, 0)]->SetFocus();
}

void TRadioGroup::ArrangeButtons() {
  if (Buttons_.empty()) return;
  // One column under the caption line; the rows share the height that is left, and the
  // remainder goes half above, so the column sits centred.
  const int LineHeight = backend::TextExtent(Font(), "0").Height;
  const int Count = static_cast<int>(Buttons_.size());
  const int Free = Height() - LineHeight - 5;
  const int RowHeight = Free / Count;
  const int TopMargin = LineHeight + 1 + (Free % Count) / 2;
  for (int I = 0; I < Count; ++I)
    Buttons_[I]->SetBounds(8, TopMargin + I * RowHeight, Width() - 10, RowHeight);
}

void TRadioGroup::UpdateButtons() {
  // Only the checked item is a tab stop, so Tab enters the group once, at its choice.
  for (int I = 0; I < static_cast<int>(Buttons_.size()); ++I) {
    auto* Item = static_cast<TRadioItem*>(Buttons_[I]);
    Item->TabStop = I == ItemIndex_ || (ItemIndex_ < 0 && I == 0);
    if (Item->HandleAllocated()) backend::UpdateChecked(*Item);
  }
}

TRadioItem::TRadioItem(TRadioGroup* Group, int Index)
    : TButtonControl(Group), Group_(Group), Index_(Index) {
  SetText(Group->Items_.at(Index));
  SetEnabled(Group->Enabled());
  SetParent(Group);
}

bool TRadioItem::Checked() const { return Group_->ItemIndex_ == Index_; }

void TRadioItem::CreateParams(TCreateParams& Params) {
  TButtonControl::CreateParams(Params);
  Params.WinClassName = ButtonClass;
  Params.Style |= bsRadioButton;
  if (TabStop) Params.Style |= wsTabStop;
  Params.ParentBackground = true;
}

void TRadioItem::CreateWnd() {
  TButtonControl::CreateWnd();
  backend::UpdateChecked(*this);
}

void TRadioItem::Notified() { Group_->SetItemIndex(Index_); }

// ===== Edits =====

TCustomEdit::TCustomEdit(TComponent* Owner) : TWinControl(Owner) {
  TabStop = true;
  Color_ = clWindow;
  Bounds_ = {0, 0, 121, 21};
}

int TCustomEdit::SelStart() const {
  // The user moves the caret without telling anyone, so a window is asked each time.
  if (HandleAllocated()) backend::GetEditSelection(*this, SelStart_, SelLength_);
  return SelStart_;
}

int TCustomEdit::SelLength() const {
  if (HandleAllocated()) backend::GetEditSelection(*this, SelStart_, SelLength_);
  return SelLength_;
}

void TCustomEdit::SetSelection(int Start, int Length) {
  const int Size = static_cast<int>(Text().size());
  SelStart_ = std::clamp(Start, 0, Size);
  SelLength_ = std::clamp(Length, 0, Size - SelStart_);
  if (HandleAllocated()) backend::SetEditSelection(*this, SelStart_, SelLength_);
}

void TCustomEdit::SetAlignment(TAlignment Alignment) {
  if (Alignment == Alignment_) return;
  Alignment_ = Alignment;
  RecreateWnd();
}

void TCustomEdit::SetEditRect(const TRect& Rect) {
  EditRect_ = Rect;
  if (HandleAllocated()) backend::SetEditRect(*this, Rect);
}

int TCustomEdit::LineCount() const {
  if (!HandleAllocated() || !MultiLine()) return 1;
  return backend::EditLineCount(*this);
}

void TCustomEdit::ScrollCaret() {
  if (HandleAllocated()) backend::ScrollCaret(*this);
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::TextModified() {
  // A window puts the caret at the start when code replaces its text; without a window the
  // remembered selection does the same.
  if (!HandleAllocated()) SelStart_ = SelLength_ = 0;
  Change();
}

void TCustomEdit::CreateWnd() {
  TWinControl::CreateWnd();
  if (MultiLine() && EditRect_.Width() > 0) backend::SetEditRect(*this, EditRect_);
  backend::SetEditSelection(*this, SelStart_, SelLength_);
}

void TCustomEdit::DoEnter() {
  if (AutoSelect && !MultiLine()) SelectAll();
}

bool TCustomEdit::WantsKey(int Key) const { return MultiLine() || TWinControl::WantsKey(Key); }

void TCustomEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = EditClass;
  Params.ExStyle |= wsExClientEdge;
  // Both scroll styles: a multi-line window without them refuses text beyond its lines.
  Params.Style |= wsTabStop | esAutoHScroll | esAutoVScroll;
  switch (Alignment_) {
  case TAlignment::taLeftJustify: Params.Style |= esLeft; break;
  case TAlignment::taRightJustify: Params.Style |= esRight; break;
  case TAlignment::taCenter: Params.Style |= esCenter; break;
  }
}

// ===== Speed buttons and images =====

TSpeedButton::TSpeedButton(TComponent* Owner) : TGraphicControl(Owner) { Bounds_ = {0, 0, 23, 22}; }

void TSpeedButton::SetGlyph(const TBitmap& Glyph) {
  Glyph_.Assign(&Glyph);
  Repaint();
}

void TSpeedButton::MouseDown(TPoint P) {
  if (!Enabled()) return;
  Down_ = true;
  Repaint();
  if (OnMouseDown) OnMouseDown(this, P);
}

void TSpeedButton::MouseUp(TPoint P) {
  if (!Down_) return;
  Down_ = false;
  Repaint();
  if (OnMouseUp) OnMouseUp(this, P);
  if (ClientRect().Contains(P)) Click();
}

bool TSpeedButton::Pressed() const { return Down_ && HandleAllocated() && backend::HasMouseCapture(*this); }

void TSpeedButton::Paint(TCanvas& Canvas) {
  const TRect Client = ClientRect();
  Canvas.BrushColor = clBtnFace;
  Canvas.FillRect(Client);
  Canvas.DrawEdge(Client, !Down_);
  const int Count = std::max(NumGlyphs, 1);
  const int W = Glyph_.Width() / Count;
  const int Index = !Enabled() && Count > 1 ? 1 : 0;
  const int Shift = Down_ ? 1 : 0;
  Canvas.DrawTransparent((Client.Right - W) / 2 + Shift, (Client.Bottom - Glyph_.Height()) / 2 + Shift,
                         Glyph_, {Index * W, 0, Index * W + W, Glyph_.Height()});
}

TTimerSpeedButton::TTimerSpeedButton(TComponent* Owner)
    : TSpeedButton(Owner), RepeatTimer_(new TTimer(this)) {
  RepeatTimer_->SetEnabled(false);
  RepeatTimer_->SetOnTimer([this](TObject*) {
    RepeatTimer_->SetInterval(100);
    if (Pressed()) Click();
  });
}

void TTimerSpeedButton::MouseDown(TPoint P) {
  TSpeedButton::MouseDown(P);
  if (!Down()) return;
  RepeatTimer_->SetEnabled(false);
  RepeatTimer_->SetInterval(400);
  RepeatTimer_->SetEnabled(true);
}

void TTimerSpeedButton::MouseUp(TPoint P) {
  RepeatTimer_->SetEnabled(false);
  TSpeedButton::MouseUp(P);
}

TImage::TImage(TComponent* Owner) : TGraphicControl(Owner) { Bounds_ = {0, 0, 105, 105}; }

void TImage::Paint(TCanvas& Canvas) {
  Canvas.BrushColor = Parent() ? Parent()->Color() : clBtnFace;
  Canvas.FillRect(ClientRect());
  if (const TGraphic* Graphic = Picture.Graphic()) Canvas.Draw(0, 0, *Graphic);
}

} // namespace toolkit
