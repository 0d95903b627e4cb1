// Seam search (the two dynamic-programming passes) and seam removal with band repair.
#include <algorithm>
#include <cstring>
#include <vector>

#include "seamcarving/seam_carving_component.h"
#include "seamcarving/simple_thread.h"

namespace {

// Steps are signed bytes stored as 255 (-1), 0 and 1.
constexpr std::uint8_t StepLeft = 255;
constexpr std::uint8_t StepRight = 1;

inline int StepOffset(std::uint8_t Step) { return static_cast<std::int8_t>(Step); }

// One cell of a pass: Left, Straight and Right are the cumulative costs of the three
// candidate predecessors. A diagonal wins only when strictly lower than both others, so the
// straight predecessor wins every tie it is part of, and two equal diagonals below it as well.
inline void ChoosePredecessor(double Left, double Straight, double Right, double Own, double& Sum,
                              std::uint8_t& Step) {
  const bool TakeLeft = Left < Straight && Left < Right;
  const bool TakeRight = Right < Straight && Right < Left;
  Sum = Own + (TakeLeft ? Left : TakeRight ? Right : Straight);
  Step = TakeLeft ? StepLeft : TakeRight ? StepRight : 0;
}

// A border cell has one diagonal, taken only when strictly lower than the straight one.
inline void ChooseAtBorder(double Straight, double Diagonal, std::uint8_t DiagonalStep, double Own, double& Sum,
                           std::uint8_t& Step) {
  const bool TakeDiagonal = Diagonal < Straight;
  Sum = Own + (TakeDiagonal ? Diagonal : Straight);
  Step = TakeDiagonal ? DiagonalStep : 0;
}

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
  for (int Y = 1; Y < H; ++Y) {
    const double* P = C.ScanLine(Y - 1);
    const double* Own = CostMap->ScanLine(Y);
    double* R = C.ScanLine(Y);
    std::uint8_t* Steps = S.ScanLine(Y);
    if (W == 1) { // a one-pixel-wide region: the column itself is the seam
      R[0] = Own[0] + P[0];
      Steps[0] = 0;
      continue;
    }
    ChooseAtBorder(P[0], P[1], StepRight, Own[0], R[0], Steps[0]);
    for (int X = 1; X < W - 1; ++X) ChoosePredecessor(P[X - 1], P[X], P[X + 1], Own[X], R[X], Steps[X]);
    ChooseAtBorder(P[W - 1], P[W - 2], StepLeft, Own[W - 1], R[W - 1], Steps[W - 1]);
  }
  const double* Bottom = C.ScanLine(H - 1);
  int Best = 0;
  for (int X = 1; X < W; ++X)
    if (Bottom[X] < Bottom[Best]) Best = X;
  BestColumn = Best;
  SeamMapFresh[sdVertical] = true;
}

void TSeamCarvingComponent::HorizontalSeamPass() {
  PrepareSeamPass(sdHorizontal);
  TFloatMap& C = *SeamCost[sdHorizontal];
  TLinearBitmap& S = *SeamStep[sdHorizontal];
  const int W = Width, H = Height;
  const std::ptrdiff_t Stride = C.Width; // cells per row; the step bitmap is packed alike
  for (int Y = 0; Y < H; ++Y) {
    *C.CellAddress(0, Y) = *CostMap->CellAddress(0, Y);
    *S.PixelAddress(0, Y) = 0;
  }
  // Column by column: each needs the whole previous column. Within a column the cells are
  // independent, so the strided loads overlap well.
  for (int X = 1; X < W; ++X) {
    const double* P = C.Map + (X - 1);
    const double* Own = CostMap->Map + X;
    double* R = C.Map + X;
    std::uint8_t* Steps = S.Map + X;
    if (H == 1) { // a one-pixel-high region: the row itself is the seam
      R[0] = Own[0] + P[0];
      Steps[0] = 0;
      continue;
    }
    ChooseAtBorder(P[0], P[Stride], StepRight, Own[0], R[0], Steps[0]);
    for (int Y = 1; Y < H - 1; ++Y) {
      const std::ptrdiff_t I = Y * Stride;
      ChoosePredecessor(P[I - Stride], P[I], P[I + Stride], Own[I], R[I], Steps[I]);
    }
    const std::ptrdiff_t Last = (H - 1) * Stride;
    ChooseAtBorder(P[Last], P[Last - Stride], StepLeft, Own[Last], R[Last], Steps[Last]);
  }
  int Best = 0;
  for (int Y = 1; Y < H; ++Y)
    if (*C.CellAddress(W - 1, Y) < *C.CellAddress(W - 1, Best)) Best = Y;
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
