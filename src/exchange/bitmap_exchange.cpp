#include "exchange/bitmap_exchange.h"

#include <algorithm>
#include <cstring>

using toolkit::TBitmap;
using toolkit::TPixelFormat;

namespace {

constexpr std::uint8_t PaletteReserved = 1;

bool ReadableFormat(TPixelFormat Format) {
  return Format == TPixelFormat::pf8bit || Format == TPixelFormat::pf24bit || Format == TPixelFormat::pf32bit;
}

void ReadToolkitBitmap(TLinearBitmap& Bitmap, const TBitmap& Source) {
  if (Source.Width() == 0 || Source.Height() == 0) return Bitmap.Clear();
  // The toolkit's format values are the linear bitmap's.
  Bitmap.New(Source.Width(), Source.Height(), static_cast<TLinearPixelFormat>(Source.PixelFormat()), 0);
  const int RowBytes = Bitmap.Width * Bitmap.PixelSize;
  for (int Y = 0; Y < Bitmap.Height; ++Y) std::memcpy(Bitmap.ScanLine(Y), Source.ScanLine(Y), RowBytes);
  if (Bitmap.PixelFormat == lpf8Bit) ReadPaletteHandle(Source.Palette(), 256, *Bitmap.Palette);
}

// Source kinds in their order: a bitmap of a readable format, any other graphic (through a
// 24-bit copy when the toolkit cannot convert it), then a picture.
bool ReadFromToolkit(TLinearBitmap& Bitmap, const TObject* Source) {
  if (auto* Toolkit = dynamic_cast<const TBitmap*>(Source); Toolkit && ReadableFormat(Toolkit->PixelFormat())) {
    ReadToolkitBitmap(Bitmap, *Toolkit);
    return true;
  }
  if (auto* Graphic = dynamic_cast<const toolkit::TGraphic*>(Source)) {
    TBitmap Temporary;
    try {
      Temporary.Assign(Graphic);
      if (!ReadableFormat(Temporary.PixelFormat())) Temporary.SetPixelFormat(TPixelFormat::pf24bit);
    } catch (const Exception&) {
      Temporary.SetPixelFormat(TPixelFormat::pf24bit);
      Temporary.SetSize(Graphic->Width(), Graphic->Height());
      Temporary.Canvas().Draw(0, 0, *Graphic);
    }
    ReadToolkitBitmap(Bitmap, Temporary);
    return true;
  }
  if (auto* Picture = dynamic_cast<const toolkit::TPicture*>(Source)) {
    TBitmap Temporary;
    Temporary.Assign(Picture);
    if (Temporary.PixelFormat() != TPixelFormat::pf8bit && Temporary.PixelFormat() != TPixelFormat::pf24bit)
      Temporary.SetPixelFormat(TPixelFormat::pf24bit);
    ReadToolkitBitmap(Bitmap, Temporary);
    return true;
  }
  return false;
}

void WriteToolkitBitmap(const TLinearBitmap& Bitmap, TBitmap& Dest) {
  if (!Bitmap.Present) return;
  const bool Grey16 = Bitmap.PixelFormat == lpf16Bit;
  Dest.SetPixelFormat(Grey16 ? TPixelFormat::pf8bit : static_cast<TPixelFormat>(Bitmap.PixelFormat));
  if (Bitmap.PixelFormat == lpf8Bit) Dest.SetPalette(MakePaletteHandle(*Bitmap.Palette, 256));
  if (Grey16) Dest.SetPalette(MakePaletteHandle(GreyPalette, 256));
  Dest.SetWidth(Bitmap.Width);
  Dest.SetHeight(Bitmap.Height);
  CopyToBitmap(Bitmap, Dest);
}

bool WriteToToolkit(const TLinearBitmap& Bitmap, TObject* Dest) {
  if (auto* Toolkit = dynamic_cast<TBitmap*>(Dest)) {
    WriteToolkitBitmap(Bitmap, *Toolkit);
    return true;
  }
  if (auto* Picture = dynamic_cast<toolkit::TPicture*>(Dest)) {
    WriteToolkitBitmap(Bitmap, Picture->Bitmap());
    return true;
  }
  return false;
}

} // namespace

void InstallToolkitBitmapExchange() { BitmapExchange = {&ReadFromToolkit, &WriteToToolkit}; }

void CopyToBitmap(const TLinearBitmap& Bitmap, TBitmap& Dest) {
  if (!Bitmap.Present || Bitmap.Height < 1) return;
  const auto DestFormat = static_cast<int>(Dest.PixelFormat());
  const bool Same = DestFormat == Bitmap.PixelFormat;
  const bool PaletteTo24 = Bitmap.PixelFormat == lpf8Bit && Dest.PixelFormat() == TPixelFormat::pf24bit;
  const bool GreyTo8 = Bitmap.PixelFormat == lpf16Bit && Dest.PixelFormat() == TPixelFormat::pf8bit;
  if (!Same && !PaletteTo24 && !GreyTo8) throw ELinearBitmap("Unsupported pixel format");
  // The toolkit's row look-up is slow: ask for rows 0 and 1 and step by their distance.
  std::uint8_t* const Row0 = Dest.ScanLine(0);
  const std::ptrdiff_t Step = Bitmap.Height > 1 ? Dest.ScanLine(1) - Row0 : 0;
  for (int Y = 0; Y < Bitmap.Height; ++Y) {
    std::uint8_t* To = Row0 + Y * Step;
    const std::uint8_t* From = Bitmap.ScanLine(Y);
    if (Same) {
      std::memcpy(To, From, static_cast<std::size_t>(Bitmap.Width) * Bitmap.PixelSize);
    } else if (PaletteTo24) {
      for (int X = 0; X < Bitmap.Width; ++X) {
        const TColorTriple& C = (*Bitmap.Palette)[From[X]];
        To[3 * X] = C.Blue, To[3 * X + 1] = C.Green, To[3 * X + 2] = C.Red;
      }
    } else {
      for (int X = 0; X < Bitmap.Width; ++X) To[X] = From[2 * X + 1];
    }
  }
}

std::vector<toolkit::TPaletteEntry> MakePaletteHandle(const TPaletteTable& Palette, int Count) {
  std::vector<toolkit::TPaletteEntry> Entries;
  for (int I = 0; I < std::clamp(Count, 0, 256); ++I)
    Entries.push_back({Palette[I].Red, Palette[I].Green, Palette[I].Blue, PaletteReserved});
  return Entries;
}

void ReadPaletteHandle(const std::vector<toolkit::TPaletteEntry>& Handle, int Count, TPaletteTable& Palette) {
  if (Handle.empty()) {
    Palette = GreyPalette;
    return;
  }
  const int Read = std::min(std::clamp(Count, 0, 256), static_cast<int>(Handle.size()));
  for (int I = 0; I < 256; ++I)
    Palette[I] = I < Read ? TColorTriple{Handle[I].Blue, Handle[I].Green, Handle[I].Red} : TColorTriple{0, 0, 0};
}
