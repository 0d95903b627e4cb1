#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "imaging/linear_bitmap.h"

namespace {

std::string BitmapError(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const ELinearBitmap& E) {
    return "ELinearBitmap: " + E.Message();
  } catch (const Exception& E) {
    return "Exception: " + E.Message();
  }
  return "(no exception)";
}

void ExpectEmpty(const TLinearBitmap& B) {
  EXPECT_FALSE(B.Present);
  EXPECT_EQ(B.Map, nullptr);
  EXPECT_EQ(B.Palette, nullptr);
  EXPECT_EQ(B.Width, 0);
  EXPECT_EQ(B.Height, 0);
  EXPECT_EQ(B.Size, 0);
  EXPECT_EQ(B.PixelSize, 0);
  EXPECT_EQ(B.PixelFormat, lpfNone);
}

// A 24-bit bitmap whose pixel (x, y) is (x, y, x + y) in blue, green, red.
TLinearBitmap* MakeGradient(TLinearBitmap& B, int W, int H) {
  B.New(W, H, lpf24Bit);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      std::uint8_t* P = B.PixelAddress(X, Y);
      P[0] = std::uint8_t(X);
      P[1] = std::uint8_t(Y);
      P[2] = std::uint8_t(X + Y);
    }
  return &B;
}

TColorValue Rgb(int R, int G, int B) { return TColorValue(R | G << 8 | B << 16); }

} // namespace

// ---------------------------------------------------------------------------------------------
// New
// ---------------------------------------------------------------------------------------------

TEST(LinearBitmapNew, SameSizeAndFormatKeepBufferContentsAndLineLength) {
  TLinearBitmap B;
  B.New(10, 2, lpf24Bit, 32);
  std::uint8_t* Map = B.Map;
  B.Map[5] = 77;
  B.New(10, 2, lpf24Bit, 0);
  EXPECT_EQ(B.Map, Map);
  EXPECT_EQ(B.BytesPerLine, 32);
  EXPECT_EQ(B.Size, 64);
  EXPECT_EQ(B.Map[5], 77);
}

TEST(LinearBitmapNew, FormatIsCheckedBeforeSize) {
  TLinearBitmap B(3, 3, lpf24Bit);
  EXPECT_EQ(BitmapError([&] { B.New(0, 5, TLinearPixelFormat(4)); }),
            "ELinearBitmap: Unsupported pixel format");
  EXPECT_EQ(BitmapError([&] { B.New(5, 5, lpfNone); }), "ELinearBitmap: Unsupported pixel format");
  EXPECT_EQ(BitmapError([&] { B.New(0, 5, lpf8Bit); }), "ELinearBitmap: Invalid bitmap size");
  EXPECT_EQ(BitmapError([&] { B.New(5, -1, lpf8Bit); }), "ELinearBitmap: Invalid bitmap size");
  // Those failures leave the bitmap as it was.
  EXPECT_TRUE(B.Present);
  EXPECT_EQ(B.Width, 3);
  EXPECT_EQ(B.PixelFormat, lpf24Bit);
}

TEST(LinearBitmapNew, EveryFormatGetsItsPixelSizeAndPackedRows) {
  const struct {
    TLinearPixelFormat Format;
    int PixelSize;
  } Cases[] = {{lpf8Bit, 1}, {lpf16Bit, 2}, {lpf24Bit, 3}, {lpf32Bit, 4}};
  for (auto C : Cases) {
    TLinearBitmap B(5, 5, C.Format);
    EXPECT_EQ(B.PixelSize, C.PixelSize);
    EXPECT_EQ(B.BytesPerLine, 5 * C.PixelSize);
    EXPECT_EQ(B.Size, 25 * C.PixelSize);
    EXPECT_EQ(B.Palette != nullptr, C.Format == lpf8Bit);
  }
}

TEST(LinearBitmapNew, OversizedImageRaisesOutOfMemoryAndEmpties) {
  TLinearBitmap B(4, 4, lpf8Bit);
  EXPECT_EQ(BitmapError([&] { B.New(50000, 50000, lpf24Bit); }), "ELinearBitmap: Out of memory");
  ExpectEmpty(B);
  // 2^31 bytes exactly is one too many; a line length can also push Size past 32 bits.
  EXPECT_EQ(BitmapError([&] { B.New(65536, 32768, lpf8Bit); }), "ELinearBitmap: Out of memory");
  EXPECT_EQ(BitmapError([&] { B.New(10, 1000, lpf8Bit, 1 << 30); }), "ELinearBitmap: Out of memory");
  ExpectEmpty(B);
}

TEST(LinearBitmapNew, LineLengthShorterThanARowIsRefused) {
  TLinearBitmap B(2, 2, lpf8Bit);
  EXPECT_EQ(BitmapError([&] { B.New(10, 2, lpf24Bit, 29); }), "ELinearBitmap: Invalid bitmap size");
  ExpectEmpty(B);
  B.New(10, 2, lpf24Bit, 32);
  EXPECT_EQ(B.BytesPerLine, 32);
  EXPECT_EQ(B.Size, 64);
}

TEST(LinearBitmapNew, EightBitKeepsAnExistingPaletteAndOtherFormatsDropIt) {
  TLinearBitmap B(2, 2, lpf8Bit);
  TPaletteTable* Palette = B.Palette;
  (*B.Palette)[9].Red = 99;
  B.New(3, 3, lpf8Bit);
  EXPECT_EQ(B.Palette, Palette);
  EXPECT_EQ((*B.Palette)[9].Red, 99);
  B.New(3, 3, lpf24Bit);
  EXPECT_EQ(B.Palette, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Assign and TakeOver
// ---------------------------------------------------------------------------------------------

TEST(LinearBitmapAssign, CopiesPixelsAndPaletteAcrossLineLengths) {
  TLinearBitmap Source;
  Source.New(3, 2, lpf8Bit, 8);
  for (int I = 0; I < Source.Size; ++I) Source.Map[I] = std::uint8_t(I);
  *Source.Palette = GreyPalette;
  (*Source.Palette)[1] = {1, 2, 3};
  TLinearBitmap Copy(&Source);
  EXPECT_EQ(Copy.BytesPerLine, 3);
  EXPECT_EQ(Copy.PixelAddress(2, 1)[0], 10);
  EXPECT_EQ(Copy.PixelAddress(0, 1)[0], 8);
  EXPECT_EQ((*Copy.Palette)[1].Red, 3);
  EXPECT_NE(Copy.Palette, Source.Palette);
}

TEST(LinearBitmapAssign, SameSizeTargetKeepsItsOwnBufferAndLineLength) {
  TLinearBitmap Source;
  MakeGradient(Source, 4, 3);
  TLinearBitmap Target;
  Target.New(4, 3, lpf24Bit, 16);
  std::uint8_t* Map = Target.Map;
  Target.Assign(&Source);
  EXPECT_EQ(Target.Map, Map);
  EXPECT_EQ(Target.BytesPerLine, 16);
  EXPECT_EQ(Target.PixelAddress(3, 2)[2], 5);
}

TEST(LinearBitmapAssign, EmptySourceEmptiesTheTargetAndForeignSourcesAreRefused) {
  TLinearBitmap Empty;
  TLinearBitmap Target(4, 4, lpf8Bit);
  Target.Assign(&Empty);
  ExpectEmpty(Target);
  TAssignObject Other;
  EXPECT_EQ(BitmapError([&] { Target.Assign(&Other); }),
            "Exception: Cannot assign TAssignObject to TLinearBitmap");
  EXPECT_EQ(BitmapError([&] { Target.AssignTo(&Other); }),
            "Exception: Cannot assign TLinearBitmap to TAssignObject");
}

TEST(LinearBitmapTakeOver, PlainBitmapMovesItsBuffer) {
  TLinearBitmap Source(5, 4, lpf8Bit);
  std::uint8_t* Map = Source.Map;
  TPaletteTable* Palette = Source.Palette;
  TLinearBitmap Target(2, 2, lpf24Bit);
  Target.TakeOver(Source);
  EXPECT_EQ(Target.Map, Map);
  EXPECT_EQ(Target.Palette, Palette);
  EXPECT_EQ(Target.Width, 5);
  EXPECT_EQ(Target.PixelFormat, lpf8Bit);
  EXPECT_FALSE(Source.Present);
  EXPECT_EQ(Source.Map, nullptr);
  EXPECT_EQ(Source.Palette, nullptr);
  EXPECT_EQ(Source.Width, 5); // other fields keep their values
}

TEST(LinearBitmapTakeOver, SubclassIsCopiedThenCleared) {
  class TDerived : public TLinearBitmap {
  public:
    int Clears = 0;
    const char* ClassName() const override { return "TDerived"; }
    void Clear() override {
      ++Clears;
      TLinearBitmap::Clear();
    }
  };
  TDerived Source;
  MakeGradient(Source, 3, 3);
  TLinearBitmap Target;
  Target.TakeOver(Source);
  EXPECT_NE(Target.Map, Source.Map);
  EXPECT_EQ(Target.PixelAddress(2, 2)[2], 4);
  EXPECT_EQ(Source.Clears, 1);
  EXPECT_FALSE(Source.Present);
}

// ---------------------------------------------------------------------------------------------
// Fills and pixel writes
// ---------------------------------------------------------------------------------------------

TEST(LinearBitmapFill, FillColorByFormat) {
  TLinearBitmap B(3, 2, lpf8Bit);
  B.Fill(9);
  B.FillColor(0);
  for (int I = 0; I < B.Size; ++I) ASSERT_EQ(B.Map[I], 0);
  B.FillColor(Rgb(255, 0, 255));
  for (int I = 0; I < B.Size; ++I) ASSERT_EQ(B.Map[I], 128);

  TLinearBitmap C(3, 2, lpf24Bit);
  C.Map[C.Size] = 0xA5; // the spare byte
  C.FillColor(Rgb(255, 0, 255));
  for (int I = 0; I < 6; ++I) {
    EXPECT_EQ(C.Map[3 * I], 255);
    EXPECT_EQ(C.Map[3 * I + 1], 0);
    EXPECT_EQ(C.Map[3 * I + 2], 255);
  }
  EXPECT_EQ(C.Map[C.Size], 0xA5);

  TLinearBitmap D(2, 1, lpf32Bit);
  D.FillColor(Rgb(10, 20, 30)); // (20 + 60 + 30 + 3) div 6 = 18 in every byte
  for (int I = 0; I < D.Size; ++I) EXPECT_EQ(D.Map[I], 18);
}

TEST(LinearBitmapFill, FillColorOnPaddedRowsLeavesThePaddingAlone) {
  TLinearBitmap B;
  B.New(2, 2, lpf24Bit, 8);
  B.Fill(0xEE);
  B.FillColor(Rgb(1, 2, 3));
  EXPECT_EQ(B.Map[5], 1);
  EXPECT_EQ(B.Map[6], 0xEE);
  EXPECT_EQ(B.Map[7], 0xEE);
  EXPECT_EQ(B.Map[8], 3);
}

TEST(LinearBitmapPixels, WritesOutsideTheImageAreIgnored) {
  TLinearBitmap B(4, 3, lpf24Bit);
  B.Fill(0);
  for (auto [X, Y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}}) {
    B.SetPixelColor(X, Y, Rgb(255, 255, 255));
    B.SetPixelValue(X, Y, 255);
  }
  for (int I = 0; I < B.Size; ++I) ASSERT_EQ(B.Map[I], 0);
}

TEST(LinearBitmapPixels, WritesByFormat) {
  TLinearBitmap Grey(2, 2, lpf8Bit);
  *Grey.Palette = GreyPalette;
  Grey.SetPixelColor(1, 0, Rgb(10, 20, 30));
  EXPECT_EQ(*Grey.PixelAddress(1, 0), 20);
  Grey.SetPixelValue(0, 1, 0x1FF);
  EXPECT_EQ(*Grey.PixelAddress(0, 1), 0xFF);

  TLinearBitmap Deep(2, 1, lpf16Bit);
  Deep.SetPixelValue(1, 0, 0x12345);
  EXPECT_EQ(Deep.PixelAddress(1, 0)[0], 0x45);
  EXPECT_EQ(Deep.PixelAddress(1, 0)[1], 0x23);
  EXPECT_EQ(BitmapError([&] { Deep.SetPixelColor(0, 0, 1); }), "Exception: Unsupported pixel format");

  TLinearBitmap Colour(2, 1, lpf24Bit);
  Colour.SetPixelValue(0, 0, 77);
  EXPECT_EQ(Colour.Map[0] + Colour.Map[1] + Colour.Map[2], 3 * 77);
  Colour.SetPixelColor(1, 0, Rgb(1, 2, 3));
  EXPECT_EQ(Colour.Map[3], 3);
  EXPECT_EQ(Colour.Map[5], 1);

  TLinearBitmap Quad(1, 1, lpf32Bit);
  Quad.Fill(0x55);
  Quad.SetPixelColor(0, 0, Rgb(1, 2, 3));
  EXPECT_EQ(Quad.Map[0], 3);
  EXPECT_EQ(Quad.Map[3], 0x55); // the fourth byte is left alone
  EXPECT_EQ(BitmapError([&] { Quad.SetPixelValue(0, 0, 1); }), "Exception: Unsupported pixel format");
}

TEST(NearestPaletteIndexTest, DistanceAndTies) {
  EXPECT_EQ(NearestPaletteIndex(Rgb(10, 20, 30), GreyPalette), 20);
  TPaletteTable Palette{};
  for (int I = 0; I < 256; ++I) Palette[I] = {200, 200, 200};
  Palette[7] = {3, 2, 1};
  Palette[9] = {3, 2, 1};
  EXPECT_EQ(NearestPaletteIndex(Rgb(1, 2, 3), Palette), 7);
  // Equally near but not exact: the lowest index wins.
  Palette[7] = {0, 0, 0};
  Palette[9] = {0, 0, 2};
  EXPECT_EQ(NearestPaletteIndex(Rgb(1, 0, 0), Palette), 7);
}

// ---------------------------------------------------------------------------------------------
// PasteImage, ResizeCanvas, PackRows
// ---------------------------------------------------------------------------------------------

TEST(LinearBitmapPaste, NegativeOffsetsCropTheSource) {
  TLinearBitmap Source;
  MakeGradient(Source, 8, 6);
  TLinearBitmap Target(4, 4, lpf24Bit);
  Target.Fill(0);
  Target.PasteImage(Source, -3, -2, 2147483647, 2147483647);
  EXPECT_EQ(Target.PixelAddress(0, 0)[0], 3);
  EXPECT_EQ(Target.PixelAddress(0, 0)[1], 2);
  EXPECT_EQ(Target.PixelAddress(3, 3)[0], 6);
  EXPECT_EQ(Target.PixelAddress(3, 3)[1], 5);
}

TEST(LinearBitmapPaste, ClipsToTargetAndLimitsAndChecksFormat) {
  TLinearBitmap Source;
  MakeGradient(Source, 3, 3);
  TLinearBitmap Target(5, 5, lpf24Bit);
  Target.Fill(0xFF);
  Target.PasteImage(Source, 3, 1, 2, 1);
  EXPECT_EQ(Target.PixelAddress(3, 1)[0], 0);
  EXPECT_EQ(Target.PixelAddress(4, 1)[0], 1);
  EXPECT_EQ(Target.PixelAddress(3, 2)[0], 0xFF);
  EXPECT_EQ(Target.PixelAddress(2, 1)[0], 0xFF);
  Target.PasteImage(Source, 5, 0, 9, 9); // empty intersection
  Target.PasteImage(Source, -9, -9, 9, 9);
  TLinearBitmap Grey(3, 3, lpf8Bit);
  EXPECT_EQ(BitmapError([&] { Target.PasteImage(Grey, 0, 0, 1, 1); }),
            "ELinearBitmap: Unsupported pixel format");
}

TEST(LinearBitmapResizeCanvas, SameSizeWithoutOffsetIsANoOp) {
  TLinearBitmap B;
  MakeGradient(B, 3, 2);
  std::uint8_t* Map = B.Map;
  B.ResizeCanvas(3, 2, 0, 0, Rgb(9, 9, 9));
  EXPECT_EQ(B.Map, Map);
  EXPECT_EQ(B.PixelAddress(1, 1)[2], 2);
}

TEST(LinearBitmapResizeCanvas, OffsetShiftsContentAndFillsTheRest) {
  TLinearBitmap B;
  MakeGradient(B, 3, 2);
  B.ResizeCanvas(5, 2, 1, 0, 0);
  EXPECT_EQ(B.Width, 5);
  EXPECT_EQ(B.BytesPerLine, 15);
  for (int Y = 0; Y < 2; ++Y) {
    for (int C = 0; C < 3; ++C) {
      EXPECT_EQ(B.PixelAddress(0, Y)[C], 0);
      EXPECT_EQ(B.PixelAddress(4, Y)[C], 0);
    }
    for (int X = 1; X < 4; ++X) EXPECT_EQ(B.PixelAddress(X, Y)[0], X - 1);
  }
  // Negative offsets crop at the left and top; the background fills what is uncovered.
  B.ResizeCanvas(3, 3, -2, -1, Rgb(7, 8, 9));
  EXPECT_EQ(B.PixelAddress(0, 0)[0], 1);
  EXPECT_EQ(B.PixelAddress(0, 0)[1], 1);
  EXPECT_EQ(B.PixelAddress(2, 0)[0], 0);
  EXPECT_EQ(B.PixelAddress(0, 1)[0], 9); // blue of the background
  EXPECT_EQ(B.PixelAddress(0, 1)[2], 7);
}

TEST(LinearBitmapResizeCanvas, EmptyBitmapBecomesGreyAndNonPositiveSizeEmpties) {
  TLinearBitmap B;
  B.ResizeCanvas(2, 3, 5, 5, Rgb(255, 0, 255));
  EXPECT_EQ(B.PixelFormat, lpf8Bit);
  EXPECT_EQ(std::memcmp(B.Palette, &GreyPalette, sizeof(TPaletteTable)), 0);
  for (int I = 0; I < B.Size; ++I) EXPECT_EQ(B.Map[I], 128);
  B.ResizeCanvas(0, 3, 0, 0, 0);
  ExpectEmpty(B);
}

TEST(LinearBitmapPackRows, ClosesTheGapsBetweenRows) {
  TLinearBitmap B;
  B.New(2, 3, lpf8Bit, 5);
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 2; ++X) *B.PixelAddress(X, Y) = std::uint8_t(10 * Y + X);
  B.PackRows();
  EXPECT_EQ(B.BytesPerLine, 2);
  EXPECT_EQ(B.Size, 6);
  const std::uint8_t Expected[] = {0, 1, 10, 11, 20, 21};
  EXPECT_EQ(std::memcmp(B.Map, Expected, 6), 0);
}

// ---------------------------------------------------------------------------------------------
// ConvertTo
// ---------------------------------------------------------------------------------------------

TEST(LinearBitmapConvert, TwentyFourToEightUsesTheColourCube) {
  TLinearBitmap B(2, 1, lpf24Bit);
  const std::uint8_t Pixels[] = {255, 255, 255, 0x40, 0x80, 0xC0};
  std::memcpy(B.Map, Pixels, 6);
  B.ConvertTo(lpf8Bit);
  EXPECT_EQ(B.PixelFormat, lpf8Bit);
  EXPECT_EQ(B.BytesPerLine, 2);
  EXPECT_EQ(B.Map[0], 255);
  EXPECT_EQ(B.Map[1], 0xD1);
  EXPECT_EQ((*B.Palette)[255].Red, 255);
  EXPECT_EQ((*B.Palette)[255].Green, 255);
  EXPECT_EQ((*B.Palette)[255].Blue, 255);
  const int Levels[] = {0, 36, 73, 109, 146, 182, 219, 255};
  for (int L = 0; L < 8; ++L) {
    EXPECT_EQ((*B.Palette)[L << 5].Red, Levels[L]);
    EXPECT_EQ((*B.Palette)[L << 2].Green, Levels[L]);
  }
  EXPECT_EQ((*B.Palette)[2].Blue, 170);
}

TEST(LinearBitmapConvert, EveryPathToEveryTarget) {
  // 16-bit grey 0x8040 everywhere: conversions use its high byte, 0x80.
  TLinearBitmap Deep(2, 2, lpf16Bit);
  for (int I = 0; I < Deep.Size; I += 2) { Deep.Map[I] = 0x40; Deep.Map[I + 1] = 0x80; }
  TLinearBitmap DeepTo8(&Deep), DeepTo24(&Deep), DeepTo32(&Deep);
  DeepTo8.ConvertTo(lpf8Bit);
  EXPECT_EQ(DeepTo8.Map[3], 0x80);
  EXPECT_EQ(std::memcmp(DeepTo8.Palette, &GreyPalette, sizeof(TPaletteTable)), 0);
  DeepTo24.ConvertTo(lpf24Bit);
  EXPECT_EQ(DeepTo24.Map[9] + DeepTo24.Map[10] + DeepTo24.Map[11], 3 * 0x80);
  DeepTo32.ConvertTo(lpf32Bit);
  const std::uint8_t Quad[] = {0x80, 0x80, 0x80, 0};
  EXPECT_EQ(std::memcmp(DeepTo32.Map + 12, Quad, 4), 0);

  // 8-bit through its palette; the palette goes away.
  TLinearBitmap Indexed(1, 1, lpf8Bit);
  (*Indexed.Palette)[4] = {1, 2, 3};
  Indexed.Map[0] = 4;
  TLinearBitmap IndexedTo32(&Indexed);
  Indexed.ConvertTo(lpf24Bit);
  EXPECT_EQ(Indexed.Palette, nullptr);
  EXPECT_EQ(Indexed.Map[0], 1);
  EXPECT_EQ(Indexed.Map[2], 3);
  IndexedTo32.ConvertTo(lpf32Bit);
  const std::uint8_t Quad2[] = {1, 2, 3, 0};
  EXPECT_EQ(std::memcmp(IndexedTo32.Map, Quad2, 4), 0);
  EXPECT_EQ(IndexedTo32.Palette, nullptr);

  // 32-bit keeps its first three bytes, and reaches 8-bit through 24-bit.
  TLinearBitmap Wide(1, 1, lpf32Bit);
  const std::uint8_t Bgrx[] = {0x40, 0x80, 0xC0, 0x99};
  std::memcpy(Wide.Map, Bgrx, 4);
  TLinearBitmap WideTo8(&Wide);
  Wide.ConvertTo(lpf24Bit);
  EXPECT_EQ(Wide.PixelSize, 3);
  EXPECT_EQ(std::memcmp(Wide.Map, Bgrx, 3), 0);
  WideTo8.ConvertTo(lpf8Bit);
  EXPECT_EQ(WideTo8.Map[0], 0xD1);
}

TEST(LinearBitmapConvert, RefusedTargetsAndEmptyBitmaps) {
  TLinearBitmap B(2, 2, lpf24Bit);
  std::uint8_t* Map = B.Map;
  EXPECT_EQ(BitmapError([&] { B.ConvertTo(lpf16Bit); }), "ELinearBitmap: Unsupported pixel format");
  EXPECT_EQ(BitmapError([&] { B.ConvertTo(lpfNone); }), "ELinearBitmap: Unsupported pixel format");
  EXPECT_EQ(B.Map, Map);
  EXPECT_EQ(B.PixelFormat, lpf24Bit);
  TLinearBitmap Empty;
  Empty.ConvertTo(lpf8Bit);
  ExpectEmpty(Empty);
}

TEST(LinearBitmapConvert, PaddedRowsConvertRowByRow) {
  TLinearBitmap B;
  B.New(2, 2, lpf24Bit, 8);
  B.Fill(0xEE);
  B.FillColor(Rgb(255, 255, 255));
  B.ConvertTo(lpf8Bit);
  EXPECT_EQ(B.BytesPerLine, 2);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(B.Map[I], 255);
}

TEST(BitmapLoadersTest, TheGlobalRegistryExistsAndIsEmpty) { EXPECT_EQ(BitmapLoaders().Count(), 0); }
