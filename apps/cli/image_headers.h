// What a PNG or JPEG declares before its pixel data, read by our own code so that the layouts
// the tool refuses, and images over the pixel limit, are turned away the same way on every
// platform and before any codec allocates for the pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli_error.h"
#include "imaging/linear_bitmap.h"

inline std::uint32_t ReadU32BigEndian(const std::uint8_t* P) {
  return std::uint32_t(P[0]) << 24 | std::uint32_t(P[1]) << 16 | std::uint32_t(P[2]) << 8 | P[3];
}

// The pixel limit unless --max-megapixels says otherwise.
constexpr std::int64_t DefaultMaxPixels = 150'000'000;

// Count / Unit (a power of ten) as an exact decimal, trailing zeros left out: limits are
// whole pixels, so their megapixels never need rounding.
std::string ExactDecimal(std::int64_t Count, std::int64_t Unit);

// Refuses (exit 2) an image of Width x Height above MaxPixels, or one whose bytes at
// BytesPerPixel could not be addressed with the bitmap's 32-bit sizes.
void CheckImageSize(std::int64_t Width, std::int64_t Height, int BytesPerPixel, std::int64_t MaxPixels,
                    const std::string& Name);

// The checksum of PNG chunks (CRC-32) over Count bytes.
std::uint32_t PngCrc32(const std::uint8_t* Bytes, std::size_t Count);

struct TPngHeader {
  std::int64_t Width = 0, Height = 0;
  int BitDepth = 0;
  int ColourType = 0; // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGB and alpha
  bool Interlaced = false;
  bool Transparency = false; // a tRNS chunk
  std::vector<TColorTriple> Palette;
  bool Grey() const { return ColourType == 0; }
  // Samples the 8-bit decoders do not take: 16 bits, alpha or transparency.
  bool NeedsSamples() const { return BitDepth == 16 || ColourType == 4 || ColourType == 6 || Transparency; }
};

// Reads IHDR and walks every chunk to IEND, checking each checksum. Fails (exit 1) on a
// damaged signature, header, checksum or chunk list (no image data, no end, no palette for a
// palette image).
TPngHeader ReadPngHeader(const std::vector<std::uint8_t>& Data, const std::string& Name);
// Refuses (exit 2) the headers whose images need samples (TPngHeader::NeedsSamples).
void RefuseSamplesPng(const TPngHeader& Header, const std::string& Name);

// The bytes of the decompressed image data: each row of each interlace pass with its filter
// byte.
std::uint64_t PngImageDataSize(const TPngHeader& Header);

// Turns the palette indices in the first Width bytes of each row of a 24-bit Bitmap into
// their colours. Fails (exit 1) on an index past the palette.
void ExpandPngPalette(TLinearBitmap& Bitmap, const TPngHeader& Header, const std::string& Name);

struct TJpegFrame {
  std::int64_t Width = 0, Height = 0;
  int Components = 0; // 1 grey or 3 colour
};

// Finds the frame header. Fails (exit 1) when there is none before the scan or it is damaged;
// refuses (exit 2) lossless, hierarchical and arithmetic-coded frames, precisions other than
// 8 bits and component counts other than 1 and 3.
TJpegFrame ReadJpegFrame(const std::vector<std::uint8_t>& Data, const std::string& Name);
