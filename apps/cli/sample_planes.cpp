#include "sample_planes.h"

#include <cmath>
#include <cstring>

#include "image_metadata.h"
#include "seamcarving/seam_carving_component.h"

namespace {

std::uint32_t To8Bits(std::uint32_t Value, int Depth) {
  // Exact division rounded: 2 v 255 is even and 65535 odd, so there is never a tie.
  return Depth == 16 ? (Value * 255 + 32767) / 65535 : Value;
}

} // namespace

std::unique_ptr<TLinearBitmap> ColourOf(const TSamplePlanes& Planes, bool Composited) {
  auto Colour = std::make_unique<TLinearBitmap>(Planes.Width, Planes.Height, Planes.Grey() ? lpf8Bit : lpf24Bit);
  if (Planes.Grey()) *Colour->Palette = GreyPalette;
  const int ColourChannels = Planes.Grey() ? 1 : 3;
  std::size_t Index = 0;
  for (int Y = 0; Y < Planes.Height; ++Y) {
    std::uint8_t* To = Colour->ScanLine(Y);
    for (int X = 0; X < Planes.Width; ++X, ++Index, To += ColourChannels) {
      const std::uint16_t* P = Planes.Pixel(Index);
      const std::uint32_t Alpha = Composited && Planes.HasAlpha() ? To8Bits(P[ColourChannels], Planes.Depth) : 255;
      for (int C = 0; C < ColourChannels; ++C) {
        // Over black, c x a / 255: never a tie either (255 is odd).
        const std::uint32_t Value = (To8Bits(P[C], Planes.Depth) * Alpha + 127) / 255;
        To[ColourChannels == 1 ? 0 : 2 - C] = std::uint8_t(Value); // red, green, blue to blue, green, red
      }
    }
  }
  return Colour;
}

TSamplePlanes PlanesOf(const TLinearBitmap& Bitmap) {
  TSamplePlanes Planes;
  Planes.Width = Bitmap.Width;
  Planes.Height = Bitmap.Height;
  const bool Grey = Bitmap.PixelFormat == lpf8Bit && IsGreyPalette(Bitmap.Palette);
  Planes.Channels = Grey ? 1 : 3;
  Planes.Samples.resize(std::size_t(Planes.Width) * Planes.Height * Planes.Channels);
  std::uint16_t* To = Planes.Samples.data();
  for (int Y = 0; Y < Bitmap.Height; ++Y) {
    const std::uint8_t* From = Bitmap.ScanLine(Y);
    for (int X = 0; X < Bitmap.Width; ++X, From += Bitmap.PixelSize) {
      if (Grey) {
        *To++ = From[0];
        continue;
      }
      const std::uint8_t* Bgr = Bitmap.PixelFormat == lpf8Bit ? &(*Bitmap.Palette)[From[0]].Blue : From;
      for (int C = 2; C >= 0; --C) *To++ = Bgr[C];
    }
  }
  return Planes;
}

bool HasTransparency(const TSamplePlanes& Planes) {
  if (!Planes.HasAlpha()) return false;
  const std::size_t Count = std::size_t(Planes.Width) * Planes.Height;
  for (std::size_t I = 0; I < Count; ++I)
    if (Planes.Pixel(I)[Planes.Channels - 1] != Planes.Maximum()) return true;
  return false;
}

TSamplePlanes Carried(const TSamplePlanes& Planes, const TSeamCarvingComponent& Engine) {
  const float Gamma = Engine.Gamma;
  const int Channels = Planes.Channels;
  const std::uint32_t SourcePixels = std::uint32_t(Planes.Width) * std::uint32_t(Planes.Height);
  // Inserted pixels in the order they were made: each averages pixels made before it.
  std::vector<std::uint16_t> Made(Engine.Insertions.size() * std::size_t(Channels));
  auto PixelOf = [&](std::uint32_t Id) {
    return Id < SourcePixels ? Planes.Pixel(Id) : &Made[std::size_t(Id - SourcePixels) * Channels];
  };
  const double Maximum = Planes.Maximum();
  std::vector<double> Linear(std::size_t(Maximum) + 1);
  for (std::size_t V = 0; V < Linear.size(); ++V) Linear[V] = std::pow(double(V) / Maximum, double(Gamma));
  const int ColourChannels = Planes.Grey() ? 1 : 3;
  for (std::size_t K = 0; K < Engine.Insertions.size(); ++K) {
    const std::uint16_t* Left = PixelOf(Engine.Insertions[K][0]);
    const std::uint16_t* Right = PixelOf(Engine.Insertions[K][1]);
    std::uint16_t* To = &Made[K * Channels];
    for (int C = 0; C < Channels; ++C) {
      if (C >= ColourChannels) {
        To[C] = std::uint16_t(std::lrint((Left[C] + Right[C]) / 2.0));
      } else if (Planes.Depth == 8) {
        To[C] = Engine.GammaAverage[Left[C]][Right[C]];
      } else {
        const double Mean = (Linear[Left[C]] + Linear[Right[C]]) / 2;
        To[C] = std::uint16_t(std::nearbyint(Maximum * std::pow(Mean, 1.0 / double(Gamma))));
      }
    }
  }
  TSamplePlanes Result;
  Result.Width = Engine.Width;
  Result.Height = Engine.Height;
  Result.Channels = Channels;
  Result.Depth = Planes.Depth;
  Result.Samples.resize(std::size_t(Result.Width) * Result.Height * Channels);
  std::uint16_t* To = Result.Samples.data();
  for (int Y = 0; Y < Result.Height; ++Y) {
    const auto* Origin = reinterpret_cast<const std::uint32_t*>(Engine.Origins->ScanLine(Y));
    for (int X = 0; X < Result.Width; ++X, To += Channels)
      std::memcpy(To, PixelOf(Origin[X]), sizeof *To * std::size_t(Channels));
  }
  return Result;
}

TSamplePlanes Oriented(const TSamplePlanes& Planes, int Orientation) {
  TSamplePlanes Result = Planes;
  const bool Swap = Orientation >= 5;
  if (Swap) std::swap(Result.Width, Result.Height);
  const std::size_t PixelBytes = sizeof(std::uint16_t) * std::size_t(Planes.Channels);
  OrientPixels(reinterpret_cast<const std::uint8_t*>(Planes.Samples.data()), Planes.Width, Planes.Height,
               std::ptrdiff_t(PixelBytes) * Planes.Width, int(PixelBytes), Orientation,
               reinterpret_cast<std::uint8_t*>(Result.Samples.data()), std::ptrdiff_t(PixelBytes) * Result.Width);
  return Result;
}
