// libFuzzer target for the mask reader: any bytes, decoded as a mask image of any format and
// turned into a selection for an image of the same size (or, when the first byte is odd, one
// pixel wider), must give a selection or raise ECommandLine.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_file.h"
#include "resize_job.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::vector<std::uint8_t> Bytes(Data, Data + Size);
  try {
    const auto Mask = DecodeImage(Bytes, "mask", 1'000'000);
    const int Extra = Size > 0 && (Data[0] & 1) ? 1 : 0;
    TLinearBitmap Source(Mask->Width + Extra, Mask->Height, lpf8Bit);
    const std::vector<std::uint8_t> Selected = SelectionFromMask(*Mask, Source, "mask");
    if (Selected.size() != std::size_t(Source.Width) * Source.Height) __builtin_trap();
  } catch (const ECommandLine&) {
  }
  return 0;
}
