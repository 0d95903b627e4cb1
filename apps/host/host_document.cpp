#include "host_document.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>

// ============================================================================
// TPixelBlock
// ============================================================================

TPixelBlock::TPixelBlock(std::size_t Size) : Length(Size) {
  // VirtualAlloc hands out zeroed whole pages, so a buffer never shares a page with the heap.
  Bytes = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, std::max<std::size_t>(Size, 1),
                                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!Bytes) throw EHostError("Out of memory");
}

TPixelBlock::TPixelBlock(TPixelBlock&& Other) noexcept
    : Bytes(std::exchange(Other.Bytes, nullptr)), Length(std::exchange(Other.Length, 0)) {}

TPixelBlock& TPixelBlock::operator=(TPixelBlock&& Other) noexcept {
  if (this != &Other) {
    if (Bytes) VirtualFree(Bytes, 0, MEM_RELEASE);
    Bytes = std::exchange(Other.Bytes, nullptr);
    Length = std::exchange(Other.Length, 0);
  }
  return *this;
}

TPixelBlock::~TPixelBlock() {
  if (Bytes) VirtualFree(Bytes, 0, MEM_RELEASE);
}

void TPixelBlock::SetReadOnly(bool ReadOnly) {
  if (!Bytes) return;
  DWORD Old = 0;
  VirtualProtect(Bytes, std::max<std::size_t>(Length, 1), ReadOnly ? PAGE_READONLY : PAGE_READWRITE, &Old);
}

// ============================================================================
// THostDocument
// ============================================================================

namespace {

std::int64_t PaddedLine(std::int64_t Width, int PixelSize) { return (Width * PixelSize + 3) / 4 * 4; }

std::vector<std::uint8_t> GreyRamp() {
  std::vector<std::uint8_t> Ramp(768);
  for (int I = 0; I < 256; ++I) std::memset(&Ramp[I * 3], I, 3);
  return Ramp;
}

} // namespace

THostDocument::THostDocument(std::string ImageName, int Width, int Height, int PixelSize)
    : Name(std::move(ImageName)), ImageWidth(Width), ImageHeight(Height), Bytes(PixelSize) {
  if (PixelSize != 1 && PixelSize != 3 && PixelSize != 4)
    throw EHostError("Unsupported pixel size " + std::to_string(PixelSize));
  if (Width < 1 || Height < 1 || PaddedLine(Width, PixelSize) * Height > MaxImageBytes)
    throw EHostError("Unsupported image size " + std::to_string(Width) + " x " + std::to_string(Height));
  Stride = int(PaddedLine(Width, PixelSize));
  Block = TPixelBlock(std::size_t(Stride) * Height);
  if (PixelSize == 1) Palette = GreyRamp();
}

THostImage THostDocument::Record() {
  return THostImage{ImageWidth, ImageHeight, Stride, Bytes, Block.Data(),
                    Palette.empty() ? nullptr : Palette.data(), 0};
}

void THostDocument::ClearSelection() {
  Selection = {-1, -1, -1, -1};
  Mask.clear();
}

void THostDocument::SelectRectangle(THostRect Rect) {
  ClearSelection();
  if (Rect.Left > Rect.Right) std::swap(Rect.Left, Rect.Right);
  if (Rect.Top > Rect.Bottom) std::swap(Rect.Top, Rect.Bottom);
  Rect = {std::max(Rect.Left, 0), std::max(Rect.Top, 0), std::min(Rect.Right, ImageWidth - 1),
          std::min(Rect.Bottom, ImageHeight - 1)};
  if (Rect.Left <= Rect.Right && Rect.Top <= Rect.Bottom) Selection = Rect;
}

void THostDocument::SelectEllipse(THostRect Rect) {
  SelectRectangle(Rect);
  if (Selection.Left < 0) return;
  const THostRect R = Selection;
  Mask.assign(std::size_t(ImageWidth) * ImageHeight, 0);
  // Pixel centres inside the ellipse through the rectangle's outer edges.
  const double Cx = (R.Left + R.Right + 1) / 2.0, Cy = (R.Top + R.Bottom + 1) / 2.0;
  const double Rx = (R.Right - R.Left + 1) / 2.0, Ry = (R.Bottom - R.Top + 1) / 2.0;
  bool Any = false;
  for (int Y = R.Top; Y <= R.Bottom; ++Y)
    for (int X = R.Left; X <= R.Right; ++X) {
      const double Dx = (X + 0.5 - Cx) / Rx, Dy = (Y + 0.5 - Cy) / Ry;
      if (Dx * Dx + Dy * Dy <= 1.0) {
        Mask[std::size_t(Y) * ImageWidth + X] = 255;
        Any = true;
      }
    }
  if (!Any) ClearSelection();
}

void THostDocument::SelectMask(const THostDocument& Source) {
  if (Source.Width() != ImageWidth || Source.Height() != ImageHeight)
    throw EHostError("The mask " + Source.Name + " is " + std::to_string(Source.Width()) + " x " +
                     std::to_string(Source.Height()) + ", the image " + std::to_string(ImageWidth) + " x " +
                     std::to_string(ImageHeight));
  ClearSelection();
  std::vector<std::uint8_t> Selected(std::size_t(ImageWidth) * ImageHeight, 0);
  THostRect Bounds{ImageWidth, ImageHeight, -1, -1};
  for (int Y = 0; Y < ImageHeight; ++Y) {
    const std::uint8_t* Row = Source.Line(Y);
    for (int X = 0; X < ImageWidth; ++X) {
      const std::uint8_t* P = Row + std::size_t(X) * Source.PixelSize();
      // Black (or index 0) is outside; alpha does not count.
      const bool On = std::any_of(P, P + std::min(Source.PixelSize(), 3), [](std::uint8_t B) { return B != 0; });
      if (!On) continue;
      Selected[std::size_t(Y) * ImageWidth + X] = 255;
      Bounds = {std::min(Bounds.Left, X), std::min(Bounds.Top, Y), std::max(Bounds.Right, X),
                std::max(Bounds.Bottom, Y)};
    }
  }
  if (Bounds.Right < 0) return;
  Selection = Bounds;
  Mask = std::move(Selected);
}

std::uint64_t THostDocument::Fingerprint() const {
  // FNV-1a: fast, and a change that keeps the hash is not a concern for an unsaved-changes flag.
  std::uint64_t Hash = 14695981039346656037ull;
  const auto Add = [&](const std::uint8_t* Bytes, std::size_t Count) {
    for (std::size_t I = 0; I < Count; ++I) Hash = (Hash ^ Bytes[I]) * 1099511628211ull;
  };
  for (int Y = 0; Y < ImageHeight; ++Y) Add(Line(Y), std::size_t(ImageWidth) * Bytes);
  Add(Palette.data(), Palette.size());
  return Hash;
}

// ============================================================================
// Image records sent by plug-ins
// ============================================================================

namespace {

// Longer names are taken as a record pointing at something that is not a name.
constexpr std::size_t MaxNameLength = 4096;

} // namespace

std::string CheckNewImageRecord(const THostNewImage* Record) {
  if (!Record) return "the record is missing";
  const THostImage& Image = Record->Image;
  if (!Record->Name) return "the image has no name";
  if (strnlen(Record->Name, MaxNameLength + 1) > MaxNameLength) return "the image name is too long";
  if (!Image.Pixels) return "the image has no pixels";
  if (Image.PixelSize != 1 && Image.PixelSize != 3 && Image.PixelSize != 4)
    return "pixel size " + std::to_string(Image.PixelSize) + " is not 1, 3 or 4 bytes";
  if (Image.Width < 1 || Image.Height < 1)
    return "the size " + std::to_string(Image.Width) + " x " + std::to_string(Image.Height) + " is empty";
  const std::int64_t RowBytes = std::int64_t(Image.Width) * Image.PixelSize;
  if (Image.BytesPerLine < RowBytes)
    return "a line of " + std::to_string(Image.BytesPerLine) + " bytes is shorter than a row of " +
           std::to_string(RowBytes);
  if (std::int64_t(Image.BytesPerLine) * Image.Height > MaxImageBytes ||
      PaddedLine(Image.Width, Image.PixelSize) * Image.Height > MaxImageBytes)
    return "the image is too large (" + std::to_string(Image.Width) + " x " + std::to_string(Image.Height) + ")";
  return {};
}

std::unique_ptr<THostDocument> CopyNewImageRecord(const THostNewImage& Record) {
  const THostImage& Image = Record.Image;
  auto Document = std::make_unique<THostDocument>(Record.Name, Image.Width, Image.Height, Image.PixelSize);
  const std::size_t RowBytes = std::size_t(Image.Width) * Image.PixelSize;
  for (int Y = 0; Y < Image.Height; ++Y)
    std::memcpy(Document->Line(Y), Image.Pixels + std::size_t(Y) * Image.BytesPerLine, RowBytes);
  // A null palette is the grey ramp the document starts with.
  if (Image.PixelSize == 1 && Image.Palette) std::memcpy(Document->Palette.data(), Image.Palette, 768);
  return Document;
}
