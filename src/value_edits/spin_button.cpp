#include "value_edits/spin_button.h"

#include <algorithm>

namespace controls {

TSpinButton::TSpinButton(TComponent* Owner)
    : TWinControl(Owner), UpButton_(new TTimerSpeedButton(this)), DownButton_(new TTimerSpeedButton(this)) {
  for (auto [Half, Glyph] : {std::pair{UpButton_, "SpinUp"}, std::pair{DownButton_, "SpinDown"}}) {
    TBitmap Bitmap;
    Bitmap.LoadFromResourceName(Glyph);
    Half->SetGlyph(Bitmap);
    Half->SetParent(this);
    Half->OnMouseDown = [this](TObject*, TPoint) { HalfPressed(); };
  }
  UpButton_->OnClick = [this](TObject*) {
    if (OnUpClick) OnUpClick(this);
  };
  DownButton_->OnClick = [this](TObject*) {
    if (OnDownClick) OnDownClick(this);
  };
  SetBounds(0, 0, 20, 18);
}

void TSpinButton::SetBounds(int Left, int Top, int Width, int Height) {
  Width = std::max(Width, 15);
  TWinControl::SetBounds(Left, Top, Width, Height);
  UpButton_->SetBounds(0, 0, Width, Height / 2);
  DownButton_->SetBounds(0, Height / 2, Width, Height - Height / 2);
}

void TSpinButton::HalfPressed() {
  if (FocusControl && FocusControl->TabStop && FocusControl->CanFocus() && !FocusControl->Focused())
    FocusControl->SetFocus();
}

void MakeDisabledGlyph(TBitmap& Glyph) {
  const int W = Glyph.Width(), H = Glyph.Height();
  if (W == 0 || H == 0) return;
  // One pixel higher, then one row less: the top row goes.
  TBitmap Source;
  Source.Assign(&Glyph);
  Glyph.SetPixelFormat(TPixelFormat::pf32bit);
  Glyph.SetSize(2 * W, H - 1);
  for (int Y = 0; Y < H - 1; ++Y)
    for (int X = 0; X < W; ++X) {
      Glyph.SetPixel(X, Y, Source.Pixel(X, Y + 1));
      Glyph.SetPixel(W + X, Y, Source.Pixel(X, Y + 1));
    }
  for (int Y = 0; Y < H - 1; ++Y)
    for (int X = W; X < 2 * W - 1; ++X) {
      if (Glyph.Pixel(X, Y) != 0) continue;
      Glyph.SetPixel(X, Y, 0x808080);
      if (Glyph.Pixel(X + 1, Y) != 0) Glyph.SetPixel(X + 1, Y, 0xFFFFFF);
    }
}

} // namespace controls
