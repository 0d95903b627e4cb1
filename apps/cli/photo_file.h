// Photo files: every format the tool reads and writes, with the metadata that travels along
// (image_metadata.h) and the EXIF orientation applied on reading. Builds on image_file.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_headers.h"
#include "photo.h"

enum class TFileFormat { Bmp, Png, Jpeg, Tiff, Webp };

struct TWriteOptions {
  int Quality = 0; // 1 to 100 for lossy formats; 0: the format's default
};

constexpr int DefaultJpegQuality = 92;

// The format Path's extension (any case) asks for; "-" is PNG. Refuses (exit 2) other
// extensions, formats the build does not write, and a quality for a format that has none.
TFileFormat CheckOutput(const std::string& Path, const TWriteOptions& Options = {});

// True for the first bytes of the formats read here beside DecodeImage's.
bool IsTiff(const std::vector<std::uint8_t>& Data);
bool IsWebp(const std::vector<std::uint8_t>& Data);

// Decodes Data as DecodeImage does, and TIFF and WebP as photo_codecs.h says, with its metadata, and turns the image upright as its
// EXIF orientation says (DefaultOrientation when it declares none; for masks, their image's).
// The metadata's orientation then says 1.
TPhoto DecodePhoto(const std::vector<std::uint8_t>& Data, const std::string& Name,
                   std::int64_t MaxPixels = DefaultMaxPixels, int DefaultOrientation = 1);
TPhoto ReadPhotoFile(const std::string& Path, std::int64_t MaxPixels = DefaultMaxPixels, int DefaultOrientation = 1);

// Refuses (exit 2, naming Path and the formats that keep alpha) a photo with transparency for
// a format without alpha.
void CheckFormatHolds(const TPhoto& Photo, TFileFormat Format, const std::string& Path);

// Encodes Photo in Format with the metadata the format holds (none in BMP). JPEG keeps the
// source JPEG's sampling, else 4:2:0, at Options.Quality or DefaultJpegQuality. Sample planes
// keep their depth and alpha in PNG; other formats take them as 8-bit colour, after
// CheckFormatHolds.
std::vector<std::uint8_t> EncodePhoto(const TPhoto& Photo, TFileFormat Format, const TWriteOptions& Options,
                                      const std::string& Name);
// Encodes by Path's extension and writes as WriteImageFile does.
void WritePhotoFile(const std::string& Path, const TPhoto& Photo, const TWriteOptions& Options = {});
