// A photo as the command-line tool reads and writes it: the 8-bit image the engine carves,
// the metadata that travels from input to output, and what the source's encoding says about
// how to encode the result.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/linear_bitmap.h"
#include "sample_planes.h"

// The chroma sampling factors of a colour JPEG's Y, Cb and Cr components (1 to 4 each).
struct TJpegSampling {
  std::uint8_t Horizontal[3] = {2, 1, 1};
  std::uint8_t Vertical[3] = {2, 1, 1}; // 4:2:0 unless the source says otherwise
};

struct TImageMetadata {
  std::vector<std::uint8_t> Icc;  // an ICC profile; empty when there is none
  std::vector<std::uint8_t> Exif; // EXIF as its TIFF structure ("II*\0" or "MM\0*" first); empty when none
};

struct TPhoto {
  // 8-bit palettised or grey, or 24-bit blue, green, red; upright (EXIF orientation applied).
  // Made from Planes when there are any (ColourOf): then what the engine carves, not the output.
  std::unique_ptr<TLinearBitmap> Colour;
  TSamplePlanes Planes; // alpha or 16-bit samples; none for opaque 8-bit images
  TImageMetadata Metadata; // its EXIF orientation says 1 once the orientation is applied
  std::optional<TJpegSampling> JpegSampling; // the source's, when it is a colour JPEG
  int Orientation = 1; // the EXIF orientation the source declared (1: upright or none)
};
