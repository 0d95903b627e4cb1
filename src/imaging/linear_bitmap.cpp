#include "imaging/linear_bitmap.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <typeinfo>

// ============================================================================
// Globals
// ============================================================================

namespace {

constexpr TPaletteTable MakeGreyPalette() {
  TPaletteTable Table{};
  for (int I = 0; I < 256; ++I) {
    auto Level = static_cast<std::uint8_t>(I);
    Table.Entries[I] = {Level, Level, Level};
  }
  return Table;
}

// Byte order of a 24-bit pixel in one little-endian word (the fourth byte is spare).
std::uint32_t PixelWord(TColorValue Color) {
  return static_cast<std::uint32_t>(ColorBlue(Color)) |
         static_cast<std::uint32_t>(ColorGreen(Color)) << 8 |
         static_cast<std::uint32_t>(ColorRed(Color)) << 16;
}

int PixelSizeOf(TLinearPixelFormat Format) {
  switch (Format) {
    case lpf8Bit: return 1;
    case lpf16Bit: return 2;
    case lpf24Bit: return 3;
    case lpf32Bit: return 4;
    default: return 0;
  }
}

constexpr std::int64_t MaxImageBytes = INT32_MAX;

std::uint8_t* AllocBuffer(std::int64_t Size) {
  return static_cast<std::uint8_t*>(AllocMem(static_cast<std::size_t>(Size) + 1));
}

TBitmapLoaders GlobalBitmapLoaders;

} // namespace

const TPaletteTable GreyPalette = MakeGreyPalette();

bool IsGreyPalette(const TPaletteTable* Palette) {
  return !Palette || std::memcmp(Palette, &GreyPalette, sizeof(TPaletteTable)) == 0;
}

std::uint8_t NearestPaletteIndex(TColorValue Color, const TPaletteTable& Palette) {
  const int Red = ColorRed(Color), Green = ColorGreen(Color), Blue = ColorBlue(Color);
  int Best = 0;
  int BestDistance = INT_MAX;
  for (int I = 0; I < 256; ++I) {
    const int DR = Palette[I].Red - Red, DG = Palette[I].Green - Green, DB = Palette[I].Blue - Blue;
    const int Distance = DR * DR + DG * DG + DB * DB;
    if (Distance < BestDistance) {
      Best = I;
      BestDistance = Distance;
      if (Distance == 0) break;
    }
  }
  return static_cast<std::uint8_t>(Best);
}

TBitmapLoaders::TBitmapLoaders() : Entries_(AllocMem(16 * sizeof(void*))) {}

TBitmapLoaders::~TBitmapLoaders() { FreeMemAndNil(Entries_); }

TBitmapLoaders& BitmapLoaders() { return GlobalBitmapLoaders; }

// ============================================================================
// Life cycle
// ============================================================================

TLinearBitmap::TLinearBitmap(int Width, int Height, TLinearPixelFormat PixelFormat) {
  New(Width, Height, PixelFormat, 0);
}

TLinearBitmap::TLinearBitmap(const TObject* Source) { Assign(Source); }

TLinearBitmap::~TLinearBitmap() {
  if (Present || Map || Palette) TLinearBitmap::Clear();
}

void TLinearBitmap::ReleaseMap(std::uint8_t* Block) { FreeMemAndNil(Block); }

void TLinearBitmap::ReleasePalette(TPaletteTable* Block) { FreeMemAndNil(Block); }

void TLinearBitmap::Clear() {
  std::uint8_t* OldMap = Map;
  TPaletteTable* OldPalette = Palette;
  Map = nullptr;
  Palette = nullptr;
  ReleaseMap(OldMap);
  ReleasePalette(OldPalette);
  Present = false;
  Width = 0;
  Height = 0;
  Size = 0;
  PixelSize = 0;
  PixelFormat = lpfNone;
}

void TLinearBitmap::New(int NewWidth, int NewHeight, TLinearPixelFormat NewFormat,
                        int NewBytesPerLine) {
  if (Present && NewWidth == Width && NewHeight == Height && NewFormat == PixelFormat) return;
  const int NewPixelSize = PixelSizeOf(NewFormat);
  if (NewPixelSize == 0) throw ELinearBitmap("Unsupported pixel format");
  if (NewWidth < 1 || NewHeight < 1) throw ELinearBitmap("Invalid bitmap size");

  std::uint8_t* OldMap = Map;
  Map = nullptr;
  Present = false;
  ReleaseMap(OldMap);
  try {
    PixelSize = NewPixelSize;
    if (NewFormat == lpf8Bit) {
      if (!Palette) Palette = static_cast<TPaletteTable*>(AllocMem(sizeof(TPaletteTable)));
    } else {
      TPaletteTable* OldPalette = Palette;
      Palette = nullptr;
      ReleasePalette(OldPalette);
    }
    if (std::int64_t(NewWidth) * NewHeight * NewPixelSize > MaxImageBytes)
      throw ELinearBitmap("Out of memory");
    Width = NewWidth;
    Height = NewHeight;
    BytesPerLine = NewWidth * NewPixelSize;
    if (NewBytesPerLine != 0) {
      if (NewBytesPerLine < BytesPerLine) throw ELinearBitmap("Invalid bitmap size");
      BytesPerLine = NewBytesPerLine;
    }
    // A generous line length must not overflow the 32-bit Size either.
    if (std::int64_t(BytesPerLine) * NewHeight > MaxImageBytes) throw ELinearBitmap("Out of memory");
    PixelFormat = NewFormat;
    Size = BytesPerLine * NewHeight;
    Map = AllocBuffer(Size);
    Present = true;
  } catch (...) {
    Clear();
    throw;
  }
}

// ============================================================================
// Copying
// ============================================================================

TBitmapExchange BitmapExchange;

void TLinearBitmap::Assign(const TObject* Source) {
  auto* From = dynamic_cast<const TLinearBitmap*>(Source);
  if (!From) {
    if (BitmapExchange.Read && BitmapExchange.Read(*this, Source)) return;
    TAssignObject::Assign(Source);
    return;
  }
  if (From == this) return;
  if (!From->Present) {
    Clear();
    return;
  }
  New(From->Width, From->Height, From->PixelFormat, 0);
  if (BytesPerLine == From->BytesPerLine) {
    std::memcpy(Map, From->Map, Size);
  } else {
    const int RowBytes = Width * PixelSize;
    for (int Y = 0; Y < Height; ++Y)
      std::memcpy(Map + std::ptrdiff_t(Y) * BytesPerLine,
                  From->Map + std::ptrdiff_t(Y) * From->BytesPerLine, RowBytes);
  }
  if (PixelFormat == lpf8Bit) *Palette = From->Palette ? *From->Palette : GreyPalette;
}

void TLinearBitmap::AssignTo(TObject* Dest) const {
  if (BitmapExchange.Write && BitmapExchange.Write(*this, Dest)) return;
  TAssignObject::AssignTo(Dest);
}

void TLinearBitmap::TakeOver(TLinearBitmap& Other) {
  if (&Other == this) return;
  Clear();
  if (typeid(Other) != typeid(TLinearBitmap)) {
    Assign(&Other);
    Other.Clear();
    return;
  }
  Width = Other.Width;
  Height = Other.Height;
  PixelFormat = Other.PixelFormat;
  PixelSize = Other.PixelSize;
  BytesPerLine = Other.BytesPerLine;
  Size = Other.Size;
  Present = Other.Present;
  Map = Other.Map;
  Palette = Other.Palette;
  Other.Map = nullptr;
  Other.Palette = nullptr;
  Other.Present = false;
}

std::uint8_t* TLinearBitmap::ScanLine(int Y) const { return Map + Y * BytesPerLine; }

void TLinearBitmap::PackRows() {
  const int RowBytes = Width * PixelSize;
  if (!Present || BytesPerLine == RowBytes) return;
  std::uint8_t* Packed = AllocBuffer(std::int64_t(RowBytes) * Height);
  for (int Y = 0; Y < Height; ++Y)
    std::memcpy(Packed + std::ptrdiff_t(Y) * RowBytes, Map + std::ptrdiff_t(Y) * BytesPerLine,
                RowBytes);
  ReplaceBuffer(Packed, RowBytes, PixelSize, PixelFormat);
}

void TLinearBitmap::ReplaceBuffer(std::uint8_t* NewMap, int NewBytesPerLine, int NewPixelSize,
                                  TLinearPixelFormat NewFormat) {
  std::uint8_t* OldMap = Map;
  Map = NewMap;
  ReleaseMap(OldMap);
  BytesPerLine = NewBytesPerLine;
  PixelSize = NewPixelSize;
  PixelFormat = NewFormat;
  Size = BytesPerLine * Height;
}

// ============================================================================
// Pixel writes
// ============================================================================

void TLinearBitmap::Fill(std::uint8_t Value) {
  if (Map) std::memset(Map, Value, Size);
}

void TLinearBitmap::FillColor(TColorValue Color) {
  if (!Map) return;
  if (Color == 0) {
    std::memset(Map, 0, Size);
  } else if (PixelFormat == lpf24Bit) {
    // Whole words per pixel; each spills one byte into the next pixel, which overwrites it.
    // The last pixel of a row goes byte by byte so padding and the spare byte stay untouched.
    const std::uint32_t Word = PixelWord(Color);
    for (int Y = 0; Y < Height; ++Y) {
      std::uint8_t* P = Map + std::ptrdiff_t(Y) * BytesPerLine;
      for (int X = 0; X < Width - 1; ++X, P += 3) std::memcpy(P, &Word, 4);
      P[0] = static_cast<std::uint8_t>(ColorBlue(Color));
      P[1] = static_cast<std::uint8_t>(ColorGreen(Color));
      P[2] = static_cast<std::uint8_t>(ColorRed(Color));
    }
  } else {
    Fill(static_cast<std::uint8_t>(
        (2 * ColorRed(Color) + 3 * ColorGreen(Color) + ColorBlue(Color) + 3) / 6));
  }
}

void TLinearBitmap::SetPixelColor(int X, int Y, TColorValue Color) {
  if (X < 0 || X >= Width || Y < 0 || Y >= Height) return;
  std::uint8_t* P = PixelAddress(X, Y);
  switch (PixelFormat) {
    case lpf8Bit:
      *P = NearestPaletteIndex(Color, Palette ? *Palette : GreyPalette);
      break;
    case lpf24Bit:
    case lpf32Bit:
      P[0] = static_cast<std::uint8_t>(ColorBlue(Color));
      P[1] = static_cast<std::uint8_t>(ColorGreen(Color));
      P[2] = static_cast<std::uint8_t>(ColorRed(Color));
      break;
    default:
      throw Exception("Unsupported pixel format");
  }
}

void TLinearBitmap::SetPixelValue(int X, int Y, std::int32_t Value) {
  if (X < 0 || X >= Width || Y < 0 || Y >= Height) return;
  std::uint8_t* P = PixelAddress(X, Y);
  switch (PixelFormat) {
    case lpf8Bit:
      *P = static_cast<std::uint8_t>(Value);
      break;
    case lpf16Bit:
      P[0] = static_cast<std::uint8_t>(Value);
      P[1] = static_cast<std::uint8_t>(Value >> 8);
      break;
    case lpf24Bit:
      // A grey level; only its low byte is meaningful.
      P[0] = P[1] = P[2] = static_cast<std::uint8_t>(Value);
      break;
    default:
      throw Exception("Unsupported pixel format");
  }
}

// ============================================================================
// Geometry
// ============================================================================

void TLinearBitmap::PasteImage(const TLinearBitmap& Source, int X, int Y, int MaxWidth,
                               int MaxHeight) {
  if (Source.PixelFormat != PixelFormat) throw ELinearBitmap("Unsupported pixel format");
  // 64-bit corners: X + MaxWidth overflows 32 bits for the usual MaxWidth of 2^31 - 1.
  const std::int64_t Left = std::max<std::int64_t>(X, 0);
  const std::int64_t Top = std::max<std::int64_t>(Y, 0);
  const std::int64_t Right = std::min<std::int64_t>(std::int64_t(X) + std::min(Source.Width, MaxWidth), Width);
  const std::int64_t Bottom = std::min<std::int64_t>(std::int64_t(Y) + std::min(Source.Height, MaxHeight), Height);
  if (Right <= Left || Bottom <= Top) return;
  const std::size_t RowBytes = static_cast<std::size_t>(Right - Left) * PixelSize;
  const std::uint8_t* From = Source.Map + (Top - Y) * Source.BytesPerLine + (Left - X) * PixelSize;
  std::uint8_t* To = Map + Top * BytesPerLine + Left * PixelSize;
  for (std::int64_t Row = Top; Row < Bottom; ++Row) {
    std::memmove(To, From, RowBytes);
    From += Source.BytesPerLine;
    To += BytesPerLine;
  }
}

void TLinearBitmap::ResizeCanvas(int NewWidth, int NewHeight, int OffsetX, int OffsetY,
                                 TColorValue Background) {
  if (NewWidth < 1 || NewHeight < 1) {
    Clear();
    return;
  }
  if (!Present) {
    New(NewWidth, NewHeight, lpf8Bit, 0);
    *Palette = GreyPalette;
    FillColor(Background);
    return;
  }
  if (NewWidth == Width && NewHeight == Height && OffsetX == 0 && OffsetY == 0) return;
  if (std::int64_t(NewWidth) * NewHeight * PixelSize > MaxImageBytes)
    throw ELinearBitmap("Out of memory");

  std::uint8_t* OldMap = Map;
  const int OldBytesPerLine = BytesPerLine, OldWidth = Width, OldHeight = Height;
  Map = AllocBuffer(std::int64_t(NewWidth) * NewHeight * PixelSize);
  BytesPerLine = NewWidth * PixelSize;
  Size = BytesPerLine * NewHeight;
  Width = NewWidth;
  Height = NewHeight;
  FillColor(Background);

  const std::int64_t FirstRow = std::max(0, -OffsetY);
  const std::int64_t LastRow = std::min<std::int64_t>(OldHeight - 1, std::int64_t(NewHeight) - OffsetY - 1);
  const std::int64_t FromColumn = std::max(0, -OffsetX);
  const std::int64_t ToColumn = std::max(0, OffsetX);
  const std::int64_t Count = std::min<std::int64_t>(OldWidth - FromColumn, NewWidth - ToColumn);
  if (Count > 0) {
    for (std::int64_t Row = FirstRow; Row <= LastRow; ++Row)
      std::memcpy(Map + (Row + OffsetY) * BytesPerLine + ToColumn * PixelSize,
                  OldMap + Row * OldBytesPerLine + FromColumn * PixelSize,
                  static_cast<std::size_t>(Count) * PixelSize);
  }
  ReleaseMap(OldMap);
}

// ============================================================================
// Format conversion
// ============================================================================

void TLinearBitmap::ConvertTo(TLinearPixelFormat Target) {
  if (!Present || Target == PixelFormat) return;
  switch (Target) {
    case lpf8Bit: ConvertTo8Bit(); break;
    case lpf24Bit: ConvertTo24Bit(); break;
    case lpf32Bit: ConvertTo32Bit(); break;
    default: throw ELinearBitmap("Unsupported pixel format");
  }
}

void TLinearBitmap::ConvertTo8Bit() {
  if (PixelFormat == lpf32Bit) ConvertTo(lpf24Bit);
  const std::int64_t Pixels = std::int64_t(Width) * Height;
  std::uint8_t* Indices = AllocBuffer(Pixels);
  TPaletteTable* NewPalette = nullptr;
  try {
    NewPalette = static_cast<TPaletteTable*>(AllocMem(sizeof(TPaletteTable)));
  } catch (...) {
    FreeMemAndNil(Indices);
    throw;
  }
  std::uint8_t* To = Indices;
  if (PixelFormat == lpf16Bit) {
    *NewPalette = GreyPalette;
    for (int Y = 0; Y < Height; ++Y) {
      const std::uint8_t* From = ScanLine(Y);
      for (int X = 0; X < Width; ++X, From += 2) *To++ = From[1];
    }
  } else {
    // 3-3-2 colour cube: red and green in eight levels, blue in four.
    for (int I = 0; I < 256; ++I) {
      (*NewPalette)[I].Red = static_cast<std::uint8_t>((((I >> 5) & 7) * 510 + 7) / 14);
      (*NewPalette)[I].Green = static_cast<std::uint8_t>((((I >> 2) & 7) * 510 + 7) / 14);
      (*NewPalette)[I].Blue = static_cast<std::uint8_t>((I & 3) * 85);
    }
    for (int Y = 0; Y < Height; ++Y) {
      const std::uint8_t* From = ScanLine(Y);
      for (int X = 0; X < Width; ++X, From += 3)
        *To++ = static_cast<std::uint8_t>((From[2] & 0xE0) | ((From[1] >> 5) << 2) | (From[0] >> 6));
    }
  }
  TPaletteTable* OldPalette = Palette;
  Palette = NewPalette;
  ReleasePalette(OldPalette);
  ReplaceBuffer(Indices, Width, 1, lpf8Bit);
}

void TLinearBitmap::ConvertTo24Bit() {
  const std::int64_t Pixels = std::int64_t(Width) * Height;
  if (Pixels * 3 > MaxImageBytes) throw ELinearBitmap("Out of memory");
  std::uint8_t* Triples = AllocBuffer(Pixels * 3);
  std::uint8_t* To = Triples;
  const TPaletteTable& Colors = Palette ? *Palette : GreyPalette;
  for (int Y = 0; Y < Height; ++Y) {
    const std::uint8_t* From = ScanLine(Y);
    for (int X = 0; X < Width; ++X, To += 3) {
      switch (PixelFormat) {
        case lpf8Bit: {
          const TColorTriple& Entry = Colors[*From++];
          To[0] = Entry.Blue;
          To[1] = Entry.Green;
          To[2] = Entry.Red;
          break;
        }
        case lpf16Bit:
          To[0] = To[1] = To[2] = From[1];
          From += 2;
          break;
        default:
          std::memcpy(To, From, 3);
          From += 4;
          break;
      }
    }
  }
  TPaletteTable* OldPalette = Palette;
  Palette = nullptr;
  ReleasePalette(OldPalette);
  ReplaceBuffer(Triples, Width * 3, 3, lpf24Bit);
}

void TLinearBitmap::ConvertTo32Bit() {
  const std::int64_t Pixels = std::int64_t(Width) * Height;
  if (Pixels * 4 > MaxImageBytes) throw ELinearBitmap("Out of memory");
  if (PixelFormat != lpf24Bit) ConvertTo(lpf24Bit);
  std::uint8_t* Quads = AllocBuffer(Pixels * 4);
  std::uint8_t* To = Quads;
  for (int Y = 0; Y < Height; ++Y) {
    const std::uint8_t* From = ScanLine(Y);
    for (int X = 0; X < Width; ++X, From += 3, To += 4) {
      std::memcpy(To, From, 3);
      To[3] = 0;
    }
  }
  TPaletteTable* OldPalette = Palette;
  Palette = nullptr;
  ReleasePalette(OldPalette);
  ReplaceBuffer(Quads, Width * 4, 4, lpf32Bit);
}
