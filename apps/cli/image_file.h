// Image files for the command-line tool: BMP (8-bit palettised and 24-bit, our own reader and
// writer), PNG and JPEG reading and PNG writing through the platform's codecs (image_codecs.h).
// The path "-" is standard input or standard output.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli_error.h"
#include "image_headers.h"
#include "imaging/linear_bitmap.h"
#include "temporary_file.h"

// Decodes an image. BMP 8-bit keeps its palette; colour PNG/JPEG become 24-bit; grey PNG/JPEG
// become 8-bit with the grey palette. Raises ECommandLine: ExitRefused for layouts the engine
// does not take (alpha, 16 bits per channel, RLE, 12-bit or arithmetic JPEG, other depths) and
// for images above MaxPixels, before any pixel data is decoded; ExitFailure for damaged or
// truncated data. Name is used in messages only.
std::unique_ptr<TLinearBitmap> DecodeImage(const std::vector<std::uint8_t>& Data, const std::string& Name,
                                           std::int64_t MaxPixels = DefaultMaxPixels);

// Encodes an 8-bit or 24-bit bitmap as BMP (keeping an 8-bit palette) or PNG (8-bit with the
// grey palette stays grey, other palettes become RGB).
std::vector<std::uint8_t> EncodeBmp(const TLinearBitmap& Bitmap);
std::vector<std::uint8_t> EncodePng(const TLinearBitmap& Bitmap);

// Reads and decodes a file ("-": standard input); raises ECommandLine with the file name and
// the reason. Reads no further than a BMP header declares, and no more than a bound derived
// from MaxPixels for other formats, so endless devices and pipes end with a refusal.
std::unique_ptr<TLinearBitmap> ReadImageFile(const std::string& Path, std::int64_t MaxPixels = DefaultMaxPixels);

// The most a compressed file of an image within MaxPixels may hold: 16-bit RGBA stored
// uncompressed (8 bytes a pixel, a PNG's filter byte a row) and 64 MiB for metadata.
std::uint64_t MaxCompressedBytes(std::int64_t MaxPixels);

// Reads a file as ReadImageFile does, without decoding it.
std::vector<std::uint8_t> ReadImageBytes(const std::string& Path, std::int64_t MaxPixels = DefaultMaxPixels);

// Where an encoded result goes: Path through a temporary file (temporary_file.h) created at
// once, so that an output that cannot be written is known before any work and a failure or an
// interrupt never leaves a partial file or clobbers an existing one; "-" is standard output.
// The caller has checked the extension. Raises ECommandLine as TTemporaryFile does.
class TImageOutput {
public:
  explicit TImageOutput(const std::string& Path);
  // Writes the encoded file; raises ECommandLine (exit 1) when the writing fails.
  void Write(const std::vector<std::uint8_t>& Data);

private:
  std::unique_ptr<TTemporaryFile> File_;
};

// Encodes by Path's extension (.bmp or .png, any case; "-" is PNG) and writes through
// TImageOutput.
void WriteImageFile(const std::string& Path, const TLinearBitmap& Bitmap);
// Writes an encoded file as WriteImageFile does.
void WriteImageBytes(const std::string& Path, const std::vector<std::uint8_t>& Data);

// Raises ECommandLine (ExitRefused) unless Path ends in an extension WriteImageFile can write.
void CheckOutputExtension(const std::string& Path);

// The name of Path in messages: "standard input" for an input "-".
std::string InputName(const std::string& Path);
