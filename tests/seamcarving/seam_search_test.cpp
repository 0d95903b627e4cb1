#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "message_of.h"
#include "seamcarving/engine_helpers.h"
#include "seamcarving/random_images.h"
#include "seamcarving/seam_carving_component.h"
#include "seamcarving/seam_reference.h"
#include "support/progress.h"

namespace {

// Sets the live cost map of an engine over a WxH image to Costs (row by row).
void SetCosts(TSeamCarvingComponent& E, const std::vector<double>& Costs) {
  E.UpdateCostMap();
  for (int Y = 0; Y < E.Height; ++Y)
    for (int X = 0; X < E.Width; ++X) *E.CostMap->CellAddress(X, Y) = Costs[std::size_t(Y) * E.Width + X];
}

int Step(const TSeamCarvingComponent& E, TSeamDirection D, int X, int Y) {
  return static_cast<std::int8_t>(*E.SeamStep[D]->PixelAddress(X, Y));
}

::testing::AssertionResult SameLive(const TSeamCarvingComponent& A, const TSeamCarvingComponent& B) {
  if (A.Width != B.Width || A.Height != B.Height) return ::testing::AssertionFailure() << "sizes differ";
  const int PixelSize = A.Image->PixelSize;
  for (int Y = 0; Y < A.Height; ++Y) {
    if (std::memcmp(A.Image->ScanLine(Y), B.Image->ScanLine(Y), std::size_t(A.Width) * PixelSize) != 0)
      return ::testing::AssertionFailure() << "image row " << Y << " differs";
  }
  if (A.CostMap || B.CostMap) {
    if (!A.CostMap || !B.CostMap) return ::testing::AssertionFailure() << "one cost map is missing";
    if (A.CostMap->Count != B.CostMap->Count) return ::testing::AssertionFailure() << "cost map sizes differ";
    if (std::memcmp(A.CostMap->Map, B.CostMap->Map, sizeof(double) * A.CostMap->Count) != 0)
      return ::testing::AssertionFailure() << "cost maps differ";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SamePass(const TSeamCarvingComponent& A, const TSeamCarvingComponent& B,
                                    TSeamDirection D) {
  for (int Y = 0; Y < A.Height; ++Y)
    for (int X = 0; X < A.Width; ++X) {
      if (*A.SeamCost[D]->CellAddress(X, Y) != *B.SeamCost[D]->CellAddress(X, Y))
        return ::testing::AssertionFailure() << "cumulative cost (" << X << ", " << Y << ") differs";
      if (Step(A, D, X, Y) != Step(B, D, X, Y))
        return ::testing::AssertionFailure() << "step (" << X << ", " << Y << ") differs";
    }
  if (D == sdVertical ? A.BestColumn != B.BestColumn : A.BestRow != B.BestRow)
    return ::testing::AssertionFailure() << "best end differs";
  return ::testing::AssertionSuccess();
}

// Removes the best seam of direction D from the engine A and, by the step-by-step rules, from B.
void RemoveBestSeams(TSeamCarvingComponent& A, TSeamCarvingComponent& B, TSeamDirection D) {
  if (D == sdVertical) {
    A.RemoveVerticalSeam(A.BestColumn);
    reference::RemoveVerticalSeam(B, B.BestColumn);
  } else {
    A.RemoveHorizontalSeam(A.BestRow);
    reference::RemoveHorizontalSeam(B, B.BestRow);
  }
}

class ProgressRecorder {
public:
  std::vector<int> Reports;
  std::function<void(int)> Abort; // optional: raise at some point
  ProgressRecorder() {
    ProgressHook = [this](int Percent) {
      Reports.push_back(Percent);
      if (Abort) Abort(Percent);
    };
  }
  ~ProgressRecorder() { ProgressHook = nullptr; }
};

// ScaleTo(W, H) on A, aborted by the first progress report of AtPercent or more; B is then
// brought by the step-by-step rules to the size A was left at.
void AbortScaleToAndCatchUp(TSeamCarvingComponent& A, TSeamCarvingComponent& B, int W, int H, int AtPercent) {
  ProgressRecorder Progress;
  Progress.Abort = [AtPercent](int Percent) {
    if (Percent >= AtPercent) throw EAbort();
  };
  EXPECT_THROW(A.ScaleTo(W, H), EAbort);
  Progress.Abort = nullptr;
  reference::ScaleTo(B, A.Width, A.Height);
}

// Both passes and then the removal of direction D, for each D in turn, as the dialog may do
// them: the engine's maps and results must be the step-by-step rules' at every point.
::testing::AssertionResult PassesAndRemovalsAgree(TSeamCarvingComponent& A, TSeamCarvingComponent& B,
                                                  std::initializer_list<TSeamDirection> Removals) {
  const TSeamDirections Both = SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal);
  for (TSeamDirection D : Removals) {
    A.FindSeams(Both);
    reference::FindSeams(B, Both);
    for (TSeamDirection Pass : {sdVertical, sdHorizontal})
      if (auto Same = SamePass(A, B, Pass); !Same) return Same;
    RemoveBestSeams(A, B, D);
    if (auto Same = SameLive(A, B); !Same) return Same;
  }
  return ::testing::AssertionSuccess();
}

} // namespace

// ============================================================================
// Passes: tie rules and ends
// ============================================================================

TEST(SeamSearch, StraightPredecessorWinsEveryTie) {
  // Row 0 holds the candidates for cell (1, 1) of a 3x2 map; row 1 costs 0.
  const struct {
    double Left, Straight, Right;
    int Step;
    double Sum;
  } Cases[] = {
      {5, 9, 5, 0, 9}, // equal diagonals below the straight one: straight
      {5, 5, 9, 0, 5}, // a diagonal tied with the straight one: straight
      {4, 5, 6, -1, 4},
      {6, 5, 4, 1, 4},
      {5, 5, 5, 0, 5},
  };
  auto Source = std::make_unique<TLinearBitmap>(3, 2, lpf24Bit);
  Source->Fill(0);
  for (const auto& C : Cases) {
    auto E = MakeEngine(*Source, 1);
    SetCosts(*E, {C.Left, C.Straight, C.Right, 0, 0, 0});
    E->FindSeams(SeamDirectionBit(sdVertical));
    EXPECT_EQ(Step(*E, sdVertical, 1, 1), C.Step) << C.Left << " " << C.Straight << " " << C.Right;
    EXPECT_EQ(*E->SeamCost[sdVertical]->CellAddress(1, 1), C.Sum);
    // The same candidates as a column for the horizontal pass.
    auto T = std::make_unique<TLinearBitmap>(2, 3, lpf24Bit);
    T->Fill(0);
    auto H = MakeEngine(*T, 1);
    SetCosts(*H, {C.Left, 0, C.Straight, 0, C.Right, 0});
    H->FindSeams(SeamDirectionBit(sdHorizontal));
    EXPECT_EQ(Step(*H, sdHorizontal, 1, 1), C.Step);
    EXPECT_EQ(*H->SeamCost[sdHorizontal]->CellAddress(1, 1), C.Sum);
  }
}

TEST(SeamSearch, BordersTakeTheirOneDiagonalOnlyWhenStrictlyLower) {
  auto Source = std::make_unique<TLinearBitmap>(3, 2, lpf24Bit);
  auto E = MakeEngine(*Source, 1);
  SetCosts(*E, {5, 4, 3, 1, 1, 1});
  E->FindSeams(SeamDirectionBit(sdVertical));
  EXPECT_EQ(Step(*E, sdVertical, 0, 1), 1);  // 4 < 5
  EXPECT_EQ(Step(*E, sdVertical, 2, 1), 0);  // 4 is not below 3
  SetCosts(*E, {4, 4, 5, 1, 1, 1});
  E->FindSeams(SeamDirectionBit(sdVertical));
  EXPECT_EQ(Step(*E, sdVertical, 0, 1), 0);  // a tie keeps the straight one
  EXPECT_EQ(Step(*E, sdVertical, 2, 1), -1); // 4 < 5
}

TEST(SeamSearch, UniformCostsGiveStraightSeamsAtTheFirstLine) {
  std::mt19937 Random(1);
  auto Source = RandomImage(Random, 9, 7, lpf24Bit, 1);
  auto E = MakeEngine(*Source, 5);
  E->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
  EXPECT_EQ(E->BestColumn, 0);
  EXPECT_EQ(E->BestRow, 0);
  for (int Y = 0; Y < 7; ++Y)
    for (int X = 0; X < 9; ++X) {
      ASSERT_EQ(Step(*E, sdVertical, X, Y), 0);
      ASSERT_EQ(Step(*E, sdHorizontal, X, Y), 0);
    }
}

TEST(SeamSearch, EqualMinimaTakeTheLeftmostColumnAndTopmostRow) {
  auto Source = std::make_unique<TLinearBitmap>(4, 3, lpf24Bit);
  auto E = MakeEngine(*Source, 1);
  SetCosts(*E, {9, 9, 9, 9, 9, 9, 9, 9, 9, 2, 9, 2});
  E->FindSeams(SeamDirectionBit(sdVertical));
  EXPECT_EQ(E->BestColumn, 1);
  SetCosts(*E, {9, 9, 9, 9, 9, 9, 9, 1, 9, 9, 9, 1});
  E->FindSeams(SeamDirectionBit(sdHorizontal));
  EXPECT_EQ(E->BestRow, 1);
}

TEST(SeamSearch, OnePixelAcrossGivesTheLineItselfAndOneLineTheCheapestCell) {
  auto Column = std::make_unique<TLinearBitmap>(1, 4, lpf24Bit);
  auto E = MakeEngine(*Column, 1);
  SetCosts(*E, {1, 2, 3, 4});
  E->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
  EXPECT_EQ(E->BestColumn, 0);
  EXPECT_EQ(*E->SeamCost[sdVertical]->CellAddress(0, 3), 10);
  EXPECT_EQ(E->BestRow, 0); // the horizontal pass on one column: the cheapest plain cost
  for (int Y = 0; Y < 4; ++Y) EXPECT_EQ(Step(*E, sdVertical, 0, Y), 0);

  auto Row = std::make_unique<TLinearBitmap>(4, 1, lpf24Bit);
  auto F = MakeEngine(*Row, 1);
  SetCosts(*F, {3, 1, 2, 1});
  F->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
  EXPECT_EQ(F->BestColumn, 1); // the vertical pass on one row: the cheapest plain cost
  EXPECT_EQ(F->BestRow, 0);
  EXPECT_EQ(*F->SeamCost[sdHorizontal]->CellAddress(3, 0), 7);
}

TEST(SeamSearch, PassesEqualTheStepByStepRulesOnRandomImages) {
  std::mt19937 Random(2);
  for (int Trial = 0; Trial < 40; ++Trial) {
    const int W = 2 + Trial % 9, H = 2 + Trial * 7 % 11;
    auto Source = RandomImage(Random, W, H, Trial % 2 ? lpf24Bit : lpf8Bit, 2 + Trial % 4);
    const int Window = 1 + Trial % 6;
    auto A = MakeEngine(*Source, Window), B = MakeEngine(*Source, Window);
    A->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
    reference::FindSeams(*B, SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
    ASSERT_TRUE(SamePass(*A, *B, sdVertical)) << "trial " << Trial;
    ASSERT_TRUE(SamePass(*A, *B, sdHorizontal)) << "trial " << Trial;
  }
}

TEST(SeamSearch, AWorkerErrorIsRaisedAfterTheHorizontalPass) {
  // A step bitmap of the wrong size makes the vertical pass reallocate it; this one fails.
  class TFailingBitmap : public TLinearBitmap {
  protected:
    void ReleaseMap(std::uint8_t* Block) override {
      TLinearBitmap::ReleaseMap(Block);
      if (Block) throw Exception("Worker failed");
    }
  };
  std::mt19937 Random(3);
  auto Source = RandomImage(Random, 6, 5, lpf24Bit, 5);
  auto E = MakeEngine(*Source, 3);
  E->SeamStep[sdVertical] = std::make_unique<TFailingBitmap>();
  E->SeamStep[sdVertical]->New(1, 1, lpf8Bit);
  EXPECT_EQ(MessageOf([&] { E->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal)); }),
            "Worker failed");
  EXPECT_TRUE(E->SeamMapFresh[sdHorizontal]);
  EXPECT_FALSE(E->SeamMapFresh[sdVertical]);
}

// ============================================================================
// Removal
// ============================================================================

TEST(SeamRemoval, VerticalShiftsTheRowTailAndZeroesTheLastCell) {
  auto Source = std::make_unique<TLinearBitmap>(5, 1, lpf24Bit);
  for (int I = 0; I < 15; ++I) Source->Map[I] = std::uint8_t(10 + I);
  auto E = MakeEngine(*Source, 1);
  SetCosts(*E, {5, 6, 1, 7, 8});
  E->FindSeams(SeamDirectionBit(sdVertical));
  ASSERT_EQ(E->BestColumn, 2);
  E->RemoveVerticalSeam(2);
  EXPECT_EQ(E->Width, 4);
  const std::uint8_t Expected[] = {10, 11, 12, 13, 14, 15, 19, 20, 21, 22, 23, 24, 0, 0, 0};
  EXPECT_EQ(std::memcmp(E->Image->Map, Expected, 15), 0);
  EXPECT_EQ(*E->CostMap->CellAddress(4, 0), 0.0);
  EXPECT_EQ(*E->CostMap->CellAddress(2, 0), 0.0); // recomputed: radius 0, one pixel
  EXPECT_EQ(*E->CostMap->CellAddress(3, 0), 8.0); // shifted, outside the band
  EXPECT_FALSE(E->SeamMapFresh[sdVertical]);
  EXPECT_TRUE(E->CostMapValid);
}

TEST(SeamRemoval, BandRepairStopsAtTheBorder) {
  std::mt19937 Random(4);
  auto Source = RandomImage(Random, 8, 1, lpf8Bit, 256);
  auto E = MakeEngine(*Source, 5); // radius 2
  SetCosts(*E, {0, 100, 100, 100, 100, 100, 100, 100});
  E->FindSeams(SeamDirectionBit(sdVertical));
  ASSERT_EQ(E->BestColumn, 0);
  E->RemoveVerticalSeam(0);
  for (int X = 0; X < 3; ++X) EXPECT_NE(*E->CostMap->CellAddress(X, 0), 100.0) << X;
  for (int X = 3; X < 7; ++X) EXPECT_EQ(*E->CostMap->CellAddress(X, 0), 100.0) << X;
}

TEST(SeamRemoval, HorizontalShiftsColumnsUp) {
  auto Source = std::make_unique<TLinearBitmap>(2, 3, lpf8Bit);
  *Source->Palette = GreyPalette;
  const std::uint8_t Pixels[] = {1, 2, 3, 4, 5, 6};
  std::memcpy(Source->Map, Pixels, 6);
  auto E = MakeEngine(*Source, 1);
  SetCosts(*E, {9, 9, 0, 0, 9, 9});
  E->FindSeams(SeamDirectionBit(sdHorizontal));
  ASSERT_EQ(E->BestRow, 1);
  E->RemoveHorizontalSeam(1);
  EXPECT_EQ(E->Height, 2);
  const std::uint8_t Expected[] = {1, 2, 5, 6, 0, 0};
  EXPECT_EQ(std::memcmp(E->Image->Map, Expected, 6), 0);
  EXPECT_EQ(E->GreyImage, E->Image.get()); // moved once: it is the grey image too
}

TEST(SeamRemoval, RemovalsEqualTheStepByStepRulesOnRandomImages) {
  std::mt19937 Random(5);
  for (int Trial = 0; Trial < 24; ++Trial) {
    const int W = 3 + Trial % 8, H = 3 + Trial * 5 % 9;
    const bool Colour = Trial % 3 == 1;
    auto Source = RandomImage(Random, W, H, Trial % 3 == 0 ? lpf24Bit : lpf8Bit, 3 + Trial % 5, Colour);
    std::vector<std::uint8_t> Mask(std::size_t(W) * H);
    for (auto& M : Mask) M = Random() % 4 == 0;
    const auto Handling = static_cast<TSelectionHandling>(Trial % 3);
    const int Window = 1 + Trial % 7;
    auto A = MakeEngine(*Source, Window, Handling, Mask.data());
    auto B = MakeEngine(*Source, Window, Handling, Mask.data());
    for (int K = 0; K < 4 && A->Width > 1 && A->Height > 1; ++K) {
      const TSeamDirection D = (K + Trial) % 2 ? sdVertical : sdHorizontal;
      A->FindSeams(SeamDirectionBit(D));
      reference::FindSeams(*B, SeamDirectionBit(D));
      ASSERT_TRUE(SamePass(*A, *B, D)) << "trial " << Trial << " seam " << K;
      RemoveBestSeams(*A, *B, D);
      ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial << " seam " << K;
      if (Colour) {
        for (int Y = 0; Y < A->Height; ++Y)
          ASSERT_EQ(std::memcmp(A->GreyImage->ScanLine(Y), B->GreyImage->ScanLine(Y), A->Width), 0);
      }
    }
  }
}

TEST(SeamRemoval, MapsBroughtUpToDateEqualFreshPassesOverLongRuns) {
  // Long runs of removals, each followed by the passes: the engine brings its maps up to date
  // from the removal where it can; the reference recomputes them from scratch every time.
  std::mt19937 Random(15);
  for (int Trial = 0; Trial < 12; ++Trial) {
    const int W = 30 + Trial * 3, H = 20 + Trial * 2;
    auto Source = RandomImage(Random, W, H, Trial % 2 ? lpf24Bit : lpf8Bit, 3 + Trial * 20);
    std::vector<std::uint8_t> Mask(std::size_t(W) * H);
    for (std::size_t I = 0; I < Mask.size(); ++I) Mask[I] = (I / 7) % 5 == 0;
    const auto Handling = static_cast<TSelectionHandling>(Trial % 3);
    const int Window = 1 + (Trial * 2) % 9;
    auto A = MakeEngine(*Source, Window, Handling, Mask.data());
    auto B = MakeEngine(*Source, Window, Handling, Mask.data());
    const TSeamDirections Both = SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal);
    for (int K = 0; K < 16; ++K) {
      // Runs of one direction (same-direction updates) mixed with changes of direction.
      const TSeamDirection D = Trial % 3 == 0 ? sdVertical
                               : Random() % 3 ? TSeamDirection(K / 4 % 2)
                                              : TSeamDirection(Random() % 2);
      const TSeamDirections Wanted = (K % 3 == 0) ? SeamDirectionBit(D) : Both;
      A->FindSeams(Wanted);
      reference::FindSeams(*B, Wanted);
      for (TSeamDirection Pass : {sdVertical, sdHorizontal}) {
        if (Wanted & SeamDirectionBit(Pass)) {
          ASSERT_TRUE(SamePass(*A, *B, Pass)) << Trial << "/" << K;
        }
      }
      RemoveBestSeams(*A, *B, D);
      ASSERT_TRUE(SameLive(*A, *B)) << Trial << "/" << K;
    }
  }
}

TEST(SeamRemoval, ExpensiveSelectionTravelsWithItsPixels) {
  auto Source = std::make_unique<TLinearBitmap>(4, 2, lpf24Bit);
  Source->Fill(0);
  std::vector<std::uint8_t> Mask = {0, 0, 0, 1, 0, 0, 0, 1};
  auto E = MakeEngine(*Source, 3, shExpensive, Mask.data());
  E->FindSeams(SeamDirectionBit(sdVertical));
  E->RemoveVerticalSeam(E->BestColumn);
  EXPECT_EQ(*E->CostMap->CellAddress(2, 0), 35623.5);
  EXPECT_EQ(*E->CostMap->CellAddress(2, 1), 35623.5);
}

// ============================================================================
// ScaleTo
// ============================================================================

TEST(ScaleToTest, TargetsAtOrAboveTheSizeDoNothing) {
  std::mt19937 Random(6);
  auto Source = RandomImage(Random, 5, 4, lpf24Bit, 4);
  auto E = MakeEngine(*Source, 3);
  ProgressRecorder Progress;
  E->ScaleTo(5, 4);
  E->ScaleTo(9, 9);
  EXPECT_TRUE(Progress.Reports.empty());
  EXPECT_EQ(E->Width, 5);
  EXPECT_EQ(E->Image, nullptr);
}

TEST(ScaleToTest, EachStepRemovesTheCheaperSeamPerPixelAndReports) {
  std::mt19937 Random(7);
  auto Source = RandomImage(Random, 7, 6, lpf24Bit, 200);
  auto E = MakeEngine(*Source, 3);
  ProgressRecorder Progress;
  E->ScaleTo(6, 5);
  EXPECT_EQ(E->Width, 6);
  EXPECT_EQ(E->Height, 5);
  EXPECT_EQ(Progress.Reports, (std::vector<int>{50, 100}));
  EXPECT_TRUE(E->CostMapValid);
}

TEST(ScaleToTest, EqualAveragesRemoveTheHorizontalSeam) {
  // An image symmetric about its diagonal has a symmetric cost map, so its best vertical seam
  // is its best horizontal one transposed, at the same cost to the bit: a real tie. On most
  // such images the two orders of removal give different images.
  constexpr int N = 7;
  int OrdersDiffer = 0;
  for (unsigned Seed = 1; Seed <= 8; ++Seed) {
    SCOPED_TRACE(Seed);
    std::mt19937 Random(Seed);
    auto Source = RandomImage(Random, N, N, lpf8Bit, 200);
    for (int Y = 0; Y < N; ++Y)
      for (int X = 0; X < Y; ++X) *Source->PixelAddress(X, Y) = *Source->PixelAddress(Y, X);
    auto RowFirst = MakeEngine(*Source, 3), ColumnFirst = MakeEngine(*Source, 3);
    RowFirst->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
    ASSERT_EQ(*RowFirst->SeamCost[sdVertical]->CellAddress(RowFirst->BestColumn, N - 1),
              *RowFirst->SeamCost[sdHorizontal]->CellAddress(N - 1, RowFirst->BestRow));
    RowFirst->RemoveHorizontalSeam(RowFirst->BestRow);
    RowFirst->FindSeams(SeamDirectionBit(sdVertical));
    RowFirst->RemoveVerticalSeam(RowFirst->BestColumn);
    ColumnFirst->FindSeams(SeamDirectionBit(sdVertical));
    ColumnFirst->RemoveVerticalSeam(ColumnFirst->BestColumn);
    ColumnFirst->FindSeams(SeamDirectionBit(sdHorizontal));
    ColumnFirst->RemoveHorizontalSeam(ColumnFirst->BestRow);
    OrdersDiffer += !SameLive(*RowFirst, *ColumnFirst);

    auto E = MakeEngine(*Source, 3);
    std::vector<std::pair<int, int>> Sizes; // after each step
    ProgressRecorder Progress;
    Progress.Abort = [&](int) { Sizes.emplace_back(E->Width, E->Height); };
    E->ScaleTo(N - 1, N - 1);
    EXPECT_EQ(Sizes, (std::vector<std::pair<int, int>>{{N, N - 1}, {N - 1, N - 1}}));
    EXPECT_TRUE(SameLive(*E, *RowFirst));
  }
  EXPECT_GE(OrdersDiffer, 4);
}

TEST(ScaleToTest, EqualsTheStepByStepRulesOnRandomImages) {
  std::mt19937 Random(9);
  for (int Trial = 0; Trial < 12; ++Trial) {
    const int W = 6 + Trial % 7, H = 5 + Trial % 5;
    auto Source = RandomImage(Random, W, H, Trial % 2 ? lpf24Bit : lpf8Bit, 2 + Trial % 6);
    auto A = MakeEngine(*Source, 1 + Trial % 5), B = MakeEngine(*Source, 1 + Trial % 5);
    A->ScaleTo(W - 1 - Trial % 4, H - Trial % 3);
    reference::ScaleTo(*B, W - 1 - Trial % 4, H - Trial % 3);
    ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial;
  }
}

TEST(ScaleToTest, NarrowingLeavesEverythingAsTheStepByStepRulesAndCarriesOn) {
  // Long width-only runs (and runs where the height is done first), then an abort in the
  // middle of one, then the passes and removals that may follow in the dialog: the image, the
  // whole cost map and the seam maps must be exactly the reference's at every point.
  std::mt19937 Random(17);
  for (int Trial = 0; Trial < 8; ++Trial) {
    const int W = 24 + Trial * 5, H = 6 + Trial % 4;
    const bool Colour = Trial % 4 == 3;
    auto Source = RandomImage(Random, W, H, Trial % 2 ? lpf24Bit : lpf8Bit, 3 + Trial * 9, Colour);
    std::vector<std::uint8_t> Mask(std::size_t(W) * H);
    for (auto& M : Mask) M = Random() % 5 == 0;
    const auto Handling = static_cast<TSelectionHandling>(Trial % 3);
    auto A = MakeEngine(*Source, 1 + Trial % 6, Handling, Mask.data());
    auto B = MakeEngine(*Source, 1 + Trial % 6, Handling, Mask.data());
    const int NewHeight = H - Trial % 2;
    A->ScaleTo(W * 2 / 3, NewHeight);
    reference::ScaleTo(*B, W * 2 / 3, NewHeight);
    ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial;
    AbortScaleToAndCatchUp(*A, *B, W / 3, NewHeight, 40);
    ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial << " after the abort";
    ASSERT_TRUE(PassesAndRemovalsAgree(*A, *B, {sdVertical, sdHorizontal, sdVertical})) << "trial " << Trial;
    if (Colour) {
      for (int Y = 0; Y < A->Height; ++Y)
        ASSERT_EQ(std::memcmp(A->GreyImage->ScanLine(Y), B->GreyImage->ScanLine(Y), A->Width), 0);
    }
  }
}

TEST(ScaleToTest, ShrinkingBothWaysOverLongRunsEqualsTheStepByStepRules) {
  // Width and height shrink together for many steps, so the seam maps are brought up to date
  // after removals of either direction; then an abort part way, and the passes and removals
  // the dialog may follow, which must find the maps as a fresh pass makes them.
  std::mt19937 Random(19);
  for (int Trial = 0; Trial < 8; ++Trial) {
    const int W = 26 + Trial * 4, H = 17 + Trial * 3;
    auto Source = RandomImage(Random, W, H, Trial % 2 ? lpf24Bit : lpf8Bit, 3 + Trial * 30, Trial == 5);
    std::vector<std::uint8_t> Mask(std::size_t(W) * H);
    for (auto& M : Mask) M = Random() % 6 == 0;
    const auto Handling = static_cast<TSelectionHandling>(Trial % 3);
    auto A = MakeEngine(*Source, 1 + Trial % 7, Handling, Mask.data());
    auto B = MakeEngine(*Source, 1 + Trial % 7, Handling, Mask.data());
    A->ScaleTo(W * 3 / 4, H * 3 / 4);
    reference::ScaleTo(*B, W * 3 / 4, H * 3 / 4);
    ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial;
    AbortScaleToAndCatchUp(*A, *B, W / 2, H / 2, 60);
    ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial << " after the abort";
    ASSERT_TRUE(PassesAndRemovalsAgree(*A, *B, {sdHorizontal, sdVertical, sdHorizontal})) << "trial " << Trial;
  }
}

TEST(ScaleToTest, ThinImagesEqualTheStepByStepRules) {
  // A few pixels across and long the other way, the shape where removals are mostly moves of
  // whole rows; some runs also narrow, so that the rows no longer fill the maps.
  const struct {
    int W, H, NewW, NewH;
  } Shapes[] = {{1, 300, 1, 120}, {2, 257, 2, 100}, {3, 200, 2, 90}, {5, 150, 4, 60}, {300, 1, 120, 1}, {240, 2, 100, 2}};
  std::mt19937 Random(23);
  int Trial = 0;
  for (const auto& S : Shapes)
    for (TLinearPixelFormat Format : {lpf8Bit, lpf24Bit}) {
      auto Source = RandomImage(Random, S.W, S.H, Format, 2 + Trial * 23 % 200, Trial % 4 == 1);
      std::vector<std::uint8_t> Mask(std::size_t(S.W) * S.H);
      for (auto& M : Mask) M = Random() % 7 == 0;
      const auto Handling = static_cast<TSelectionHandling>(Trial % 3);
      auto A = MakeEngine(*Source, 1 + Trial % 6, Handling, Mask.data());
      auto B = MakeEngine(*Source, 1 + Trial % 6, Handling, Mask.data());
      A->ScaleTo(S.NewW, S.NewH);
      reference::ScaleTo(*B, S.NewW, S.NewH);
      ASSERT_TRUE(SameLive(*A, *B)) << S.W << " x " << S.H << ", trial " << Trial;
      AbortScaleToAndCatchUp(*A, *B, std::max(1, S.NewW / 2), std::max(1, S.NewH / 2), 50);
      ASSERT_TRUE(SameLive(*A, *B)) << S.W << " x " << S.H << ", trial " << Trial << " after the abort";
      ++Trial;
    }
}

TEST(ScaleToTest, AnAbortKeepsTheSeamsRemovedSoFar) {
  std::mt19937 Random(10);
  auto Source = RandomImage(Random, 10, 4, lpf24Bit, 50);
  auto E = MakeEngine(*Source, 3);
  ProgressRecorder Progress;
  Progress.Abort = [](int Percent) {
    if (Percent >= 50) throw EAbort();
  };
  EXPECT_THROW(E->ScaleTo(6, 4), EAbort);
  EXPECT_EQ(E->Width, 8);
  EXPECT_TRUE(E->CostMapValid);
}

TEST(ScaleToTest, TargetsBelowOnePixelStopAtOne) {
  std::mt19937 Random(11);
  auto Source = RandomImage(Random, 3, 3, lpf24Bit, 9);
  auto E = MakeEngine(*Source, 3);
  E->ScaleTo(0, -5);
  EXPECT_EQ(E->Width, 1);
  EXPECT_EQ(E->Height, 1);
}

// ============================================================================
// EnlargeWidth
// ============================================================================

TEST(EnlargeWidthTest, InsertsTheGammaAverageRightOfTheSeam) {
  // Column 3 is the cheapest: the seam runs straight down it.
  auto Source = std::make_unique<TLinearBitmap>(6, 3, lpf8Bit);
  *Source->Palette = GreyPalette;
  const std::uint8_t Row[] = {200, 0, 200, 0, 255, 0};
  for (int Y = 0; Y < 3; ++Y) std::memcpy(Source->ScanLine(Y), Row, 6);
  auto E = MakeEngine(*Source, 1);
  SetCosts(*E, std::vector<double>{9, 9, 9, 0, 9, 9, 9, 9, 9, 0, 9, 9, 9, 9, 9, 0, 9, 9});
  ProgressRecorder Progress;
  E->EnlargeWidth(7);
  EXPECT_EQ(E->Width, 7);
  EXPECT_EQ(E->Height, 3);
  EXPECT_EQ(Progress.Reports, (std::vector<int>{0, 90, 100}));
  ASSERT_EQ(E->GammaAverage[0][255], 186);
  const std::uint8_t Expected[] = {200, 0, 200, 0, 186, 255, 0};
  for (int Y = 0; Y < 3; ++Y) EXPECT_EQ(std::memcmp(E->Image->ScanLine(Y), Expected, 7), 0) << Y;
  EXPECT_EQ(E->CostMap, nullptr);
  EXPECT_EQ(E->GreyImage, nullptr);
  EXPECT_FALSE(E->CostMapValid);
}

TEST(EnlargeWidthTest, ASeamAtTheRowsEndIsAveragedWithItself) {
  auto Source = std::make_unique<TLinearBitmap>(1, 2, lpf24Bit);
  const std::uint8_t Pixels[] = {10, 20, 30, 40, 50, 60};
  std::memcpy(Source->Map, Pixels, 6);
  auto E = MakeEngine(*Source, 3);
  E->EnlargeWidth(2);
  ASSERT_EQ(E->Width, 2);
  for (int Y = 0; Y < 2; ++Y)
    for (int C = 0; C < 3; ++C)
      EXPECT_EQ(E->Image->PixelAddress(1, Y)[C], E->GammaAverage[Pixels[3 * Y + C]][Pixels[3 * Y + C]]);
}

TEST(EnlargeWidthTest, EqualsTheStepByStepRulesOnRandomImages) {
  std::mt19937 Random(12);
  for (int Trial = 0; Trial < 16; ++Trial) {
    const int W = 3 + Trial % 9, H = 2 + Trial % 6;
    auto Source = RandomImage(Random, W, H, Trial % 2 ? lpf24Bit : lpf8Bit, 2 + Trial % 7);
    auto A = MakeEngine(*Source, 1 + Trial % 5), B = MakeEngine(*Source, 1 + Trial % 5);
    const int NewWidth = W + 1 + Trial % ((W + 1) / 2);
    A->EnlargeWidth(NewWidth);
    reference::EnlargeWidth(*B, NewWidth);
    ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial;
  }
}

TEST(EnlargeWidthTest, ManySeamsPerRowMapAndInsertAsTheOrderedWalkDoes) {
  // Many seams per row, found in every order of position, often later ones left of earlier
  // ones and on the same columns: the engine counts where the rules walk the earlier seams.
  std::mt19937 Random(16);
  for (int Trial = 0; Trial < 6; ++Trial) {
    const int W = 20 + Trial * 7, H = 3 + Trial;
    auto Source = RandomImage(Random, W, H, Trial % 2 ? lpf24Bit : lpf8Bit, 2 + Trial * 3);
    auto A = MakeEngine(*Source, 1 + 2 * (Trial % 3)), B = MakeEngine(*Source, 1 + 2 * (Trial % 3));
    A->EnlargeWidth((3 * W + 1) / 2);
    reference::EnlargeWidth(*B, (3 * W + 1) / 2);
    ASSERT_TRUE(SameLive(*A, *B)) << "trial " << Trial;
  }
}

TEST(EnlargeWidthTest, EarlierRemovalsAndEnlargementsAreDiscarded) {
  std::mt19937 Random(13);
  auto Source = RandomImage(Random, 8, 6, lpf24Bit, 30);
  auto Fresh = MakeEngine(*Source, 3);
  Fresh->EnlargeWidth(11);
  auto E = MakeEngine(*Source, 3);
  E->ScaleTo(6, 5);
  E->EnlargeWidth(11);
  EXPECT_TRUE(SameLive(*E, *Fresh));
  // Enlarged and carved back to the source's width: still the source that is widened.
  E->ScaleTo(8, 6);
  ASSERT_EQ(E->Width, 8);
  E->EnlargeWidth(11);
  EXPECT_TRUE(SameLive(*E, *Fresh));
}

TEST(EnlargeWidthTest, ColourPaletteInsertsTheNearestEntryToTheAverageColour) {
  auto Source = std::make_unique<TLinearBitmap>(2, 1, lpf8Bit);
  for (int I = 0; I < 256; ++I) (*Source->Palette)[I] = {0, 0, 0};
  (*Source->Palette)[1] = {0, 0, 255};   // red
  (*Source->Palette)[2] = {255, 0, 0};   // blue
  (*Source->Palette)[3] = {186, 0, 186}; // their gamma-correct average
  Source->Map[0] = 1;
  Source->Map[1] = 2;
  auto E = MakeEngine(*Source, 1);
  E->EnlargeWidth(3);
  EXPECT_EQ(E->Image->Map[1], 3);
}

TEST(EnlargeWidthTest, AnAbortWhileInsertingKeepsAPartlyWidenedImage) {
  std::mt19937 Random(14);
  auto Source = RandomImage(Random, 10, 3, lpf24Bit, 40);
  auto E = MakeEngine(*Source, 3);
  ProgressRecorder Progress;
  Progress.Abort = [](int Percent) {
    if (Percent > 90) throw EAbort();
  };
  EXPECT_THROW(E->EnlargeWidth(14), EAbort); // reports 90, 92: stops before the second seam
  EXPECT_EQ(E->Width, 11);
  EXPECT_EQ(E->Image->Width, 14);
  EXPECT_EQ(E->CostMap, nullptr);
  Progress.Abort = nullptr;
  E->ScaleTo(11, 2); // rebuilds from what is there
  EXPECT_EQ(E->Height, 2);
}

TEST(EnlargeWidthTest, AnAbortAmongEqualReportsKeepsExactlyTheSeamsBeforeIt) {
  // 30 seams report 90, 90, 90, 91, ... while inserting; aborting at any of them must leave
  // the seams before it inserted, as the step-by-step rules do.
  std::mt19937 Random(18);
  auto Source = RandomImage(Random, 60, 4, lpf24Bit, 40);
  for (const int AbortAt : {1, 2, 5, 30}) {
    auto A = MakeEngine(*Source, 3), B = MakeEngine(*Source, 3);
    for (TSeamCarvingComponent* E : {A.get(), B.get()}) {
      ProgressRecorder Progress;
      int Inserting = 0;
      Progress.Abort = [&](int Percent) {
        if (Percent >= 90 && ++Inserting == AbortAt) throw EAbort();
      };
      if (E == A.get())
        EXPECT_THROW(A->EnlargeWidth(90), EAbort);
      else
        EXPECT_THROW(reference::EnlargeWidth(*B, 90), EAbort);
    }
    EXPECT_EQ(A->Width, 60 + AbortAt - 1);
    EXPECT_TRUE(SameLive(*A, *B)) << "abort at insertion report " << AbortAt;
  }
}

// ============================================================================
// Golden results: pinned so that both builds, and every later change, give these exact images
// ============================================================================

namespace {

// A deterministic photograph-like image: smooth ramps, an edge, and noise from a fixed LCG.
std::unique_ptr<TLinearBitmap> GoldenImage(TLinearPixelFormat Format) {
  auto B = std::make_unique<TLinearBitmap>(37, 23, Format);
  if (Format == lpf8Bit) *B->Palette = GreyPalette;
  std::uint32_t State = 2024;
  for (int Y = 0; Y < B->Height; ++Y)
    for (int X = 0; X < B->Width; ++X)
      for (int C = 0; C < B->PixelSize; ++C) {
        State = State * 1664525u + 1013904223u;
        const int Edge = X > 12 + Y / 3 ? 90 : 0;
        B->PixelAddress(X, Y)[C] = std::uint8_t((X * 5 + Y * 3 * (C + 1) + Edge + (State >> 28)) & 255);
      }
  return B;
}

std::uint64_t LiveHash(const TSeamCarvingComponent& E) {
  std::uint64_t Hash = 14695981039346656037ull;
  for (int Y = 0; Y < E.Height; ++Y) {
    const std::uint8_t* Row = E.Image->ScanLine(Y);
    for (int I = 0; I < E.Width * E.Image->PixelSize; ++I) Hash = (Hash ^ Row[I]) * 1099511628211ull;
  }
  return Hash;
}

} // namespace

TEST(SeamGolden, ScaledAndWidenedImagesAreExactlyThese) {
  const struct {
    TLinearPixelFormat Format;
    int Window;
    bool Widen;
    std::uint64_t Hash;
  } Cases[] = {
      {lpf24Bit, 5, false, 2585864712593653646ull},
      {lpf8Bit, 3, false, 774409257723408176ull},
      {lpf24Bit, 4, true, 1724187426581132457ull},
      {lpf8Bit, 9, true, 17057979655595354744ull},
  };
  for (const auto& C : Cases) {
    auto Source = GoldenImage(C.Format);
    auto E = MakeEngine(*Source, C.Window), Reference = MakeEngine(*Source, C.Window);
    if (C.Widen) {
      E->EnlargeWidth(50);
      E->ScaleTo(50, 19);
      reference::EnlargeWidth(*Reference, 50);
      reference::ScaleTo(*Reference, 50, 19);
    } else {
      E->ScaleTo(25, 17);
      reference::ScaleTo(*Reference, 25, 17);
    }
    EXPECT_EQ(LiveHash(*E), C.Hash) << "format " << int(C.Format) << " window " << C.Window;
    EXPECT_EQ(LiveHash(*Reference), C.Hash);
  }
}

// ============================================================================
// Following a seam
// ============================================================================

TEST(SeamFollowing, VisitsEachLineFromTheEndBackAlongTheSteps) {
  std::mt19937 Random(31);
  for (int Trial = 0; Trial < 8; ++Trial) {
    const int W = 2 + Trial, H = 9 - Trial;
    auto Source = RandomImage(Random, W, H, lpf24Bit, 5);
    auto E = MakeEngine(*Source, 3);
    E->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
    for (TSeamDirection D : {sdVertical, sdHorizontal}) {
      // The walk by its plain rule, read straight from the step bitmap.
      const bool Vertical = D == sdVertical;
      std::vector<std::pair<int, int>> Expected, Visited;
      for (int Line = (Vertical ? H : W) - 1, At = Vertical ? E->BestColumn : E->BestRow; Line >= 0; --Line) {
        const int X = Vertical ? At : Line, Y = Vertical ? Line : At;
        Expected.emplace_back(X, Y);
        At += Step(*E, D, X, Y);
      }
      E->FollowSeam(D, Vertical ? E->BestColumn : E->BestRow, [&](int X, int Y) { Visited.emplace_back(X, Y); });
      EXPECT_EQ(Visited, Expected) << "trial " << Trial << (Vertical ? ", vertical" : ", horizontal");
    }
  }
}

TEST(SeamFollowing, AFixedDiagonalIsWalkedPixelByPixel) {
  // Costs 0 on the diagonal, 9 elsewhere: both best seams run along it.
  auto Source = std::make_unique<TLinearBitmap>(3, 3, lpf24Bit);
  auto E = MakeEngine(*Source, 1);
  SetCosts(*E, std::vector<double>{0, 9, 9, 9, 0, 9, 9, 9, 0});
  E->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
  std::vector<std::pair<int, int>> Vertical, Horizontal;
  E->FollowSeam(sdVertical, E->BestColumn, [&](int X, int Y) { Vertical.emplace_back(X, Y); });
  E->FollowSeam(sdHorizontal, E->BestRow, [&](int X, int Y) { Horizontal.emplace_back(X, Y); });
  const std::vector<std::pair<int, int>> Diagonal{{2, 2}, {1, 1}, {0, 0}};
  EXPECT_EQ(Vertical, Diagonal);
  EXPECT_EQ(Horizontal, Diagonal);
}

// ============================================================================
// Enlarge, then scale
// ============================================================================

TEST(EnlargeThenScaleTest, EqualsEnlargeWidthThenScaleTo) {
  struct {
    int Width, Height, NewWidth, NewHeight;
  } const Cases[] = {{9, 7, 12, 5}, {9, 7, 13, 7}, {9, 7, 6, 4}, {9, 7, 9, 3}, {9, 7, 9, 7}, {1, 4, 2, 3}};
  std::mt19937 Random(41);
  for (const auto& C : Cases) {
    auto Source = RandomImage(Random, C.Width, C.Height, lpf24Bit, 7);
    auto A = MakeEngine(*Source, 3), B = MakeEngine(*Source, 3);
    A->EnlargeThenScale(C.NewWidth, C.NewHeight);
    if (C.NewWidth > C.Width) B->EnlargeWidth(C.NewWidth);
    B->ScaleTo(C.NewWidth, C.NewHeight);
    EXPECT_EQ(A->Width, C.NewWidth);
    EXPECT_EQ(A->Height, C.NewHeight);
    if (A->Image) {
      EXPECT_TRUE(SameLive(*A, *B)) << C.Width << "x" << C.Height << " to " << C.NewWidth << "x" << C.NewHeight;
    }
  }
}

TEST(EnlargeThenScaleTest, ATargetAboveTheCarvedSizeStartsFromTheSourceAgain) {
  std::mt19937 Random(42);
  auto Source = RandomImage(Random, 10, 8, lpf24Bit, 7);
  auto A = MakeEngine(*Source, 3);
  A->ScaleTo(7, 7);
  struct {
    int NewWidth, NewHeight;
    bool Restart;
  } const Cases[] = {{7, 7, false}, {6, 5, false}, {8, 7, true}, {7, 8, true}, {10, 8, true}, {11, 8, false}};
  for (const auto& C : Cases) EXPECT_EQ(A->NeedsRestart(C.NewWidth, C.NewHeight), C.Restart) << C.NewWidth << "x" << C.NewHeight;
  A->EnlargeThenScale(9, 6);
  auto B = MakeEngine(*Source, 3);
  B->ScaleTo(9, 6);
  EXPECT_TRUE(SameLive(*A, *B));
}

TEST(EnlargeThenScaleTest, WholeProgressSharesTheSpanByTheSeamsOfEachOperation) {
  std::mt19937 Random(43);
  auto Source = RandomImage(Random, 8, 6, lpf24Bit, 7);
  struct {
    TResizeProgress Mode;
    std::vector<int> Reports;
  } const Cases[] = {
      // Two seams inserted (0, 45, then 90, 95 and 100), two removed (50, 100) ...
      {TResizeProgress::PerOperation, {0, 45, 90, 95, 100, 50, 100}},
      // ... or each half of the whole: 2 of 4 seams are inserted.
      {TResizeProgress::Whole, {0, 22, 45, 47, 50, 75, 100}},
  };
  for (const auto& C : Cases) {
    auto E = MakeEngine(*Source, 3);
    ProgressRecorder Progress;
    E->EnlargeThenScale(10, 4, C.Mode);
    EXPECT_EQ(Progress.Reports, C.Reports);
    EXPECT_TRUE(ProgressHook) << "the caller's hook is back";
  }
}
