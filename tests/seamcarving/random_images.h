// Test helper: random images for the engine's tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

#include "imaging/linear_bitmap.h"

// A number below Bound from the generator's raw output rather than a distribution, whose
// algorithm differs between standard library builds.
inline int Below(std::mt19937& Random, int Bound) {
  return static_cast<int>(Random() % static_cast<unsigned>(Bound));
}

// A W x H image whose samples take one of Levels evenly spaced values from 0 up: few levels
// make equal costs, and so ties, common. With Levels 0 the image is mostly smooth with some
// texture and some saturated runs, like photographs. 8-bit images get the grey palette, or
// with ColourPalette one of colours.
inline std::unique_ptr<TLinearBitmap> RandomImage(std::mt19937& Random, int W, int H, TLinearPixelFormat Format,
                                                  int Levels = 0, bool ColourPalette = false) {
  auto B = std::make_unique<TLinearBitmap>(W, H, Format);
  if (Format == lpf8Bit) {
    *B->Palette = GreyPalette;
    if (ColourPalette)
      for (int I = 0; I < 256; ++I) (*B->Palette)[I] = {std::uint8_t(I), std::uint8_t(I * 7), std::uint8_t(255 - I)};
  }
  if (Levels == 0) {
    for (int I = 0; I < B->Size; ++I) {
      const int K = Below(Random, 10);
      B->Map[I] = static_cast<std::uint8_t>(K < 2 ? 0 : K < 3 ? 255 : K < 6 ? 128 : Below(Random, 256));
    }
    return B;
  }
  std::uniform_int_distribution<int> Level(0, Levels - 1);
  for (int I = 0; I < B->Size; ++I) B->Map[I] = std::uint8_t(Level(Random) * (255 / std::max(1, Levels - 1)));
  return B;
}
