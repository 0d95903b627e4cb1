// Test helper: the previews the dialog shows in the host's image (Parts 2.1 and 3.1), made
// from a reference engine in the same state, to compare with the host's pixels.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "seamcarving/seam_carving_component.h"

// The cost display in the host's pixel format: the engine's rendering, whose every cell is
// checked against Round(255 * sqrt(cost / CostCeiling)) limited to 0..255, so that a wrong
// scale fails here even where the dialog renders through the engine.
inline std::unique_ptr<TLinearBitmap> CostDisplay(TSeamCarvingComponent& Engine, TLinearPixelFormat Format) {
  auto Display = std::make_unique<TLinearBitmap>();
  Engine.RenderCostMap(*Display);
  const TMatrix& Costs = *Engine.CostMap;
  int Wrong = 0;
  for (int Y = 0; Y < Costs.Height; ++Y)
    for (int X = 0; X < Costs.Width; ++X) {
      const long double Cost = Costs.Map[X + Y * Costs.Width];
      const long double Grey = std::min(255.0L, std::nearbyint(255 * std::sqrt(Cost / Engine.CostCeiling())));
      Wrong += *Display->PixelAddress(X, Y) != Grey;
    }
  EXPECT_EQ(Wrong, 0) << "cells of the engine's cost display off the square-root scale";
  Display->ConvertTo(Format);
  return Display;
}

// Draws in magenta over Bitmap the best seam of Direction that Engine's last FindSeams found,
// from its end (bottom row, right column) back along the predecessor steps.
inline void DrawBestSeam(const TSeamCarvingComponent& Engine, TSeamDirection Direction, TLinearBitmap& Bitmap) {
  const bool Vertical = Direction == sdVertical;
  int Along = Vertical ? Engine.BestColumn : Engine.BestRow;
  for (int Across = (Vertical ? Engine.Height : Engine.Width) - 1; Across >= 0; --Across) {
    const int X = Vertical ? Along : Across, Y = Vertical ? Across : Along;
    Bitmap.SetPixelColor(X, Y, 0xFF00FF);
    Along += static_cast<std::int8_t>(*Engine.SeamStep[Direction]->PixelAddress(X, Y));
  }
}
