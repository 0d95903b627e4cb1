#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "exchange/bitmap_exchange.h"
#include "imaging/float_map.h"

using toolkit::TBitmap;
using toolkit::TPixelFormat;

namespace {

struct TInstalled : ::testing::Test {
  void SetUp() override { InstallToolkitBitmapExchange(); }
};

// A 3 x 2 bitmap whose bytes are 10, 11, 12, ... row by row.
std::unique_ptr<TLinearBitmap> Counting(TLinearPixelFormat Format) {
  auto Made = std::make_unique<TLinearBitmap>();
  TLinearBitmap& Bitmap = *Made;
  Bitmap.New(3, 2, Format, 0);
  for (int Y = 0; Y < 2; ++Y)
    for (int I = 0; I < 3 * Bitmap.PixelSize; ++I) Bitmap.ScanLine(Y)[I] = static_cast<std::uint8_t>(10 + Y * 20 + I);
  if (Format == lpf8Bit)
    for (int I = 0; I < 256; ++I) (*Bitmap.Palette)[I] = {std::uint8_t(I), std::uint8_t(255 - I), 7};
  return Made;
}

} // namespace

TEST_F(TInstalled, EveryFormatGoesToTheToolkitAndBackUnchanged) {
  for (TLinearPixelFormat Format : {lpf8Bit, lpf24Bit, lpf32Bit}) {
    SCOPED_TRACE(int(Format));
    const auto Made = Counting(Format);
    const TLinearBitmap& Source = *Made;
    TBitmap Toolkit;
    Source.AssignTo(&Toolkit);
    EXPECT_EQ(static_cast<int>(Toolkit.PixelFormat()), Format);
    TLinearBitmap Back;
    Back.Assign(&Toolkit);
    ASSERT_EQ(Back.PixelFormat, Format);
    ASSERT_EQ(Back.Width, 3);
    for (int Y = 0; Y < 2; ++Y)
      EXPECT_EQ(0, std::memcmp(Back.ScanLine(Y), Source.ScanLine(Y), 3 * Source.PixelSize));
    if (Format == lpf8Bit) {
      EXPECT_EQ(0, std::memcmp(Back.Palette, Source.Palette, sizeof(TPaletteTable)));
      EXPECT_EQ(Toolkit.Palette()[5].Flags, 1); // entries are flagged reserved
    }
  }
}

TEST_F(TInstalled, SixteenBitGreyBecomesItsHighByteOnAGreyPalette) {
  const auto Grey = Counting(lpf16Bit);
  toolkit::TPicture Picture;
  Grey->AssignTo(&Picture);
  const TBitmap& Toolkit = Picture.Bitmap();
  ASSERT_EQ(Toolkit.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(Toolkit.ScanLine(1)[2], 20 + 10 + 5); // the high byte of pixel 2 of row 1
  EXPECT_EQ(Toolkit.Pixel(0, 0), 0x0B0B0Bu);
  // ... and the picture reads back as that 8-bit image.
  TLinearBitmap Back;
  Back.Assign(&Picture);
  EXPECT_EQ(Back.PixelFormat, lpf8Bit);
  EXPECT_EQ(Back.ScanLine(0)[0], 11);
}

TEST_F(TInstalled, EmptySidesAndUnsupportedPairs) {
  TBitmap Empty;
  const auto Bitmap = Counting(lpf24Bit);
  Bitmap->Assign(&Empty);
  EXPECT_FALSE(Bitmap->Present);

  TBitmap Kept;
  Kept.SetPixelFormat(TPixelFormat::pf24bit);
  Kept.SetSize(5, 4);
  TLinearBitmap().AssignTo(&Kept);
  EXPECT_EQ(Kept.Width(), 5);

  // 8-bit into a 24-bit toolkit bitmap goes through the palette; 24 into 8 is refused.
  const auto Indexed = Counting(lpf8Bit);
  TBitmap Colour;
  Colour.SetPixelFormat(TPixelFormat::pf24bit);
  Colour.SetSize(3, 2);
  CopyToBitmap(*Indexed, Colour);
  EXPECT_EQ(Colour.Pixel(1, 0), toolkit::TColor(7 | (244 << 8) | (11 << 16))); // entry 11: blue 11
  TBitmap Narrow;
  Narrow.SetPixelFormat(TPixelFormat::pf8bit);
  Narrow.SetSize(3, 2);
  try {
    CopyToBitmap(*Counting(lpf24Bit), Narrow);
    FAIL();
  } catch (const ELinearBitmap& E) {
    EXPECT_STREQ(E.what(), "Unsupported pixel format");
  }

  TPaletteTable Palette;
  ReadPaletteHandle({}, 256, Palette);
  EXPECT_EQ(0, std::memcmp(&Palette, &GreyPalette, sizeof Palette));
  ReadPaletteHandle({{1, 2, 3, 0}}, 256, Palette);
  EXPECT_EQ(Palette[0].Red, 1);
  EXPECT_EQ(Palette[1].Red + Palette[255].Blue, 0);
}

TEST_F(TInstalled, OtherGraphicsArriveAs24BitAndFloatMapsStillConvert) {
  TBitmap Sixteen; // a format the bitmap cannot read directly
  Sixteen.SetPixelFormat(TPixelFormat::pf16bit);
  Sixteen.SetSize(2, 1);
  Sixteen.SetPixel(1, 0, 0xF8F8F8);
  TLinearBitmap Bitmap;
  Bitmap.Assign(&Sixteen);
  EXPECT_EQ(Bitmap.PixelFormat, lpf24Bit);
  EXPECT_EQ(Bitmap.ScanLine(0)[3], 0xFF);

  toolkit::TIcon Icon; // the toolkit cannot assign it: drawn instead
  Icon.Icon = toolkit::TSystemIcon::siHand;
  Bitmap.Assign(&Icon);
  EXPECT_EQ(Bitmap.PixelFormat, lpf24Bit);
  EXPECT_EQ(Bitmap.Width, 32);

  TFloatMap Map;
  Map.New(2, 1);
  Map.Map[1] = 255;
  Bitmap.Assign(&Map);
  EXPECT_EQ(Bitmap.Width, 2);
}
