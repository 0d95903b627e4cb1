// libFuzzer target for the plug-in's host records: ProcessImage with a record whose fields
// come from the input, over a buffer as large as a host would give for it, with a headless
// user interface whose dialog reads and writes every pixel and every mask byte. A record that
// does not describe its buffer must be refused before the dialog runs; one that does must
// reach it. ASan reports any byte touched outside the host's memory.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/fake_host.h"
#include "plugin/plugin_entry.h"

namespace {

// Larger records are skipped when valid (the host would need that memory) and given a
// buffer of this size when invalid (a careless host's).
constexpr std::int64_t MaxBufferBytes = 1 << 18;

std::int32_t TakeInt(const std::uint8_t*& Data, std::size_t& Size) {
  std::uint32_t Value = 0;
  if (Size >= 4) {
    std::memcpy(&Value, Data, 4);
    Data += 4, Size -= 4;
  }
  return static_cast<std::int32_t>(Value);
}

bool RecordIsValid(const THostImage& Image) {
  return Image.Width >= 1 && Image.Height >= 1 && (Image.PixelSize == 1 || Image.PixelSize == 3) &&
         std::int64_t(Image.BytesPerLine) >= std::int64_t(Image.Width) * Image.PixelSize &&
         std::int64_t(Image.BytesPerLine) * Image.Height <= INT32_MAX;
}

bool DialogRan = false;

int TouchEverything(TPluginLinearBitmap& Bitmap, const std::uint8_t* Mask) {
  DialogRan = true;
  for (int Y = 0; Y < Bitmap.Height; ++Y) {
    std::uint8_t* Row = Bitmap.ScanLine(Y);
    std::memmove(Row, Row, std::size_t(Bitmap.Width) * Bitmap.PixelSize);
  }
  if (Mask) {
    volatile std::uint8_t Sum = 0;
    for (std::int64_t I = 0; I < std::int64_t(Bitmap.Width) * Bitmap.Height; ++I) Sum = Sum + Mask[I];
  }
  return 2;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  THostImage Image{};
  Image.Width = TakeInt(Data, Size);
  Image.Height = TakeInt(Data, Size);
  Image.BytesPerLine = TakeInt(Data, Size);
  Image.PixelSize = TakeInt(Data, Size);
  const THostRect Rect{TakeInt(Data, Size), TakeInt(Data, Size), TakeInt(Data, Size), TakeInt(Data, Size)};
  const std::int32_t Flags = TakeInt(Data, Size);

  const bool Valid = RecordIsValid(Image);
  const std::int64_t Declared = std::int64_t(Image.BytesPerLine) * Image.Height;
  const std::int64_t Pixels = std::int64_t(Image.Width) * Image.Height;
  if (Valid && (Declared > MaxBufferBytes || Pixels > MaxBufferBytes)) return 0;
  const std::size_t BufferBytes = std::size_t(Valid ? Declared : Declared > 0 ? std::min(Declared, MaxBufferBytes) : 1);
  std::vector<std::uint8_t> Buffer(BufferBytes, 7);
  std::vector<std::uint8_t> Palette(768, 3), Mask(Valid ? std::size_t(Pixels) : 0, 1);
  Image.Pixels = Buffer.data();
  Image.Palette = Flags & 1 ? Palette.data() : nullptr;

  TFakeHost Host;
  TFakeHost::TImage Listed;
  Listed.Name = "fuzz.bmp";
  Listed.Pixels = Flags & 2 ? Buffer.data() : nullptr; // otherwise the look-ups find nothing
  Listed.SelectionMask = Flags & 4 && Valid ? Mask.data() : nullptr;
  Listed.SelectionRect = Rect;
  Host.Images.push_back(Listed);
  RegisterPlugin(TFakeHost::Callback);
  PluginUi().ShowInformation = [](const std::string&) {};
  PluginUi().ShowError = [](const std::string&) {};
  PluginUi().RunDialog = TouchEverything;

  DialogRan = false;
  ProcessImage(Flags & 8 ? 2 : 1, &Image);
  if (DialogRan && !Valid) __builtin_trap(); // an invalid record reached the dialog
  if (!DialogRan && Valid && !(Flags & 8)) __builtin_trap(); // a valid record was refused
  return 0;
}
