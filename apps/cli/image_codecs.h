// PNG and JPEG through the platform's trusted codecs: libpng and libjpeg-turbo on Linux
// (image_codecs_libs.cpp), the Windows Imaging Component in Windows builds
// (image_codecs_win32.cpp). The headers were read and checked before (image_headers.h), so
// these only decode what the tool takes: grey to 8-bit with the grey palette, colour and
// palette images to 24-bit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image_headers.h"
#include "imaging/linear_bitmap.h"

// Each fails (exit 1, "<Name>: damaged ... file (<reason>)") on damaged or truncated data,
// including checksums and sizes that disagree with the header.
std::unique_ptr<TLinearBitmap> DecodePngPixels(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                                               const std::string& Name);
std::unique_ptr<TLinearBitmap> DecodeJpegPixels(const std::vector<std::uint8_t>& Data, const TJpegFrame& Frame,
                                                const std::string& Name);

// Rows of 8-bit grey (Grey) or of blue, green, red bytes, Stride apart, as a PNG file.
std::vector<std::uint8_t> EncodePngPixels(const std::uint8_t* Rows, int Width, int Height, std::int32_t Stride,
                                          bool Grey);
