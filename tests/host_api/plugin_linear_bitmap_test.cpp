#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "message_of.h"
#include "host_api/plugin_linear_bitmap.h"

namespace {

struct THostBuffer {
  std::vector<std::uint8_t> Pixels;
  std::vector<std::uint8_t> Palette;
  THostImage Record{};

  THostBuffer(int Width, int Height, int PixelSize, int BytesPerLine) {
    Pixels.assign(std::size_t(BytesPerLine) * Height, 0x11);
    Record = {Width, Height, BytesPerLine, PixelSize, Pixels.data(), nullptr, 0};
  }
};

} // namespace

TEST(PluginLinearBitmap, PresentsTheHostBufferWithItsStride) {
  THostBuffer Host(3, 2, 3, 12);
  TPluginLinearBitmap B(Host.Record);
  EXPECT_TRUE(B.Present);
  EXPECT_EQ(B.Map, Host.Pixels.data());
  EXPECT_EQ(B.HostPixels, Host.Pixels.data());
  EXPECT_EQ(B.PixelFormat, lpf24Bit);
  EXPECT_EQ(B.BytesPerLine, 12);
  EXPECT_EQ(B.Size, 24);
  EXPECT_EQ(B.ScanLine(1), Host.Pixels.data() + 12);

  THostBuffer Wide(2, 2, 4, 8);
  TPluginLinearBitmap W(Wide.Record);
  EXPECT_EQ(W.PixelFormat, lpf32Bit);
  EXPECT_EQ(W.PixelSize, 4);
}

TEST(PluginLinearBitmap, UsesTheHostPaletteAndNeverFreesIt) {
  THostBuffer Host(2, 2, 1, 4);
  Host.Palette.assign(768, 7);
  Host.Record.Palette = Host.Palette.data();
  {
    TPluginLinearBitmap B(Host.Record);
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(B.Palette), Host.Palette.data());
    B.Clear();
    EXPECT_EQ(B.Palette, nullptr);
    EXPECT_EQ(B.Map, nullptr);
  }
  EXPECT_EQ(Host.Palette[0], 7);
}

TEST(PluginLinearBitmap, SameSizeResultsLandInTheHostBuffer) {
  THostBuffer Host(2, 2, 3, 8);
  TPluginLinearBitmap B(Host.Record);
  TLinearBitmap Result(2, 2, lpf24Bit);
  Result.FillColor(0x0000FF); // red
  B.Assign(&Result);
  EXPECT_EQ(B.Map, Host.Pixels.data());
  EXPECT_EQ(Host.Pixels[2], 255);
  EXPECT_EQ(Host.Pixels[8 + 5], 255);
  EXPECT_EQ(Host.Pixels[6], 0x11); // padding untouched
}

TEST(PluginLinearBitmap, AnotherSizeDetachesFromTheHost) {
  THostBuffer Host(2, 2, 3, 6);
  TPluginLinearBitmap B(Host.Record);
  TLinearBitmap Result(3, 1, lpf24Bit);
  Result.Fill(0);
  B.Assign(&Result);
  EXPECT_NE(B.Map, Host.Pixels.data());
  EXPECT_EQ(B.HostPixels, nullptr);
  EXPECT_EQ(B.Width, 3);
  for (std::uint8_t Byte : Host.Pixels) EXPECT_EQ(Byte, 0x11);
}

TEST(PluginLinearBitmap, PackRowsAndConversionsDetach) {
  THostBuffer Padded(2, 2, 3, 8);
  TPluginLinearBitmap P(Padded.Record);
  P.PackRows();
  EXPECT_EQ(P.HostPixels, nullptr);
  EXPECT_EQ(P.BytesPerLine, 6);
  EXPECT_EQ(P.Size, 12);
  EXPECT_EQ(P.Map[11], 0x11);

  THostBuffer Packed(2, 2, 3, 6);
  TPluginLinearBitmap Q(Packed.Record);
  Q.PackRows();
  EXPECT_EQ(Q.Map, Packed.Pixels.data()); // nothing to pack: still the host's

  Q.ConvertTo(lpf8Bit);
  EXPECT_EQ(Q.HostPixels, nullptr);
  EXPECT_NE(Q.Map, Packed.Pixels.data());
  EXPECT_EQ(Packed.Pixels.size(), 12u);
}

TEST(PluginLinearBitmap, RefusesRecordsItCannotPresent) {
  THostBuffer Host(4, 4, 3, 12);
  THostImage R = Host.Record;
  R.Width = 0;
  EXPECT_EQ(MessageOf([&] { TPluginLinearBitmap B(R); }), "Invalid bitmap size");
  R = Host.Record;
  R.Pixels = nullptr;
  EXPECT_EQ(MessageOf([&] { TPluginLinearBitmap B(R); }), "Invalid bitmap size");
  R = Host.Record;
  R.PixelSize = 2;
  EXPECT_EQ(MessageOf([&] { TPluginLinearBitmap B(R); }), "Unsupported pixel format");
  R = Host.Record;
  R.BytesPerLine = 11;
  EXPECT_EQ(MessageOf([&] { TPluginLinearBitmap B(R); }), "Invalid bitmap size");
  R = Host.Record;
  R.Height = 1 << 30;
  EXPECT_EQ(MessageOf([&] { TPluginLinearBitmap B(R); }), "Invalid bitmap size");

  // A failed attach leaves the adapter empty and the host's buffer alone.
  TPluginLinearBitmap B(Host.Record);
  R.PixelSize = 5;
  EXPECT_EQ(MessageOf([&] { B.AttachHostImage(R); }), "Unsupported pixel format");
  EXPECT_FALSE(B.Present);
  EXPECT_EQ(B.Map, nullptr);
}

TEST(FillHostImageTest, DescribesAndHandsOverBitmaps) {
  THostImage Record;
  std::memset(&Record, 0x5A, sizeof(Record));
  FillHostImage(nullptr, Record, false);
  const THostImage Zero{};
  EXPECT_EQ(std::memcmp(&Record, &Zero, sizeof(Record)), 0);

  TLinearBitmap Grey(3, 2, lpf8Bit);
  FillHostImage(&Grey, Record, false);
  EXPECT_EQ(Record.Width, 3);
  EXPECT_EQ(Record.Height, 2);
  EXPECT_EQ(Record.BytesPerLine, 3);
  EXPECT_EQ(Record.PixelSize, 1);
  EXPECT_EQ(Record.Pixels, Grey.Map);
  EXPECT_EQ(Record.Palette, reinterpret_cast<std::uint8_t*>(Grey.Palette));
  EXPECT_TRUE(Grey.Present);

  TLinearBitmap Colour(2, 2, lpf24Bit);
  std::uint8_t* Map = Colour.Map;
  FillHostImage(&Colour, Record, true);
  EXPECT_EQ(Record.PixelSize, 3);
  EXPECT_EQ(Record.Pixels, Map);
  EXPECT_EQ(Record.Palette, nullptr);
  EXPECT_FALSE(Colour.Present);
  EXPECT_EQ(Colour.Map, nullptr);
  std::free(Record.Pixels); // the receiver owns it now

  TLinearBitmap Deep(2, 2, lpf16Bit);
  EXPECT_EQ(MessageOf([&] { FillHostImage(&Deep, Record, false); }), "Unsupported pixel format");
}
