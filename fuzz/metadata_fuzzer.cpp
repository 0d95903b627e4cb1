// libFuzzer target for our own metadata parsing: EXIF orientation (read and rewritten), the
// JPEG markers that carry EXIF and ICC profiles, and PNG's eXIf and iCCP chunks. Any bytes
// must parse or raise ECommandLine, without crashing or touching memory out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli_error.h"
#include "image_metadata.h"

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
  return 0;
}
