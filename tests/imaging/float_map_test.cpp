#include "imaging/float_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "message_of.h"

namespace {

void Fill(TFloatMap& Map, const std::vector<double>& Cells) {
  ASSERT_EQ(static_cast<size_t>(Map.Count), Cells.size());
  for (int I = 0; I < Map.Count; ++I) Map.Map[I] = Cells[I];
}

std::vector<int> Pixels8(const TLinearBitmap& Bitmap) {
  std::vector<int> Result;
  for (int Y = 0; Y < Bitmap.Height; ++Y)
    for (int X = 0; X < Bitmap.Width; ++X) Result.push_back(*Bitmap.PixelAddress(X, Y));
  return Result;
}

} // namespace

// ============================================================================
// Allocation
// ============================================================================

TEST(FloatMapNew, SameSizeKeepsCellsOtherSizeResizesFields) {
  TFloatMap Map;
  Map.New(4, 3);
  Fill(Map, std::vector<double>(12, 7.5));
  double* Before = Map.Map;
  Map.New(4, 3);
  EXPECT_EQ(Map.Map, Before);
  EXPECT_EQ(Map.Map[11], 7.5);

  Map.New(3, 4);
  EXPECT_EQ(Map.Width, 3);
  EXPECT_EQ(Map.Height, 4);
  EXPECT_EQ(Map.Count, 12);
  EXPECT_EQ(Map.Size, 96);
  EXPECT_EQ(Map.BytesPerLine, 24);
}

TEST(FloatMapNew, MatrixTakesRowsThenColumns) {
  TMatrix Matrix(3, 5);
  EXPECT_EQ(Matrix.Width, 5);
  EXPECT_EQ(Matrix.Height, 3);
  EXPECT_EQ(Matrix.CellAddress(2, 1), Matrix.Map + 7);
  EXPECT_EQ(Matrix.ScanLine(2), Matrix.Map + 10);
}

TEST(FloatMapNew, MoreThanTwoBillionBytesIsRefusedAndLeavesTheMapEmpty) {
  TFloatMap Map;
  Map.New(2, 2);
  // 20,000 x 12,500 cells are exactly 2,000,000,000 bytes; one row or column more is over.
  EXPECT_EQ(MessageOf([&] { Map.New(20001, 12500); }), "Out of memory");
  EXPECT_EQ(Map.Map, nullptr);
  EXPECT_EQ(Map.Count, 0);
  EXPECT_EQ(MessageOf([&] { Map.New(20000, 12501); }), "Out of memory");
  EXPECT_THROW(Map.New(-1, 5), Exception);
  EXPECT_EQ(Map.Width, 0);
}

TEST(FloatMapNew, ExactlyTwoBillionBytesPassesTheCheck) {
  if (sizeof(void*) < 8) GTEST_SKIP() << "a 32-bit heap cannot hold 2 GB; only the heap refuses";
  TFloatMap Map;
  Map.New(20000, 12500);
  EXPECT_EQ(Map.Size, 2000000000);
  EXPECT_NE(Map.Map, nullptr);
  Map.Clear();
  EXPECT_EQ(Map.Map, nullptr);
  EXPECT_EQ(Map.Width, 0);
}

TEST(FloatMapNew, ZeroClearsEveryCell) {
  TFloatMap Map;
  Map.New(3, 2);
  Fill(Map, {1, -2, 3, 4, 5, std::nan("")});
  Map.Zero();
  for (int I = 0; I < Map.Count; ++I) EXPECT_EQ(Map.Map[I], 0.0);
}

// ============================================================================
// Assignment
// ============================================================================

TEST(FloatMapAssign, CopiesAnotherMapIncludingAMatrix) {
  TMatrix Source(2, 2);
  Fill(Source, {1.25, -3, 1e300, 0});
  TFloatMap Copy;
  Copy.Assign(&Source);
  ASSERT_EQ(Copy.Width, 2);
  EXPECT_EQ(std::vector<double>(Copy.Map, Copy.Map + 4), std::vector<double>({1.25, -3, 1e300, 0}));
}

TEST(FloatMapAssign, ReadsAnEightBitBitmapRowByRowEvenWithPaddedRows) {
  TLinearBitmap Bitmap;
  Bitmap.New(3, 2, lpf8Bit, 8);
  Bitmap.Fill(99);
  const std::uint8_t Values[2][3] = {{0, 128, 255}, {1, 2, 3}};
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 3; ++X) *Bitmap.PixelAddress(X, Y) = Values[Y][X];
  TFloatMap Map;
  Map.Assign(&Bitmap);
  EXPECT_EQ(std::vector<double>(Map.Map, Map.Map + 6), std::vector<double>({0, 128, 255, 1, 2, 3}));
}

TEST(FloatMapAssign, ToBitmapRoundsTiesToEvenAndLimits) {
  TFloatMap Map;
  Map.New(8, 1);
  Fill(Map, {254.5, 255.5, -3, 300, 0.5, 1.5, 2.4999, std::nan("")});
  TLinearBitmap Bitmap;
  Map.AssignTo(&Bitmap);
  EXPECT_EQ(Bitmap.PixelFormat, lpf8Bit);
  EXPECT_EQ(Pixels8(Bitmap), std::vector<int>({254, 255, 0, 255, 0, 2, 2, 0}));
  // The same pairing reached from the bitmap's side.
  TLinearBitmap Other;
  Other.Assign(&Map);
  EXPECT_EQ(Pixels8(Other), Pixels8(Bitmap));
}

TEST(FloatMapAssign, UnsupportedPairingsNameBothClasses) {
  TMatrix Matrix(1, 1);
  TAssignObject Plain;
  EXPECT_EQ(MessageOf([&] { Matrix.Assign(&Plain); }), "Cannot assign TAssignObject to TMatrix");
  EXPECT_EQ(MessageOf([&] { Matrix.AssignTo(&Plain); }), "Cannot assign TMatrix to TAssignObject");
}

TEST(FloatMapMinMax, EmptyMapGivesTheStartingValues) {
  TFloatMap Map;
  double Min, Max;
  Map.GetMinMax(Min, Max);
  EXPECT_EQ(Min, 1.7e308);
  EXPECT_EQ(Max, -1.7e308);
  Map.New(3, 1);
  Fill(Map, {4, -2, 9});
  Map.GetMinMax(Min, Max);
  EXPECT_EQ(Min, -2);
  EXPECT_EQ(Max, 9);
}

// ============================================================================
// Rendering
// ============================================================================

struct TScaleCase {
  const char* Name;
  TMapScaling Mode;
  double Low, High;
  std::vector<double> Cells;
  std::vector<int> Pixels;
};

TEST(FloatMapToScaledBitmap, EightBitRenderingRules) {
  const double Inf = std::numeric_limits<double>::infinity();
  const std::vector<TScaleCase> Cases = {
      {"automatic range maps extremes to 0 and 255", msLinear, 1, 0, {2, 6, 10}, {0, 128, 255}},
      {"equal bounds use the range High-1..High", msLinear, 5, 5, {4, 4.5, 5, 6}, {0, 128, 255, 255}},
      {"square root: darkest real cost, brightest, above and below", msSquareRoot, 0, 32385,
       {0, 16256.25, 35623.5, -5}, {0, 181, 255, 0}},
      {"linear clamps out-of-range and NaN cells", msLinear, 0, 10, {-1, 11, std::nan(""), 5}, {0, 255, 0, 128}},
      {"infinite High gives black", msLinear, 0, Inf, {1, 2, 3, 4}, {0, 0, 0, 0}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TFloatMap Map;
    Map.New(static_cast<int>(Case.Cells.size()), 1);
    Fill(Map, Case.Cells);
    TLinearBitmap Bitmap;
    Map.ToScaledBitmap(Bitmap, Case.Mode, Case.Low, Case.High);
    EXPECT_EQ(Bitmap.PixelFormat, lpf8Bit);
    EXPECT_EQ(Pixels8(Bitmap), Case.Pixels);
    EXPECT_EQ((*Bitmap.Palette)[200].Green, 200);
  }
}

TEST(FloatMapToScaledBitmap, SixteenBitLevelsAreLittleEndian) {
  TFloatMap Map;
  Map.New(2, 2);
  Fill(Map, {0, 1, 0.5, 2});
  TLinearBitmap Bitmap;
  Map.ToScaledBitmap(Bitmap, msLinear16, 0, 1);
  ASSERT_EQ(Bitmap.PixelFormat, lpf16Bit);
  auto Level = [&](int X, int Y) {
    const std::uint8_t* P = Bitmap.PixelAddress(X, Y);
    return P[0] | P[1] << 8;
  };
  EXPECT_EQ(Level(0, 0), 0);
  EXPECT_EQ(Level(1, 0), 65535);
  EXPECT_EQ(Level(0, 1), 32768); // 32767.5 rounds to even
  EXPECT_EQ(Level(1, 1), 65535);
}

TEST(FloatMapToScaledBitmap, EmptyMapRaisesTheBitmapError) {
  TFloatMap Map;
  TLinearBitmap Bitmap;
  EXPECT_EQ(MessageOf([&] { Map.ToScaledBitmap(Bitmap, msLinear, 1, 0); }), "Invalid bitmap size");
}
