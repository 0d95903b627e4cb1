// Image files through the Windows Imaging Component: the system's own codecs.
#pragma once

#include <memory>
#include <string>

#include "host_document.h"

// Reads the first frame of a BMP, PNG or JPEG file (or any other format WIC knows). Indexed
// images stay 8-bit with their palette, grey ones become 8-bit with the grey ramp, images with
// an alpha channel 32-bit (BGRA), all others 24-bit (BGR). The document is named after the
// file's name without its folder. EHostError with the reason when the file cannot be read.
std::unique_ptr<THostDocument> LoadImageFile(const std::string& Path);

// Writes Document as BMP or PNG, chosen by Path's extension, through a temporary file beside
// it that replaces Path only when complete; 32-bit images only as PNG. EHostError with the
// reason on failure.
void SaveImageFile(const THostDocument& Document, const std::string& Path);
