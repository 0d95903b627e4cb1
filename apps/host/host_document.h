// One open image of the host: its pixels in the layout handed to plug-ins, its palette, its
// name and its selection. Also the check of an image record a plug-in sends to the host.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host_api/host_interface.h"

// Refusals of the host (unreadable files, records it cannot take); the message is for the user.
class EHostError : public std::runtime_error {
public:
  explicit EHostError(const std::string& Message) : std::runtime_error(Message) {}
  std::string Message() const { return what(); }
};

// A pixel buffer in a block of whole pages of its own, so that it can be made read-only while
// a plug-in runs on another image, and an overrun past it faults instead of corrupting the heap.
class TPixelBlock {
public:
  TPixelBlock() = default;
  explicit TPixelBlock(std::size_t Bytes); // zero-filled; EHostError "Out of memory" on failure
  TPixelBlock(TPixelBlock&& Other) noexcept;
  TPixelBlock& operator=(TPixelBlock&& Other) noexcept;
  ~TPixelBlock();

  std::uint8_t* Data() const { return Bytes; }
  std::size_t Size() const { return Length; }
  // Read-only pages fault on any write; only the host's own code turns this on and off.
  void SetReadOnly(bool ReadOnly);

private:
  std::uint8_t* Bytes = nullptr;
  std::size_t Length = 0;
};

// The largest image the host takes: 2 GiB of pixels would not fit beside the plug-in's copies
// in a 32-bit process anyway.
constexpr std::int64_t MaxImageBytes = std::int64_t(1) << 30;

class THostDocument {
public:
  // A black (index 0) image of Width x Height with PixelSize 1, 3 or 4; rows padded to 4 bytes.
  // 8-bit images start with the grey ramp. EHostError for sizes out of range.
  THostDocument(std::string Name, int Width, int Height, int PixelSize);

  std::string Name;
  int Width() const { return ImageWidth; }
  int Height() const { return ImageHeight; }
  int PixelSize() const { return Bytes; }
  int BytesPerLine() const { return Stride; }
  std::uint8_t* Pixels() const { return Block.Data(); }
  std::uint8_t* Line(int Y) const { return Block.Data() + std::size_t(Y) * Stride; }
  // 256 x (blue, green, red) for 8-bit images, empty otherwise.
  std::vector<std::uint8_t> Palette;
  // Inclusive; Left below 0 = no selection.
  THostRect Selection{-1, -1, -1, -1};
  // Empty, or Width x Height bytes, nonzero = selected; set only with a selection.
  std::vector<std::uint8_t> Mask;
  // Pixels nobody saved yet: an image a plug-in sent, or one a plug-in changed.
  bool Unsaved = false;

  // The record ProcessImage gets: this image's own buffer and palette.
  THostImage Record();
  void ClearSelection();
  // Selects Rect clipped to the image; an empty result clears the selection.
  void SelectRectangle(THostRect Rect);
  // Selects the ellipse inscribed in Rect (clipped) with a mask; the rectangle is its bounds.
  void SelectEllipse(THostRect Rect);
  // Selects the nonzero pixels of Source (same size; EHostError otherwise), bounded by a rectangle.
  void SelectMask(const THostDocument& Source);
  void SetReadOnly(bool ReadOnly) { Block.SetReadOnly(ReadOnly); }
  // A hash of the pixels (not the line padding) and the palette, to see whether they changed.
  std::uint64_t Fingerprint() const;

private:
  int ImageWidth, ImageHeight, Bytes, Stride;
  TPixelBlock Block;
};

// Why the host cannot take Record as a new image, or an empty text when it can. Checks every
// pointer, size and the line length in 64-bit arithmetic before anything is read.
std::string CheckNewImageRecord(const THostNewImage* Record);
// A copy of a record that passed CheckNewImageRecord: name, pixels and (8-bit) palette.
std::unique_ptr<THostDocument> CopyNewImageRecord(const THostNewImage& Record);
