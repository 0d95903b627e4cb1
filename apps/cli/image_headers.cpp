#include "image_headers.h"

#include <climits>
#include <cstring>

namespace {

std::uint32_t ReadU32BigEndian(const std::uint8_t* P) {
  return std::uint32_t(P[0]) << 24 | std::uint32_t(P[1]) << 16 | std::uint32_t(P[2]) << 8 | P[3];
}
std::uint32_t ReadU16BigEndian(const std::uint8_t* P) { return std::uint32_t(P[0]) << 8 | P[1]; }

std::string MegapixelText(std::int64_t Pixels) {
  const std::int64_t Tenths = (Pixels + 50'000) / 100'000;
  return std::to_string(Tenths / 10) + (Tenths % 10 ? "." + std::to_string(Tenths % 10) : "");
}

} // namespace

void CheckImageSize(std::int64_t Width, std::int64_t Height, int BytesPerPixel, std::int64_t MaxPixels,
                    const std::string& Name) {
  const std::string Size = std::to_string(Width) + " x " + std::to_string(Height) + " pixels";
  // Each side is at most 2^31, so neither product below can overflow.
  if (Width > INT32_MAX || Height > INT32_MAX || Width * Height > MaxPixels)
    RefuseFile(Name, "image too large (" + Size + ", the limit is " + MegapixelText(MaxPixels) +
                         " megapixels; see --max-megapixels)");
  if (Width * Height * BytesPerPixel > INT32_MAX)
    RefuseFile(Name, "image too large (" + Size + ", more than 2 GiB of pixel data)");
}

// ============================================================================
// PNG
// ============================================================================

TPngHeader ReadPngHeader(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  static const std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (Data.size() < 8 + 8 + 13 || std::memcmp(Data.data(), Signature, 8) != 0 ||
      ReadU32BigEndian(&Data[8]) != 13 || std::memcmp(&Data[12], "IHDR", 4) != 0)
    FailFile(Name, "damaged PNG file (no valid header)");
  const std::uint8_t* Ihdr = &Data[16];
  TPngHeader Header;
  Header.Width = ReadU32BigEndian(Ihdr);
  Header.Height = ReadU32BigEndian(Ihdr + 4);
  Header.BitDepth = Ihdr[8];
  Header.ColourType = Ihdr[9];
  const bool DepthFits = Header.ColourType == 0   ? Header.BitDepth == 1 || Header.BitDepth == 2 ||
                                                        Header.BitDepth == 4 || Header.BitDepth == 8 ||
                                                        Header.BitDepth == 16
                         : Header.ColourType == 3 ? Header.BitDepth == 1 || Header.BitDepth == 2 ||
                                                        Header.BitDepth == 4 || Header.BitDepth == 8
                         : Header.ColourType == 2 || Header.ColourType == 4 || Header.ColourType == 6
                             ? Header.BitDepth == 8 || Header.BitDepth == 16
                             : false;
  if (Header.Width < 1 || Header.Height < 1 || Header.Width > INT32_MAX || Header.Height > INT32_MAX ||
      !DepthFits || Ihdr[10] != 0 || Ihdr[11] != 0 || Ihdr[12] > 1)
    FailFile(Name, "damaged PNG file (invalid header)");
  if (Header.BitDepth == 16) RefuseFile(Name, "16-bit images are not supported");
  if (Header.ColourType == 4 || Header.ColourType == 6)
    RefuseFile(Name, "images with an alpha channel are not supported");
  // A tRNS chunk, which must come before the image data, turns a colour into transparency.
  std::size_t At = 8 + 8 + 13 + 4;
  while (Data.size() - At >= 8) {
    const std::uint64_t Length = ReadU32BigEndian(&Data[At]);
    if (std::memcmp(&Data[At + 4], "IDAT", 4) == 0) break;
    if (std::memcmp(&Data[At + 4], "tRNS", 4) == 0)
      RefuseFile(Name, "images with an alpha channel are not supported");
    if (Length + 12 > Data.size() - At) break; // the codec reports the truncation
    At += std::size_t(Length) + 12;
  }
  return Header;
}

// ============================================================================
// JPEG
// ============================================================================

TJpegFrame ReadJpegFrame(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  const std::size_t End = Data.size();
  if (End < 4 || Data[0] != 0xFF || Data[1] != 0xD8) FailFile(Name, "damaged JPEG file (no start marker)");
  std::size_t At = 2;
  for (;;) {
    if (At >= End || Data[At] != 0xFF) FailFile(Name, "damaged JPEG file (no frame header)");
    while (At < End && Data[At] == 0xFF) ++At; // fill bytes
    if (At >= End) FailFile(Name, "damaged JPEG file (no frame header)");
    const std::uint8_t Marker = Data[At++];
    if (Marker == 0x01 || (Marker >= 0xD0 && Marker <= 0xD7)) continue; // no length field
    if (Marker == 0xD9 || Marker == 0xDA || Marker == 0xD8 || Marker == 0x00)
      FailFile(Name, "damaged JPEG file (no frame header)");
    if (End - At < 2) FailFile(Name, "damaged JPEG file (truncated header)");
    const std::size_t Length = ReadU16BigEndian(&Data[At]);
    if (Length < 2 || Length > End - At) FailFile(Name, "damaged JPEG file (truncated header)");
    const bool IsFrame = Marker >= 0xC0 && Marker <= 0xCF && Marker != 0xC4 && Marker != 0xC8 && Marker != 0xCC;
    if (!IsFrame) {
      At += Length;
      continue;
    }
    if (Length < 8) FailFile(Name, "damaged JPEG file (frame header)");
    const int Type = Marker - 0xC0;
    if (Type == 3 || Type == 7 || Type == 11 || Type == 15)
      RefuseFile(Name, "lossless JPEG images are not supported");
    if (Type == 5 || Type == 6 || Type == 13 || Type == 14)
      RefuseFile(Name, "hierarchical JPEG images are not supported");
    if (Type >= 9) RefuseFile(Name, "arithmetic-coded JPEG images are not supported");
    const std::uint8_t* Header = &Data[At + 2];
    if (Header[0] != 8) RefuseFile(Name, std::to_string(Header[0]) + "-bit JPEG images are not supported");
    TJpegFrame Frame;
    Frame.Height = ReadU16BigEndian(Header + 1);
    Frame.Width = ReadU16BigEndian(Header + 3);
    Frame.Components = Header[5];
    if (Frame.Width == 0 || Frame.Height == 0) FailFile(Name, "damaged JPEG file (frame size 0)");
    if (Frame.Components == 4) RefuseFile(Name, "CMYK JPEG images are not supported");
    if (Frame.Components != 1 && Frame.Components != 3)
      RefuseFile(Name, "JPEG images with " + std::to_string(Frame.Components) + " components are not supported");
    if (Length != 8 + 3 * std::size_t(Frame.Components)) FailFile(Name, "damaged JPEG file (frame header)");
    return Frame;
  }
}
