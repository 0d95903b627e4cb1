#include "object_removal.h"

#include <algorithm>
#include <cstring>

#include "cli_error.h"
#include "image_metadata.h"
#include "progress_phase.h"
#include "seamcarving/seam_carving_component.h"

namespace {

// Horizontal seams are vertical seams of the transposed image: everything is turned (EXIF
// orientation 5 is the transposition, its own inverse), carved, and turned back.
constexpr int Transposition = 5;

std::vector<std::uint8_t> Transposed(const std::vector<std::uint8_t>& Cells, int Width, int Height) {
  std::vector<std::uint8_t> Out(Cells.size());
  OrientPixels(Cells.data(), Width, Height, Width, 1, Transposition, Out.data(), Height);
  return Out;
}

// The carved image of Engine at its live size.
std::unique_ptr<TLinearBitmap> CarvedImage(const TSeamCarvingComponent& Engine) {
  auto Image = std::make_unique<TLinearBitmap>(Engine.Image.get());
  Image->ResizeCanvas(Engine.Width, Engine.Height, 0, 0, 0);
  return Image;
}

// Cells (one per source pixel) as they follow Engine's origins; inserted pixels take their
// left pixel's cell.
std::vector<std::uint8_t> CarriedCells(const std::vector<std::uint8_t>& Cells, const TSeamCarvingComponent& Engine) {
  const std::uint32_t SourcePixels = std::uint32_t(Engine.Source->Width) * std::uint32_t(Engine.Source->Height);
  std::vector<std::uint8_t> Made(Engine.Insertions.size());
  for (std::size_t K = 0; K < Made.size(); ++K) {
    const std::uint32_t Left = Engine.Insertions[K][0];
    Made[K] = Left < SourcePixels ? Cells[Left] : Made[Left - SourcePixels];
  }
  std::vector<std::uint8_t> Out(std::size_t(Engine.Width) * Engine.Height);
  for (int Y = 0; Y < Engine.Height; ++Y) {
    const auto* Origin = reinterpret_cast<const std::uint32_t*>(Engine.Origins->ScanLine(Y));
    for (int X = 0; X < Engine.Width; ++X)
      Out[std::size_t(Y) * Engine.Width + X] = Origin[X] < SourcePixels ? Cells[Origin[X]] : Made[Origin[X] - SourcePixels];
  }
  return Out;
}

// The largest count of selected cells in one row, and in one column.
std::pair<int, int> MostSelected(const std::vector<std::uint8_t>& Cells, int Width, int Height) {
  std::vector<int> Columns(std::size_t(Width), 0);
  int Row = 0;
  for (int Y = 0; Y < Height; ++Y) {
    int Count = 0;
    for (int X = 0; X < Width; ++X)
      if (Cells[std::size_t(Y) * Width + X]) ++Count, ++Columns[std::size_t(X)];
    Row = std::max(Row, Count);
  }
  return {Row, *std::max_element(Columns.begin(), Columns.end())};
}

[[noreturn]] void RefuseNarrowRemainder(bool Vertical) {
  throw ECommandLine(std::string("--remove: the selection leaves the image one pixel ") + (Vertical ? "wide" : "high") +
                         ", where no seam can be inserted to give back its size; --keep-size no keeps what is left",
                     ExitRefused);
}

std::unique_ptr<TSeamCarvingComponent> MakeEngine(const TLinearBitmap& Source, const std::vector<std::uint8_t>& Protect,
                                                  const TObjectRemoval& Removal) {
  auto Engine = std::make_unique<TSeamCarvingComponent>(Source, Protect.empty() ? nullptr : Protect.data(),
                                                        TSeamCarvingComponent::InsertionGamma);
  Engine->SetCostWindowSize(Removal.WindowSize);
  Engine->SetSelectionHandling(Protect.empty() ? shIgnore : shExpensive);
  Engine->TrackOrigins = true;
  return Engine;
}

} // namespace

TRemovalCounts PlanRemoval(const std::vector<std::uint8_t>& Remove, int Width, int Height, bool KeepSize) {
  const auto [MostInRow, MostInColumn] = MostSelected(Remove, Width, Height);
  if (MostInRow == 0) throw ECommandLine("--remove: the mask selects nothing", ExitRefused);
  if (MostInRow == Width && MostInColumn == Height)
    throw ECommandLine("--remove: the selection spans the whole image both ways and cannot be removed", ExitRefused);
  TRemovalCounts Plan;
  Plan.Vertical = MostInRow <= MostInColumn && MostInRow < Width;
  Plan.Removed = Plan.Vertical ? MostInRow : MostInColumn;
  Plan.Inserted = KeepSize ? Plan.Removed : 0;
  if (KeepSize && (Plan.Vertical ? Width : Height) - Plan.Removed <= 1) RefuseNarrowRemainder(Plan.Vertical);
  return Plan;
}

std::string RemovalStatus(const TRemovalCounts& Counts) {
  std::string Text = std::to_string(Counts.Removed) + (Counts.Vertical ? " vertical" : " horizontal") + " seams removed";
  if (Counts.Inserted) Text += ", " + std::to_string(Counts.Inserted) + " inserted";
  return Text;
}

TPhoto RemoveObject(const TPhoto& Photo, const TObjectRemoval& Removal, const std::function<void(int)>& Progress,
                    const std::function<void(const TRemovalCounts&)>& Status, TRemovalCounts* CountsOut) {
  const int Width = Photo.Colour->Width, Height = Photo.Colour->Height;
  const TRemovalCounts Plan = PlanRemoval(*Removal.Remove, Width, Height, Removal.KeepSize);
  const int Estimate = Plan.Removed;
  TRemovalCounts Counts;
  Counts.Vertical = Plan.Vertical;

  // Everything in the frame where the seams are vertical.
  std::unique_ptr<TLinearBitmap> Colour = Counts.Vertical ? std::make_unique<TLinearBitmap>(Photo.Colour.get())
                                                          : Oriented(*Photo.Colour, Transposition);
  TSamplePlanes Planes = Photo.Planes.Present() && !Counts.Vertical ? Oriented(Photo.Planes, Transposition) : Photo.Planes;
  std::vector<std::uint8_t> Remove = Counts.Vertical ? *Removal.Remove : Transposed(*Removal.Remove, Width, Height);
  std::vector<std::uint8_t> Protect;
  if (Removal.Protect) Protect = Counts.Vertical ? *Removal.Protect : Transposed(*Removal.Protect, Width, Height);

  // 1. Removal. A selected cell costs less than any seam without it can save: each seam
  // passes through as many selected pixels as a seam can, so every seam removes some.
  auto Carver = MakeEngine(*Colour, Protect, Removal);
  Carver->UpdateCostMap();
  const double Selected = -TSeamCarvingComponent::CostCeiling() * 1.1 * (double(Colour->Height) + 1);
  for (std::size_t I = 0; I < Remove.size(); ++I)
    if (Remove[I]) Carver->CostMap->Map[I] = Selected;
  const int Span = Removal.KeepSize ? 50 : 100;
  for (;;) {
    const std::vector<std::uint8_t> Left = CarriedCells(Remove, *Carver);
    if (std::find(Left.begin(), Left.end(), 1) == Left.end()) break;
    if (Carver->Width == 1) throw ECommandLine("--remove: the selection could not be removed", ExitFailure);
    Carver->ScaleTo(Carver->Width - 1, Carver->Height);
    ++Counts.Removed;
    Progress(std::min(Span - 1, Counts.Removed * Span / std::max(Estimate, 1)));
    if (Status) Status(Counts);
  }
  std::unique_ptr<TLinearBitmap> Result = CarvedImage(*Carver);
  if (Planes.Present()) Planes = Carried(Planes, *Carver);
  Protect = Protect.empty() ? Protect : CarriedCells(Protect, *Carver);
  Carver.reset();

  // 2. Insertion back to the original size, in rounds of fewer seams than the image is wide.
  const int Wanted = Counts.Vertical ? Width : Height;
  if (Removal.KeepSize && Result->Width == 1) RefuseNarrowRemainder(Counts.Vertical);
  while (Removal.KeepSize && Result->Width < Wanted) {
    const int Count = std::min(Wanted - Result->Width, Result->Width - 1);
    auto Widener = MakeEngine(*Result, Protect, Removal);
    {
      const int From = Span + Counts.Inserted * Span / Counts.Removed;
      TProgressPhase Phase(Progress, From, Count * Span / Counts.Removed);
      Widener->EnlargeWidth(Result->Width + Count);
    }
    Counts.Inserted += Count;
    if (Status) Status(Counts);
    // The engine reads its source, Result, until this is done.
    if (Planes.Present()) Planes = Carried(Planes, *Widener);
    if (!Protect.empty()) Protect = CarriedCells(Protect, *Widener);
    Result = CarvedImage(*Widener);
  }

  TPhoto Out;
  Out.Colour = Counts.Vertical ? std::move(Result) : Oriented(*Result, Transposition);
  if (Planes.Present()) Out.Planes = Counts.Vertical ? std::move(Planes) : Oriented(Planes, Transposition);
  Out.Metadata = Photo.Metadata;
  Out.JpegSampling = Photo.JpegSampling;
  if (CountsOut) *CountsOut = Counts;
  return Out;
}
