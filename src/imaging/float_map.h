// Float maps: image-sized grids of Doubles stored row by row without gaps, for computed
// quantities such as the engine's cost map and seam maps. Cell (x, y) is element x + y * Width.
#pragma once

#include <cstdint>

#include "imaging/linear_bitmap.h"
#include "imaging/streams.h"

// How ToScaledBitmap turns t = (v - Low) / (High - Low) into a pixel.
enum TMapScaling : std::uint8_t {
  msLinear = 0,     // 8-bit grey: 255 * t
  msSquareRoot = 1, // 8-bit grey: 255 * sqrt(t) for t > 0, else 0
  msLinear16 = 2,   // 16-bit grey: 65535 * t
};

class TBaseFloatMap : public TStreamClass {
public:
  std::int32_t Size = 0;         // bytes of cell data: Count * 8
  std::int32_t Width = 0;        // cells per row
  std::int32_t Height = 0;       // rows
  std::int32_t BytesPerLine = 0; // Width * 8
  std::int32_t Count = 0;        // Width * Height

  const char* ClassName() const override { return "TBaseFloatMap"; }
  // Releases the cells; the map becomes empty.
  virtual void Clear() = 0;
};

class TFloatMap : public TBaseFloatMap {
public:
  double* Map = nullptr; // Count cells, owned; null while empty

  TFloatMap() = default;
  ~TFloatMap() override;
  TFloatMap(const TFloatMap&) = delete;
  TFloatMap& operator=(const TFloatMap&) = delete;
  const char* ClassName() const override { return "TFloatMap"; }

  // Gives the map Width x Height cells with undefined contents; the current size keeps the
  // cells as they are. Raises EOutOfMemory "Out of memory" when the cells would take more
  // than 2,000,000,000 bytes or the heap refuses them (the map is then empty), and
  // Exception "Invalid map size" for a negative size.
  void New(int Width, int Height);
  void Clear() override;
  // Sets every cell to 0.0.
  void Zero();
  // No bounds checks.
  double* ScanLine(int Y) const { return Map + static_cast<std::ptrdiff_t>(Y) * Width; }
  double* CellAddress(int X, int Y) const {
    return Map + X + static_cast<std::ptrdiff_t>(Y) * Width;
  }

  // From another float map: a copy. From a TLinearBitmap: one cell per pixel byte, meant for
  // 8-bit bitmaps (rows are read through ScanLine, so padded rows are fine). Anything else
  // raises "Cannot assign ...".
  void Assign(const TObject* Source) override;
  // To a TLinearBitmap: an 8-bit bitmap of the map's size, each pixel the cell rounded and
  // limited to 0..255; the palette is left unset. Anything else raises "Cannot assign ...".
  void AssignTo(TObject* Dest) const override;

  // The smallest and largest cell; 1.7e308 and -1.7e308 for an empty map.
  void GetMinMax(double& Min, double& Max) const;
  // Renders the map into Bitmap at the map's size: 8-bit with GreyPalette, or 16-bit for
  // msLinear16. Low > High takes the map's own extremes. Raises what TLinearBitmap::New
  // raises (an empty map gives "Invalid bitmap size").
  void ToScaledBitmap(TLinearBitmap& Bitmap, TMapScaling Mode, double Low, double High) const;
};

// A float map created by rows and columns.
class TMatrix : public TFloatMap {
public:
  TMatrix() = default;
  TMatrix(int Rows, int Columns) { New(Columns, Rows); }
  const char* ClassName() const override { return "TMatrix"; }
};
