#include "imaging/float_map.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::int64_t MaxMapBytes = 2'000'000'000;

// Rounds to nearest, ties to even, after limiting to 0..Top; NaN becomes 0.
template <typename TValue> TValue RoundLimited(long double D, long double Top) {
  if (D > Top) D = Top;
  if (!(D >= 0)) D = 0;
  return static_cast<TValue>(std::nearbyint(D));
}

} // namespace

TFloatMap::~TFloatMap() { TFloatMap::Clear(); }

void TFloatMap::New(int NewWidth, int NewHeight) {
  if (NewWidth == Width && NewHeight == Height) return;
  Clear();
  if (NewWidth < 0 || NewHeight < 0) throw Exception("Invalid map size");
  const std::int64_t Bytes = std::int64_t(NewWidth) * NewHeight * sizeof(double);
  if (Bytes > MaxMapBytes) throw EOutOfMemory();
  if (Bytes > 0) Map = static_cast<double*>(AllocMem(static_cast<std::size_t>(Bytes)));
  Width = NewWidth;
  Height = NewHeight;
  Count = NewWidth * NewHeight;
  BytesPerLine = NewWidth * static_cast<int>(sizeof(double));
  Size = static_cast<std::int32_t>(Bytes);
}

void TFloatMap::Clear() {
  FreeMemAndNil(Map);
  Width = 0;
  Height = 0;
  Count = 0;
  Size = 0;
  BytesPerLine = 0;
}

void TFloatMap::Zero() {
  // All-zero bytes are +0.0 in IEEE 754.
  ZeroMem(Map, static_cast<std::size_t>(Size));
}

void TFloatMap::Assign(const TObject* Source) {
  if (auto* Other = dynamic_cast<const TFloatMap*>(Source)) {
    if (Other == this) return;
    New(Other->Width, Other->Height);
    if (Size > 0) std::memcpy(Map, Other->Map, static_cast<std::size_t>(Size));
  } else if (auto* Bitmap = dynamic_cast<const TLinearBitmap*>(Source)) {
    New(Bitmap->Width, Bitmap->Height);
    if (Bitmap->PixelFormat == lpf8Bit) {
      for (int Y = 0; Y < Height; ++Y) {
        const std::uint8_t* Row = Bitmap->ScanLine(Y);
        double* Cells = ScanLine(Y);
        for (int X = 0; X < Width; ++X) Cells[X] = Row[X];
      }
    } else {
      // Other formats have at least Count bytes of pixel data; the cells take the first ones.
      for (int I = 0; I < Count; ++I) Map[I] = Bitmap->Map[I];
    }
  } else {
    TStreamClass::Assign(Source);
  }
}

void TFloatMap::AssignTo(TObject* Dest) const {
  auto* Bitmap = dynamic_cast<TLinearBitmap*>(Dest);
  if (!Bitmap) {
    TStreamClass::AssignTo(Dest);
    return;
  }
  Bitmap->New(Width, Height, lpf8Bit);
  for (int Y = 0; Y < Height; ++Y) {
    std::uint8_t* Row = Bitmap->ScanLine(Y);
    const double* Cells = ScanLine(Y);
    for (int X = 0; X < Width; ++X) Row[X] = RoundLimited<std::uint8_t>(Cells[X], 255);
  }
}

void TFloatMap::GetMinMax(double& Min, double& Max) const {
  Min = 1.7e308;
  Max = -1.7e308;
  for (int I = 0; I < Count; ++I) {
    const double V = Map[I];
    if (V > Max) Max = V;
    if (V < Min) Min = V;
  }
}

void TFloatMap::ToScaledBitmap(TLinearBitmap& Bitmap, TMapScaling Mode, double Low,
                               double High) const {
  if (Mode == msLinear16) {
    Bitmap.New(Width, Height, lpf16Bit);
  } else {
    Bitmap.New(Width, Height, lpf8Bit);
    *Bitmap.Palette = GreyPalette;
  }
  if (Low > High) GetMinMax(Low, High);
  if (std::isinf(High)) {
    Bitmap.Fill(0);
    return;
  }
  if (std::fabs(High - Low) < 1e-8) Low = High - 1;

  // Scaling runs in extended precision, as all intermediate arithmetic of the system does.
  const long double L = Low, Range = static_cast<long double>(High) - L;
  for (int Y = 0; Y < Height; ++Y) {
    const double* Cells = ScanLine(Y);
    std::uint8_t* Row = Bitmap.ScanLine(Y);
    for (int X = 0; X < Width; ++X) {
      const long double V = Cells[X];
      if (Mode == msLinear16) {
        const auto Level = RoundLimited<std::uint16_t>((V - L) * 65535 / Range, 65535);
        Row[2 * X] = static_cast<std::uint8_t>(Level);
        Row[2 * X + 1] = static_cast<std::uint8_t>(Level >> 8);
        continue;
      }
      const long double T = (V - L) / Range;
      long double D;
      if (Mode == msLinear) D = 255 * T;
      else D = T > 0 ? 255 * std::sqrt(T) : 0;
      Row[X] = RoundLimited<std::uint8_t>(D, 255);
    }
  }
}
