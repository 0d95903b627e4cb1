// The metadata that travels with a photo (ICC profile, EXIF) found in and put into the
// containers of each format, and the EXIF orientation. Our own code over the file's bytes, so
// that both builds carry the same data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "photo.h"

// The ICC profile (APP2 markers, reassembled in their order) and the EXIF data (the first
// APP1 "Exif" marker) of a JPEG whose frame header was read. Fails (exit 1) on an ICC profile
// whose markers disagree about their count or leave one out.
TImageMetadata ReadJpegMetadata(const std::vector<std::uint8_t>& Data, const std::string& Name);
// The sampling factors of a three-component frame; none for grey or factors outside 1 to 4.
std::optional<TJpegSampling> ReadJpegSampling(const std::vector<std::uint8_t>& Data);

// The ICC profile (iCCP, inflated) and EXIF (eXIf) of a PNG whose chunk list was checked. Fails
// (exit 1) on an iCCP chunk that does not inflate, refuses (exit 2) a profile above 64 MiB.
TImageMetadata ReadPngMetadata(const std::vector<std::uint8_t>& Data, const std::string& Name);

// The first ICC profile (ICCP) and EXIF data (EXIF) of a WebP file whose header was checked;
// chunks that run past the end are left out.
TImageMetadata ReadWebpMetadata(const std::vector<std::uint8_t>& Data);

// A JPEG or PNG file as encoded, with Metadata put in after its header (JFIF marker, IHDR).
// What a format cannot hold (EXIF above 64 KiB in JPEG) is left out with a warning on stderr
// naming Name.
std::vector<std::uint8_t> WithJpegMetadata(const std::vector<std::uint8_t>& Jpeg, const TImageMetadata& Metadata,
                                           const std::string& Name);
std::vector<std::uint8_t> WithPngMetadata(const std::vector<std::uint8_t>& Png, const TImageMetadata& Metadata);

// The orientation tag (0x0112) of EXIF's first image directory: 1 to 8, or 0 when the data
// has none, is damaged or holds another value.
int ExifOrientation(const std::vector<std::uint8_t>& Exif);
// Rewrites the orientation tag where there is one.
void SetExifOrientation(std::vector<std::uint8_t>& Exif, int Orientation);

// Bitmap turned and mirrored as EXIF orientation Orientation (2 to 8) says the viewer shows
// it; orientations 5 to 8 swap width and height. Any pixel format; the palette is kept.
std::unique_ptr<TLinearBitmap> Oriented(const TLinearBitmap& Bitmap, int Orientation);
// The same over raw pixels of PixelBytes each: From holds Width x Height pixels, To receives
// the turned image (Height x Width for orientations 5 to 8).
void OrientPixels(const std::uint8_t* From, int Width, int Height, std::ptrdiff_t FromStride, int PixelBytes,
                  int Orientation, std::uint8_t* To, std::ptrdiff_t ToStride);
