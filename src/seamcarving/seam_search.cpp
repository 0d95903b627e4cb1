// Seam search (the two dynamic-programming passes) and seam removal with band repair.
#include <algorithm>
#include <cstring>
#include <vector>

#include "seamcarving/seam_carving_component.h"
#include "seamcarving/seam_pass_kernel.h"
#include "seamcarving/simple_thread.h"

namespace {

using namespace seam_kernel;

inline int StepOffset(std::uint8_t Step) { return static_cast<std::int8_t>(Step); }

// Recomputes, along one line of a seam, the costs of the cells Centre - R .. Centre + R across
// it. Each cell's window is clipped to the live region exactly as ComputeCost clips it, and
// yields the same integer sums, so the values are identical; the sums are built from per-line
// partial sums instead of summing every window afresh. "Across" is the axis the band spans
// (columns for a vertical seam), "Along" the seam's own axis.
struct TBandGeometry {
  const std::uint8_t* Grey;   // grey pixel (0, 0)
  std::ptrdiff_t GreyAcross;  // byte distance between neighbours across the seam
  std::ptrdiff_t GreyAlong;   // byte distance between neighbours along the seam
  double* Cost;               // cost cell (0, 0)
  std::ptrdiff_t CostAcross;
  std::ptrdiff_t CostAlong;
  int AcrossLimit;            // live extent across (the new width for a vertical seam)
  int AlongLimit;             // live extent along
  int Radius;
};

void RepairBandLine(const TBandGeometry& G, int Along, int Centre, double FixedCost,
                    std::vector<std::uint64_t>& LineS, std::vector<std::uint64_t>& LineQ) {
  const int R = G.Radius;
  const int First = std::max(0, Centre - R), Last = std::min(G.AcrossLimit - 1, Centre + R);
  if (First > Last) return;
  const int AlongFirst = std::max(0, Along - R), AlongLast = std::min(G.AlongLimit - 1, Along + R);
  if (AlongFirst > AlongLast) return;
  // Partial sums over the window's extent along the seam, for every position across that
  // some window of the band covers.
  const int SpanFirst = std::max(0, First - R), SpanLast = std::min(G.AcrossLimit - 1, Last + R);
  const int Span = SpanLast - SpanFirst + 1;
  LineS.assign(Span + 1, 0);
  LineQ.assign(Span + 1, 0);
  for (int K = AlongFirst; K <= AlongLast; ++K) {
    const std::uint8_t* P = G.Grey + K * G.GreyAlong + SpanFirst * G.GreyAcross;
    for (int I = 0; I < Span; ++I, P += G.GreyAcross) {
      const std::uint32_t V = *P;
      LineS[I + 1] += V;
      LineQ[I + 1] += V * V;
    }
  }
  for (int I = 0; I < Span; ++I) {
    LineS[I + 1] += LineS[I];
    LineQ[I + 1] += LineQ[I];
  }
  const std::uint64_t Rows = static_cast<std::uint64_t>(AlongLast - AlongFirst + 1);
  for (int C = First; C <= Last; ++C) {
    double& Cell = G.Cost[Along * G.CostAlong + C * G.CostAcross];
    if (Cell == FixedCost) continue;
    const int Left = std::max(0, C - R) - SpanFirst, Right = std::min(G.AcrossLimit - 1, C + R) - SpanFirst;
    const std::uint64_t N = Rows * static_cast<std::uint64_t>(Right - Left + 1);
    Cell = WindowVariance(N, LineS[Right + 1] - LineS[Left], LineQ[Right + 1] - LineQ[Left]);
  }
}

} // namespace

// ============================================================================
// Passes
// ============================================================================

void TSeamCarvingComponent::PrepareSeamPass(TSeamDirection Direction) {
  // The pass reads the plain costs straight from CostMap and writes every live cell of both
  // maps, so neither needs the full-grid copy or fill first: the live region comes out the
  // same, and nothing reads the cells outside it.
  if (!SeamCost[Direction]) SeamCost[Direction] = std::make_unique<TFloatMap>();
  SeamCost[Direction]->New(CostMap->Width, CostMap->Height);
  if (!SeamStep[Direction]) SeamStep[Direction] = std::make_unique<TLinearBitmap>();
  SeamStep[Direction]->New(CostMap->Width, CostMap->Height, lpf8Bit);
}

void TSeamCarvingComponent::VerticalSeamPass() {
  PrepareSeamPass(sdVertical);
  TFloatMap& C = *SeamCost[sdVertical];
  TLinearBitmap& S = *SeamStep[sdVertical];
  const int W = Width, H = Height;
  std::memcpy(C.ScanLine(0), CostMap->ScanLine(0), sizeof(double) * W);
  std::memset(S.ScanLine(0), 0, W);
  for (int Y = 1; Y < H; ++Y)
    AccumulateLine(C.ScanLine(Y - 1), CostMap->ScanLine(Y), C.ScanLine(Y), S.ScanLine(Y), W, 0, W - 1);
  BestColumn = static_cast<int>(std::min_element(C.ScanLine(H - 1), C.ScanLine(H - 1) + W) - C.ScanLine(H - 1));
  SeamMapFresh[sdVertical] = true;
}

void TSeamCarvingComponent::HorizontalSeamPass() {
  PrepareSeamPass(sdHorizontal);
  TFloatMap& C = *SeamCost[sdHorizontal];
  TLinearBitmap& S = *SeamStep[sdHorizontal];
  const int W = Width, H = Height;
  const std::ptrdiff_t Stride = C.Width; // cells per row; the step bitmap is packed alike
  double* const Sum = C.Map;
  const double* const Own = CostMap->Map;
  std::uint8_t* const Steps = S.Map;
  for (int Y = 0; Y < H; ++Y) {
    Sum[Y * Stride] = Own[Y * Stride];
    Steps[Y * Stride] = 0;
  }
  // Each column needs the whole column before it, and walking whole columns of a wide map
  // touches a new memory page per cell. So the map is swept in strips of rows whose edges
  // climb one row per column: a cell then needs only cells of its own strip and of the strip
  // above, both done, and a strip's few rows stay in cache from column to column.
  auto HorizontalCell = [&](int X, int Y) {
    const std::ptrdiff_t I = Y * Stride + X;
    const double* P = Sum + I - 1;
    if (H == 1) {
      Sum[I] = Own[I] + P[0];
      Steps[I] = 0;
    } else if (Y == 0) {
      ChooseAtBorder(P[0], P[Stride], StepRight, Own[I], Sum[I], Steps[I]);
    } else if (Y == H - 1) {
      ChooseAtBorder(P[0], P[-Stride], StepLeft, Own[I], Sum[I], Steps[I]);
    } else {
      Choose(P[-Stride], P[0], P[Stride], Own[I], Sum[I], Steps[I]);
    }
  };
  constexpr int StripRows = 64;
  for (int Top = 0; Top < H + W; Top += StripRows) {
    for (int X = 1; X < W; ++X) {
      const int First = std::max(0, Top - X), Last = std::min(H - 1, Top + StripRows - 1 - X);
      if (Top + StripRows - 1 - X < 0) break;
      // Rows are far apart, so no prefetcher sees the next cache line of each coming: ask for
      // the lines a few columns ahead once per line.
      if ((X & 7) == 0)
        for (int Y = First; Y <= Last; ++Y) {
          const std::ptrdiff_t Ahead = Y * Stride + X + 16;
          _mm_prefetch(reinterpret_cast<const char*>(Own + Ahead), _MM_HINT_T0);
          _mm_prefetch(reinterpret_cast<const char*>(Sum + Ahead), _MM_HINT_T0);
          if ((X & 63) == 0) _mm_prefetch(reinterpret_cast<const char*>(Steps + Ahead + 48), _MM_HINT_T0);
        }
      int Y = First;
      for (; Y <= Last && (Y == 0 || Y == H - 1); ++Y) HorizontalCell(X, Y);
      // Interior cells two rows at a time: the rows of one column are independent.
      for (; Y + 1 <= Last && Y + 1 < H - 1; Y += 2) {
        const std::ptrdiff_t I = Y * Stride + X;
        const double* P = Sum + I - 1;
        const __m128d Above = _mm_set_pd(P[0], P[-Stride]), Level = _mm_set_pd(P[Stride], P[0]);
        const __m128d Below = _mm_set_pd(P[2 * Stride], P[Stride]);
        const __m128d Costs = _mm_set_pd(Own[I + Stride], Own[I]);
        double Pair[2];
        ChooseTwo(Above, Level, Below, Costs, Pair, Steps + I, Steps + I + Stride);
        Sum[I] = Pair[0];
        Sum[I + Stride] = Pair[1];
      }
      for (; Y <= Last; ++Y) HorizontalCell(X, Y);
    }
  }
  int Best = 0;
  for (int Y = 1; Y < H; ++Y)
    if (Sum[Y * Stride + W - 1] < Sum[Best * Stride + W - 1]) Best = Y;
  BestRow = Best;
  SeamMapFresh[sdHorizontal] = true;
}

void TSeamCarvingComponent::FindSeams(TSeamDirections Directions) {
  UpdateCostMap();
  const bool Vertical = Directions & SeamDirectionBit(sdVertical);
  const bool Horizontal = Directions & SeamDirectionBit(sdHorizontal);
  if (Vertical && Horizontal)
    RunSideBySide([this] { VerticalSeamPass(); }, [this] { HorizontalSeamPass(); });
  else if (Vertical)
    VerticalSeamPass();
  else if (Horizontal)
    HorizontalSeamPass();
}

// ============================================================================
// Removal
// ============================================================================

void TSeamCarvingComponent::RemoveVerticalSeam(int X) {
  SeamMapFresh = {};
  const int NewWidth = --Width;
  const int PixelSize = Image->PixelSize;
  const bool SeparateGrey = GreyImage != Image.get();
  const TLinearBitmap& Steps = *SeamStep[sdVertical];
  for (int Y = Height - 1, Column = X; Y >= 0; --Y) {
    const int Count = NewWidth - Column; // pixels right of the seam
    std::uint8_t* Row = Image->PixelAddress(Column, Y);
    std::memmove(Row, Row + PixelSize, std::size_t(Count) * PixelSize);
    if (SeparateGrey) {
      std::uint8_t* Grey = GreyImage->PixelAddress(Column, Y);
      std::memmove(Grey, Grey + 1, Count);
    }
    Image->SetPixelValue(NewWidth, Y, 0);
    double* Cells = CostMap->CellAddress(Column, Y);
    std::memmove(Cells, Cells + 1, sizeof(double) * Count);
    *CostMap->CellAddress(NewWidth, Y) = 0.0;
    Column += StepOffset(*Steps.PixelAddress(Column, Y));
  }
  const TBandGeometry Band{GreyImage->Map, 1, GreyImage->BytesPerLine, CostMap->Map, 1, CostMap->Width,
                           NewWidth, Height, CostWindowRadius};
  std::vector<std::uint64_t> LineS, LineQ;
  for (int Y = Height - 1, Column = X; Y >= 0; --Y) {
    RepairBandLine(Band, Y, Column, FixedCost, LineS, LineQ);
    Column += StepOffset(*Steps.PixelAddress(Column, Y));
  }
}

void TSeamCarvingComponent::RemoveHorizontalSeam(int Y) {
  SeamMapFresh = {};
  const int NewHeight = --Height;
  const int PixelSize = Image->PixelSize;
  const bool SeparateGrey = GreyImage != Image.get();
  const TLinearBitmap& Steps = *SeamStep[sdHorizontal];
  // The seam's row in every column, walked back from the right.
  std::vector<int> SeamRow(Width);
  for (int X = Width - 1, Row = Y; X >= 0; --X) {
    SeamRow[X] = Row;
    Row += StepOffset(*Steps.PixelAddress(X, Row));
  }
  // Every column below its seam pixel moves up by one row. Going row by row from the top keeps
  // the moves in memory order; each cell is read before the row above it is overwritten.
  const int Top = *std::min_element(SeamRow.begin(), SeamRow.end());
  for (int Row = Top; Row < NewHeight; ++Row) {
    std::uint8_t* Pixels = Image->ScanLine(Row);
    const std::uint8_t* PixelsBelow = Image->ScanLine(Row + 1);
    std::uint8_t* Grey = GreyImage->ScanLine(Row);
    const std::uint8_t* GreyBelow = GreyImage->ScanLine(Row + 1);
    double* Cells = CostMap->ScanLine(Row);
    const double* CellsBelow = CostMap->ScanLine(Row + 1);
    for (int X = 0; X < Width; ++X) {
      if (SeamRow[X] > Row) continue;
      std::memcpy(Pixels + X * PixelSize, PixelsBelow + X * PixelSize, PixelSize);
      if (SeparateGrey) Grey[X] = GreyBelow[X];
      Cells[X] = CellsBelow[X];
    }
  }
  for (int X = 0; X < Width; ++X) {
    Image->SetPixelValue(X, NewHeight, 0);
    *CostMap->CellAddress(X, NewHeight) = 0.0;
  }
  const TBandGeometry Band{GreyImage->Map, GreyImage->BytesPerLine, 1, CostMap->Map, CostMap->Width, 1,
                           NewHeight, Width, CostWindowRadius};
  std::vector<std::uint64_t> LineS, LineQ;
  for (int X = Width - 1; X >= 0; --X) RepairBandLine(Band, X, SeamRow[X], FixedCost, LineS, LineQ);
}
