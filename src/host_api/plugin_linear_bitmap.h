// TPluginLinearBitmap: a TLinearBitmap laid over the host's own pixel buffer, so that copying
// an image into it changes the host's image at once. It never frees, reallocates or resizes
// memory it did not allocate; anything that needs a new buffer detaches from the host's.
#pragma once

#include "imaging/linear_bitmap.h"
#include "host_api/host_interface.h"

class TPluginLinearBitmap : public TLinearBitmap {
public:
  std::uint8_t* HostPixels = nullptr;  // the host buffer in use; null once detached
  std::uint8_t* HostPalette = nullptr; // the palette the host gave; may be null

  // Raises ELinearBitmap "Invalid bitmap size" or "Unsupported pixel format" for a record it
  // cannot present; the adapter is then empty.
  explicit TPluginLinearBitmap(const THostImage& Image);
  ~TPluginLinearBitmap() override;

  const char* ClassName() const override { return "TPluginLinearBitmap"; }

  // Wraps Image's buffer, palette and line length without copying them.
  void AttachHostImage(const THostImage& Image);
  void Clear() override;
  void PackRows() override;

protected:
  void ReleaseMap(std::uint8_t* Block) override;
  void ReleasePalette(TPaletteTable* Block) override;
};

// Describes Bitmap (8- or 24-bit) in a host record; a null Bitmap gives an all-zero record.
// With HandOver the bitmap gives up its buffer and palette to the receiver and ends empty.
// Raises ELinearBitmap "Unsupported pixel format" for any other format.
void FillHostImage(TLinearBitmap* Bitmap, THostImage& Record, bool HandOver);
