// libFuzzer target for one image reader, chosen at build time by FR_FUZZ_FORMAT (bmp, png,
// jpeg, tiff or webp): any bytes must decode to a photo (pixels, samples, metadata) or raise
// ECommandLine, without crashing, hanging, leaking or touching memory out of bounds. The
// format's first bytes are forced so that every input reaches its reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "photo_file.h"

namespace {

// Large enough for every header path, small enough that a single input stays fast.
constexpr std::int64_t FuzzMaxPixels = 1'000'000;

#if FR_FUZZ_FORMAT_BMP
const std::uint8_t Magic[] = {'B', 'M'};
#elif FR_FUZZ_FORMAT_PNG
const std::uint8_t Magic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
#elif FR_FUZZ_FORMAT_TIFF
const std::uint8_t Magic[] = {'I', 'I', 42, 0};
#elif FR_FUZZ_FORMAT_WEBP
const std::uint8_t Magic[] = {'R', 'I', 'F', 'F'}; // and "WEBP" at byte 8, below
#else
const std::uint8_t Magic[] = {0xFF, 0xD8};
#endif

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  std::vector<std::uint8_t> Bytes(Data, Data + Size);
  if (Bytes.size() < sizeof Magic) Bytes.resize(sizeof Magic);
  std::memcpy(Bytes.data(), Magic, sizeof Magic);
#if FR_FUZZ_FORMAT_WEBP
  if (Bytes.size() < 12) Bytes.resize(12);
  std::memcpy(&Bytes[8], "WEBP", 4);
#endif
  try {
    const TPhoto Photo = DecodePhoto(Bytes, "fuzz", FuzzMaxPixels);
    // Every row and every sample must be readable in full.
    volatile std::uint8_t Sum = 0;
    const TLinearBitmap& Image = *Photo.Colour;
    for (int Y = 0; Y < Image.Height; ++Y) {
      const std::uint8_t* Row = Image.ScanLine(Y);
      for (int X = 0; X < Image.Width * Image.PixelSize; ++X) Sum = Sum + Row[X];
    }
    for (std::uint16_t Sample : Photo.Planes.Samples) Sum = Sum + std::uint8_t(Sample);
  } catch (const ECommandLine&) {
  }
  return 0;
}
