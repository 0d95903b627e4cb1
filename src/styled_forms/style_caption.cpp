// The caption bar a styled form paints itself: the plain look (bands of the caption colours
// falling off in a staircase with bevelled squares) and, where visual styles are on, the
// theme's caption with a grey texture and a staircase of squares.
#include <algorithm>
#include <memory>
#include <vector>

#include "styled_forms/style_form.h"
#include "toolkit/platform.h"

using namespace toolkit;

namespace {

std::unique_ptr<TBitmap> CaptionTexture;
bool IsBrightTheme = false;

// Numbers of the theme API's "WINDOW" class.
enum TThemePart {
  wpCaption = 1, wpMinButton = 15, wpMaxButton = 17, wpCloseButton = 18, wpSmallCloseButton = 19,
  wpRestoreButton = 21, wpHelpButton = 23
};
constexpr int csActive = 1, csInactive = 2, cbsNormal = 1, cbsDisabled = 4;

bool IsToolWindow(TFormBorderStyle Style) {
  return Style == TFormBorderStyle::bsToolWindow || Style == TFormBorderStyle::bsSizeToolWin;
}

// Forms of these styles carry the system menu's icon in their caption.
bool HasIcon(TFormBorderStyle Style) {
  return Style == TFormBorderStyle::bsSingle || Style == TFormBorderStyle::bsSizeable;
}

struct TCaptionButtonPlace {
  TRect Rect;
  TCaptionButton Kind;
  bool Enabled;
  int ThemePart;
};

// The caption buttons from the right, each of the small-icon size, as the window's styles
// give them: close; maximize and minimize for single and sizeable forms (the single form's
// maximize greyed, as it has no maximize box); a tool window's small close button.
std::vector<TCaptionButtonPlace> CaptionButtons(TFormBorderStyle Style, int W, int H) {
  using enum TFormBorderStyle;
  const int BW = Screen->SystemMetric(TSystemMetric::smCxSmIcon);
  const int BH = std::min(Screen->SystemMetric(TSystemMetric::smCySmIcon), H - 2);
  const int Top = (H - BH) / 2;
  std::vector<TCaptionButtonPlace> Buttons;
  if (Style == bsNone || BH <= 0) return Buttons;
  int X = W - 2 - BW;
  auto Add = [&](TCaptionButton Kind, bool Enabled, int Part) {
    Buttons.push_back({{X, Top, X + BW, Top + BH}, Kind, Enabled, Part});
  };
  Add(TCaptionButton::cbClose, true, IsToolWindow(Style) ? wpSmallCloseButton : wpCloseButton);
  if (Style == bsSingle || Style == bsSizeable) {
    X -= BW + 2;
    Add(TCaptionButton::cbMaximize, Style == bsSizeable, wpMaxButton);
    X -= BW;
    Add(TCaptionButton::cbMinimize, true, wpMinButton);
  }
  return Buttons;
}

int ButtonsLeft(const std::vector<TCaptionButtonPlace>& Buttons, int W) {
  return Buttons.empty() ? W : Buttons.back().Rect.Left;
}

TFont CaptionFontOf(TFormBorderStyle Style) {
  return IsToolWindow(Style) ? Screen->SmallCaptionFont() : Screen->CaptionFont();
}

// The theme's inactive caption as grey levels, as wide as the screen and as high as caption
// and frame. Dark themes are lightened (divided by 5 instead of 6) so the texture shows.
TBitmap* MakeCaptionTexture(int Height) {
  auto Texture = std::make_unique<TBitmap>();
  Texture->SetPixelFormat(TPixelFormat::pf32bit);
  Texture->SetSize(Screen->Width(), Height);
  if (!Texture->Canvas().DrawThemePart({0, 0, Texture->Width(), Height}, wpCaption, csInactive)) return nullptr;
  double Sum = 0;
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Texture->Width(); ++X) Sum += Brightness(Texture->Pixel(X, Y)) / 6.0;
  const double Mean = Sum / (static_cast<double>(Texture->Width()) * Height);
  IsBrightTheme = Mean > 230;
  const int D = Mean <= 200 ? 5 : 6;
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Texture->Width(); ++X) {
      const auto Grey = static_cast<TColor>(std::min(255, (Brightness(Texture->Pixel(X, Y)) + 3) / D));
      Texture->SetPixel(X, Y, Grey | Grey << 8 | Grey << 16);
    }
  CaptionTexture = std::move(Texture);
  return CaptionTexture.get();
}

TColor Darken(TColor C, int Grey) {
  TColor Result = 0;
  for (int Shift : {0, 8, 16}) Result |= static_cast<TColor>(((C >> Shift) & 0xFF) * Grey / 255) << Shift;
  return Result;
}

} // namespace

void DropCaptionTexture() { CaptionTexture.reset(); }
bool BrightTheme() { return IsBrightTheme; }

bool TStyleForm::PaintCaption(TCanvas& Canvas, bool Active) {
  if (!Canvas.Target() || BorderStyle() == TFormBorderStyle::bsNone) return false;
  if (VisualStylesActive()) return PaintThemedCaption(Canvas, Active);
  PaintPlainCaption(Canvas, Active);
  return true;
}

void TStyleForm::PaintIconAndText(TCanvas& Canvas, bool Active, int Right) {
  const int H = Canvas.Target()->Height();
  int TextLeft = 2;
  if (HasIcon(BorderStyle())) {
    // Forms of the toolkit carry the system's application icon.
    Canvas.DrawIcon({1, 1, H - 1, H - 1}, TSystemIcon::siApplication);
    TextLeft = H + 1;
  }
  Canvas.Font = CaptionFontOf(BorderStyle());
  Canvas.Font.Color = Active ? clCaptionText : clInactiveCaptionText;
  Canvas.TextRect({TextLeft, 0, Right, H}, Caption(),
                  TCanvas::tfVerticalCenter | TCanvas::tfEndEllipsis | TCanvas::tfNoPrefix);
}

void TStyleForm::PaintPlainCaption(TCanvas& Canvas, bool Active) {
  const int W = Canvas.Target()->Width(), H = Canvas.Target()->Height();
  const int D = std::max(H - 1, 1);
  Canvas.Font = CaptionFontOf(BorderStyle());
  // A: where the coloured part ends in the bottom band; a caption too narrow for the text
  // and the decoration is coloured across.
  int A = Canvas.TextWidth(Caption()) + (HasIcon(BorderStyle()) ? 40 : 21);
  A = W - 60 < A ? Width() : std::max(A, W / 3);
  const TColor* Colors = Active ? ActiveCaptionColors_ : InactiveCaptionColors_;
  const TColor Bright = Colors[0], Dark = Colors[1];
  const int S = H / 4 + 1;
  for (int I = 1; I <= H / S + 1; ++I) {
    const int BandTop = H - I * S, Top = std::max(BandTop, 0), Bottom = BandTop + S;
    for (int Y = Top; Y < Bottom; ++Y) {
      Canvas.BrushColor = BlendColor(Dark, Bright, Y, D);
      Canvas.FillRect({0, Y, A, Y + 1});
      Canvas.BrushColor = BlendColor(ShadeColor_, FaceColor_, Y, D);
      Canvas.FillRect({A, Y, W, Y + 1});
    }
    if (Top < Bottom) {
      // The step this band makes beyond the one above it: lit on top, shaded on the right.
      Canvas.PenColor = Bright;
      Canvas.MoveTo(std::max(A - S, 0), Top);
      Canvas.LineTo(A, Top);
      Canvas.PenColor = Dark;
      Canvas.MoveTo(A - 1, Top);
      Canvas.LineTo(A - 1, Bottom);
    }
    if (BandTop > 0) {
      const TColor Fill = BlendColor(Dark, Bright, BandTop + S / 2, D);
      Canvas.DrawBevel({A + S, BandTop, A + 2 * S, BandTop + S}, Bright, Fill, Dark);
      if (I == 1) Canvas.DrawBevel({A + 3 * S, BandTop, A + 4 * S, BandTop + S}, Bright, Fill, Dark);
    }
    A -= S;
  }
  const auto Buttons = CaptionButtons(BorderStyle(), W, H);
  for (const auto& B : Buttons) Canvas.DrawCaptionButton(B.Rect, B.Kind, B.Enabled);
  PaintIconAndText(Canvas, Active, ButtonsLeft(Buttons, W) - 2);
}

bool TStyleForm::PaintThemedCaption(TCanvas& Canvas, bool Active) {
  const TFormBorderStyle Style = BorderStyle();
  if (IsToolWindow(Style)) return false;
  const int W = Canvas.Target()->Width(), H = Canvas.Target()->Height();
  const int TextureHeight = CaptionRect().Bottom;
  const TBitmap* Texture = CaptionTexture ? CaptionTexture.get() : MakeCaptionTexture(TextureHeight);
  if (!Texture || (!Active && IsBrightTheme)) return false;
  const auto Buttons = CaptionButtons(Style, W, H);
  Canvas.Font = CaptionFontOf(Style);
  const int Needed = Canvas.TextWidth(Caption()) + (HasIcon(Style) ? 41 : 21);
  if (W - 2 * Texture->Height() - (W - ButtonsLeft(Buttons, W)) < Needed) return false;
  const int Left = std::max(Needed, W / 3), Right = ButtonsLeft(Buttons, W);

  // The theme's caption drawn twice as high, so that its lower edge stays out of sight.
  TBitmap Element;
  Element.SetPixelFormat(TPixelFormat::pf32bit);
  Element.SetSize(W, 2 * H);
  if (!Element.Canvas().DrawThemePart({0, 0, W, 2 * H}, wpCaption, Active ? csActive : csInactive)) return false;
  TBitmap& Target = *Canvas.Target();
  const int TextureTop = Texture->Height() - H;
  auto Textured = [&](int X, int Y) {
    // Clamped: a form wider than the screen, or a caption higher than the texture's.
    const int TX = std::clamp(Texture->Width() - W + X, 0, Texture->Width() - 1);
    const int TY = std::clamp(TextureTop + Y, 0, Texture->Height() - 1);
    return Darken(Element.Pixel(X, Y), static_cast<int>(Texture->Pixel(TX, TY) & 0xFF));
  };
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) Target.SetPixel(X, Y, X >= Left && X < Right ? Textured(X, Y) : Element.Pixel(X, Y));
  // Left of the textured part, squares of it in four rows, one more square each row down.
  const int S = std::max(H / 4, 1);
  for (int Row = 0; Row < 4; ++Row)
    for (int K = 1; K <= Row + 1; ++K) {
      const int X0 = Left - 2 * K * S;
      for (int Y = Row * S; Y < std::min((Row + 1) * S, H); ++Y)
        for (int X = std::max(X0, 0); X < X0 + S; ++X) Target.SetPixel(X, Y, Textured(X, Y));
    }
  for (const auto& B : Buttons)
    if (!Canvas.DrawThemePart(B.Rect, B.ThemePart, B.Enabled ? cbsNormal : cbsDisabled))
      Canvas.DrawCaptionButton(B.Rect, B.Kind, B.Enabled);
  PaintIconAndText(Canvas, Active, Right - 2);
  return true;
}
