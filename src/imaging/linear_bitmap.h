// TLinearBitmap: the system's one image container. A single block of pixel rows, top row
// first, with width, height, pixel format and, for 8-bit images, a 256-entry palette.
#pragma once

#include <cstdint>

#include "support/object.h"

// Values are the GUI toolkit's pixel-format values, so toolkit formats pass through unchanged.
enum TLinearPixelFormat : std::uint8_t {
  lpf8Bit = 3,  // one byte: a palette index
  lpf16Bit = 5, // unsigned 16-bit grey level, low byte first
  lpf24Bit = 6, // blue, green, red
  lpf32Bit = 7, // blue, green, red, one spare byte
  lpfNone = 8,  // empty bitmap
};

// Three bytes in the byte order of a 24-bit pixel.
struct TColorTriple {
  std::uint8_t Blue;
  std::uint8_t Green;
  std::uint8_t Red;
};
static_assert(sizeof(TColorTriple) == 3);

struct TPaletteTable {
  TColorTriple Entries[256];
  TColorTriple& operator[](int Index) { return Entries[Index]; }
  const TColorTriple& operator[](int Index) const { return Entries[Index]; }
};
static_assert(sizeof(TPaletteTable) == 768);

// Entry i is (i, i, i). Read-only after start-up.
extern const TPaletteTable GreyPalette;

// True for GreyPalette's entries, and for no palette at all (an 8-bit image without one is
// read as grey).
bool IsGreyPalette(const TPaletteTable* Palette);

// Colours passed to bitmap operations: red in bits 0-7, green 8-15, blue 16-23.
using TColorValue = std::uint32_t;
constexpr int ColorRed(TColorValue Color) { return Color & 0xFF; }
constexpr int ColorGreen(TColorValue Color) { return (Color >> 8) & 0xFF; }
constexpr int ColorBlue(TColorValue Color) { return (Color >> 16) & 0xFF; }

class ELinearBitmap : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "ELinearBitmap"; }
};

// The palette index nearest to Color by squared RGB distance; among equally near entries the
// lowest index wins.
std::uint8_t NearestPaletteIndex(TColorValue Color, const TPaletteTable& Palette);

class TLinearBitmap;

// The exchange with image classes of a layer above this one (the GUI toolkit's), installed by
// that layer. Assign and AssignTo ask it after the bitmap's own kind and before the base
// class; each answers whether it handled the object.
struct TBitmapExchange {
  bool (*Read)(TLinearBitmap& Bitmap, const TObject* Source) = nullptr;
  bool (*Write)(const TLinearBitmap& Bitmap, TObject* Dest) = nullptr;
};
extern TBitmapExchange BitmapExchange;

class TLinearBitmap : public TAssignObject {
public:
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  TLinearPixelFormat PixelFormat = lpfNone;
  std::int32_t BytesPerLine = 0; // never less than Width * PixelSize; stale while empty
  std::int32_t PixelSize = 0;
  std::int32_t Size = 0; // BytesPerLine * Height
  bool Present = false;
  std::uint8_t* Map = nullptr;            // row 0; every buffer has one spare byte past Size
  TPaletteTable* Palette = nullptr;       // lpf8Bit only

  TLinearBitmap() = default;
  TLinearBitmap(int Width, int Height, TLinearPixelFormat PixelFormat);
  explicit TLinearBitmap(const TObject* Source);
  ~TLinearBitmap() override;
  TLinearBitmap(const TLinearBitmap&) = delete;
  TLinearBitmap& operator=(const TLinearBitmap&) = delete;

  const char* ClassName() const override { return "TLinearBitmap"; }

  // Copies another TLinearBitmap (an empty one empties this bitmap). A bitmap that already has
  // the source's size and format keeps its buffer and line length.
  void Assign(const TObject* Source) override;
  void AssignTo(TObject* Dest) const override;
  // Map + Y * BytesPerLine; no bounds check.
  virtual std::uint8_t* ScanLine(int Y) const;
  // Releases buffer and palette; the bitmap becomes empty.
  virtual void Clear();
  // Closes the gaps between rows.
  virtual void PackRows();

  // Gives the bitmap a buffer of this size and format (BytesPerLine 0 means packed); contents
  // undefined. Keeps everything when size and format are unchanged. Raises ELinearBitmap
  // "Unsupported pixel format", "Invalid bitmap size" or "Out of memory".
  void New(int Width, int Height, TLinearPixelFormat PixelFormat, int BytesPerLine = 0);
  // Moves Other's image into this bitmap; Other ends empty.
  void TakeOver(TLinearBitmap& Other);
  // Sets every byte of the image data, gaps included.
  void Fill(std::uint8_t Value);
  void FillColor(TColorValue Color);
  std::uint8_t* PixelAddress(int X, int Y) const { return Map + Y * BytesPerLine + X * PixelSize; }
  // Pixel writes outside the image are ignored. Unsupported formats raise Exception.
  void SetPixelColor(int X, int Y, TColorValue Color);
  void SetPixelValue(int X, int Y, std::int32_t Value);
  // Copies Source's top-left MaxWidth x MaxHeight block to (X, Y), clipped to this bitmap.
  void PasteImage(const TLinearBitmap& Source, int X, int Y, int MaxWidth, int MaxHeight);
  // Changes the size, keeping the content with its top-left corner at (OffsetX, OffsetY).
  void ResizeCanvas(int NewWidth, int NewHeight, int OffsetX, int OffsetY, TColorValue Background);
  // Converts in place to lpf8Bit, lpf24Bit or lpf32Bit.
  void ConvertTo(TLinearPixelFormat Target);

protected:
  // Release one block held by Map or Palette. A subclass over foreign memory detaches that
  // memory here instead of freeing it.
  virtual void ReleaseMap(std::uint8_t* Block);
  virtual void ReleasePalette(TPaletteTable* Block);

private:
  void ReplaceBuffer(std::uint8_t* NewMap, int NewBytesPerLine, int NewPixelSize,
                     TLinearPixelFormat NewFormat);
  // ConvertTo, one target format each, from any other format.
  void ConvertTo8Bit();
  void ConvertTo24Bit();
  void ConvertTo32Bit();
};

// Registry of bitmap file loaders. The system registers and looks up none; it only exists
// for the lifetime of the library.
class TBitmapLoaders {
public:
  TBitmapLoaders();
  ~TBitmapLoaders();
  TBitmapLoaders(const TBitmapLoaders&) = delete;
  TBitmapLoaders& operator=(const TBitmapLoaders&) = delete;
  int Count() const { return Count_; }

private:
  void* Entries_ = nullptr;
  int Count_ = 0;
};

TBitmapLoaders& BitmapLoaders();
