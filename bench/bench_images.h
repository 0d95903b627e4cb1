// Photograph-like test images for the benchmarks.
#pragma once

#include <memory>
#include <random>

#include "imaging/linear_bitmap.h"

// Smooth gradients with noise and a few hard edges: neither flat nor pure noise.
inline std::unique_ptr<TLinearBitmap> BenchImage(int Width, int Height) {
  auto Bitmap = std::make_unique<TLinearBitmap>(Width, Height, lpf24Bit);
  std::mt19937 Random(42);
  for (int Y = 0; Y < Height; ++Y) {
    std::uint8_t* Pixel = Bitmap->ScanLine(Y);
    for (int X = 0; X < Width; ++X, Pixel += 3) {
      const int Edge = (X / 97 + Y / 61) % 2 ? 60 : 0;
      const int Noise = static_cast<int>(Random() % 24);
      Pixel[0] = static_cast<std::uint8_t>((X * 255 / Width + Edge + Noise) % 256);
      Pixel[1] = static_cast<std::uint8_t>((Y * 255 / Height + Noise) % 256);
      Pixel[2] = static_cast<std::uint8_t>((X + Y + Edge) % 256);
    }
  }
  return Bitmap;
}
