// The metadata of TIFF files (ICC profile, EXIF) read and put in by our own code over the file's
// bytes, so that every build carries the same data whatever its TIFF codec.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "photo.h"

// The ICC profile (tag 34675) of a TIFF file's first image directory, and EXIF data holding that
// directory's descriptive tags (camera, date, author, orientation, resolution) with the Exif,
// Interoperability and GPS directories the file has, relocated into EXIF's own structure. EXIF
// only when the file has an Exif or a GPS directory. Classic TIFF and BigTIFF, either byte order.
// A damaged EXIF part is left out with a warning on stderr naming Name; a damaged ICC tag fails
// (exit 1). A first directory that cannot be read gives nothing: the decoder judges the file.
TImageMetadata ReadTiffMetadata(const std::vector<std::uint8_t>& Tiff, const std::string& Name);

// A classic TIFF file as an encoder wrote it with Metadata put in: values and EXIF's directories
// appended in the file's byte order, and a new first directory at the end holding the file's own
// entries, the ICC profile, EXIF's descriptive tags (where the file has none of its own) and the
// pointers to EXIF's directories. Damaged EXIF data, or metadata that would take the file past
// 4 GiB, is left out with a warning on stderr naming Name.
std::vector<std::uint8_t> WithTiffMetadata(const std::vector<std::uint8_t>& Tiff, const TImageMetadata& Metadata,
                                           const std::string& Name);
