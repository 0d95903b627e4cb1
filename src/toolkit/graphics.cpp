#include "toolkit/graphics.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <typeinfo>

#include "toolkit/backend.h"

namespace toolkit {

TColor ColorToRGB(TColor Color) {
  return (Color & clSystemColor) ? backend::SystemColor(static_cast<int>(Color & 0xFF)) : Color;
}

namespace {

std::uint8_t R(TColor C) { return C & 0xFF; }
std::uint8_t G(TColor C) { return (C >> 8) & 0xFF; }
std::uint8_t B(TColor C) { return (C >> 16) & 0xFF; }
TColor Rgb(int Red, int Green, int Blue) {
  return static_cast<TColor>(Red | (Green << 8) | (Blue << 16));
}

// The palette a bitmap gets when it enters an indexed format without one: black and white,
// the sixteen standard colours, or 256 grey levels.
std::vector<TPaletteEntry> DefaultPalette(TPixelFormat Format) {
  static const TColor Vga[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                 0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  std::vector<TPaletteEntry> Palette;
  if (Format == TPixelFormat::pf1bit) {
    Palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  } else if (Format == TPixelFormat::pf4bit) {
    for (TColor C : Vga) Palette.push_back({R(C), G(C), B(C), 0});
  } else {
    for (int I = 0; I < 256; ++I) {
      const auto V = static_cast<std::uint8_t>(I);
      Palette.push_back({V, V, V, 0});
    }
  }
  return Palette;
}

bool Indexed(TPixelFormat F) {
  return F == TPixelFormat::pf1bit || F == TPixelFormat::pf4bit || F == TPixelFormat::pf8bit;
}

} // namespace

// ===== TBitmap =====

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

int TBitmap::BitsPerPixel() const {
  switch (PixelFormat_) {
  case TPixelFormat::pf1bit: return 1;
  case TPixelFormat::pf4bit: return 4;
  case TPixelFormat::pf8bit: return 8;
  case TPixelFormat::pf15bit:
  case TPixelFormat::pf16bit: return 16;
  case TPixelFormat::pf24bit: return 24;
  default: return 32;
  }
}

void TBitmap::Reallocate(int Width, int Height, TPixelFormat Format) {
  if (Width < 0 || Height < 0) throw EInvalidGraphic("Invalid bitmap size");
  TBitmap Old;
  Old.Width_ = Width_;
  Old.Height_ = Height_;
  Old.RowBytes_ = RowBytes_;
  Old.PixelFormat_ = PixelFormat_;
  Old.Bits_ = std::move(Bits_);
  Old.Palette_ = Palette_;

  PixelFormat_ = Format;
  const long long Row = (static_cast<long long>(Width) * BitsPerPixel() + 31) / 32 * 4;
  if (Row * Height > INT_MAX) {
    PixelFormat_ = Old.PixelFormat_;
    Bits_ = std::move(Old.Bits_);
    throw EInvalidGraphic("Invalid bitmap size");
  }
  RowBytes_ = static_cast<int>(Row);
  Width_ = Width;
  Height_ = Height;
  Bits_.assign(static_cast<std::size_t>(Row * Height), 0);
  if (!Indexed(Format)) Palette_.clear();
  else if (!Indexed(Old.PixelFormat_) || Format != Old.PixelFormat_) Palette_ = DefaultPalette(Format);
  if (Format == Old.PixelFormat_ && Old.Bits_.size()) {
    const int Rows = std::min(Height, Old.Height_);
    const int Bytes = std::min(RowBytes_, Old.RowBytes_);
    for (int Y = 0; Y < Rows; ++Y)
      std::memcpy(&Bits_[Y * RowBytes_], &Old.Bits_[Y * Old.RowBytes_], Bytes);
    return;
  }
  const int Rows = std::min(Height, Old.Height_), Cols = std::min(Width, Old.Width_);
  for (int Y = 0; Y < Rows; ++Y)
    for (int X = 0; X < Cols; ++X) SetPixel(X, Y, Old.Pixel(X, Y));
}

void TBitmap::SetWidth(int Width) { SetSize(Width, Height_); }
void TBitmap::SetHeight(int Height) { SetSize(Width_, Height); }

void TBitmap::SetSize(int Width, int Height) {
  if (Width != Width_ || Height != Height_) Reallocate(Width, Height, PixelFormat_);
}

void TBitmap::SetPixelFormat(TPixelFormat Format) {
  if (Format != PixelFormat_) Reallocate(Width_, Height_, Format);
}

std::uint8_t* TBitmap::ScanLine(int Y) {
  return const_cast<std::uint8_t*>(static_cast<const TBitmap*>(this)->ScanLine(Y));
}

const std::uint8_t* TBitmap::ScanLine(int Y) const {
  if (Y < 0 || Y >= Height_) throw EInvalidGraphic("Scan line index out of range");
  return Bits_.data() + static_cast<std::size_t>(Y) * RowBytes_;
}

void TBitmap::SetPalette(std::vector<TPaletteEntry> Palette) {
  if (Palette.size() > 256) Palette.resize(256);
  Palette_ = std::move(Palette);
}

TColor TBitmap::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= Width_ || Y >= Height_) return 0;
  const std::uint8_t* Row = ScanLine(Y);
  auto FromPalette = [&](unsigned Index) -> TColor {
    if (Index >= Palette_.size()) return 0;
    const TPaletteEntry& E = Palette_[Index];
    return Rgb(E.Red, E.Green, E.Blue);
  };
  switch (PixelFormat_) {
  case TPixelFormat::pf1bit: return FromPalette((Row[X / 8] >> (7 - X % 8)) & 1);
  case TPixelFormat::pf4bit: return FromPalette((Row[X / 2] >> (X % 2 ? 0 : 4)) & 15);
  case TPixelFormat::pf8bit: return FromPalette(Row[X]);
  case TPixelFormat::pf15bit:
  case TPixelFormat::pf16bit: {
    const unsigned V = Row[2 * X] | (Row[2 * X + 1] << 8);
    const bool Five = PixelFormat_ == TPixelFormat::pf15bit;
    const unsigned Red = Five ? (V >> 10) & 31 : (V >> 11) & 31;
    const unsigned Green = Five ? ((V >> 5) & 31) * 255 / 31 : ((V >> 5) & 63) * 255 / 63;
    return Rgb(Red * 255 / 31, Green, (V & 31) * 255 / 31);
  }
  case TPixelFormat::pf24bit: return Rgb(Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]);
  default: return Rgb(Row[4 * X + 2], Row[4 * X + 1], Row[4 * X]);
  }
}

void TBitmap::SetPixel(int X, int Y, TColor Color) {
  if (X < 0 || Y < 0 || X >= Width_ || Y >= Height_) return;
  std::uint8_t* Row = ScanLine(Y);
  auto Nearest = [&]() -> unsigned {
    unsigned Best = 0;
    long BestDistance = LONG_MAX;
    for (unsigned I = 0; I < Palette_.size(); ++I) {
      const long DR = Palette_[I].Red - R(Color), DG = Palette_[I].Green - G(Color),
                 DB = Palette_[I].Blue - B(Color);
      const long D = DR * DR + DG * DG + DB * DB;
      if (D < BestDistance) BestDistance = D, Best = I;
    }
    return Best;
  };
  switch (PixelFormat_) {
  case TPixelFormat::pf1bit: {
    const int Shift = 7 - X % 8;
    Row[X / 8] = static_cast<std::uint8_t>((Row[X / 8] & ~(1 << Shift)) | (Nearest() << Shift));
    break;
  }
  case TPixelFormat::pf4bit: {
    const int Shift = X % 2 ? 0 : 4;
    Row[X / 2] = static_cast<std::uint8_t>((Row[X / 2] & ~(15 << Shift)) | (Nearest() << Shift));
    break;
  }
  case TPixelFormat::pf8bit: Row[X] = static_cast<std::uint8_t>(Nearest()); break;
  case TPixelFormat::pf15bit:
  case TPixelFormat::pf16bit: {
    const bool Five = PixelFormat_ == TPixelFormat::pf15bit;
    const unsigned V = Five ? ((R(Color) >> 3) << 10) | ((G(Color) >> 3) << 5) | (B(Color) >> 3)
                            : ((R(Color) >> 3) << 11) | ((G(Color) >> 2) << 5) | (B(Color) >> 3);
    Row[2 * X] = V & 0xFF;
    Row[2 * X + 1] = static_cast<std::uint8_t>(V >> 8);
    break;
  }
  case TPixelFormat::pf24bit:
    Row[3 * X] = B(Color), Row[3 * X + 1] = G(Color), Row[3 * X + 2] = R(Color);
    break;
  default:
    Row[4 * X] = B(Color), Row[4 * X + 1] = G(Color), Row[4 * X + 2] = R(Color), Row[4 * X + 3] = 0;
  }
}

void TBitmap::Assign(const TObject* Source) {
  const auto* Other = dynamic_cast<const TBitmap*>(Source);
  if (!Other) return TGraphic::Assign(Source);
  if (Other == this) return;
  Width_ = Other->Width_;
  Height_ = Other->Height_;
  RowBytes_ = Other->RowBytes_;
  PixelFormat_ = Other->PixelFormat_;
  Bits_ = Other->Bits_;
  Palette_ = Other->Palette_;
}

TCanvas& TBitmap::Canvas() {
  if (!Canvas_) Canvas_ = std::make_unique<TCanvas>(this);
  return *Canvas_;
}

void TBitmap::LoadFromResourceName(const std::string& Name) {
  if (!backend::LoadBitmapResource(Name, *this))
    throw EResNotFound("Resource " + Name + " not found");
}

// ===== TPicture =====

namespace {
// The picture's graphic as a T, replacing a graphic of any other kind by an empty T.
template <typename T> T& GraphicAs(std::unique_ptr<TGraphic>& Graphic) {
  if (auto* Existing = dynamic_cast<T*>(Graphic.get())) return *Existing;
  auto Fresh = std::make_unique<T>();
  T& Result = *Fresh;
  Graphic = std::move(Fresh);
  return Result;
}
} // namespace

TBitmap& TPicture::Bitmap() { return GraphicAs<TBitmap>(Graphic_); }

TIcon& TPicture::Icon() { return GraphicAs<TIcon>(Graphic_); }

void TPicture::AssignTo(TObject* Dest) const {
  const TGraphic* Graphic = Graphic_.get();
  if (Graphic && Dest && typeid(*Graphic) == typeid(*Dest)) {
    static_cast<TAssignObject*>(Dest)->Assign(Graphic);
    return;
  }
  TAssignObject::AssignTo(Dest);
}

// ===== TCanvas =====

TSize TCanvas::TextExtent(const std::string& Text) const { return backend::TextExtent(Font, Text); }

TSize TCanvas::MeasureWrapped(const std::string& Text, int MaxWidth) const {
  const int LineHeight = TextExtent("").Height;
  const int TabWidth = 8 * TextExtent("x").Width;
  int Widest = 0, Lines = 0;
  std::size_t Start = 0;
  // Lines are measured paragraph by paragraph; within one, words join the line while it
  // still fits MaxWidth.
  while (Start <= Text.size()) {
    std::size_t End = Text.find('\n', Start);
    if (End == std::string::npos) End = Text.size();
    std::string Paragraph = Text.substr(Start, End - Start);
    if (!Paragraph.empty() && Paragraph.back() == '\r') Paragraph.pop_back();
    std::string Expanded;
    for (char C : Paragraph) {
      if (C != '\t') Expanded += C;
      else do Expanded += ' '; while (TabWidth > 0 && TextWidth(Expanded) % TabWidth != 0);
    }
    std::string Line;
    std::size_t Pos = 0;
    while (true) {
      std::size_t WordEnd = Expanded.find(' ', Pos);
      if (WordEnd == std::string::npos) WordEnd = Expanded.size();
      const std::string Word = Expanded.substr(Pos, WordEnd - Pos);
      const std::string Joined = Line.empty() ? Word : Line + " " + Word;
      if (!Line.empty() && TextWidth(Joined) > MaxWidth) {
        Widest = std::max(Widest, TextWidth(Line));
        ++Lines;
        Line = Word;
      } else {
        Line = Joined;
      }
      if (WordEnd >= Expanded.size()) break;
      Pos = WordEnd + 1;
    }
    Widest = std::max(Widest, TextWidth(Line));
    ++Lines;
    Start = End + 1;
  }
  return {Widest, Lines * LineHeight};
}

void TCanvas::FillRect(const TRect& Rect) {
  if (!Target_) return;
  const TColor Color = ColorToRGB(BrushColor);
  const int Left = std::max(Rect.Left, 0), Right = std::min(Rect.Right, Target_->Width());
  for (int Y = std::max(Rect.Top, 0); Y < std::min(Rect.Bottom, Target_->Height()); ++Y) {
    if (Target_->PixelFormat() == TPixelFormat::pf32bit || Target_->PixelFormat() == TPixelFormat::pfDevice) {
      // Painting fills whole windows: 32-bit rows are written directly.
      const std::uint32_t Bgr = ((Color & 0xFF) << 16) | (Color & 0xFF00) | ((Color >> 16) & 0xFF);
      auto* Row = reinterpret_cast<std::uint32_t*>(Target_->ScanLine(Y));
      if (Left < Right) std::fill(Row + Left, Row + Right, Bgr);
      continue;
    }
    for (int X = Left; X < Right; ++X) Target_->SetPixel(X, Y, Color);
  }
}

void TCanvas::LineTo(int X, int Y) {
  if (Target_) {
    // Bresenham; the end point is left out, as GDI leaves it.
    const TColor Color = ColorToRGB(PenColor);
    int X0 = PenPos_.X, Y0 = PenPos_.Y;
    const int DX = std::abs(X - X0), DY = -std::abs(Y - Y0);
    const int SX = X0 < X ? 1 : -1, SY = Y0 < Y ? 1 : -1;
    int Error = DX + DY;
    while (X0 != X || Y0 != Y) {
      Target_->SetPixel(X0, Y0, Color);
      const int E2 = 2 * Error;
      if (E2 >= DY) Error += DY, X0 += SX;
      if (E2 <= DX) Error += DX, Y0 += SY;
    }
  }
  PenPos_ = {X, Y};
}

void TCanvas::Draw(int X, int Y, const TGraphic& Graphic) {
  if (!Target_) return;
  if (const auto* Icon = dynamic_cast<const TIcon*>(&Graphic)) {
    if (Icon->Icon == TSystemIcon::siNone) return;
    TBitmap Image;
    backend::RenderSystemIcon(Icon->Icon, ColorToRGB(BrushColor), Image);
    return Draw(X, Y, Image);
  }
  const auto* Source = dynamic_cast<const TBitmap*>(&Graphic);
  if (!Source) return;
  for (int SY = 0; SY < Source->Height(); ++SY)
    for (int SX = 0; SX < Source->Width(); ++SX) Target_->SetPixel(X + SX, Y + SY, Source->Pixel(SX, SY));
}

void TCanvas::DrawTransparent(int X, int Y, const TBitmap& Bitmap, const TRect& Source) {
  if (!Target_ || Bitmap.Empty()) return;
  const TColor Key = Bitmap.Pixel(0, Bitmap.Height() - 1);
  for (int SY = Source.Top; SY < Source.Bottom; ++SY)
    for (int SX = Source.Left; SX < Source.Right; ++SX)
      if (const TColor C = Bitmap.Pixel(SX, SY); C != Key)
        Target_->SetPixel(X + SX - Source.Left, Y + SY - Source.Top, C);
}

void TCanvas::DrawBevel(const TRect& Rect, TColor Light, TColor Fill, TColor Dark) {
  if (Rect.Width() <= 0 || Rect.Height() <= 0) return;
  BrushColor = Fill;
  FillRect(Rect);
  PenColor = Light;
  MoveTo(Rect.Left, Rect.Bottom - 1);
  LineTo(Rect.Left, Rect.Top);
  LineTo(Rect.Right, Rect.Top);
  PenColor = Dark;
  MoveTo(Rect.Right - 1, Rect.Top + 1);
  LineTo(Rect.Right - 1, Rect.Bottom - 1);
  LineTo(Rect.Left - 1, Rect.Bottom - 1);
}

void TCanvas::DrawEdge(const TRect& Rect, bool Raised) {
  // Two rings as the system draws a button: outer light / dark-shadow and inner highlight /
  // shadow when raised; swapped when sunken.
  auto Ring = [&](const TRect& R, TColor TopLeft, TColor BottomRight) {
    if (R.Width() <= 0 || R.Height() <= 0) return;
    PenColor = TopLeft;
    MoveTo(R.Left, R.Bottom - 1);
    LineTo(R.Left, R.Top);
    LineTo(R.Right, R.Top);
    PenColor = BottomRight;
    MoveTo(R.Right - 1, R.Top);
    LineTo(R.Right - 1, R.Bottom - 1);
    LineTo(R.Left - 1, R.Bottom - 1);
  };
  const TRect Inner{Rect.Left + 1, Rect.Top + 1, Rect.Right - 1, Rect.Bottom - 1};
  if (Raised) {
    Ring(Rect, cl3DLight, cl3DDkShadow);
    Ring(Inner, clBtnHighlight, clBtnShadow);
  } else {
    Ring(Rect, clBtnShadow, clBtnHighlight);
    Ring(Inner, cl3DDkShadow, cl3DLight);
  }
}

void TCanvas::DrawIcon(const TRect& Rect, TSystemIcon Icon) {
  if (Target_ && Icon != TSystemIcon::siNone && Rect.Width() > 0 && Rect.Height() > 0)
    backend::RenderIcon(*Target_, Rect, Icon);
}

void TCanvas::DrawCaptionButton(const TRect& Rect, TCaptionButton Button, bool Enabled) {
  if (Target_ && Rect.Width() > 0 && Rect.Height() > 0)
    backend::RenderCaptionButton(*Target_, Rect, Button, Enabled);
}

bool TCanvas::DrawThemePart(const TRect& Rect, int Part, int State) {
  return Target_ && Rect.Width() > 0 && Rect.Height() > 0 &&
         backend::RenderThemePart(*Target_, Rect, Part, State);
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  if (!Target_ || Text.empty()) return;
  backend::RenderText(*Target_, Font, {X, Y, Target_->Width(), Target_->Height()}, {X, Y}, Text);
}

std::string TCanvas::FitText(const std::string& Text, int Width) const {
  if (TextWidth(Text) <= Width) return Text;
  std::size_t Length = Text.size();
  while (Length > 0 && TextWidth(Text.substr(0, Length) + "...") > Width) --Length;
  return Text.substr(0, Length) + "...";
}

void TCanvas::TextRect(const TRect& Rect, const std::string& Text, unsigned Flags) {
  std::string Shown;
  std::size_t Marked = std::string::npos;
  if (Flags & tfNoPrefix) {
    Shown = Text;
  } else {
    for (std::size_t I = 0; I < Text.size(); ++I) {
      if (Text[I] == '&') {
        if (++I == Text.size()) break;
        if (Text[I] != '&' && Marked == std::string::npos) Marked = Shown.size();
      }
      Shown += Text[I];
    }
  }
  if (Flags & tfEndEllipsis) {
    const std::size_t Full = Shown.size();
    Shown = FitText(Shown, Rect.Width());
    // The ellipsis may have cut the marked character off.
    if (Shown.size() != Full && Marked + 3 >= Shown.size()) Marked = std::string::npos;
  }
  const int Width = TextWidth(Shown), Height = TextHeight(Shown);
  int X = Rect.Left, Y = Rect.Top;
  if (Flags & tfRight) X = Rect.Right - Width;
  else if ((Flags & tfCenter) && Width < Rect.Width()) X += (Rect.Width() - Width) / 2;
  if (Flags & tfVerticalCenter) Y += (Rect.Height() - Height) / 2;
  if (!Target_ || Shown.empty()) return;
  backend::RenderText(*Target_, Font, Rect, {X, Y}, Shown);
  if ((Flags & tfHidePrefix) || Marked >= Shown.size()) return;
  const int Left = X + TextWidth(Shown.substr(0, Marked)), Right = Left + TextWidth(Shown.substr(Marked, 1));
  const int Line = Y + Height - 1;
  const TColor SavedBrush = BrushColor;
  BrushColor = Font.Color;
  FillRect({std::max(Left, Rect.Left), std::max(Line, Rect.Top), std::min(Right, Rect.Right),
            std::min(Line + 1, Rect.Bottom)});
  BrushColor = SavedBrush;
}

std::string StripAccelChars(const std::string& Text) {
  std::string Shown;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '&' && ++I == Text.size()) break;
    Shown += Text[I];
  }
  return Shown;
}

} // namespace toolkit
