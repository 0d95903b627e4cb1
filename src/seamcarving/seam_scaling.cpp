// Automatic scaling: ScaleTo removes the cheaper seam per pixel step by step; EnlargeWidth
// widens the source by inserting a pixel beside each of the seams that would go first.
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

void TSeamCarvingComponent::EnlargeWidth(int NewWidth) {
  const int SourceWidth = Source->Width, SourceHeight = Source->Height;
  const int Count = NewWidth - SourceWidth;
  if (Count <= 0) return;

  // Start from Source again. After an earlier enlargement the maps have the enlarged size even
  // when the carved size is back at the source's; they are rebuilt at the source's size.
  const bool Enlarged = CostMap && (CostMap->Width != SourceWidth || CostMap->Height != SourceHeight);
  if (Width != SourceWidth || Height != SourceHeight || Enlarged) {
    if (Enlarged) ReleaseDerivedMaps();
    DiscardGreyImage();
    Image.reset();
    Origins.reset();
    Width = SourceWidth;
    Height = SourceHeight;
    CostMapValid = false;
  }

  // Choose the seams on a shrinking copy. Row y's entries of all seams lie together (seam i at
  // y * Count + i); each first holds the column found in the carved copy.
  std::vector<int> Seams(std::size_t(Height) * Count);
  UpdateCostMap();
  BeginNarrowing();
  try {
    for (int I = 0; I < Count; ++I) {
      ReportProgress(I * 90 / Count);
      FindSeams(SeamDirectionBit(sdVertical));
      const TLinearBitmap& Steps = *SeamStep[sdVertical];
      for (int Y = Height - 1, X = BestColumn; Y >= 0; --Y) {
        Seams[std::size_t(Y) * Count + I] = X;
        X += static_cast<std::int8_t>(*Steps.PixelAddress(RowOrigin(Y) + X, Y));
      }
      RemoveVerticalSeam(BestColumn);
    }
  } catch (...) {
    EndNarrowing();
    throw;
  }
  EndNarrowing();
  // Map each seam back to a column of Source through the seams found before it, in the order
  // they were found, and then to its column at its turn of insertion, which moves it right by
  // one for each seam inserted before it at or left of it: both the same walk over the
  // earlier seams, done by counting.
  TPositionCounts Counts;
  for (int Y = 0; Y < Height; ++Y) {
    int* Row = &Seams[std::size_t(Y) * Count];
    CountEarlierAtOrLeft(Row, Count, SourceWidth, Counts);
    CountEarlierAtOrLeft(Row, Count, SourceWidth, Counts);
  }

  ReleaseDerivedMaps();
  Image->New(NewWidth, SourceHeight, Source->PixelFormat);
  Image->Fill(0);
  Image->PasteImage(*Source, 0, 0, INT32_MAX, INT32_MAX);
  if (Origins) ResetOrigins(NewWidth, SourceHeight);
  const std::uint32_t SourcePixels = std::uint32_t(SourceWidth) * std::uint32_t(SourceHeight);
  Width = SourceWidth;

  const bool Indexed = Image->PixelFormat == lpf8Bit;
  const bool AverageColours = Indexed && !IsGreyPalette(Image->Palette);
  const int PixelSize = Image->PixelSize;
  // Palette images with colours: one nearest-index search per distinct pair of neighbours.
  std::vector<std::int16_t> PairIndex(AverageColours ? 256 * 256 : 0, -1);
  auto Average = [&](std::uint8_t* Target, const std::uint8_t* Left, const std::uint8_t* Right) {
    if (!AverageColours) {
      for (int C = 0; C < PixelSize; ++C) Target[C] = GammaAverage[Left[C]][Right[C]];
      return;
    }
    std::int16_t& Index = PairIndex[*Left * 256 + *Right];
    if (Index < 0) {
      const TColorTriple& A = (*Image->Palette)[*Left];
      const TColorTriple& B = (*Image->Palette)[*Right];
      const TColorValue Colour = TColorValue(GammaAverage[A.Red][B.Red]) |
                                 TColorValue(GammaAverage[A.Green][B.Green]) << 8 |
                                 TColorValue(GammaAverage[A.Blue][B.Blue]) << 16;
      Index = NearestPaletteIndex(Colour, *Image->Palette);
    }
    *Target = static_cast<std::uint8_t>(Index);
  };

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
          Average(Seam + PixelSize, Seam, Seam + 2 * PixelSize);
        } else {
          // The seam pixel ends the row: with no right neighbour it is averaged with itself.
          Average(Seam + PixelSize, Seam, Seam);
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
  ReportProgress(100);
}
