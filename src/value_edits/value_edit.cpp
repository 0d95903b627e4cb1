#include "value_edits/value_edit.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "value_edits/format_float.h"
#include "expression/expression_evaluator.h"
#include "toolkit/platform.h"

namespace controls {

// ===== Plain numbers =====

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

int HexDigit(char C) {
  if (IsDigit(C)) return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

} // namespace

bool ReadSimpleInteger(const std::string& Text, int& Value) {
  std::size_t I = Text.find_first_not_of(' ');
  if (I == std::string::npos) return false;
  bool Negative = false;
  if (Text[I] == '+' || Text[I] == '-') Negative = Text[I++] == '-';
  bool Hex = false;
  if (I < Text.size() && (Text[I] == '$' || Text[I] == 'x' || Text[I] == 'X')) {
    Hex = true;
    ++I;
  } else if (I + 1 < Text.size() && Text[I] == '0' && (Text[I + 1] == 'x' || Text[I + 1] == 'X')) {
    Hex = true;
    I += 2;
  }
  if (I == Text.size()) return false;
  // Hexadecimal digits are a 32-bit pattern ($FFFFFFFF is -1); decimal ones a signed number.
  unsigned long long Magnitude = 0;
  for (; I < Text.size(); ++I) {
    const int Digit = Hex ? HexDigit(Text[I]) : IsDigit(Text[I]) ? Text[I] - '0' : -1;
    if (Digit < 0) return false;
    Magnitude = Magnitude * (Hex ? 16 : 10) + Digit;
    if (Magnitude > 0xFFFFFFFFull) return false;
  }
  long long Signed;
  if (Hex) Signed = static_cast<std::int32_t>(static_cast<std::uint32_t>(Magnitude));
  else Signed = static_cast<long long>(Magnitude);
  if (Negative) Signed = -Signed;
  if (Signed < INT_MIN || Signed > INT_MAX) return false;
  Value = static_cast<int>(Signed);
  return true;
}

bool ReadSimpleFloat(const std::string& Text, long double& Value) {
  std::string S = Text;
  if (const auto Comma = S.find(','); Comma != std::string::npos) S[Comma] = '.';
  // Only the plain decimal form: sign, digits with an optional fraction, optional exponent.
  std::size_t I = S.find_first_not_of(' ');
  if (I == std::string::npos) return false;
  const std::size_t Start = I;
  if (S[I] == '+' || S[I] == '-') ++I;
  std::size_t Digits = 0;
  for (; I < S.size() && IsDigit(S[I]); ++I) ++Digits;
  if (I < S.size() && S[I] == '.')
    for (++I; I < S.size() && IsDigit(S[I]); ++I) ++Digits;
  if (Digits == 0) return false;
  if (I < S.size() && (S[I] == 'e' || S[I] == 'E')) {
    ++I;
    if (I < S.size() && (S[I] == '+' || S[I] == '-')) ++I;
    if (I == S.size() || !IsDigit(S[I])) return false;
    while (I < S.size() && IsDigit(S[I])) ++I;
  }
  const std::size_t End = I;
  if (S.find_first_not_of(' ', End) != std::string::npos) return false;
  Value = std::strtold(S.substr(Start, End - Start).c_str(), nullptr);
  return true;
}

// ===== TValueEdit =====

TValueEdit::TValueEdit(TComponent* Owner) : TCustomEdit(Owner), Symbols_(DefaultSymbols) {
  AttachChangeHook();
}

void TValueEdit::AttachChangeHook() {
  OnChange = [this](TObject*) { TextChanged(); };
}

void TValueEdit::UpdateText() {
  OnChange = nullptr;
  if (!TextValid_) {
    SetTextColor(true);
  }
  SetText(ValueText());
  AttachChangeHook();
}

void TValueEdit::SetTextColor(bool Valid) {
  const TColor Color = Valid ? clWindowText : InvalidTextColor;
  // Only a real change touches the font, so an edit keeps following its parent's font.
  if (Font().Color != Color) {
    TFont Changed = Font();
    Changed.Color = Color;
    SetFont(Changed);
  }
  // A new font resets the window's formatting rectangle.
  SetEditRect();
  TextValid_ = Valid;
  ScrollCaret();
}

void TValueEdit::TextChanged() {
  auto Fire = [this] {
    if (OnChangeValue) OnChangeValue(this);
  };
  long double V = 0;
  if (!ParseText(V)) {
    if (!TextValid_) return;
    SetTextColor(false);
    return Fire();
  }
  if (BelowMin(V) || AboveMax(V)) {
    if (TextValid_) SetTextColor(false);
    if (StoreTypedValue(BelowMin(V) ? MinValue() : MaxValue())) Fire();
    return;
  }
  if (!TextValid_) SetTextColor(true);
  StoreTypedValue(V);
  Fire();
}

bool TValueEdit::ReadNumber(long double& Value) const {
  try {
    Value = EvaluateExpression(Text(), Symbols_);
    return true;
  } catch (...) {
    // Whatever the evaluator raises only means the text cannot be used.
    return false;
  }
}

void TValueEdit::StepDone() {
  SetSelection(static_cast<int>(Text().size()), 0);
  if (OnChangeValue) OnChangeValue(this);
}

void TValueEdit::SetFocusOnMouseWheel(bool Value) {
  if (Value == FocusOnMouseWheel_) return;
  FocusOnMouseWheel_ = Value;
  if (Value) HookFormMouseWheel();
}

void TValueEdit::SetAlignment(TAlignment Alignment) {
  if (Alignment == this->Alignment()) return;
  TCustomEdit::SetAlignment(Alignment);
  RightAlignLength_ = 0;
}

void TValueEdit::SetEnabled(bool Enabled) {
  TCustomEdit::SetEnabled(Enabled);
  if (SpinButton_) {
    SpinButton_->UpButton()->SetEnabled(Enabled);
    SpinButton_->DownButton()->SetEnabled(Enabled);
  }
}

void TValueEdit::SetFocus() {
  TCustomEdit::SetFocus();
  if (AutoSelect && SelLength() == 0) SelectAll();
}

void TValueEdit::SetBounds(int Left, int Top, int Width, int Height) {
  TCustomEdit::SetBounds(Left, Top, Width, Height);
  LayoutSpinButton();
}

void TValueEdit::LayoutSpinButton() {
  if (!SpinButton_) return;
  // Inside the sunken border on the right, then the halves overlapping by one pixel.
  const int SpinWidth = SpinButton_->Width();
  SpinButton_->SetBounds(Width() - SpinWidth - 4, 0, SpinWidth, Height() - 4);
  SetEditRect();
  const int W = SpinButton_->Width(), H = SpinButton_->Height();
  const int UpHeight = (H + 1) / 2;
  SpinButton_->UpButton()->SetBounds(0, 0, W, UpHeight);
  SpinButton_->DownButton()->SetBounds(0, UpHeight - 1, W, H - UpHeight + 1);
}

void TValueEdit::SetEditRect() {
  if (!SpinButton_) return;
  TCustomEdit::SetEditRect({0, 0, ClientWidth() - SpinButton_->Width() - 1, ClientHeight() + 1});
}

void TValueEdit::SpinIncrementChanged(bool NonZero) {
  if (NonZero && !SpinButton_) {
    CreateSpinButton();
  } else if (!NonZero && SpinButton_) {
    delete SpinButton_;
    SpinButton_ = nullptr;
  }
  RecreateWnd();
}

void TValueEdit::CreateSpinButton() {
  SpinButton_ = new TSpinButton(this);
  SpinButton_->SetBounds(0, 0, 15, 17);
  SpinButton_->SetVisible(true);
  SpinButton_->SetParent(this);
  SpinButton_->FocusControl = this;
  SpinButton_->OnUpClick = [this](TObject*) { StepUp(); };
  SpinButton_->OnDownClick = [this](TObject*) { StepDown(); };
  for (TSpeedButton* Half : {SpinButton_->UpButton(), SpinButton_->DownButton()}) {
    TBitmap Strip;
    Strip.Assign(&Half->Glyph());
    MakeDisabledGlyph(Strip);
    Half->SetGlyph(Strip);
    Half->NumGlyphs = 2;
    if (!Enabled()) Half->SetEnabled(false);
  }
  LayoutSpinButton();
}

void TValueEdit::HookFormMouseWheel() {
  TForm* Form = GetParentForm(this);
  if (!Form) return;
  if (!Form->OnMouseWheel) Form->OnMouseWheel = &TValueEdit::FormMouseWheel;
  HookedForm_ = Form;
}

void TValueEdit::FormMouseWheel(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos,
                                bool& Handled) {
  auto* Form = dynamic_cast<TForm*>(Sender);
  if (!Form) return;
  // The innermost windowed control under the pointer.
  TWinControl* Target = Form;
  while (auto* Child = dynamic_cast<TWinControl*>(
             Target->ControlAtPos(Target->ScreenToClient(MousePos), false, true)))
    Target = Child;
  if (Target->Focused() || Target == Form->ActiveControl()) return;
  if (!Target->CanFocus()) return;
  auto* Edit = dynamic_cast<TValueEdit*>(Target);
  if (!Edit || !Edit->SpinButton_) return;
  Edit->SetFocus();
  if (WheelDelta > 0) Edit->DoMouseWheelUp(Shift, MousePos);
  else if (WheelDelta < 0) Edit->DoMouseWheelDown(Shift, MousePos);
  Handled = true;
}

bool TValueEdit::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (HookedForm_) FormMouseWheel(HookedForm_, Shift, 1, MousePos, Handled);
  if (Handled) return true;
  if (!SpinButton_) return false;
  StepUp();
  return true;
}

bool TValueEdit::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (HookedForm_) FormMouseWheel(HookedForm_, Shift, -1, MousePos, Handled);
  if (Handled) return true;
  if (!SpinButton_) return false;
  StepDown();
  return true;
}

void TValueEdit::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  // The edit rectangle that keeps the text off the buttons needs a multi-line window.
  if (SpinButton_) Params.Style |= esMultiLine | wsClipChildren;
}

void TValueEdit::CreateWnd() {
  TCustomEdit::CreateWnd();
  LayoutSpinButton();
  SetEditRect();
  if (AutoSelect && SelLength() == 0) SelectAll();
  if (SpinButton_ && FocusOnMouseWheel_) HookFormMouseWheel();
}

void TValueEdit::Change() {
  // A right-aligned multi-line window shows wrapped text badly: fall back to left alignment
  // while it wraps, and go back once the text is shorter than when it started to.
  if (SpinButton_) {
    const int Caret = SelLength() == 0 ? SelStart() : -1;
    auto RestoreCaret = [&] {
      if (Caret >= 0) SetSelection(Caret, 0);
    };
    if (Alignment() == TAlignment::taRightJustify) {
      if (LineCount() > 1) {
        SetAlignment(TAlignment::taLeftJustify);
        RestoreCaret();
        RightAlignLength_ = Text().size();
      }
    } else if (RightAlignLength_ != 0 && LineCount() <= 1 && Text().size() < RightAlignLength_) {
      SetAlignment(TAlignment::taRightJustify);
      RestoreCaret();
    }
  }
  TCustomEdit::Change();
}

void TValueEdit::KeyDown(int& Key, TShiftState Shift) {
  if (SpinButton_) {
    if (Key == vkUp) StepUp();
    else if (Key == vkDown) StepDown();
  }
  TCustomEdit::KeyDown(Key, Shift);
}

void TValueEdit::KeyPress(char& Key) {
  TCustomEdit::KeyPress(Key);
  // Enter neither breaks the line of the multi-line window nor beeps.
  if (Key == '\r') Key = 0;
}

// Tab, Enter and Escape stay dialog keys although the window may be multi-line.
bool TValueEdit::WantsKey(int Key) const { return TWinControl::WantsKey(Key); }

// ===== TNumberEdit =====

template <typename T> void TNumberEdit<T>::SetMax(T Value) {
  Max_ = Value;
  if (Value < Value_) {
    Value_ = Value;
    UpdateText();
  }
}

template <typename T> void TNumberEdit<T>::SetMin(T Value) {
  Min_ = Value;
  if (Value > Value_) {
    Value_ = Value;
    UpdateText();
  }
}

template <typename T> void TNumberEdit<T>::SetSpinIncrement(T Value) {
  SpinIncrement_ = Value;
  SpinIncrementChanged(Value != 0);
}

template <typename T> bool TNumberEdit<T>::StoreTypedValue(long double V) {
  const T New = static_cast<T>(V);
  const bool Changed = New != Value_;
  Value_ = New;
  return Changed;
}

template <typename T> void TNumberEdit<T>::Step(bool Up) {
  // Integers step in 64 bits, so that a step past the 32-bit range clamps instead of wrapping
  // around; their division truncates toward zero.
  using TWide = std::conditional_t<std::is_integral_v<T>, long long, long double>;
  const TWide S = SpinIncrement_;
  TWide V = Value_;
  if (S >= 0) V = Up ? V + S : V - S;
  else V = Up ? V * -S : V / -S;
  if constexpr (std::is_integral_v<T>) V = std::clamp<TWide>(V, Min_, std::max(Min_, Max_));
  SetValue(static_cast<T>(V));
  StepDone();
}

template class TNumberEdit<int>;
template class TNumberEdit<long double>;

// ===== TIntegerEdit =====

TIntegerEdit::TIntegerEdit(TComponent* Owner) : TNumberEdit(Owner) {
  SetMax(100);
  UpdateText();
}

void TIntegerEdit::SetValue(int Value) {
  Value_ = Clamped(Value);
  UpdateText();
}

std::string TIntegerEdit::ValueText() const { return std::to_string(Value_); }

bool TIntegerEdit::ParseText(long double& Value) const {
  if (SimpleValue) {
    int Plain = 0;
    if (!ReadSimpleInteger(Text(), Plain)) return false;
    Value = Plain;
    return true;
  }
  long double Result = 0;
  if (!ReadNumber(Result) || !std::isfinite(Result)) return false;
  // The nearest integer's low 32 bits, accepted only when they are the result within 0.0001:
  // 7.00005 is 7, 7.5 and anything beyond 32 bits are not numbers of this edit.
  const long double Rounded = std::nearbyint(Result);
  if (std::fabs(Rounded) >= 0x1p62L) return false;
  const auto Low = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<long long>(Rounded)));
  if (std::fabs(static_cast<long double>(Low) - Result) > 0.0001L) return false;
  Value = Low;
  return true;
}

// ===== TFloatEdit =====

TFloatEdit::TFloatEdit(TComponent* Owner) : TNumberEdit(Owner) {
  SetMax(100);
  FormatString_ = "0.##";
  UpdateText();
}

void TFloatEdit::SetValue(long double Value) {
  if (Value == Value_ && TextValid()) return;
  Value_ = Clamped(Value);
  UpdateText();
}

void TFloatEdit::SetFormatString(const std::string& Format) {
  FormatString_ = Format;
  UpdateText();
}

std::string TFloatEdit::ValueText() const {
  return FormatFloat(FormatString_, Value_, toolkit::DecimalSeparator());
}

bool TFloatEdit::ParseText(long double& Value) const {
  return SimpleValue ? ReadSimpleFloat(Text(), Value) : ReadNumber(Value);
}

} // namespace controls
