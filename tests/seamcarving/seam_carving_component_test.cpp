#include "seamcarving/seam_carving_component.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "message_of.h"
#include "seamcarving/engine_helpers.h"

namespace {

// An 8-bit image with the grey palette and the given rows of grey levels.
std::unique_ptr<TLinearBitmap> GreyBitmap(const std::vector<std::vector<int>>& Rows) {
  auto Bitmap = std::make_unique<TLinearBitmap>(static_cast<int>(Rows[0].size()),
                                                static_cast<int>(Rows.size()), lpf8Bit);
  *Bitmap->Palette = GreyPalette;
  for (int Y = 0; Y < Bitmap->Height; ++Y)
    for (int X = 0; X < Bitmap->Width; ++X) *Bitmap->PixelAddress(X, Y) = static_cast<std::uint8_t>(Rows[Y][X]);
  return Bitmap;
}

std::unique_ptr<TLinearBitmap> Uniform(int Width, int Height, int Level) {
  return GreyBitmap(std::vector<std::vector<int>>(Height, std::vector<int>(Width, Level)));
}

// An engine over Source with its cost map computed.
std::unique_ptr<TSeamCarvingComponent> Computed(const TLinearBitmap& Source, int Window,
                                                TSelectionHandling Handling = shIgnore,
                                                const std::uint8_t* Mask = nullptr) {
  auto Engine = MakeEngine(Source, Window, Handling, Mask);
  Engine->UpdateCostMap();
  return Engine;
}

double Cost(const TSeamCarvingComponent& Engine, int X, int Y) { return *Engine.CostMap->CellAddress(X, Y); }

} // namespace

// ============================================================================
// Life cycle and parameters
// ============================================================================

TEST(SeamCarvingComponent, CreationDoesNoImageWork) {
  auto Source = Uniform(7, 5, 10);
  TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
  EXPECT_EQ(Engine.Width, 7);
  EXPECT_EQ(Engine.Height, 5);
  EXPECT_EQ(Engine.Image, nullptr);
  EXPECT_EQ(Engine.GreyImage, nullptr);
  EXPECT_EQ(Engine.CostMap, nullptr);
  EXPECT_FALSE(Engine.CostMapValid);
  EXPECT_EQ(Engine.CostWindowSize, 0);
  EXPECT_EQ(Engine.SelectionHandling, shIgnore);
}

TEST(SeamCarvingComponent, OnlyAChangedParameterInvalidatesTheMap) {
  auto Source = Uniform(4, 4, 10);
  auto EngineOwner = Computed(*Source, 5);
  auto& Engine = *EngineOwner;
  ASSERT_TRUE(Engine.CostMapValid);
  Engine.SetCostWindowSize(5);
  Engine.SetSelectionHandling(shIgnore);
  EXPECT_TRUE(Engine.CostMapValid);
  Engine.SetSelectionHandling(shCheap);
  EXPECT_FALSE(Engine.CostMapValid);
  Engine.UpdateCostMap();
  Engine.SetCostWindowSize(7);
  EXPECT_FALSE(Engine.CostMapValid);
}

TEST(SeamCarvingComponent, RadiusIsHalfTheWindowSizeTruncated) {
  const int Sizes[][2] = {{1, 0}, {3, 1}, {4, 2}, {5, 2}, {111, 55}};
  auto Source = Uniform(2, 2, 0);
  TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
  for (const auto& Size : Sizes) {
    Engine.SetCostWindowSize(Size[0]);
    EXPECT_EQ(Engine.CostWindowRadius, Size[1]) << "window " << Size[0];
  }
}

TEST(SeamCarvingComponent, CostCeilingIsTheSameForEveryWindow) {
  auto Source = Uniform(2, 2, 0);
  TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
  for (int Size : {1, 3, 5, 111}) {
    Engine.SetCostWindowSize(Size);
    EXPECT_EQ(Engine.CostCeiling(), 32385.0);
  }
  EXPECT_EQ(Engine.CostCeiling() * 1.1, 35623.5);
}

// ============================================================================
// Limits
// ============================================================================

TEST(SeamCarvingLimits, TheWidestEnlargementIsHalfAgainWithHalvesUp) {
  const std::int64_t Cases[][2] = {{1, 2}, {2, 3}, {3, 5}, {5, 8}, {100, 150}, {101, 152}, {600, 900}, {65535, 98303}};
  for (const auto& Case : Cases)
    EXPECT_EQ(TSeamCarvingComponent::WidestEnlargement(Case[0]), Case[1]) << "source width " << Case[0];
}

TEST(SeamCarvingLimits, WindowSizesOutsideOneTo111AreRefusedChangingNothing) {
  auto Source = Uniform(4, 4, 10);
  auto EngineOwner = Computed(*Source, 5);
  auto& Engine = *EngineOwner;
  for (int Size : {0, -1, -111, 112, 113, INT32_MAX, INT32_MIN}) {
    EXPECT_EQ(ErrorOf([&] { Engine.SetCostWindowSize(Size); }), "ESeamCarving: Invalid cost window size") << Size;
    EXPECT_EQ(Engine.CostWindowSize, 5);
    EXPECT_EQ(Engine.CostWindowRadius, 2);
    EXPECT_TRUE(Engine.CostMapValid);
  }
  for (int Size : {TSeamCarvingComponent::MinCostWindowSize, TSeamCarvingComponent::MaxCostWindowSize}) {
    EXPECT_EQ(ErrorOf([&] { Engine.SetCostWindowSize(Size); }), "(nothing raised)") << Size;
    EXPECT_EQ(Engine.CostWindowSize, Size);
  }
  EXPECT_EQ(TSeamCarvingComponent::MinCostWindowSize, 1);
  EXPECT_EQ(TSeamCarvingComponent::MaxCostWindowSize, 111);
}

TEST(SeamCarvingLimits, TheInsertionGammaAveragesBlackAndWhiteTo186) {
  // Gamma 2.2: 255 * 0.5^(1/2.2) = 186.07; gamma 2.1 or 2.3 would give 183 or 189.
  auto Source = Uniform(1, 1, 0);
  TSeamCarvingComponent Engine(*Source, nullptr, TSeamCarvingComponent::InsertionGamma);
  EXPECT_EQ(Engine.Gamma, 2.2f);
  EXPECT_EQ(Engine.GammaAverage[0][255], 186);
  EXPECT_EQ(Engine.GammaAverage[0][128], 93);
}

TEST(SeamCarvingComponent, UnsupportedSourceFormatLeavesTheMapInvalid) {
  TLinearBitmap Source(3, 3, lpf16Bit);
  TSeamCarvingComponent Engine(Source, nullptr, 2.2f);
  Engine.SetCostWindowSize(3);
  EXPECT_EQ(ErrorOf([&] { Engine.UpdateCostMap(); }), "ELinearBitmap: Unsupported pixel format");
  EXPECT_FALSE(Engine.CostMapValid);
  EXPECT_EQ(Engine.Image, nullptr);
}

// ============================================================================
// Grey image
// ============================================================================

TEST(SeamCarvingGreyImage, EightBitGreyRampSharesTheWorkingImage) {
  auto Source = Uniform(3, 2, 40);
  auto EngineOwner = Computed(*Source, 3);
  auto& Engine = *EngineOwner;
  EXPECT_EQ(Engine.GreyImage, Engine.Image.get());
  // Destruction frees the shared image once; the sanitizer build catches a second free.
}

TEST(SeamCarvingGreyImage, EightBitColourPaletteGetsItsOwnGreyThroughThePalette) {
  auto Source = Uniform(2, 1, 0);
  (*Source->Palette)[0] = {0, 0, 255};   // pure red: 2 * 255 / 6 = 85
  (*Source->Palette)[1] = {255, 0, 0};   // pure blue: 255 / 6 = 42.5, ties to 42
  *Source->PixelAddress(1, 0) = 1;
  auto EngineOwner = Computed(*Source, 3);
  auto& Engine = *EngineOwner;
  ASSERT_NE(Engine.GreyImage, Engine.Image.get());
  EXPECT_EQ(*Engine.GreyImage->PixelAddress(0, 0), 85);
  EXPECT_EQ(*Engine.GreyImage->PixelAddress(1, 0), 42);
  // Two grey levels 85 and 42, not the indices 0 and 1.
  EXPECT_EQ(Cost(Engine, 0, 0), 462.25);

  *Engine.Image->PixelAddress(0, 0) = 1;
  Engine.UpdateGreyPixel(0, 0);
  EXPECT_EQ(*Engine.GreyImage->PixelAddress(0, 0), 42);
}

TEST(SeamCarvingGreyImage, TwentyFourBitPixelsUseTheWeightedSumRoundedToEven) {
  struct TCase {
    int Red, Green, Blue, Grey;
  };
  const TCase Cases[] = {
      {0, 0, 0, 0},   {255, 255, 255, 255}, {0, 1, 0, 0}, // 0.5 ties down to 0
      {0, 0, 9, 2},                                       // 1.5 ties up to 2
      {255, 0, 0, 85}, {0, 255, 0, 128},    {10, 20, 30, 18},
  };
  const int Count = static_cast<int>(std::size(Cases));
  TLinearBitmap Source(Count, 1, lpf24Bit);
  for (int X = 0; X < Count; ++X) {
    std::uint8_t* P = Source.PixelAddress(X, 0);
    P[0] = static_cast<std::uint8_t>(Cases[X].Blue);
    P[1] = static_cast<std::uint8_t>(Cases[X].Green);
    P[2] = static_cast<std::uint8_t>(Cases[X].Red);
  }
  auto EngineOwner = Computed(Source, 1);
  auto& Engine = *EngineOwner;
  ASSERT_NE(Engine.GreyImage, Engine.Image.get());
  EXPECT_EQ(Engine.GreyImage->PixelFormat, lpf8Bit);
  for (int X = 0; X < Count; ++X) EXPECT_EQ(*Engine.GreyImage->PixelAddress(X, 0), Cases[X].Grey) << "case " << X;
}

TEST(SeamCarvingGreyImage, IntegerRoundingMatchesTheExtendedPrecisionProduct) {
  for (int Sum = 0; Sum <= 2 * 255 + 3 * 255 + 255; ++Sum) {
    const long double Product = static_cast<long double>(Sum) * (1.0L / 6.0L);
    const int Expected = static_cast<int>(std::nearbyint(Product));
    // Spread Sum over the channels in some way; only 2R + 3G + B matters.
    const int Green = std::min(255, Sum / 3), Rest = Sum - 3 * Green;
    const int Red = std::min(255, Rest / 2), Blue = Rest - 2 * Red;
    ASSERT_EQ(GreyLevel(Red, Green, Blue), Expected) << "sum " << Sum;
  }
}

// ============================================================================
// Costs
// ============================================================================

TEST(SeamCarvingCost, UniformImagesAndSinglePixelWindowsCostNothing) {
  auto Flat = Uniform(6, 4, 77);
  auto Noisy = GreyBitmap({{0, 255, 3, 90}, {17, 200, 1, 5}});
  for (auto* Source : {Flat.get(), Noisy.get()}) {
    for (int Size : {1, 3, 7}) {
      if (Source == Noisy.get() && Size != 1) continue;
      auto EngineOwner = Computed(*Source, Size);
      auto& Engine = *EngineOwner;
      for (int I = 0; I < Engine.CostMap->Count; ++I) ASSERT_EQ(Engine.CostMap->Map[I], 0.0);
    }
  }
}

TEST(SeamCarvingCost, WindowsAreClippedAtTheBorderAndEvenSizesUseTheNextOdd) {
  // The top-left 3 x 3 block is 100, everything else 0.
  std::vector<std::vector<int>> Rows(5, std::vector<int>(5, 0));
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 3; ++X) Rows[Y][X] = 100;
  auto Source = GreyBitmap(Rows);
  struct TCase {
    int Size, X, Y;
    double Expected;
  };
  const TCase Cases[] = {
      {5, 0, 0, 0.0},    // corner with radius 2: only the 3 x 3 block of 100s
      {4, 0, 0, 0.0},    // size 4 is a 5 x 5 window too
      {5, 3, 0, 2500.0}, // columns 1..4 of rows 0..2: six 100s in twelve
      {4, 3, 0, 2500.0},
      {3, 1, 1, 0.0},
      {3, 3, 1, 2222.0 + 2.0 / 9}, // three 100s in nine: 10000/3 - (100/3)^2
  };
  for (const auto& Case : Cases) {
    auto EngineOwner = Computed(*Source, Case.Size);
    auto& Engine = *EngineOwner;
    EXPECT_DOUBLE_EQ(Cost(Engine, Case.X, Case.Y), Case.Expected)
        << "window " << Case.Size << " at " << Case.X << "," << Case.Y;
  }
}

TEST(SeamCarvingCost, HalfBlackHalfWhiteCornerIsTheBrightestRealCost) {
  auto Source = GreyBitmap({{0, 255, 9}, {0, 255, 9}, {9, 9, 9}});
  auto EngineOwner = Computed(*Source, 3);
  auto& Engine = *EngineOwner;
  EXPECT_EQ(Cost(Engine, 0, 0), 16256.25);
  TLinearBitmap Display;
  Engine.RenderCostMap(Display);
  EXPECT_EQ(*Display.PixelAddress(0, 0), 181);
  EXPECT_EQ(Display.Width, 3);
}

TEST(SeamCarvingCost, TheRenderedMapIsRound255TimesTheRootOfCostOverTheCeilingEverywhere) {
  // What the dialog shows, in an 8-bit host as grey levels and in a 24-bit one as grey triples.
  auto Source = GreyBitmap({{0, 255, 9, 40}, {0, 255, 90, 7}, {9, 9, 200, 128}});
  const std::vector<std::uint8_t> Mask{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  auto EngineOwner = Computed(*Source, 3, shExpensive, Mask.data());
  auto& Engine = *EngineOwner;
  TLinearBitmap Display;
  Engine.RenderCostMap(Display);
  ASSERT_EQ(Display.PixelFormat, lpf8Bit);
  ASSERT_TRUE(IsGreyPalette(Display.Palette));
  TLinearBitmap Colour(&Display);
  Colour.ConvertTo(lpf24Bit);
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 4; ++X) {
      const long double Level = std::nearbyint(255 * std::sqrt(static_cast<long double>(Cost(Engine, X, Y)) / 32385));
      const int Expected = static_cast<int>(std::min<long double>(Level, 255));
      EXPECT_EQ(*Display.PixelAddress(X, Y), Expected) << X << "," << Y;
      for (int C = 0; C < 3; ++C) EXPECT_EQ(Colour.PixelAddress(X, Y)[C], Expected) << X << "," << Y;
    }
  EXPECT_EQ(*Display.PixelAddress(3, 1), 255); // the protected cell
}

TEST(SeamCarvingCost, AllBlackWindowIsExactlyZero) {
  auto Source = GreyBitmap({{0, 0, 0, 0}, {0, 0, 0, 200}});
  auto EngineOwner = Computed(*Source, 3);
  auto& Engine = *EngineOwner;
  EXPECT_EQ(Cost(Engine, 0, 0), 0.0);
  EXPECT_FALSE(std::signbit(Cost(Engine, 0, 0)));
  EXPECT_GT(Cost(Engine, 2, 0), 0.0);
}

TEST(SeamCarvingCost, WindowsAreClippedToTheLiveRegionNotTheAllocation) {
  auto Source = GreyBitmap({{10, 20, 30, 40, 50}, {60, 70, 80, 90, 100}});
  auto EngineOwner = Computed(*Source, 3);
  auto& Engine = *EngineOwner;
  Engine.Width = 3; // as after two seams were removed
  Engine.SetCostWindowSize(5);
  Engine.SetCostWindowSize(3);
  Engine.UpdateCostMap();
  // (2, 0): columns 1..2 only, i.e. 20, 30, 70, 80.
  EXPECT_EQ(Cost(Engine, 2, 0), 650.0);
  // (3, 0): column 2 only (30, 80); (4, 0): nothing live within reach.
  EXPECT_EQ(Cost(Engine, 3, 0), 625.0);
  EXPECT_EQ(Cost(Engine, 4, 0), 0.0);
  EXPECT_EQ(Engine.CostMap->Width, 5);
}

TEST(SeamCarvingCost, FloatingPointRunsInExtendedPrecision) {
  // Both builds must evaluate costs with a 64-bit mantissa; a 53-bit x87 setting would make
  // the Windows build differ.
  volatile long double One = 1;
  volatile long double Tiny = std::ldexp(1.0L, -63);
  EXPECT_NE(One + Tiny, One);
}

// ============================================================================
// Selection
// ============================================================================

namespace {

struct TSelectionFixture {
  std::unique_ptr<TLinearBitmap> Source = GreyBitmap({{0, 255, 0, 255}, {255, 0, 255, 0}, {0, 255, 0, 255}});
  // Exactly one byte per source pixel on the heap, so that a read past it is caught.
  std::unique_ptr<std::uint8_t[]> Mask = std::make_unique<std::uint8_t[]>(12);
  TSelectionFixture() { Mask[5] = Mask[6] = 1; } // cells (1, 1) and (2, 1)
};

} // namespace

TEST(SeamCarvingSelection, ExpensiveCellsAreProtectedFromRecomputation) {
  TSelectionFixture F;
  auto EngineOwner = Computed(*F.Source, 3, shExpensive, F.Mask.get());
  auto& Engine = *EngineOwner;
  EXPECT_EQ(Engine.FixedCost, 35623.5);
  EXPECT_EQ(Cost(Engine, 1, 1), 35623.5);
  EXPECT_EQ(Cost(Engine, 2, 1), 35623.5);
  EXPECT_LT(Cost(Engine, 0, 1), 16256.25 + 1);
  Engine.ComputeCost(1, 1);
  EXPECT_EQ(Cost(Engine, 1, 1), 35623.5);
  TLinearBitmap Display;
  Engine.RenderCostMap(Display);
  EXPECT_EQ(*Display.PixelAddress(1, 1), 255);
}

TEST(SeamCarvingSelection, CheapCellsStartAtZeroAndAreNotProtected) {
  TSelectionFixture F;
  auto EngineOwner = Computed(*F.Source, 3, shCheap, F.Mask.get());
  auto& Engine = *EngineOwner;
  EXPECT_EQ(Engine.FixedCost, -1);
  EXPECT_EQ(Cost(Engine, 1, 1), 0.0);
  Engine.ComputeCost(1, 1);
  EXPECT_GT(Cost(Engine, 1, 1), 0.0);
}

TEST(SeamCarvingSelection, IgnoredOrAbsentSelectionLeavesRealCosts) {
  TSelectionFixture F;
  auto IgnoringOwner = Computed(*F.Source, 3, shIgnore, F.Mask.get());
  auto& Ignoring = *IgnoringOwner;
  auto NoMaskOwner = Computed(*F.Source, 3, shExpensive);
  auto& NoMask = *NoMaskOwner;
  for (int I = 0; I < 12; ++I) EXPECT_EQ(Ignoring.CostMap->Map[I], NoMask.CostMap->Map[I]);
  EXPECT_GT(Ignoring.CostMap->Map[5], 0.0);
}

TEST(SeamCarvingSelection, AnEnlargedGridIgnoresTheMaskInsteadOfReadingPastIt) {
  TSelectionFixture F;
  auto EngineOwner = Computed(*F.Source, 3, shExpensive, F.Mask.get());
  auto& Engine = *EngineOwner;
  // Enlarge as the automatic scaling does: a wider working image, derived maps rebuilt.
  auto Wider = std::make_unique<TLinearBitmap>(6, 3, lpf8Bit);
  *Wider->Palette = GreyPalette;
  Wider->Fill(50);
  Engine.Image = std::move(Wider);
  Engine.DiscardGreyImage();
  Engine.CostMap.reset();
  Engine.Width = 6;
  Engine.CostMapValid = false;
  Engine.UpdateCostMap();
  ASSERT_EQ(Engine.CostMap->Count, 18);
  for (int I = 0; I < 18; ++I) EXPECT_EQ(Engine.CostMap->Map[I], 0.0) << "cell " << I;
}

// ============================================================================
// Gamma-average table
// ============================================================================

TEST(SeamCarvingGammaAverage, SymmetricWithFixedEndsAndIdempotentDiagonal) {
  auto Source = Uniform(1, 1, 0);
  TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
  EXPECT_EQ(Engine.GammaAverage[0][0], 0);
  EXPECT_EQ(Engine.GammaAverage[255][255], 255);
  // Black and white average to 255 * 0.5^(1/2.2) = 186.07 in linear light, not 128.
  EXPECT_EQ(Engine.GammaAverage[0][255], 186);
  for (int A = 0; A < 256; ++A) {
    EXPECT_EQ(Engine.GammaAverage[A][A], A);
    for (int B = 0; B < 256; ++B) ASSERT_EQ(Engine.GammaAverage[A][B], Engine.GammaAverage[B][A]);
  }
}

TEST(SeamCarvingGammaAverage, TableIsIdenticalInBothBuilds) {
  auto Source = Uniform(1, 1, 0);
  TSeamCarvingComponent Engine(*Source, nullptr, 2.2f);
  std::uint32_t Hash = 2166136261u; // FNV-1a over the whole table
  for (int A = 0; A < 256; ++A)
    for (int B = 0; B < 256; ++B) Hash = (Hash ^ Engine.GammaAverage[A][B]) * 16777619u;
  EXPECT_EQ(Hash, 1015258655u);
}

TEST(SeamCarvingGammaAverage, EqualsTheExtendedPrecisionRuleForManyGammas) {
  // The table is built with Double powers away from rounding ties; the plain rule, every power
  // in extended precision, must give the same bytes. Gamma 1 has exact ties at every odd sum.
  auto Source = Uniform(1, 1, 0);
  for (const float Gamma : {2.2f, 1.0f, 1.8f, 2.4f, 0.45f, 3.7f}) {
    TSeamCarvingComponent Engine(*Source, nullptr, Gamma);
    const float InverseGamma = static_cast<float>(1.0L / Gamma);
    float Linear[256];
    Linear[0] = 0;
    for (int I = 1; I < 256; ++I)
      Linear[I] = static_cast<float>(255 * std::pow(static_cast<long double>(I) / 255, Gamma));
    for (int A = 0; A < 256; ++A)
      for (int B = 0; B <= A; ++B) {
        const long double Base = (static_cast<long double>(Linear[A]) + Linear[B]) / 510;
        const long double V = std::nearbyint(255 * std::pow(Base, static_cast<long double>(InverseGamma)));
        ASSERT_EQ(Engine.GammaAverage[A][B], static_cast<int>(std::clamp(V, 0.0L, 255.0L)))
            << "gamma " << Gamma << " at " << A << ", " << B;
      }
  }
}
