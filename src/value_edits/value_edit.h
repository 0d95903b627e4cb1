// Value edits: single-line edits holding one number within a range. The user may type a plain
// number or an expression (evaluated with the process-wide symbol table); text that cannot be
// used shows in InvalidTextColor while Value keeps its last usable number. With a nonzero
// SpinIncrement the edit carries a spin button inside its right edge and steps with the
// buttons (auto-repeating), the Up/Down keys and the mouse wheel.
#pragma once

#include <cstdint>
#include <string>

#include "value_edits/spin_button.h"
#include "toolkit/forms.h"

class TSymbolTable;

namespace controls {

// ===== TValueEdit =====

class TValueEdit : public TCustomEdit {
public:
  explicit TValueEdit(TComponent* Owner);
  const char* ClassName() const override { return "TValueEdit"; }

  // Fires when the value changes through the user: usable typed text (in range, or clamped to
  // a new value), text becoming unusable while it was valid, and every step.
  TNotifyEvent OnChangeValue;
  // Read the text as a plain number only, without the evaluator.
  bool SimpleValue = false;
  // Font colour while the text is not a usable value in range.
  TColor InvalidTextColor = 0x000080;

  bool FocusOnMouseWheel() const { return FocusOnMouseWheel_; }
  // Turning the wheel over an unfocused value edit with a spin button focuses and steps it.
  void SetFocusOnMouseWheel(bool Value);
  // Recreates the window and gives up any fallback from right alignment.
  void SetAlignment(TAlignment Alignment) override;
  // Also enables or disables the spin halves.
  void SetEnabled(bool Enabled) override;
  // Selects all when AutoSelect and nothing is selected.
  void SetFocus() override;
  // Places the spin button inside the right edge and keeps the text off it.
  void SetBounds(int Left, int Top, int Width, int Height) override;

  // The spin button and its halves; null while the spin increment is 0.
  TSpinButton* SpinButton() const { return SpinButton_; }
  TSpeedButton* UpButton() const { return SpinButton_ ? SpinButton_->UpButton() : nullptr; }
  TSpeedButton* DownButton() const { return SpinButton_ ? SpinButton_->DownButton() : nullptr; }
  // Whether the text is shown in the normal colour (usable and in range).
  bool TextValid() const { return TextValid_; }

  // One spin step up or down (clamped), then the caret to the end and OnChangeValue.
  virtual void StepUp() = 0;
  virtual void StepDown() = 0;

  // The form's wheel handler the value edits share: steps the value edit under the pointer,
  // focusing it first. Installed on the form when it has no wheel handler of its own.
  static void FormMouseWheel(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos,
                             bool& Handled);

protected:
  // Writes Value into the text without parsing it back, in the normal colour.
  void UpdateText();
  virtual std::string ValueText() const = 0;
  // Reads the text and stores a usable value (true), or reports it unusable (false).
  virtual bool ParseText(long double& Value) const = 0;
  // Stores V (already clamped to the range by TextChanged); false when it equals Value.
  virtual bool StoreTypedValue(long double V) = 0;
  virtual bool BelowMin(long double V) const = 0;
  virtual bool AboveMax(long double V) const = 0;
  virtual long double MinValue() const = 0;
  virtual long double MaxValue() const = 0;
  // Finishes a step: caret to the end, OnChangeValue.
  void StepDone();
  // Creates or frees the spin button for a new increment and recreates the window.
  void SpinIncrementChanged(bool NonZero);
  // Reads the evaluator's or plain text into a number; false when it cannot be read.
  bool ReadNumber(long double& Value) const;

  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void Change() override;
  void KeyDown(int& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  bool WantsKey(int Key) const override;
  bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos) override;
  bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos) override;

private:
  void TextChanged();
  void AttachChangeHook();
  void SetTextColor(bool Valid);
  void SetEditRect();
  void LayoutSpinButton();
  void CreateSpinButton();
  void HookFormMouseWheel();

  TForm* HookedForm_ = nullptr;
  std::size_t RightAlignLength_ = 0;
  bool FocusOnMouseWheel_ = true;
  bool TextValid_ = false;
  TSymbolTable* Symbols_;
  TSpinButton* SpinButton_ = nullptr;
};

// ===== TNumberEdit =====

// What the integer and the float edit share: the value, its range and the spin increment.
template <typename T> class TNumberEdit : public TValueEdit {
public:
  T Value() const { return Value_; }
  T Min() const { return Min_; }
  T Max() const { return Max_; }
  // Store the bound and pull Value inside it.
  void SetMin(T Value);
  void SetMax(T Value);
  T SpinIncrement() const { return SpinIncrement_; }
  // Below 0: steps multiply and divide by its size. Nonzero makes the spin button.
  void SetSpinIncrement(T Value);
  virtual void SetValue(T Value) = 0;

  void StepUp() override { Step(true); }
  void StepDown() override { Step(false); }

protected:
  using TValueEdit::TValueEdit;
  bool StoreTypedValue(long double V) override;
  bool BelowMin(long double V) const override { return V < Min_; }
  bool AboveMax(long double V) const override { return !(V <= Max_); }
  long double MinValue() const override { return Min_; }
  long double MaxValue() const override { return Max_; }
  T Clamped(T V) const { return !(V <= Max_) ? Max_ : V < Min_ ? Min_ : V; }

  T Value_{}, Min_{}, Max_{}, SpinIncrement_{};

private:
  void Step(bool Up);
};

// ===== TIntegerEdit =====

class TIntegerEdit : public TNumberEdit<int> {
public:
  explicit TIntegerEdit(TComponent* Owner);
  const char* ClassName() const override { return "TIntegerEdit"; }
  // Clamps to [Min, Max] and always rewrites the text.
  void SetValue(int Value) override;

protected:
  std::string ValueText() const override;
  bool ParseText(long double& Value) const override;
};

// ===== TFloatEdit =====

class TFloatEdit : public TNumberEdit<long double> {
public:
  explicit TFloatEdit(TComponent* Owner);
  const char* ClassName() const override { return "TFloatEdit"; }
  // Nothing happens for the current value while the text is valid; otherwise clamps and
  // rewrites the text.
  void SetValue(long double Value) override;
  // The format picture of the text ("0.##": up to two decimals, the user's separator).
  const std::string& FormatString() const { return FormatString_; }
  void SetFormatString(const std::string& Format);

protected:
  std::string ValueText() const override;
  bool ParseText(long double& Value) const override;

private:
  std::string FormatString_;
};

// Plain-number readings of the SimpleValue mode. An integer: leading spaces, a sign, then
// decimal digits or hexadecimal ones after "$", "x" or "0x", fitting 32 bits. A float: the
// first ',' read as '.', then a decimal number with an optional exponent.
bool ReadSimpleInteger(const std::string& Text, int& Value);
bool ReadSimpleFloat(const std::string& Text, long double& Value);

} // namespace controls
