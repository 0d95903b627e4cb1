// Samples that ride along the seams: alpha and 16-bit values. The engine carves an 8-bit colour
// image made from them (ColourOf) and tracks where each of its pixels came from; the samples
// then follow those origins (Carried), insertions averaged at full precision.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/linear_bitmap.h"

class TSeamCarvingComponent;

struct TSamplePlanes {
  int Width = 0, Height = 0;
  int Channels = 0; // 1 grey, 2 grey and alpha, 3 red, green, blue, 4 with alpha; 0: none
  int Depth = 8;    // bits per sample: 8 or 16
  std::vector<std::uint16_t> Samples; // Channels per pixel, rows back to back

  bool Present() const { return Channels != 0; }
  bool HasAlpha() const { return Channels == 2 || Channels == 4; }
  bool Grey() const { return Channels <= 2; }
  int Maximum() const { return Depth == 16 ? 65535 : 255; }
  const std::uint16_t* Pixel(std::size_t Index) const { return &Samples[Index * std::size_t(Channels)]; }
};

// The 8-bit image the engine carves: samples scaled to 8 bits (v x 255 / 65535, rounded), and
// with alpha the colour composited over black (colour x alpha / 255, rounded), so that
// transparent areas cost nothing. Grey becomes 8-bit with the grey palette, colour 24-bit.
std::unique_ptr<TLinearBitmap> ColourOf(const TSamplePlanes& Planes, bool Composited = true);

// An 8-bit bitmap as 8-bit planes: grey for the grey palette, else red, green, blue.
TSamplePlanes PlanesOf(const TLinearBitmap& Bitmap);

// True when some pixel is less than fully opaque.
bool HasTransparency(const TSamplePlanes& Planes);

// Planes at the engine's carved size, each pixel the one its origin names. Pixels insertion
// made average their two pixels: colour by the engine's gamma rule at the samples' precision
// (the engine's Gamma), alpha linearly, both rounded to nearest, ties to even.
TSamplePlanes Carried(const TSamplePlanes& Planes, const TSeamCarvingComponent& Engine);

// Planes turned as EXIF orientation Orientation (1 to 8) says the viewer shows them.
TSamplePlanes Oriented(const TSamplePlanes& Planes, int Orientation);
