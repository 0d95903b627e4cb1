// Automatic scaling: ScaleTo removes the cheaper seam per pixel step by step; EnlargeWidth
// widens the source by inserting a pixel beside each of the seams that would go first.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "seamcarving/seam_carving_component.h"
#include "support/progress.h"

namespace {

void ReportProgress(int Percent) {
  if (ProgressHook) ProgressHook(Percent);
}

// Counts of positions 0..Size-1 seen so far, with the number at or below a position in
// O(log Size).
class TPositionCounts {
public:
  void Reset(int Size) { Tree_.assign(std::size_t(Size) + 1, 0); }
  void Add(int Position) {
    for (std::size_t I = std::size_t(Position) + 1; I < Tree_.size(); I += I & (~I + 1)) ++Tree_[I];
  }
  int AtOrBelow(int Position) const {
    int Count = 0;
    for (std::size_t I = std::size_t(Position) + 1; I > 0; I -= I & (~I + 1)) Count += Tree_[I];
    return Count;
  }

private:
  std::vector<int> Tree_;
};

// In one row, seam i's value goes through c -> c + [c >= T(j)] for each earlier seam j in the
// order found, T(j) being seam j's own result of the same walk. The walk so far is a strictly
// increasing function and T(j) is its value at j's start, so c >= T(j) holds exactly when i
// started at or right of j: the walk adds the number of earlier seams that started at or left
// of i. Row holds the starting values (below Limit) and receives the results.
void CountEarlierAtOrLeft(int* Row, int Count, int Limit, TPositionCounts& Counts) {
  Counts.Reset(Limit);
  for (int I = 0; I < Count; ++I) {
    const int Start = Row[I];
    Row[I] = Start + Counts.AtOrBelow(Start);
    Counts.Add(Start);
  }
}

} // namespace

void TSeamCarvingComponent::ScaleTo(int NewWidth, int NewHeight) {
  // Never below one pixel: an empty live region has no seams to compare.
  NewWidth = std::max(NewWidth, 1);
  NewHeight = std::max(NewHeight, 1);
  const int Total = std::max(0, Width - NewWidth) + std::max(0, Height - NewHeight);
  // Once only the width shrinks, removals move the shorter side of each row; the rows are put
  // back in place at the end, also when a progress report aborts. The same holds for the
  // horizontal seam maps held by columns.
  if (Total > 0 && Height > NewHeight) HoldHorizontalByColumns(true);
  auto Finish = [this] {
    ImageMovesLater_ = false;
    MakeOutstandingImageMoves();
    EndNarrowing();
    HoldHorizontalByColumns(false);
  };
  try {
    for (int Step = 1; Step <= Total; ++Step) {
      TSeamDirections Directions = 0;
      if (Width > NewWidth) Directions |= SeamDirectionBit(sdVertical);
      if (Height > NewHeight) Directions |= SeamDirectionBit(sdHorizontal);
      // In two-way steps, the working image's moves of the removal before are made on the
      // worker thread ahead of its vertical pass, which is the shorter one. In one-way steps a
      // removal moves the image itself, along with the other maps while the rows are in cache.
      const bool TwoWay = Directions == (SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
      TImageMoves& Earlier = ImageMoves_[(ImageMovesRecorded_ + 1) % 2];
      if (TwoWay && Earlier.Outstanding) ImageMovesForWorker_ = &Earlier;
      if (!TwoWay) MakeOutstandingImageMoves();
      ImageMovesLater_ = TwoWay;
      if (Directions == SeamDirectionBit(sdVertical) && RowOrigin_.empty()) {
        UpdateCostMap();
        BeginNarrowing();
      }
      FindSeams(Directions);
      constexpr double Infinity = std::numeric_limits<double>::infinity();
      const int Bottom = Height - 1;
      const double CostV = (Directions & SeamDirectionBit(sdVertical))
                               ? *SeamCost[sdVertical]->CellAddress(RowOrigin(Bottom) + BestColumn, Bottom) / Height
                               : Infinity;
      const double CostH = (Directions & SeamDirectionBit(sdHorizontal))
                               ? SeamCost[sdHorizontal]->Map[HorizontalCell(Width - 1, BestRow)] / Width
                               : Infinity;
      if (CostV < CostH)
        RemoveVerticalSeam(BestColumn);
      else
        RemoveHorizontalSeam(BestRow);
      ReportProgress(Step * 100 / Total);
    }
  } catch (...) {
    ImageMovesForWorker_ = nullptr;
    Finish();
    throw;
  }
  Finish();
}

void TSeamCarvingComponent::ReleaseDerivedMaps() {
  CostMapValid = false;
  ForgetSeamMaps();
  DiscardGreyImage();
  CostMap.reset();
  for (int Direction = sdVertical; Direction <= sdHorizontal; ++Direction) {
    SeamStep[Direction].reset();
    SeamCost[Direction].reset();
  }
}

void TSeamCarvingComponent::RestartFromSource() {
  // After an earlier enlargement the maps have the enlarged size even when the carved size is
  // back at the source's; they are rebuilt at the source's size.
  const int SourceWidth = Source->Width, SourceHeight = Source->Height;
  const bool Enlarged = CostMap && (CostMap->Width != SourceWidth || CostMap->Height != SourceHeight);
  if (Width == SourceWidth && Height == SourceHeight && !Enlarged) return;
  if (Enlarged) ReleaseDerivedMaps();
  DiscardGreyImage();
  Image.reset();
  Origins.reset();
  Width = SourceWidth;
  Height = SourceHeight;
  CostMapValid = false;
}

void TSeamCarvingComponent::EnlargeWidth(int NewWidth) {
  const int Count = NewWidth - Source->Width;
  if (Count <= 0) return;
  RestartFromSource();
  // Row y's entries of all seams lie together (seam i at y * Count + i).
  std::vector<int> Seams(std::size_t(Height) * Count);
  ChooseEnlargementSeams(Count, Seams);
  MapEnlargementSeams(Count, Seams);
  ReleaseDerivedMaps();
  InsertEnlargementSeams(NewWidth, Count, Seams);
  ReportProgress(100);
}

// ============================================================================
// Enlargement: choosing the seams
// ============================================================================

void TSeamCarvingComponent::ChooseEnlargementSeams(int Count, std::vector<int>& Seams) {
  // The seams are those a narrowing would remove first, found on a shrinking copy; each entry
  // first holds the column found in the carved copy.
  UpdateCostMap();
  BeginNarrowing();
  try {
    for (int I = 0; I < Count; ++I) {
      ReportProgress(I * 90 / Count);
      FindSeams(SeamDirectionBit(sdVertical));
      FollowSeam(sdVertical, BestColumn, [&](int X, int Y) { Seams[std::size_t(Y) * Count + I] = X; });
      RemoveVerticalSeam(BestColumn);
    }
  } catch (...) {
    EndNarrowing();
    throw;
  }
  EndNarrowing();
}

// ============================================================================
// Enlargement: mapping the seams
// ============================================================================

void TSeamCarvingComponent::MapEnlargementSeams(int Count, std::vector<int>& Seams) const {
  // Map each seam back to a column of Source through the seams found before it, in the order
  // they were found, and then to its column at its turn of insertion, which moves it right by
  // one for each seam inserted before it at or left of it: both the same walk over the
  // earlier seams, done by counting.
  TPositionCounts Counts;
  for (int Y = 0; Y < Height; ++Y) {
    int* Row = &Seams[std::size_t(Y) * Count];
    CountEarlierAtOrLeft(Row, Count, Source->Width, Counts);
    CountEarlierAtOrLeft(Row, Count, Source->Width, Counts);
  }
}

// ============================================================================
// Enlargement: inserting the seams
// ============================================================================

namespace {

// Makes the pixel inserted between two: the gamma-correct average of each channel, or, in a
// palette image with colours, the palette entry nearest the average colour, searched once per
// distinct pair of neighbours.
class TInsertedPixel {
public:
  explicit TInsertedPixel(const TSeamCarvingComponent& Engine)
      : Engine_(Engine), PixelSize_(Engine.Image->PixelSize),
        AverageColours_(Engine.Image->PixelFormat == lpf8Bit && !IsGreyPalette(Engine.Image->Palette)),
        PairIndex_(AverageColours_ ? 256 * 256 : 0, -1) {}

  void Make(std::uint8_t* Target, const std::uint8_t* Left, const std::uint8_t* Right) {
    if (!AverageColours_) {
      for (int C = 0; C < PixelSize_; ++C) Target[C] = Engine_.GammaAverage[Left[C]][Right[C]];
      return;
    }
    std::int16_t& Index = PairIndex_[*Left * 256 + *Right];
    if (Index < 0) {
      const TColorTriple& A = (*Engine_.Image->Palette)[*Left];
      const TColorTriple& B = (*Engine_.Image->Palette)[*Right];
      const auto& Average = Engine_.GammaAverage;
      const TColorValue Colour = TColorValue(Average[A.Red][B.Red]) | TColorValue(Average[A.Green][B.Green]) << 8 |
                                 TColorValue(Average[A.Blue][B.Blue]) << 16;
      Index = NearestPaletteIndex(Colour, *Engine_.Image->Palette);
    }
    *Target = static_cast<std::uint8_t>(Index);
  }

private:
  const TSeamCarvingComponent& Engine_;
  int PixelSize_;
  bool AverageColours_;
  std::vector<std::int16_t> PairIndex_;
};

} // namespace

void TSeamCarvingComponent::InsertEnlargementSeams(int NewWidth, int Count, const std::vector<int>& Seams) {
  const int SourceWidth = Source->Width, SourceHeight = Source->Height;
  Image->New(NewWidth, SourceHeight, Source->PixelFormat);
  Image->Fill(0);
  Image->PasteImage(*Source, 0, 0, INT32_MAX, INT32_MAX);
  if (Origins) ResetOrigins(NewWidth, SourceHeight);
  const std::uint32_t SourcePixels = std::uint32_t(SourceWidth) * std::uint32_t(SourceHeight);
  Width = SourceWidth;
  const int PixelSize = Image->PixelSize;
  TInsertedPixel Inserted(*this);

  // Inserts seams First..Last-1, row after row: one row takes all of them while it is in cache.
  // Each seam's column already counts every insertion before it, so the order of rows does not
  // change what a row becomes.
  auto Insert = [&](int First, int Last) {
    for (int Y = 0; Y < Height; ++Y) {
      const int* Row = &Seams[std::size_t(Y) * Count];
      for (int I = First, RowWidth = Width; I < Last; ++I, ++RowWidth) {
        std::uint8_t* Seam = Image->PixelAddress(Row[I], Y);
        const int Moved = RowWidth - Row[I] - 1;
        if (Moved > 0) {
          std::memmove(Seam + 2 * PixelSize, Seam + PixelSize, std::size_t(Moved) * PixelSize);
          Inserted.Make(Seam + PixelSize, Seam, Seam + 2 * PixelSize);
        } else {
          // The seam pixel ends the row: with no right neighbour it is averaged with itself.
          Inserted.Make(Seam + PixelSize, Seam, Seam);
        }
        if (Origins) {
          auto* Cell = reinterpret_cast<std::uint32_t*>(Origins->PixelAddress(Row[I], Y));
          if (Moved > 0) std::memmove(Cell + 2, Cell + 1, std::size_t(Moved) * sizeof *Cell);
          Insertions.push_back({Cell[0], Moved > 0 ? Cell[2] : Cell[0]});
          Cell[1] = SourcePixels + std::uint32_t(Insertions.size() - 1);
        }
      }
    }
    Width += Last - First;
  };
  // The seams whose reports give the same percentage go in one batch, reported first. A
  // report that aborts still finds every seam before it inserted and none after it, as when
  // each seam is reported just before its insertion.
  for (int First = 0, Last; First < Count; First = Last) {
    const int Percent = 90 + First * 10 / Count;
    for (Last = First + 1; Last < Count && 90 + Last * 10 / Count == Percent;) ++Last;
    int Reported = First;
    try {
      for (; Reported < Last; ++Reported) ReportProgress(Percent);
    } catch (...) {
      Insert(First, Reported);
      throw;
    }
    Insert(First, Last);
  }
}

// ============================================================================
// Enlarge, then scale
// ============================================================================

bool TSeamCarvingComponent::NeedsRestart(int NewWidth, int NewHeight) const {
  return NewWidth <= Source->Width && (NewWidth > Width || NewHeight > Height);
}

void TSeamCarvingComponent::EnlargeThenScale(int NewWidth, int NewHeight, TResizeProgress Progress) {
  const bool Enlarge = NewWidth > Source->Width;
  if (!Enlarge && NeedsRestart(NewWidth, NewHeight)) RestartFromSource();
  // Shared progress: in proportion to the seams each operation handles, counted from where
  // each starts (the enlargement from Source).
  const std::int64_t Inserted = Enlarge ? NewWidth - Source->Width : 0;
  const int StartWidth = Enlarge ? NewWidth : Width, StartHeight = Enlarge ? Source->Height : Height;
  const std::int64_t Removed = std::max(0, StartWidth - std::max(NewWidth, 1)) + std::max(0, StartHeight - std::max(NewHeight, 1));
  const int EnlargeSpan = Inserted + Removed > 0 ? int(100 * Inserted / (Inserted + Removed)) : 0;
  const TProgressEvent Outer = ProgressHook;
  auto Phase = [&](int From, int Span) {
    if (Progress == TResizeProgress::Whole && Outer)
      ProgressHook = [&Outer, From, Span](int Percent) { Outer(From + std::clamp(Percent, 0, 100) * Span / 100); };
  };
  try {
    if (Enlarge) {
      Phase(0, EnlargeSpan);
      EnlargeWidth(NewWidth);
    }
    Phase(EnlargeSpan, 100 - EnlargeSpan);
    ScaleTo(NewWidth, NewHeight);
  } catch (...) {
    ProgressHook = Outer;
    throw;
  }
  ProgressHook = Outer;
}
