// The full cost computation uses sliding window sums; every cell must equal the direct
// summation that ComputeCost does, bit for bit, for any image, window and live size.
#include "seamcarving/seam_carving_component.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "seamcarving/random_images.h"

namespace {

// Recomputes every cell through ComputeCost on a zeroed map, as the full computation would
// do without sliding sums, and compares bit patterns.
void ExpectDirectSummationAgrees(TSeamCarvingComponent& Engine, const std::string& What) {
  std::vector<double> Fast(Engine.CostMap->Map, Engine.CostMap->Map + Engine.CostMap->Count);
  Engine.CostMap->Zero();
  for (int Y = 0; Y < Engine.CostMap->Height; ++Y)
    for (int X = 0; X < Engine.CostMap->Width; ++X) Engine.ComputeCost(X, Y);
  for (int I = 0; I < Engine.CostMap->Count; ++I) {
    if (std::memcmp(&Fast[I], &Engine.CostMap->Map[I], sizeof(double)) != 0) {
      FAIL() << What << ": cell " << I % Engine.CostMap->Width << "," << I / Engine.CostMap->Width
             << " fast " << Fast[I] << " direct " << Engine.CostMap->Map[I];
    }
  }
}

} // namespace

TEST(CostMapFullComputation, EqualsDirectSummationOnRandomImages) {
  std::mt19937 Random(20240611);
  const int Windows[] = {1, 2, 3, 4, 5, 7, 10, 15, 31, 111};
  int Checked = 0;
  for (int Round = 0; Round < 60; ++Round) {
    const int Width = 1 + Below(Random, 40), Height = 1 + Below(Random, 40);
    const auto Format = Round % 3 == 0 ? lpf24Bit : lpf8Bit;
    auto Source = RandomImage(Random, Width, Height, Format);
    TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
    for (int Window : Windows) {
      Engine.SetCostWindowSize(Window);
      Engine.UpdateCostMap();
      ExpectDirectSummationAgrees(Engine, "full size, window " + std::to_string(Window));
      ++Checked;
    }
    // Carved sizes: the maps keep their allocation, windows clip to the live region.
    for (int Live = 0; Live < 3; ++Live) {
      Engine.Width = Below(Random, Width + 1);
      Engine.Height = Below(Random, Height + 1);
      const int Window = Windows[Live * 3 % std::size(Windows)];
      Engine.CostMapValid = false; // recomputed over the new live region
      Engine.SetCostWindowSize(Window);
      Engine.UpdateCostMap();
      ExpectDirectSummationAgrees(Engine, "live " + std::to_string(Engine.Width) + "x" +
                                              std::to_string(Engine.Height) + ", window " +
                                              std::to_string(Window));
      ++Checked;
    }
  }
  EXPECT_EQ(Checked, 60 * 13);
}

TEST(CostMapFullComputation, TheUnsetWindowOfANewEngineIsOnePixel) {
  std::mt19937 Random(7);
  auto Source = RandomImage(Random, 9, 6, lpf8Bit);
  TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
  ASSERT_EQ(Engine.CostWindowSize, 0);
  Engine.UpdateCostMap();
  ExpectDirectSummationAgrees(Engine, "window 0");
}

TEST(CostMapFullComputation, ResultIsIdenticalInBothBuilds) {
  // A 64 x 48 image with window 5: the bit patterns of all costs, hashed. The same value in
  // the native and the Windows build shows that extended precision behaves the same in both.
  std::mt19937 Random(99);
  auto Source = RandomImage(Random, 64, 48, lpf24Bit);
  TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
  Engine.SetCostWindowSize(5);
  Engine.UpdateCostMap();
  std::uint64_t Hash = 1469598103934665603ull;
  for (int I = 0; I < Engine.CostMap->Count; ++I) {
    std::uint64_t Bits;
    std::memcpy(&Bits, &Engine.CostMap->Map[I], sizeof Bits);
    Hash = (Hash ^ Bits) * 1099511628211ull;
  }
  EXPECT_EQ(Hash, 12895399582671183971ull);
}
