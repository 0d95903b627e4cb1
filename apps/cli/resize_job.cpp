#include "resize_job.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "image_file.h"
#include "object_removal.h"
#include "photo_file.h"
#include "progress_phase.h"
#include "seamcarving/seam_carving_component.h"
#include "support/progress.h"

namespace {

constexpr float Gamma = 2.2f;

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

} // namespace

std::vector<std::uint8_t> SelectionFromMask(const TLinearBitmap& Mask, const TLinearBitmap& Source,
                                            const std::string& Name) {
  if (Mask.Width != Source.Width || Mask.Height != Source.Height)
    throw ECommandLine(Name + ": the mask is " + SizeText(Mask) + " pixels but the image is " + SizeText(Source),
                       ExitRefused);
  std::vector<std::uint8_t> Selected(std::size_t(Source.Width) * Source.Height);
  std::uint8_t* To = Selected.data();
  for (int Y = 0; Y < Mask.Height; ++Y) {
    const std::uint8_t* From = Mask.ScanLine(Y);
    for (int X = 0; X < Mask.Width; ++X, From += Mask.PixelSize)
      *To++ = Mask.PixelSize == 1 ? From[0] != 0 : (From[0] | From[1] | From[2]) != 0;
  }
  return Selected;
}

void RunResizeJob(const TCommandLine& Line, const std::function<void(int)>& Progress,
                  const std::function<void(const std::string&)>& Status) {
  const TWriteOptions Options{Line.Quality};
  const TFileFormat Format = CheckOutput(Line.Output, Options);
  const TPhoto Photo = ReadPhotoFile(Line.Input, Line.MaxPixels);
  if (!Line.CostMap) CheckFormatHolds(Photo, Format, Line.Output);
  const TLinearBitmap* const Source = Photo.Colour.get();
  std::vector<std::uint8_t> Mask;
  if (!Line.Mask.empty())
    Mask = SelectionFromMask(*ReadPhotoFile(Line.Mask, Line.MaxPixels, Photo.Orientation).Colour, *Source,
                             InputName(Line.Mask));

  if (!Line.Remove.empty()) {
    const std::vector<std::uint8_t> Remove =
        SelectionFromMask(*ReadPhotoFile(Line.Remove, Line.MaxPixels, Photo.Orientation).Colour, *Source,
                          InputName(Line.Remove));
    TObjectRemoval Removal;
    Removal.Remove = &Remove;
    Removal.Protect = Mask.empty() || Line.Selection == TSelectionChoice::Ignore ? nullptr : &Mask;
    Removal.WindowSize = Line.WindowSize;
    Removal.Gamma = Gamma;
    Removal.KeepSize = Line.KeepSize;
    const TPhoto Result = RemoveObject(Photo, Removal, Progress, [&](const TRemovalCounts& Counts) {
      if (Status) Status(RemovalStatus(Counts));
    });
    WritePhotoFile(Line.Output, Result, Options);
    return;
  }

  TSeamCarvingComponent Engine(*Source, Mask.empty() ? nullptr : Mask.data(), Gamma);
  Engine.SetCostWindowSize(Line.WindowSize);
  Engine.SetSelectionHandling(Handling(Line.Selection, !Mask.empty()));
  Engine.TrackOrigins = Photo.Planes.Present();

  if (Line.CostMap) {
    Engine.UpdateCostMap();
    TPhoto Rendered; // the costs, not the photo: its metadata would not apply
    Rendered.Colour = std::make_unique<TLinearBitmap>();
    Engine.RenderCostMap(*Rendered.Colour);
    WritePhotoFile(Line.Output, Rendered, Options);
    return;
  }

  const int Width = CheckedTarget("--width", ResolveSize(Line.Width, Source->Width), MaxTargetWidth(Source->Width),
                                  *Source);
  const int Height = CheckedTarget("--height", ResolveSize(Line.Height, Source->Height), Source->Height, *Source);
  if (Width == Source->Width && Height == Source->Height) {
    WritePhotoFile(Line.Output, Photo, Options);
    return;
  }
  if (std::int64_t(Width) * Height > Line.MaxPixels)
    throw ECommandLine("the result of " + std::to_string(Width) + " x " + std::to_string(Height) +
                           " pixels would be above the limit of --max-megapixels",
                       ExitRefused);
  // Progress in proportion to the seams each phase handles.
  const std::int64_t Inserted = std::max(0, Width - Source->Width);
  const std::int64_t Removed = std::max(0, Source->Width - Width) + std::int64_t(Source->Height - Height);
  const int EnlargeSpan = int(100 * Inserted / (Inserted + Removed));
  if (Inserted > 0) {
    TProgressPhase Phase(Progress, 0, EnlargeSpan);
    Engine.EnlargeWidth(Width);
  }
  {
    TProgressPhase Phase(Progress, EnlargeSpan, 100 - EnlargeSpan);
    Engine.ScaleTo(Width, Height);
  }
  TPhoto Result;
  Result.Colour = std::make_unique<TLinearBitmap>(Engine.Image.get());
  Result.Colour->ResizeCanvas(Engine.Width, Engine.Height, 0, 0, 0);
  if (Photo.Planes.Present()) Result.Planes = Carried(Photo.Planes, Engine, Gamma);
  Result.Metadata = Photo.Metadata;
  Result.JpegSampling = Photo.JpegSampling;
  WritePhotoFile(Line.Output, Result, Options);
}
