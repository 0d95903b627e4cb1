// Seam search (the two dynamic-programming passes) and seam removal with band repair.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "seamcarving/seam_carving_component.h"
#include "seamcarving/seam_pass_kernel.h"
#include "seamcarving/simple_thread.h"

namespace {

using namespace seam_kernel;

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
  const int* Origin;          // per line along the seam: where its live cells start; may be null

  int OriginOf(int Along) const { return Origin ? Origin[Along] : 0; }
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
  LineS.resize(std::size_t(Span) + 1);
  LineQ.resize(std::size_t(Span) + 1);
  std::uint64_t* const PrefixS = LineS.data();
  std::uint64_t* const PrefixQ = LineQ.data();
  PrefixS[0] = PrefixQ[0] = 0;
  std::uint64_t RunS = 0, RunQ = 0;
  for (int I = 0; I < Span; ++I) {
    std::uint64_t S = 0, Q = 0; // kept in registers, one position across at a time
    for (int K = AlongFirst; K <= AlongLast; ++K) {
      const std::uint32_t V = G.Grey[K * G.GreyAlong + (G.OriginOf(K) + SpanFirst + I) * G.GreyAcross];
      S += V;
      Q += V * V;
    }
    PrefixS[I + 1] = RunS += S;
    PrefixQ[I + 1] = RunQ += Q;
  }
  const std::uint64_t Rows = static_cast<std::uint64_t>(AlongLast - AlongFirst + 1);
  for (int C = First; C <= Last; ++C) {
    double& Cell = G.Cost[Along * G.CostAlong + (G.OriginOf(Along) + C) * G.CostAcross];
    if (Cell == FixedCost || Cell < 0) continue;
    const int Left = std::max(0, C - R) - SpanFirst, Right = std::min(G.AcrossLimit - 1, C + R) - SpanFirst;
    const std::uint64_t N = Rows * static_cast<std::uint64_t>(Right - Left + 1);
    Cell = WindowVariance(N, LineS[Right + 1] - LineS[Left], LineQ[Right + 1] - LineQ[Left]);
  }
}

// Calls Move(First, End) for each run of columns whose cells in row Row move up when the
// horizontal seam SeamRow (its row in each of Width columns, the lowest Bottom) is removed:
// those whose seam pixel lies at or above the row, the whole row once it is below Bottom.
template <class TMove>
void ForEachRunMovingUp(const std::vector<int>& SeamRow, int Width, int Row, int Bottom, TMove Move) {
  if (Row >= Bottom) {
    Move(0, Width);
    return;
  }
  for (int X = 0; X < Width;) {
    while (X < Width && SeamRow[X] > Row) ++X;
    const int First = X;
    while (X < Width && SeamRow[X] <= Row) ++X;
    if (X > First) Move(First, X);
  }
}

} // namespace

// ============================================================================
// Updating a seam map after a removal
// ============================================================================
//
// A pass recomputes every live cell, yet one removal changes few of them. After a removal
// across the map's own lines (a vertical seam for the vertical map), a cell keeps its value
// and step, at its shifted place, unless its own cost was repaired, its predecessors became
// neighbours across the seam, or one of its predecessors changed. So line by line only the
// cells near the seam and next to the cells that changed in the line before are recomputed;
// the change usually dies out quickly. After a removal along the lines (a horizontal seam for
// the vertical map), the lines before the first one the removal touched are unchanged, and
// the pass restarts from there. Either way every value equals what the full pass would give.

namespace {

// One seam map's cells addressed by line (row for the vertical map, column for the
// horizontal one) and position within the line; the plain costs may be laid out otherwise.
struct TLineMaps {
  double* Sum;
  std::uint8_t* Steps;
  std::ptrdiff_t LineStride; // cells from one line to the next
  std::ptrdiff_t CellStride; // cells from one position to the next
  const double* Own;
  std::ptrdiff_t OwnLineStride;
  std::ptrdiff_t OwnCellStride;
  int Lines;
  int Length;
  const int* Origin; // per line: the position where its live cells start in every map; may be null

  std::ptrdiff_t Start(int Line) const { return Origin ? Origin[Line] : 0; }
  std::ptrdiff_t Base(int Line) const { return Line * LineStride + Start(Line) * CellStride; }
  std::ptrdiff_t OwnBase(int Line) const { return Line * OwnLineStride + Start(Line) * OwnCellStride; }
};

// The map after a removal across its lines, its cells already shifted with the pixels, brought
// up to date one line at a time from line 0 on: each line needs only the one before it
// and its own repaired costs. Path holds the removed seam's position in every line. Strided
// and OwnStrided say whether the cells of a line, and its plain costs, lie apart.
template <bool Strided, bool OwnStrided>
class TAcrossRemovalUpdate {
public:
  TAcrossRemovalUpdate(const TLineMaps& M, const std::vector<int>& Path, int Radius)
      : M_(M), Path_(Path), Reach_(std::max(Radius, 2)) {} // repaired costs, and the two cells meeting at the seam

  void Update(int Line) {
    int First = Path_[Line] - Reach_, Last = Path_[Line] + Reach_;
    if (Line > 0) {
      First = std::min(First, Path_[Line - 1] - 2);
      Last = std::max(Last, Path_[Line - 1] + 1);
      if (Changed_.First <= Changed_.Last) {
        First = std::min(First, Changed_.First - 1);
        Last = std::max(Last, Changed_.Last + 1);
      }
    }
    First = std::max(First, 0);
    Last = std::min(Last, M_.Length - 1);
    const std::ptrdiff_t Base = M_.Base(Line);
    Changed_ = UpdateLine<Strided, OwnStrided>(Line == 0 ? nullptr : M_.Sum + M_.Base(Line - 1), M_.Own + M_.OwnBase(Line),
                                               M_.Sum + Base, M_.Steps + Base, M_.CellStride, M_.OwnCellStride,
                                               M_.Length, First, Last);
  }

private:
  TLineMaps M_;
  const std::vector<int>& Path_;
  int Reach_;
  TChangedRange Changed_{0, -1};
};

template <bool Strided, bool OwnStrided>
void UpdateAcrossRemoval(const TLineMaps& M, const std::vector<int>& Path, int Radius) {
  TAcrossRemovalUpdate<Strided, OwnStrided> Update(M, Path, Radius);
  for (int Line = 0; Line < M.Lines; ++Line) Update.Update(Line);
}

// Asks for the first Bytes bytes of rows First..Last-1 of a map with Stride cells per row.
inline void PrefetchRows(const double* Map, std::ptrdiff_t Stride, int First, int Last, std::size_t Bytes) {
  for (int Y = First; Y < Last; ++Y) {
    const char* Row = reinterpret_cast<const char*>(Map + Y * Stride);
    for (std::size_t Offset = 0; Offset < Bytes; Offset += 64) _mm_prefetch(Row + Offset, _MM_HINT_T0);
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

// For every position across the map's lines, the first line from which the pass must
// recompute: 0 everywhere, or, when the map is otherwise still that of the pass before a
// removal along its lines, the line where that removal's changes begin at that position.
// Because a seam moves at most one position per step, no cell before that line can depend on
// a changed one.
void TSeamCarvingComponent::ChangedFrom(TSeamDirection Direction, int Count, std::vector<int>& From) const {
  From.assign(Count, 0);
  if (!Reusable_[Direction] || LastRemoval_ == Direction) return;
  const int Radius = std::max(CostWindowRadius, 0);
  for (int I = 0; I < Count; ++I) From[I] = std::max(0, LastPath_[I] - Radius);
}

void TSeamCarvingComponent::VerticalSeamPass() {
  PrepareSeamPass(sdVertical);
  TFloatMap& C = *SeamCost[sdVertical];
  TLinearBitmap& S = *SeamStep[sdVertical];
  const int W = Width, H = Height;
  const int* Origin = RowOrigin_.empty() ? nullptr : RowOrigin_.data();
  if (Reusable_[sdVertical] && LastRemoval_ == sdVertical) {
    if (!VerticalMapUpdated_) {
      TAcrossRemovalUpdate<false, false> Update({C.Map, S.Map, C.Width, 1, CostMap->Map, C.Width, 1, H, W, Origin},
                                                LastPath_, CostWindowRadius);
      for (int Y = 0; Y < H; ++Y) {
        if (VerticalShiftPending_) {
          // The removal's move of this row's cells right of the seam, one cell to the left.
          const int From = RowOrigin(Y) + LastPath_[Y] + 1, Count = W - LastPath_[Y];
          std::memmove(C.ScanLine(Y) + From - 1, C.ScanLine(Y) + From, sizeof(double) * Count);
          std::memmove(S.ScanLine(Y) + From - 1, S.ScanLine(Y) + From, Count);
        }
        Update.Update(Y);
      }
    }
  } else {
    // Row Y needs the columns whose changes have begun by row Y; those form a growing set, and
    // recomputing the unchanged cells inside its hull gives their old values again.
    std::vector<int> From, FirstColumn(H, W), LastColumn(H, -1);
    ChangedFrom(sdVertical, W, From);
    for (int X = 0; X < W; ++X) {
      const int Y = std::min(From[X], H - 1);
      FirstColumn[Y] = std::min(FirstColumn[Y], X);
      LastColumn[Y] = std::max(LastColumn[Y], X);
    }
    for (int Y = 1; Y < H; ++Y) {
      FirstColumn[Y] = std::min(FirstColumn[Y], FirstColumn[Y - 1]);
      LastColumn[Y] = std::max(LastColumn[Y], LastColumn[Y - 1]);
    }
    if (FirstColumn[0] <= LastColumn[0]) {
      const int X = RowOrigin(0) + FirstColumn[0];
      const int Count = LastColumn[0] - FirstColumn[0] + 1;
      std::memcpy(C.CellAddress(X, 0), CostMap->CellAddress(X, 0), sizeof(double) * Count);
      std::memset(S.PixelAddress(X, 0), 0, Count);
    }
    for (int Y = 1; Y < H; ++Y)
      if (FirstColumn[Y] <= LastColumn[Y]) {
        const int O = RowOrigin(Y);
        AccumulateLine(C.ScanLine(Y - 1) + RowOrigin(Y - 1), CostMap->ScanLine(Y) + O, C.ScanLine(Y) + O,
                       S.ScanLine(Y) + O, W, FirstColumn[Y], LastColumn[Y]);
      }
  }
  Reusable_[sdVertical] = false;
  VerticalMapUpdated_ = false;
  VerticalShiftPending_ = false;
  const double* Bottom = C.ScanLine(H - 1) + RowOrigin(H - 1);
  BestColumn = static_cast<int>(std::min_element(Bottom, Bottom + W) - Bottom);
  SeamMapFresh[sdVertical] = true;
}

void TSeamCarvingComponent::HorizontalSeamPass() {
  PrepareSeamPass(sdHorizontal);
  const int W = Width, H = Height;
  const bool ByColumns = HorizontalByColumns_;
  const std::ptrdiff_t Stride = CostMap->Width; // cells per row of every map; the step bitmap is packed alike
  const std::ptrdiff_t ColumnStride = ByColumns ? CostMap->Height : 1; // cells from one column to the next
  const std::ptrdiff_t RowStride = ByColumns ? 1 : Stride;
  double* const Sum = SeamCost[sdHorizontal]->Map;
  const double* const Own = CostMap->Map;
  std::uint8_t* const Steps = SeamStep[sdHorizontal]->Map;
  if (Reusable_[sdHorizontal] && LastRemoval_ == sdHorizontal) {
    const TLineMaps M{Sum, Steps, ColumnStride, RowStride, Own, 1, Stride, W, H, nullptr};
    if (ByColumns)
      UpdateAcrossRemoval<false, true>(M, LastPath_, CostWindowRadius);
    else
      UpdateAcrossRemoval<true, true>(M, LastPath_, CostWindowRadius);
  } else {
    // Row Y is recomputed from column Start[Y] on; the cells before it are unchanged.
    std::vector<int> Start;
    ChangedFrom(sdHorizontal, H, Start);
    for (int Y = 0; Y < H; ++Y)
      if (Start[Y] == 0) {
        Sum[Y * RowStride] = Own[Y * Stride];
        Steps[Y * RowStride] = 0;
      }
    HorizontalPassInTiles(std::max(1, *std::min_element(Start.begin(), Start.end())));
  }
  Reusable_[sdHorizontal] = false;
  if (ByColumns) {
    // The right column is contiguous; min_element keeps the first of equal minima, the topmost.
    const double* Right = Sum + HorizontalCell(W - 1, 0);
    BestRow = static_cast<int>(std::min_element(Right, Right + H) - Right);
  } else {
    int Best = 0;
    for (int Y = 1; Y < H; ++Y)
      if (Sum[HorizontalCell(W - 1, Y)] < Sum[HorizontalCell(W - 1, Best)]) Best = Y;
    BestRow = Best;
  }
  SeamMapFresh[sdHorizontal] = true;
}

void TSeamCarvingComponent::HorizontalPassInTiles(int From) {
  const int W = Width, H = Height;
  const bool ByColumns = HorizontalByColumns_;
  const std::ptrdiff_t Stride = CostMap->Width; // cells per row of every map; the step bitmap is packed alike
  const std::ptrdiff_t ColumnStride = ByColumns ? CostMap->Height : 1; // cells from one column to the next
  double* const Sum = SeamCost[sdHorizontal]->Map;
  const double* const Own = CostMap->Map;
  std::uint8_t* const Steps = SeamStep[sdHorizontal]->Map;
  // Each column needs the whole column before it, and a column of a wide map touches a new
  // memory page per cell. So the map is processed in tiles of columns: a tile's plain costs
  // are copied into scratch lines (one per column, contiguous), and the pass runs along
  // those lines with the same kernel as the vertical pass, straight into the map when it is
  // held by columns, otherwise into scratch lines copied back afterwards. Cells before a
  // row's first changed column are recomputed from unchanged inputs and come out as they
  // were.
  // A tile is no wider than the columns after the first: on a narrow, tall image scratch
  // lines for 64 columns would take far more memory than the maps themselves.
  const int Tile = std::min(64, W - 1);
  constexpr int Block = 8;      // rows copied per cache line of a scratch line
  constexpr int Lookahead = 16; // rows: the map's rows are far apart, so no prefetcher helps
  std::vector<double>& Scratch = HorizontalScratch_;
  std::vector<std::uint8_t>& StepScratch = HorizontalStepScratch_;
  Scratch.resize(std::size_t(ByColumns ? Tile : 2 * Tile + 1) * H);
  StepScratch.resize(ByColumns ? 0 : std::size_t(Tile) * H);
  double* const OwnLines = Scratch.data();
  double* const SumLines = OwnLines + std::size_t(Tile) * H;
  double* const Previous = SumLines + std::size_t(Tile) * H;
  std::uint8_t* const StepLines = StepScratch.data();
  if (!ByColumns)
    for (int Y = 0; Y < H; ++Y) Previous[Y] = Sum[Y * Stride + From - 1];
  for (int X0 = From; X0 < W; X0 += Tile) {
    const int Columns = std::min(Tile, W - X0);
    for (int Y0 = 0; Y0 < H; Y0 += Block) {
      const int Y1 = std::min(H, Y0 + Block);
      PrefetchRows(Own + X0, Stride, Y0 + Lookahead, std::min(H, Y1 + Lookahead), Columns * sizeof(double));
      for (int J = 0; J < Columns; ++J)
        for (int Y = Y0; Y < Y1; ++Y) OwnLines[std::size_t(J) * H + Y] = Own[Y * Stride + X0 + J];
    }
    if (ByColumns) {
      for (int X = X0; X < X0 + Columns; ++X)
        AccumulateLine(Sum + (X - 1) * ColumnStride, OwnLines + std::size_t(X - X0) * H, Sum + X * ColumnStride,
                       Steps + X * ColumnStride, H, 0, H - 1);
      continue;
    }
    for (int J = 0; J < Columns; ++J)
      AccumulateLine(J == 0 ? Previous : SumLines + std::size_t(J - 1) * H, OwnLines + std::size_t(J) * H,
                     SumLines + std::size_t(J) * H, StepLines + std::size_t(J) * H, H, 0, H - 1);
    for (int Y0 = 0; Y0 < H; Y0 += Block) {
      const int Y1 = std::min(H, Y0 + Block);
      PrefetchRows(Sum + X0, Stride, Y0 + Lookahead, std::min(H, Y1 + Lookahead), Columns * sizeof(double));
      for (int Y = Y0; Y < Y1; ++Y)
        for (int J = 0; J < Columns; ++J) {
          Sum[Y * Stride + X0 + J] = SumLines[std::size_t(J) * H + Y];
          Steps[Y * Stride + X0 + J] = StepLines[std::size_t(J) * H + Y];
        }
    }
    std::memcpy(Previous, SumLines + std::size_t(Columns - 1) * H, sizeof(double) * H);
  }
}

void TSeamCarvingComponent::FindSeams(TSeamDirections Directions) {
  UpdateCostMap();
  const bool Vertical = Directions & SeamDirectionBit(sdVertical);
  const bool Horizontal = Directions & SeamDirectionBit(sdHorizontal);
  if (Vertical && Horizontal) {
    if (!Worker_) Worker_ = std::make_unique<TWorkerThread>();
    TImageMoves* const Moves = std::exchange(ImageMovesForWorker_, nullptr);
    Worker_->RunSideBySide(
        [this, Moves] {
          if (Moves) MakeImageMoves(*Moves);
          VerticalSeamPass();
        },
        [this] { HorizontalSeamPass(); });
  }
  else if (Vertical)
    VerticalSeamPass();
  else if (Horizontal)
    HorizontalSeamPass();
}

// ============================================================================
// Removal
// ============================================================================

void TSeamCarvingComponent::ForgetSeamMaps() {
  SeamMapFresh = {};
  Reusable_ = {};
  VerticalMapUpdated_ = false;
  VerticalShiftPending_ = false;
}

void TSeamCarvingComponent::HoldHorizontalByColumns(bool ByColumns) {
  if (ByColumns == HorizontalByColumns_) return;
  HorizontalByColumns_ = ByColumns;
  SeamMapFresh[sdHorizontal] = false;
  Reusable_[sdHorizontal] = false;
}

void TSeamCarvingComponent::BeginRemoval(TSeamDirection Direction) {
  // A map fresh from its pass can be brought up to date after this removal instead of being
  // recomputed; one that was not stays stale.
  Reusable_ = SeamMapFresh;
  SeamMapFresh = {};
  LastRemoval_ = Direction;
  VerticalMapUpdated_ = false;
  VerticalShiftPending_ = false;
}

void TSeamCarvingComponent::MoveRowCells(int Y, int From, int Count, bool Left, TImageMoves* Later, bool SeparateGrey,
                                         bool ShiftSeamMap) {
  const int To = Left ? From - 1 : From + 1;
  if (Later) {
    Later->Rows[std::size_t(Y)] = {From, Count, Left};
  } else {
    ForEachPixelPlane([&](TLinearBitmap& Plane) {
      std::uint8_t* Row = Plane.ScanLine(Y);
      const int Size = Plane.PixelSize;
      std::memmove(Row + To * Size, Row + From * Size, std::size_t(Count) * Size);
    });
  }
  if (SeparateGrey) {
    std::uint8_t* Grey = GreyImage->ScanLine(Y);
    std::memmove(Grey + To, Grey + From, Count);
  }
  double* Cells = CostMap->ScanLine(Y);
  std::memmove(Cells + To, Cells + From, sizeof(double) * Count);
  if (ShiftSeamMap) {
    double* Sums = SeamCost[sdVertical]->ScanLine(Y);
    std::memmove(Sums + To, Sums + From, sizeof(double) * Count);
    std::uint8_t* StepCells = SeamStep[sdVertical]->ScanLine(Y);
    std::memmove(StepCells + To, StepCells + From, Count);
  }
}

void TSeamCarvingComponent::RemoveVerticalSeam(int X) {
  BeginRemoval(sdVertical);
  const int NewWidth = --Width;
  const bool SeparateGrey = GreyImage != Image.get();
  const int* Origin = RowOrigin_.empty() ? nullptr : RowOrigin_.data();
  // While narrowing, the vertical map is shifted and brought up to date here, row by row (see
  // below). Otherwise its shift is left to the next vertical pass, which shifts each row just
  // before it brings the row up to date: in ScaleTo's two-way steps that pass runs on the
  // worker thread, which has less to do than the calling thread.
  const bool ShiftSeamMap = Reusable_[sdVertical] && Origin;
  VerticalShiftPending_ = Reusable_[sdVertical] && !Origin;
  TImageMoves* const Later = RecordImageMoves(sdVertical);
  auto Move = [&](int Y, int From, int Count, bool Left) {
    MoveRowCells(Y, From, Count, Left, Later, SeparateGrey, ShiftSeamMap);
  };
  LastPath_.resize(Height);
  if (Later) Later->Rows.resize(std::size_t(Height));
  FollowSeam(sdVertical, X, [this](int Column, int Y) { LastPath_[Y] = Column; });
  // One sweep from the top: row Y is shifted, then row Y - R, whose window rows are all
  // shifted by then, has its band repaired while they are still in cache. A repair writes
  // only its own row's costs and reads only grey levels, and a shift never touches another
  // row, so this order gives what shifting everything first gives. While narrowing, the
  // vertical map follows each repaired row right away, as the next pass would bring it up to
  // date: that needs only the rows above, already done, and the row's final costs.
  const TBandGeometry Band{GreyImage->Map, 1, GreyImage->BytesPerLine, CostMap->Map, 1, CostMap->Width,
                           NewWidth, Height, CostWindowRadius, Origin};
  std::vector<std::uint64_t> LineS, LineQ;
  const bool UpdateNow = ShiftSeamMap;
  std::optional<TAcrossRemovalUpdate<false, false>> Update;
  if (UpdateNow)
    Update.emplace(TLineMaps{SeamCost[sdVertical]->Map, SeamStep[sdVertical]->Map, CostMap->Width, 1, CostMap->Map,
                             CostMap->Width, 1, Height, NewWidth, Origin},
                   LastPath_, CostWindowRadius);
  const int Lag = std::max(CostWindowRadius, 0);
  for (int Y = 0; Y < Height + Lag; ++Y) {
    if (Y < Height) {
      const int Column = LastPath_[Y], RowStart = RowOrigin(Y);
      if (Origin && Column < NewWidth - Column) {
        // While only narrowing, the cells left of the seam may move right instead, when they
        // are fewer: the row then starts one cell later, and every live cell keeps its
        // neighbours, so nothing reads a different value.
        Move(Y, RowStart, Column, false);
        ++RowOrigin_[Y];
      } else {
        Move(Y, RowStart + Column + 1, NewWidth - Column, true);
        if (!Later)
          ForEachPixelPlane([&](TLinearBitmap& Plane) {
            std::memset(Plane.PixelAddress(RowStart + NewWidth, Y), 0, std::size_t(Plane.PixelSize));
          });
        *CostMap->CellAddress(RowStart + NewWidth, Y) = 0.0;
      }
    }
    const int Repaired = Y - Lag;
    if (Repaired >= 0) {
      RepairBandLine(Band, Repaired, LastPath_[Repaired], FixedCost, LineS, LineQ);
      if (Update) Update->Update(Repaired);
    }
  }
  VerticalMapUpdated_ = UpdateNow;
  if (Later) Later->Outstanding = true;
}

// ============================================================================
// Narrowing with row origins
// ============================================================================

void TSeamCarvingComponent::BeginNarrowing() {
  RowOrigin_.assign(std::size_t(Height), 0);
  NarrowingFrom_ = Width;
}

void TSeamCarvingComponent::EndNarrowing() {
  if (RowOrigin_.empty()) return;
  // Every row back to its start, and the cells vacated since narrowing began zeroed as the
  // plain removals zero them; the grey image's vacated bytes are never read.
  const bool SeparateGrey = GreyImage != Image.get();
  const bool SeamMapKept = Reusable_[sdVertical] || SeamMapFresh[sdVertical];
  for (int Y = 0; Y < Height; ++Y) {
    const int O = RowOrigin_[Y];
    double* Cells = CostMap->ScanLine(Y);
    ForEachPixelPlane([&](TLinearBitmap& Plane) {
      std::uint8_t* Row = Plane.ScanLine(Y);
      const int Size = Plane.PixelSize;
      if (O > 0) std::memmove(Row, Row + O * Size, std::size_t(Width) * Size);
      std::memset(Row + std::size_t(Width) * Size, 0, std::size_t(NarrowingFrom_ - Width) * Size);
    });
    if (O > 0) {
      if (SeparateGrey) std::memmove(GreyImage->ScanLine(Y), GreyImage->ScanLine(Y) + O, Width);
      std::memmove(Cells, Cells + O, sizeof(double) * Width);
      if (SeamMapKept) {
        std::memmove(SeamCost[sdVertical]->ScanLine(Y), SeamCost[sdVertical]->ScanLine(Y) + O, sizeof(double) * Width);
        std::memmove(SeamStep[sdVertical]->ScanLine(Y), SeamStep[sdVertical]->ScanLine(Y) + O, Width);
      }
    }
    std::fill(Cells + Width, Cells + NarrowingFrom_, 0.0);
  }
  RowOrigin_.clear();
}

void TSeamCarvingComponent::ShiftHorizontalMapByColumns(const std::vector<int>& SeamRow, int NewHeight) {
  // Held by columns, the seam map's cells below the seam pixel are one block per column.
  double* const Sums = SeamCost[sdHorizontal]->Map;
  std::uint8_t* const StepCells = SeamStep[sdHorizontal]->Map;
  for (int X = 0; X < Width; ++X) {
    const std::ptrdiff_t Seam = HorizontalCell(X, SeamRow[X]);
    const std::size_t Count = std::size_t(NewHeight - SeamRow[X]);
    std::memmove(Sums + Seam, Sums + Seam + 1, Count * sizeof(double));
    std::memmove(StepCells + Seam, StepCells + Seam + 1, Count);
  }
}

void TSeamCarvingComponent::RemoveHorizontalSeam(int Y) {
  BeginRemoval(sdHorizontal);
  const int NewHeight = --Height;
  const bool SeparateGrey = GreyImage != Image.get();
  const bool ShiftSeamMap = Reusable_[sdHorizontal];
  // The seam's row in every column, walked back from the right.
  std::vector<int>& SeamRow = LastPath_;
  SeamRow.resize(Width);
  FollowSeam(sdHorizontal, Y, [&SeamRow](int X, int Row) { SeamRow[X] = Row; });
  if (ShiftSeamMap && HorizontalByColumns_) ShiftHorizontalMapByColumns(SeamRow, NewHeight);
  const bool ShiftSeamRows = ShiftSeamMap && !HorizontalByColumns_;
  TImageMoves* const Later = RecordImageMoves(sdHorizontal);
  if (Later) Later->SeamRow = SeamRow;
  // Every column below its seam pixel moves up by one row. Going row by row from the top keeps
  // the moves in memory order; each cell is read before the row above it is overwritten. In a
  // row, the cells that move are those whose seam pixel lies at or above it: runs of columns
  // (the whole live row once the row is below the seam's lowest pixel), each moved as one
  // block per map, which is the cell-by-cell move done in one go. When the live rows fill
  // the maps' rows, the rows below the seam's lowest pixel are one block per map, moved at
  // once: on a narrow image that is nearly all of the removal's work, row by row a few
  // cells at a time.
  const int Top = *std::min_element(SeamRow.begin(), SeamRow.end());
  const int Bottom = *std::max_element(SeamRow.begin(), SeamRow.end());
  const bool WholeRowsLive = Width == CostMap->Width;
  const int RowsByRuns = WholeRowsLive ? std::min(Bottom, NewHeight) : NewHeight;
  std::uint8_t* const GreyMap = GreyImage->Map;
  const std::ptrdiff_t GreyStride = GreyImage->BytesPerLine;
  double* const CostCells = CostMap->Map;
  const std::ptrdiff_t CostStride = CostMap->Width;
  double* const SumCells = ShiftSeamRows ? SeamCost[sdHorizontal]->Map : nullptr;
  const std::ptrdiff_t SumStride = ShiftSeamRows ? SeamCost[sdHorizontal]->Width : 0;
  std::uint8_t* const StepMap = ShiftSeamRows ? SeamStep[sdHorizontal]->Map : nullptr;
  const std::ptrdiff_t StepStride = ShiftSeamRows ? SeamStep[sdHorizontal]->BytesPerLine : 0;
  for (int Row = Top; Row < RowsByRuns; ++Row) {
    std::uint8_t* Grey = GreyMap + Row * GreyStride;
    double* Cells = CostCells + Row * CostStride;
    double* Sums = SumCells + Row * SumStride;
    std::uint8_t* StepCells = StepMap + Row * StepStride;
    ForEachRunMovingUp(SeamRow, Width, Row, Bottom, [&](int First, int End) {
      const std::size_t Count = std::size_t(End - First);
      if (!Later) MovePixelsUp(Row, First, Count);
      if (SeparateGrey) std::memcpy(Grey + First, Grey + GreyStride + First, Count);
      std::memcpy(Cells + First, Cells + CostStride + First, Count * sizeof(double));
      if (ShiftSeamRows) {
        std::memcpy(Sums + First, Sums + SumStride + First, Count * sizeof(double));
        std::memcpy(StepCells + First, StepCells + StepStride + First, Count);
      }
    });
  }
  if (RowsByRuns < NewHeight) {
    const std::size_t Rows = std::size_t(NewHeight - RowsByRuns);
    auto MoveRowsUp = [&](auto* Map, std::ptrdiff_t Stride) {
      std::memmove(Map + RowsByRuns * Stride, Map + (RowsByRuns + 1) * Stride, Rows * Stride * sizeof(*Map));
    };
    if (!Later) ForEachPixelPlane([&](TLinearBitmap& Plane) { MoveRowsUp(Plane.Map, Plane.BytesPerLine); });
    if (SeparateGrey) MoveRowsUp(GreyMap, GreyStride);
    MoveRowsUp(CostCells, CostStride);
    if (ShiftSeamRows) {
      MoveRowsUp(SumCells, SumStride);
      MoveRowsUp(StepMap, StepStride);
    }
  }
  if (!Later) ZeroPixelRow(NewHeight, Width);
  std::fill_n(CostMap->ScanLine(NewHeight), Width, 0.0);
  const TBandGeometry Band{GreyImage->Map, GreyImage->BytesPerLine, 1, CostMap->Map, CostMap->Width, 1,
                           NewHeight, Width, CostWindowRadius, nullptr};
  std::vector<std::uint64_t> LineS, LineQ;
  for (int X = Width - 1; X >= 0; --X) RepairBandLine(Band, X, SeamRow[X], FixedCost, LineS, LineQ);
  if (Later) Later->Outstanding = true;
}

// ============================================================================
// Image moves made later
// ============================================================================

TSeamCarvingComponent::TImageMoves* TSeamCarvingComponent::RecordImageMoves(TSeamDirection Direction) {
  if (!ImageMovesLater_ || GreyImage == Image.get()) return nullptr;
  // The moves of the removal before may still be outstanding (being made on the worker thread):
  // this removal's go into the other record.
  TImageMoves& Moves = ImageMoves_[ImageMovesRecorded_++ % 2];
  MakeImageMoves(Moves); // normally made during the step before already
  Moves.Direction = Direction;
  Moves.Width = Width;
  Moves.Height = Height;
  Moves.Outstanding = false; // until the removal has filled it in
  return &Moves;
}

void TSeamCarvingComponent::MakeImageMoves(TImageMoves& Moves) {
  if (!Moves.Outstanding) return;
  if (Moves.Direction == sdVertical) {
    // As the removal would have moved the pixels, row by row; a move to the left leaves the
    // row's last pixel to be zeroed.
    for (int Y = 0; Y < Moves.Height; ++Y) {
      const TImageMoves::TRowMove& M = Moves.Rows[std::size_t(Y)];
      const int To = M.Left ? M.From - 1 : M.From + 1;
      ForEachPixelPlane([&](TLinearBitmap& Plane) {
        std::uint8_t* Row = Plane.ScanLine(Y);
        const int Size = Plane.PixelSize;
        std::memmove(Row + To * Size, Row + M.From * Size, std::size_t(M.Count) * Size);
        if (M.Left) std::memset(Row + (M.From + M.Count - 1) * Size, 0, std::size_t(Size));
      });
    }
  } else {
    const std::vector<int>& SeamRow = Moves.SeamRow;
    const int Top = *std::min_element(SeamRow.begin(), SeamRow.end());
    const int Bottom = *std::max_element(SeamRow.begin(), SeamRow.end());
    for (int Row = Top; Row < Moves.Height; ++Row)
      ForEachRunMovingUp(SeamRow, Moves.Width, Row, Bottom,
                         [&](int First, int End) { MovePixelsUp(Row, First, std::size_t(End - First)); });
    ZeroPixelRow(Moves.Height, Moves.Width);
  }
  Moves.Outstanding = false;
}

void TSeamCarvingComponent::MovePixelsUp(int Row, int First, std::size_t Count) {
  ForEachPixelPlane([&](TLinearBitmap& Plane) {
    const int Size = Plane.PixelSize;
    std::memcpy(Plane.ScanLine(Row) + First * Size, Plane.ScanLine(Row + 1) + First * Size, Count * Size);
  });
}

void TSeamCarvingComponent::ZeroPixelRow(int Row, int Count) {
  ForEachPixelPlane([&](TLinearBitmap& Plane) {
    std::memset(Plane.ScanLine(Row), 0, std::size_t(Count) * Plane.PixelSize);
  });
}

void TSeamCarvingComponent::MakeOutstandingImageMoves() {
  // The older record first.
  for (unsigned K = 0; K < 2; ++K) MakeImageMoves(ImageMoves_[(ImageMovesRecorded_ + K) % 2]);
}
