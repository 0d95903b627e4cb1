// TSpinButton: a pair of repeating speed buttons, up above down, in a window of its own; and
// MakeDisabledGlyph, which turns a glyph into a strip of its normal and disabled images.
#pragma once

#include "toolkit/controls.h"

namespace controls {

using namespace toolkit;

class TSpinButton : public TWinControl {
public:
  // Loads the "SpinUp" and "SpinDown" glyphs into the two halves.
  explicit TSpinButton(TComponent* Owner);
  const char* ClassName() const override { return "TSpinButton"; }

  TTimerSpeedButton* UpButton() const { return UpButton_; }
  TTimerSpeedButton* DownButton() const { return DownButton_; }

  // Takes the focus when a half is pressed, if it is a tab stop that can take it.
  TWinControl* FocusControl = nullptr;
  TNotifyEvent OnUpClick;
  TNotifyEvent OnDownClick;

  // Keeps the width at least 15 and splits the height between the halves.
  void SetBounds(int Left, int Top, int Width, int Height) override;

private:
  void HalfPressed();
  TTimerSpeedButton* UpButton_;
  TTimerSpeedButton* DownButton_;
};

// Drops Glyph's top row, doubles its width with a second copy, converts it to 32 bits and
// greys the copy out (black becomes grey with a white pixel to its right): a two-image strip
// of the normal and the disabled look.
void MakeDisabledGlyph(TBitmap& Glyph);

} // namespace controls
