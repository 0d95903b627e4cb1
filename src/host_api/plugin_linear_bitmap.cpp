#include "host_api/plugin_linear_bitmap.h"

#include <climits>
#include <cstring>

TPluginLinearBitmap::TPluginLinearBitmap(const THostImage& Image) { AttachHostImage(Image); }

TPluginLinearBitmap::~TPluginLinearBitmap() { TPluginLinearBitmap::Clear(); }

void TPluginLinearBitmap::AttachHostImage(const THostImage& Image) {
  Clear();
  if (Image.Width < 1 || Image.Height < 1 || !Image.Pixels)
    throw ELinearBitmap("Invalid bitmap size");
  HostPixels = Image.Pixels;
  HostPalette = Image.Palette;
  TLinearPixelFormat Format;
  switch (Image.PixelSize) {
    case 1: Format = lpf8Bit; break;
    case 3: Format = lpf24Bit; break;
    case 4: Format = lpf32Bit; break;
    default: throw ELinearBitmap("Unsupported pixel format");
  }
  // The record's line length must hold a row and its buffer must be addressable with the
  // 32-bit sizes the bitmap uses; anything else would read past the host's buffer.
  const std::int64_t RowBytes = std::int64_t(Image.Width) * Image.PixelSize;
  if (Image.BytesPerLine < RowBytes || std::int64_t(Image.BytesPerLine) * Image.Height > INT32_MAX)
    throw ELinearBitmap("Invalid bitmap size");
  if (Format == lpf8Bit) {
    if (Image.Palette) {
      Palette = reinterpret_cast<TPaletteTable*>(Image.Palette);
    } else {
      Palette = static_cast<TPaletteTable*>(AllocMem(sizeof(TPaletteTable)));
      *Palette = GreyPalette;
    }
  }
  PixelFormat = Format;
  PixelSize = Image.PixelSize;
  Map = Image.Pixels;
  Width = Image.Width;
  Height = Image.Height;
  BytesPerLine = Image.BytesPerLine;
  Size = BytesPerLine * Height;
  Present = true;
}

void TPluginLinearBitmap::Clear() {
  if (Map && Map == HostPixels) Map = nullptr;
  if (Palette && reinterpret_cast<std::uint8_t*>(Palette) == HostPalette) Palette = nullptr;
  HostPixels = nullptr;
  HostPalette = nullptr;
  TLinearBitmap::Clear();
}

void TPluginLinearBitmap::PackRows() {
  const int RowBytes = Width * PixelSize;
  if (!Present || RowBytes == BytesPerLine) return;
  auto* Packed = static_cast<std::uint8_t*>(AllocMem(std::size_t(RowBytes) * Height + 1));
  for (int Y = 0; Y < Height; ++Y)
    std::memcpy(Packed + std::ptrdiff_t(Y) * RowBytes, Map + std::ptrdiff_t(Y) * BytesPerLine, RowBytes);
  if (Map != HostPixels) FreeMemAndNil(Map);
  HostPixels = nullptr;
  Map = Packed;
  BytesPerLine = RowBytes;
  Size = RowBytes * Height;
}

void TPluginLinearBitmap::ReleaseMap(std::uint8_t* Block) {
  if (Block && Block == HostPixels) {
    HostPixels = nullptr; // detach: the host's buffer is the host's
    return;
  }
  TLinearBitmap::ReleaseMap(Block);
}

void TPluginLinearBitmap::ReleasePalette(TPaletteTable* Block) {
  if (Block && reinterpret_cast<std::uint8_t*>(Block) == HostPalette) {
    HostPalette = nullptr;
    return;
  }
  TLinearBitmap::ReleasePalette(Block);
}

void FillHostImage(TLinearBitmap* Bitmap, THostImage& Record, bool HandOver) {
  std::memset(&Record, 0, sizeof(Record));
  if (!Bitmap) return;
  switch (Bitmap->PixelFormat) {
    case lpf8Bit: Record.PixelSize = 1; break;
    case lpf24Bit: Record.PixelSize = 3; break;
    default: throw ELinearBitmap("Unsupported pixel format");
  }
  Record.Width = Bitmap->Width;
  Record.Height = Bitmap->Height;
  Record.BytesPerLine = Bitmap->BytesPerLine;
  Record.Pixels = Bitmap->Map;
  Record.Palette = reinterpret_cast<std::uint8_t*>(Bitmap->Palette);
  if (HandOver) {
    Bitmap->Map = nullptr;
    Bitmap->Palette = nullptr;
    Bitmap->Clear();
  }
}
