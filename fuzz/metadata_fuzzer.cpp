// libFuzzer target for our own metadata parsing: EXIF orientation (read and rewritten), the
// JPEG markers that carry EXIF and ICC profiles, PNG's eXIf and iCCP chunks, WebP's ICCP and
// EXIF chunks, and the ICC tag and EXIF directories of TIFF files. Any bytes must parse or raise
// ECommandLine, without crashing or touching memory out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli_error.h"
#include "image_metadata.h"
#include "tiff_metadata.h"

namespace {

// A one-pixel TIFF without descriptive tags, so that all EXIF brings is kept.
std::vector<std::uint8_t> SmallTiff(bool Big) {
  const std::uint16_t Entries[][3] = {{256, 3, 1}, {257, 3, 1}, {258, 3, 8}, {262, 3, 1}, {273, 4, 8}, {279, 4, 1}};
  std::vector<std::uint8_t> Tiff;
  auto Put = [&](std::uint32_t Value, int Bytes) {
    for (int I = 0; I < Bytes; ++I) Tiff.push_back(std::uint8_t(Value >> 8 * (Big ? Bytes - 1 - I : I)));
  };
  Tiff = {Big ? std::uint8_t('M') : std::uint8_t('I'), Big ? std::uint8_t('M') : std::uint8_t('I')};
  Put(42, 2), Put(8, 4), Put(6, 2);
  for (const auto& E : Entries) {
    Put(E[0], 2), Put(E[1], 2), Put(1, 4);
    E[1] == 3 ? (Put(E[2], 2), Put(0, 2)) : Put(E[2], 4);
  }
  Put(0, 4);
  return Tiff;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::vector<std::uint8_t> Bytes(Data, Data + Size);
  std::vector<std::uint8_t> Exif = Bytes;
  if (ExifOrientation(Exif) != 0) {
    SetExifOrientation(Exif, 1);
    if (ExifOrientation(Exif) != 1) __builtin_trap();
  }
  std::vector<std::uint8_t> Jpeg = {0xFF, 0xD8};
  Jpeg.insert(Jpeg.end(), Bytes.begin(), Bytes.end());
  std::vector<std::uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Png.insert(Png.end(), Bytes.begin(), Bytes.end());
  try {
    const TImageMetadata Found = ReadJpegMetadata(Jpeg, "fuzz");
    ReadJpegSampling(Jpeg);
    // What was found goes back into a JPEG and comes out the same.
    const TImageMetadata Again = ReadJpegMetadata(WithJpegMetadata({0xFF, 0xD8, 0xFF, 0xD9}, Found, "fuzz"), "fuzz");
    if (Found.Exif.size() + 6 <= 65533 && Again.Exif != Found.Exif) __builtin_trap();
    if (Again.Icc != Found.Icc) __builtin_trap();
  } catch (const ECommandLine&) {
  }
  try {
    ReadPngMetadata(Png, "fuzz");
  } catch (const ECommandLine&) {
  }
  std::vector<std::uint8_t> Webp = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
  Webp.insert(Webp.end(), Bytes.begin(), Bytes.end());
  const TImageMetadata InWebp = ReadWebpMetadata(Webp); // never raises: chunks past the end are left out
  if (InWebp.Icc.size() > Size || InWebp.Exif.size() > Size) __builtin_trap();
  // The bytes as a TIFF file, and behind a header of each byte order pointing just past it.
  const auto Behind = [&](std::vector<std::uint8_t> Header) {
    Header.insert(Header.end(), Bytes.begin(), Bytes.end());
    return Header;
  };
  const std::vector<std::uint8_t> Little = Behind({'I', 'I', 42, 0, 8, 0, 0, 0}), Big = Behind({'M', 'M', 0, 42, 0, 0, 0, 8});
  for (const auto* Tiff : {&Bytes, &Little, &Big}) {
    try {
      const TImageMetadata Found = ReadTiffMetadata(*Tiff, "fuzz");
      // What was found goes into a TIFF of its byte order and comes out the same.
      const bool BigExif = !Found.Exif.empty() && Found.Exif[0] == 'M';
      const TImageMetadata Again = ReadTiffMetadata(WithTiffMetadata(SmallTiff(BigExif), Found, "fuzz"), "fuzz");
      if (Again.Icc != Found.Icc || Again.Exif != Found.Exif) __builtin_trap();
    } catch (const ECommandLine&) {
    }
  }
  return 0;
}
