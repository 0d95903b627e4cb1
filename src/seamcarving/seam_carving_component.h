// TSeamCarvingComponent: the seam-carving engine. One object holds one source image and all
// that is derived from it while the image is resized: a working copy, its grey levels, the
// per-pixel cost map (local variance of the grey levels), the seam maps and the carved size.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/float_map.h"
#include "imaging/linear_bitmap.h"
#include "support/object.h"

enum TSeamDirection : std::uint8_t {
  sdVertical = 0,   // one pixel per row; removing it narrows the image
  sdHorizontal = 1, // one pixel per column; removing it lowers the image
};

// A set of directions: bit 0 sdVertical, bit 1 sdHorizontal.
using TSeamDirections = std::uint8_t;
constexpr TSeamDirections SeamDirectionBit(TSeamDirection Direction) {
  return static_cast<TSeamDirections>(1u << Direction);
}

enum TSelectionHandling : std::uint8_t {
  shIgnore = 0,    // the selection does not touch the costs
  shExpensive = 1, // selected cells get a protected cost above every real one
  shCheap = 2,     // selected cells start at cost 0
};

// Population variance of N grey levels with sum S and sum of squares Q, evaluated in extended
// precision and stored as a Double; 0 when Q is 0 (empty or all-black window). Every cost
// cell is computed through this one function, so all paths agree bit for bit.
inline double WindowVariance(std::uint64_t N, std::uint64_t S, std::uint64_t Q) {
  if (Q == 0) return 0.0;
  const long double Count = static_cast<long double>(N);
  const long double Mean = static_cast<long double>(S) / Count;
  return static_cast<double>(static_cast<long double>(Q) / Count - Mean * Mean);
}

class TWorkerThread;

// The engine's own failures: a parameter outside what the engine works with.
class ESeamCarving : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "ESeamCarving"; }
};

// How EnlargeThenScale reports progress through ProgressHook: each of its two operations
// 0..100 as when called alone, or the whole call 0..100, shared in proportion to the seams
// each operation handles.
enum class TResizeProgress { PerOperation, Whole };

class TSeamCarvingComponent : public TObject {
public:
  // Not owned; read only. 8-bit or 24-bit.
  const TLinearBitmap* Source;
  // 8-bit grey levels for the cost function. The same object as Image for an 8-bit source
  // whose palette is the grey ramp (or absent); otherwise a separate image owned here,
  // made through the palette or from the colour bytes. Null until the first UpdateCostMap.
  TLinearBitmap* GreyImage = nullptr;
  // Not owned, may be null: one byte per Source pixel, rows back to back, nonzero = selected.
  const std::uint8_t* SelectionMask;
  TSelectionHandling SelectionHandling = shIgnore;
  std::int32_t CostWindowSize = 0;
  std::int32_t CostWindowRadius = 0; // CostWindowSize / 2: the window is 2 * radius + 1 wide
  // Cumulative seam costs and predecessor steps per direction, for the seam search.
  std::array<std::unique_ptr<TFloatMap>, 2> SeamCost;
  std::array<bool, 2> SeamMapFresh{}; // false after any change of image, size or costs
  bool CostMapValid = false;          // CostMap matches the image and both parameters
  double FixedCost = -1;              // a cost ComputeCost never overwrites; -1: none
  // Negative costs are never overwritten either: real costs are never below 0, and a caller
  // may set cells below 0 after UpdateCostMap to draw seams through them (object removal).
  // Gamma-correct average of two 8-bit values, for pixels inserted between two others.
  std::uint8_t GammaAverage[256][256];
  // The gamma GammaAverage was built for; samples of other precision average by it too.
  float Gamma;
  // The carved size. The maps keep their allocated size; the live region is columns
  // 0..Width-1 of rows 0..Height-1.
  std::int32_t Width;
  std::int32_t Height;
  std::unique_ptr<TMatrix> CostMap;
  // The working copy of Source, null until the first UpdateCostMap.
  std::unique_ptr<TLinearBitmap> Image;
  std::array<std::unique_ptr<TLinearBitmap>, 2> SeamStep;
  std::int32_t BestColumn = 0;
  std::int32_t BestRow = 0;
  // Origin tracking, off unless TrackOrigins is set before the first UpdateCostMap. Origins (the
  // grid of Image, 4 bytes per cell) then holds for each pixel of Image the Source pixel it is,
  // Y * Source's width + X, or Source's pixel count + K for the K-th pixel seam insertion made,
  // the average of the two pixels of Insertions[K] (left and right; twice the same at a row's
  // end). Its cells move with Image's pixels through every removal and insertion, so that data
  // the engine does not carve (alpha, 16-bit samples) can follow the seams.
  bool TrackOrigins = false;
  std::unique_ptr<TLinearBitmap> Origins;
  std::vector<std::array<std::uint32_t, 2>> Insertions;

  // ===== Limits: the front-ends take their ranges from here =====
  // The gamma of the averages that make inserted pixels, in every front-end.
  static constexpr float InsertionGamma = 2.2f;
  // The cost window sizes SetCostWindowSize accepts. Above 111 the window's sums were never
  // reasoned about; an even size uses the next odd window.
  static constexpr int MinCostWindowSize = 1;
  static constexpr int MaxCostWindowSize = 111;
  // The widest target width for a source SourceWidth pixels wide: 150 %, halves rounded up.
  static constexpr std::int64_t WidestEnlargement(std::int64_t SourceWidth) { return (3 * SourceWidth + 1) / 2; }

  // Stores Source and the mask (neither is copied, both must outlive the engine) and fills
  // GammaAverage for Gamma. No image work is done here.
  TSeamCarvingComponent(const TLinearBitmap& Source, const std::uint8_t* SelectionMask, float Gamma);
  ~TSeamCarvingComponent() override;
  TSeamCarvingComponent(const TSeamCarvingComponent&) = delete;
  TSeamCarvingComponent& operator=(const TSeamCarvingComponent&) = delete;
  const char* ClassName() const override { return "TSeamCarvingComponent"; }

  // Each invalidates the cost map when the value changes; an equal value changes nothing.
  void SetSelectionHandling(TSelectionHandling Mode);
  // Raises ESeamCarving "Invalid cost window size" for a size outside MinCostWindowSize ..
  // MaxCostWindowSize, changing nothing.
  void SetCostWindowSize(int Size);

  // The top of the cost display and the base of the protected cost: 32385 for every window.
  static constexpr double CostCeiling() { return 32385.0; }

  // Makes Image, GreyImage and CostMap exist and match the image and the parameters; returns
  // at once while CostMapValid. Raises ELinearBitmap "Unsupported pixel format" for a source
  // that is neither 8-bit nor 24-bit, and the allocation errors of bitmaps and float maps;
  // CostMapValid then stays false and what was made is kept for the next attempt.
  void UpdateCostMap();
  // Recomputes cell (X, Y) of CostMap by direct summation over the window clipped to the
  // live region; a cell holding FixedCost or a negative cost is left alone. No bounds check.
  void ComputeCost(int X, int Y);
  // Sets every selected cell to Value. Applies only while the allocated grid has Source's
  // size (the mask describes nothing else) and there is a mask.
  void ApplySelectionCost(double Value);
  // Renders CostMap for display, after UpdateCostMap: 8-bit grey, Round(255 * sqrt(cost /
  // CostCeiling)) limited to 0..255, at the allocated size.
  void RenderCostMap(TLinearBitmap& Bitmap);

  // Seam search. Runs UpdateCostMap, then the passes for the requested directions from
  // scratch; with both, the vertical pass runs on a worker thread beside the horizontal one,
  // and the worker's error is raised here with its message once both have ended.
  void FindSeams(TSeamDirections Directions);
  // Cumulative costs and predecessor steps over the live region; BestColumn (BestRow) is the
  // leftmost (topmost) cheapest end. A diagonal predecessor wins only when strictly lower
  // than every other candidate. A region one pixel across yields the straight line.
  void VerticalSeamPass();
  void HorizontalSeamPass();
  // Remove the seam ending at bottom-row column X (right-column row Y) as found by the last
  // pass of that direction, shifting image, grey image and costs within the allocated grid,
  // then recompute the costs within the window radius of the removed pixels.
  void RemoveVerticalSeam(int X);
  void RemoveHorizontalSeam(int Y);

  // Reduces Width and Height to the targets (each at least 1) seam by seam, removing at each
  // step the seam with the lower average cost per pixel (the horizontal one on a tie);
  // reports step * 100 / total through ProgressHook, which may abort between seams.
  void ScaleTo(int NewWidth, int NewHeight);
  // Widens Source to NewWidth (above Source's width; otherwise nothing happens) by inserting a
  // gamma-correct average beside each of the seams that would be removed first. Discards
  // earlier removals; releases the derived maps, which the next UpdateCostMap rebuilds.
  void EnlargeWidth(int NewWidth);
  // Enlarge, then scale: brings the image to NewWidth x NewHeight. A width above Source's is
  // reached by EnlargeWidth (which starts from Source), then ScaleTo lowers what is left; a
  // target above the carved size but within Source's width (see NeedsRestart) is reached by
  // starting from Source again, discarding earlier removals. A caller with a restart of its
  // own (the dialog's Reset, a new engine) runs it first when NeedsRestart says so.
  void EnlargeThenScale(int NewWidth, int NewHeight, TResizeProgress Progress = TResizeProgress::PerOperation);
  // Whether EnlargeThenScale(NewWidth, NewHeight) must start from Source again without
  // widening: the width stays within Source's but a target lies above the carved size.
  bool NeedsRestart(int NewWidth, int NewHeight) const;

  // Walks the seam of Direction that ends at End (a bottom-row column for sdVertical, a
  // right-column row for sdHorizontal) as found by the last pass of that direction, from that
  // end back to the first line: calls Visit(X, Y) for each of its pixels in the live region.
  template <class TVisit> void FollowSeam(TSeamDirection Direction, int End, TVisit Visit) const {
    if (Direction == sdVertical)
      for (int Y = Height - 1, X = End; Y >= 0; --Y) {
        Visit(X, Y);
        X += SeamStepAt(Direction, X, Y);
      }
    else
      for (int X = Width - 1, Y = End; X >= 0; --X) {
        Visit(X, Y);
        Y += SeamStepAt(Direction, X, Y);
      }
  }
  // The predecessor step (-1, 0 or +1) of live cell (X, Y) in the seam map of Direction.
  int SeamStepAt(TSeamDirection Direction, int X, int Y) const;

  // Rewrites GreyImage pixel (X, Y) from Image pixel (X, Y) where the grey image is separate;
  // for pixels that seam insertion creates. No bounds check.
  void UpdateGreyPixel(int X, int Y);
  // Releases a separate grey image and sets GreyImage to null.
  void DiscardGreyImage();

private:
  std::unique_ptr<TLinearBitmap> SeparateGreyImage_;
  // Calls Move(Plane) for each plane whose pixels move together: Image, and Origins when
  // origins are tracked.
  template <class TMove> void ForEachPixelPlane(TMove Move) {
    Move(*Image);
    if (Origins) Move(*Origins);
  }
  // Pixels Row + 1, First .. First + Count - 1 to row Row, in every pixel plane.
  void MovePixelsUp(int Row, int First, std::size_t Count);
  // Zeroes the first Count pixels of Row in every pixel plane.
  void ZeroPixelRow(int Row, int Count);
  // Origins as Source's own pixels on a grid of Width x Height (cells past Source are 0).
  void ResetOrigins(int Width, int Height);
  // Runs the vertical pass beside the horizontal one; started on first need.
  std::unique_ptr<TWorkerThread> Worker_;

  // What the last removal leaves reusable of the seam maps: Reusable_[d] says the map of d was
  // fresh from its pass when the removal ran; LastPath_ holds the removed seam's position in
  // every line (column per row for a vertical seam, row per column for a horizontal one).
  std::array<bool, 2> Reusable_{};
  TSeamDirection LastRemoval_ = sdVertical;
  std::vector<int> LastPath_;
  // The last removal, a vertical one while narrowing, has already brought the vertical map up
  // to date; the next vertical pass only finds its best end.
  bool VerticalMapUpdated_ = false;
  // The last removal, a vertical one, has left the vertical map unshifted: the next vertical
  // pass moves each row's cells right of the seam before bringing the row up to date.
  bool VerticalShiftPending_ = false;
  // While ScaleTo or EnlargeWidth only narrow the image, row y's live cells start RowOrigin_[y]
  // cells into the row in every map (a removal moves the shorter side of each row); empty
  // otherwise, and always empty when a public operation returns. NarrowingFrom_ is the width
  // when narrowing began.
  std::vector<int> RowOrigin_;
  int NarrowingFrom_ = 0;
  int RowOrigin(int Y) const { return RowOrigin_.empty() ? 0 : RowOrigin_[Y]; }
  // Narrowing with row origins: begins with every origin 0, ends with every row moved back
  // to its start. Only vertical passes and removals may run in between.
  void BeginNarrowing();
  void EndNarrowing();
  // While ScaleTo runs, the horizontal seam maps hold each column's cells together (column x
  // from element x * the allocated height on), so that the horizontal pass, its updates and
  // the removal's shift run along contiguous lines; otherwise they are laid out row by row.
  // The maps are stale once ScaleTo has returned.
  bool HorizontalByColumns_ = false;
  // Where cell (X, Y) of the horizontal seam maps lies.
  std::ptrdiff_t HorizontalCell(int X, int Y) const {
    return HorizontalByColumns_ ? std::ptrdiff_t(X) * CostMap->Height + Y : std::ptrdiff_t(Y) * CostMap->Width + X;
  }
  // Switches the layout of the horizontal seam maps; the contents become stale.
  void HoldHorizontalByColumns(bool ByColumns);
  // In ScaleTo's two-way steps, a removal records the moves of the working image's pixels
  // instead of making them, when the image is not also the grey image (which the band repair
  // reads): the next two-way step has them made on the worker thread ahead of its vertical
  // pass, and ScaleTo makes any outstanding ones before a one-way step and before it returns.
  // Two records: one may be in the making while the next removal fills the other.
  struct TImageMoves {
    struct TRowMove {
      int From;  // allocated column of the first pixel moved
      int Count; // pixels moved by one
      bool Left; // to the left, the row's last pixel then zeroed; otherwise to the right
    };
    TSeamDirection Direction = sdVertical;
    int Width = 0, Height = 0;   // the size after the removal
    std::vector<TRowMove> Rows;  // vertical: per row
    std::vector<int> SeamRow;    // horizontal: the seam's row in every column
    bool Outstanding = false;
  };
  bool ImageMovesLater_ = false;
  std::array<TImageMoves, 2> ImageMoves_;
  unsigned ImageMovesRecorded_ = 0;
  // Moves Count cells of row Y, from allocated column From, by one cell to the left (Left) or
  // right in the cost map, a separate grey image, the vertical seam map (ShiftSeamMap) and the
  // pixel planes, whose move goes into Later instead when it is given.
  void MoveRowCells(int Y, int From, int Count, bool Left, TImageMoves* Later, bool SeparateGrey, bool ShiftSeamMap);
  // Shifts the horizontal seam map, held by columns, up over the removed seam (SeamRow).
  void ShiftHorizontalMapByColumns(const std::vector<int>& SeamRow, int NewHeight);
  // The record a removal fills when its image moves are made later; null when it makes them.
  TImageMoves* RecordImageMoves(TSeamDirection Direction);
  void MakeImageMoves(TImageMoves& Moves);
  void MakeOutstandingImageMoves();
  // Handed from ScaleTo to FindSeams: made on the worker thread before its pass.
  TImageMoves* ImageMovesForWorker_ = nullptr;
  // Scratch lines of the horizontal pass (columns copied into contiguous lines).
  std::vector<double> HorizontalScratch_;
  std::vector<std::uint8_t> HorizontalStepScratch_;

  // The horizontal pass from column From on (at least 1), in tiles of columns copied into
  // contiguous scratch lines; column From - 1 and the cells before each row's first changed
  // column are up to date.
  void HorizontalPassInTiles(int From);
  // Sizes the seam maps of Direction to the allocated grid.
  void PrepareSeamPass(TSeamDirection Direction);
  void ChangedFrom(TSeamDirection Direction, int Count, std::vector<int>& From) const;
  void BeginRemoval(TSeamDirection Direction);
  // Marks both seam maps stale and not reusable.
  void ForgetSeamMaps();
  // Releases the grey image, the cost map and the seam maps; the cost map becomes invalid.
  void ReleaseDerivedMaps();

  void BuildGammaAverageTable(float Gamma);
  // Releases the working image and returns to Source's size, discarding earlier removals and
  // enlargements; does nothing while the engine is at Source's size and allocation.
  void RestartFromSource();
  // The phases of EnlargeWidth: choosing the seams on a shrinking copy (Seams receives, per
  // row, each seam's column in the copy it was found in), mapping them to their columns at
  // their turn of insertion, and inserting them.
  void ChooseEnlargementSeams(int Count, std::vector<int>& Seams);
  void MapEnlargementSeams(int Count, std::vector<int>& Seams) const;
  void InsertEnlargementSeams(int NewWidth, int Count, const std::vector<int>& Seams);
  void MakeGreyImage();
  // The full computation over the allocated grid, equal cell for cell to ComputeCost on a
  // zeroed map.
  void ComputeAllCosts();
};

inline int TSeamCarvingComponent::SeamStepAt(TSeamDirection Direction, int X, int Y) const {
  const std::uint8_t Step = Direction == sdVertical ? *SeamStep[sdVertical]->PixelAddress(RowOrigin(Y) + X, Y)
                                                    : SeamStep[sdHorizontal]->Map[HorizontalCell(X, Y)];
  return static_cast<std::int8_t>(Step);
}

// Grey level Round((2 R + 3 G + B) / 6), ties to even.
std::uint8_t GreyLevel(int Red, int Green, int Blue);
