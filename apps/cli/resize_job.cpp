#include "resize_job.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "image_file.h"
#include "object_removal.h"
#include "photo_file.h"
#include "progress_phase.h"
#include "seamcarving/seam_carving_component.h"
#include "support/progress.h"

namespace {

std::string SizeText(const TLinearBitmap& Image) {
  return std::to_string(Image.Width) + " x " + std::to_string(Image.Height);
}

TSelectionHandling Handling(TSelectionChoice Choice, bool HasMask) {
  switch (Choice) {
    case TSelectionChoice::Ignore: return shIgnore;
    case TSelectionChoice::Protect: return shExpensive;
    case TSelectionChoice::Prefer: return shCheap;
    default: return HasMask ? shExpensive : shIgnore;
  }
}

// Target sizes stay 64-bit until checked against the range and the pixel limit, so no
// command line can narrow them to something else.
int CheckedTarget(const char* Option, std::int64_t Target, std::int64_t Max, const TLinearBitmap& Source) {
  Max = std::min<std::int64_t>(Max, INT32_MAX);
  if (Target < 1 || Target > Max)
    throw ECommandLine(std::string(Option) + " " + std::to_string(Target) + " is out of range for this " +
                           SizeText(Source) + " image (1 to " + std::to_string(Max) + ")",
                       ExitRefused);
  return static_cast<int>(Target);
}

// A work estimate in gigapixels, for messages: three significant digits.
std::string GigapixelText(double Pixels) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.3g", Pixels / 1e9);
  return Text;
}

} // namespace

double EstimateWork(std::int64_t SourceWidth, std::int64_t SourceHeight, std::int64_t Width, std::int64_t Height) {
  auto Phase = [](double Seams, double StartPixels, double EndPixels) { return Seams * (StartPixels + EndPixels) / 2; };
  double Work = 0;
  std::int64_t CurrentWidth = SourceWidth;
  if (Width > SourceWidth) {
    const std::int64_t Inserted = Width - SourceWidth;
    Work += Phase(double(Inserted), double(SourceWidth) * SourceHeight, double(SourceWidth - Inserted) * SourceHeight);
    CurrentWidth = Width;
  }
  const std::int64_t Removed = std::max<std::int64_t>(0, CurrentWidth - Width) + std::max<std::int64_t>(0, SourceHeight - Height);
  return Work + Phase(double(Removed), double(CurrentWidth) * SourceHeight,
                      double(std::min(CurrentWidth, Width)) * std::min(SourceHeight, Height));
}

double EstimateRemovalWork(const TRemovalCounts& Plan, std::int64_t Width, std::int64_t Height) {
  // In the frame where the seams are vertical.
  const std::int64_t Across = Plan.Vertical ? Width : Height, Along = Plan.Vertical ? Height : Width;
  std::int64_t Current = Across - Plan.Removed;
  double Work = EstimateWork(Across, Along, Current, Along);
  for (std::int64_t Wanted = Current + Plan.Inserted; Current > 1 && Current < Wanted;) {
    const std::int64_t Count = std::min(Wanted - Current, Current - 1);
    Work += EstimateWork(Current, Along, Current + Count, Along);
    Current += Count;
  }
  return Work;
}

std::vector<std::uint8_t> SelectionFromMask(const TLinearBitmap& Mask, const TLinearBitmap& Source,
                                            const std::string& Name) {
  if (Mask.Width != Source.Width || Mask.Height != Source.Height)
    throw ECommandLine(Name + ": the mask is " + SizeText(Mask) + " pixels but the image is " + SizeText(Source),
                       ExitRefused);
  // A pixel is selected by the colour it shows, whatever the format stores: an 8-bit mask's
  // indices go through its palette (grey ramp or not).
  std::array<std::uint8_t, 256> IndexSelected{};
  if (Mask.PixelSize == 1)
    for (int I = 0; I < 256; ++I) {
      const TColorTriple& Colour = Mask.Palette ? (*Mask.Palette)[I] : GreyPalette[I];
      IndexSelected[std::size_t(I)] = (Colour.Red | Colour.Green | Colour.Blue) != 0;
    }
  std::vector<std::uint8_t> Selected(std::size_t(Source.Width) * Source.Height);
  std::uint8_t* To = Selected.data();
  for (int Y = 0; Y < Mask.Height; ++Y) {
    const std::uint8_t* From = Mask.ScanLine(Y);
    for (int X = 0; X < Mask.Width; ++X, From += Mask.PixelSize)
      *To++ = Mask.PixelSize == 1 ? IndexSelected[From[0]] : (From[0] | From[1] | From[2]) != 0;
  }
  return Selected;
}

void RunResizeJob(const TCommandLine& Line, const std::function<void(int)>& Progress,
                  const std::function<void(const std::string&)>& Status) {
  const TWriteOptions Options{Line.Quality};
  const TFileFormat Format = CheckOutput(Line.Output, Options);
  TImageOutput Output(Line.Output);
  auto Write = [&](const TPhoto& Result) { Output.Write(EncodePhoto(Result, Format, Options, Line.Output)); };
  const TPhoto Photo = ReadPhotoFile(Line.Input, Line.MaxPixels);
  auto RefuseWork = [&](const std::string& What, double Work) {
    RefuseFile(InputName(Line.Input), What + " is about " + GigapixelText(Work) +
                                          " gigapixels of work, above the limit of " +
                                          ExactDecimal(Line.MaxWork, 1'000'000'000) + " (see --max-work)");
  };
  if (!Line.CostMap) CheckFormatHolds(Photo, Format, Line.Output);
  const TLinearBitmap* const Source = Photo.Colour.get();
  // The targets and the limits are checked before the masks are read and before any work.
  int Width = Source->Width, Height = Source->Height;
  if (!Line.CostMap && Line.Remove.empty()) {
    Width = CheckedTarget("--width", ResolveSize(Line.Width, Source->Width), TSeamCarvingComponent::WidestEnlargement(Source->Width), *Source);
    Height = CheckedTarget("--height", ResolveSize(Line.Height, Source->Height), Source->Height, *Source);
    if (std::int64_t(Width) * Height > Line.MaxPixels)
      throw ECommandLine("the result of " + std::to_string(Width) + " x " + std::to_string(Height) +
                             " pixels would be above the limit of --max-megapixels",
                         ExitRefused);
    // Finding a seam visits every pixel, so the work grows with seams times pixels, which the
    // pixel limit alone does not bound: a 1 x 1,000,001 image halved is 375 gigapixels.
    if (const double Work = EstimateWork(Source->Width, Source->Height, Width, Height); Work > double(Line.MaxWork))
      RefuseWork("resizing to " + std::to_string(Width) + " x " + std::to_string(Height), Work);
  }
  std::vector<std::uint8_t> Mask;
  if (!Line.Mask.empty())
    Mask = SelectionFromMask(*ReadPhotoFile(Line.Mask, Line.MaxPixels, Photo.Orientation).Colour, *Source,
                             InputName(Line.Mask));

  if (!Line.Remove.empty()) {
    const std::vector<std::uint8_t> Remove =
        SelectionFromMask(*ReadPhotoFile(Line.Remove, Line.MaxPixels, Photo.Orientation).Colour, *Source,
                          InputName(Line.Remove));
    const TRemovalCounts Plan = PlanRemoval(Remove, Source->Width, Source->Height, Line.KeepSize);
    if (const double Work = EstimateRemovalWork(Plan, Source->Width, Source->Height); Work > double(Line.MaxWork))
      RefuseWork("removing the selection (at least " + RemovalStatus(Plan) + ")", Work);
    TObjectRemoval Removal;
    Removal.Remove = &Remove;
    Removal.Protect = Mask.empty() || Line.Selection == TSelectionChoice::Ignore ? nullptr : &Mask;
    Removal.WindowSize = Line.WindowSize;
    Removal.KeepSize = Line.KeepSize;
    const TPhoto Result = RemoveObject(Photo, Removal, Progress, [&](const TRemovalCounts& Counts) {
      if (Status) Status(RemovalStatus(Counts));
    });
    Write(Result);
    return;
  }

  TSeamCarvingComponent Engine(*Source, Mask.empty() ? nullptr : Mask.data(), TSeamCarvingComponent::InsertionGamma);
  Engine.SetCostWindowSize(Line.WindowSize);
  Engine.SetSelectionHandling(Handling(Line.Selection, !Mask.empty()));
  Engine.TrackOrigins = Photo.Planes.Present();

  if (Line.CostMap) {
    Engine.UpdateCostMap();
    TPhoto Rendered; // the costs, not the photo: its metadata would not apply
    Rendered.Colour = std::make_unique<TLinearBitmap>();
    Engine.RenderCostMap(*Rendered.Colour);
    Write(Rendered);
    return;
  }
  if (Width == Source->Width && Height == Source->Height) {
    Write(Photo);
    return;
  }
  {
    TProgressPhase Phase(Progress, 0, 100);
    Engine.EnlargeThenScale(Width, Height, TResizeProgress::Whole);
  }
  TPhoto Result;
  Result.Colour = std::make_unique<TLinearBitmap>(Engine.Image.get());
  Result.Colour->ResizeCanvas(Engine.Width, Engine.Height, 0, 0, 0);
  if (Photo.Planes.Present()) Result.Planes = Carried(Photo.Planes, Engine);
  Result.Metadata = Photo.Metadata;
  Result.JpegSampling = Photo.JpegSampling;
  Write(Result);
}
