// The codecs the photo formats add to image_codecs.h: JPEG encoding, PNG, TIFF and WebP with
// alpha and 16 bits, and zlib streams (zlib_streams.cpp, for PNG's compressed ICC profiles).
// libjpeg-turbo, libpng, libtiff and libwebp on Linux (photo_codecs_libs.cpp and the codec
// files beside it); in Windows builds the Windows Imaging Component (image_codecs_win32.cpp,
// photo_codecs_win32.cpp) and our own PNG writer, as WIC's does not write every PNG layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_headers.h"
#include "photo.h"

// Rows as a baseline JPEG file at Quality (1 to 100): 8-bit grey (Grey), or blue, green, red
// bytes coded as YCbCr with Sampling's factors (the Windows build knows 4:2:0, 4:2:2, 4:4:0
// and 4:4:4 and takes 4:2:0 for others).
std::vector<std::uint8_t> EncodeJpegPixels(const std::uint8_t* Rows, int Width, int Height, std::int32_t Stride,
                                           bool Grey, int Quality, const TJpegSampling& Sampling);

// Inflates a zlib stream into Out; returns "" when done, "too large" past MaxBytes, or what
// else went wrong.
std::string InflateZlib(const std::uint8_t* Bytes, std::size_t Size, std::size_t MaxBytes,
                        std::vector<std::uint8_t>& Out);
// Bytes as a zlib stream.
std::vector<std::uint8_t> DeflateZlib(const std::vector<std::uint8_t>& Bytes);

// PNG images whose header needs samples (16 bits, alpha, transparency) as sample planes at
// the file's depth: grey (and alpha), or red, green, blue and alpha for colour, palettes and
// transparency. Fails (exit 1) as DecodePngPixels does.
TSamplePlanes DecodePngSamples(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                               const std::string& Name);
// Planes as a PNG file of their depth and channels.
std::vector<std::uint8_t> EncodePngSamples(const TSamplePlanes& Planes);

// An image read by the TIFF or WebP decoder: its samples (8-bit opaque ones too) and the
// orientation its own tags declare (0: none). Its metadata is read from the file's bytes
// (image_metadata.h, tiff_metadata.h).
struct TDecodedImage {
  TSamplePlanes Planes;
  int Orientation = 0;
};

// Whether WebP files can be written: always on Linux; in the Windows build where the system
// has a WebP encoder for the Windows Imaging Component.
bool WebpWritable();

// The first image of a TIFF file: strips or tiles, uncompressed, LZW, Deflate or PackBits, 8
// or 16 bits, grey or RGB with or without alpha (associated alpha is divided out), with its
// orientation tag; ReadTiffMetadata reads its metadata. Refuses (exit 2) other layouts and
// images above MaxPixels before decoding them; fails (exit 1) on damage.
TDecodedImage DecodeTiff(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels);
// Planes as a Deflate-compressed TIFF of their depth and channels, upright (orientation 1) and
// without metadata: WithTiffMetadata puts it in.
std::vector<std::uint8_t> EncodeTiff(const TSamplePlanes& Planes);

// A WebP file, lossy or lossless, with or without alpha. Refuses (exit 2) animations and images above MaxPixels before decoding; fails (exit 1) on
// damage.
TDecodedImage DecodeWebp(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels);
// Planes (16 bits scaled to 8) as a WebP file, lossless when Quality is 0, with the metadata.
std::vector<std::uint8_t> EncodeWebp(const TSamplePlanes& Planes, const TImageMetadata& Metadata, int Quality);
