#include <gtest/gtest.h>

#include <cstring>

#include "command_line.h"
#include "image_file.h"
#include "image_metadata.h"
#include "exit_status_of.h"
#include "message_of.h"
#include "photo_codecs.h"
#include "photo_file.h"
#include "resize_job.h"
#include "test_folder.h"

namespace {

// Little-endian EXIF whose first directory holds the orientation tag and a camera name.
std::vector<std::uint8_t> ExifWithOrientation(int Orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0,                  // header, directory at 8 with two entries
          0x0F, 0x01, 2, 0, 4, 0, 0, 0, 'C', 'a', 'm', 0,    // Make, ASCII "Cam"
          0x12, 0x01, 3, 0, 1, 0, 0, 0, std::uint8_t(Orientation), 0, 0, 0, // Orientation, SHORT
          0, 0, 0, 0};
}

std::unique_ptr<TLinearBitmap> GreyImage(int W, int H, const std::vector<std::uint8_t>& Levels) {
  auto B = std::make_unique<TLinearBitmap>(W, H, lpf8Bit);
  *B->Palette = GreyPalette;
  for (int Y = 0; Y < H; ++Y) std::memcpy(B->ScanLine(Y), &Levels[std::size_t(Y * W)], std::size_t(W));
  return B;
}

std::unique_ptr<TLinearBitmap> ColourImage(int W, int H) {
  auto B = std::make_unique<TLinearBitmap>(W, H, lpf24Bit);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      std::uint8_t* P = B->PixelAddress(X, Y);
      P[0] = std::uint8_t(X * 255 / W), P[1] = std::uint8_t(Y * 255 / H), P[2] = std::uint8_t(128 + (X ^ Y) % 32);
    }
  return B;
}

std::vector<std::uint8_t> Levels(const TLinearBitmap& B) {
  std::vector<std::uint8_t> Out;
  for (int Y = 0; Y < B.Height; ++Y) Out.insert(Out.end(), B.ScanLine(Y), B.ScanLine(Y) + B.Width);
  return Out;
}

// An uncompressed little-endian TIFF of W x H pixels of Samples bytes each (Pixels row by row)
// that says Orientation, as cameras and scanners write the simplest ones.
std::vector<std::uint8_t> SmallTiff(int W, int H, const std::vector<std::uint8_t>& Pixels, std::uint16_t Orientation,
                                    std::uint16_t Photometric = 2, std::uint16_t Samples = 3) {
  std::vector<std::uint8_t> T(8 + Pixels.size());
  std::copy(Pixels.begin(), Pixels.end(), T.begin() + 8);
  T[0] = T[1] = 'I', T[2] = 42;
  auto Put = [&](std::uint32_t V, int Bytes) {
    for (int I = 0; I < Bytes; ++I) T.push_back(std::uint8_t(V >> 8 * I));
  };
  if (T.size() % 2) T.push_back(0);
  const std::uint32_t Bits = std::uint32_t(T.size());
  for (int S = 0; S < Samples; ++S) Put(8, 2);
  const std::uint32_t Directory = std::uint32_t(T.size());
  const std::uint32_t Entries[][4] = {{256, 4, 1, std::uint32_t(W)}, {257, 4, 1, std::uint32_t(H)},
                                      {258, 3, Samples, Samples > 2 ? Bits : 8 | 8 << 16}, {259, 3, 1, 1},
                                      {262, 3, 1, Photometric}, {273, 4, 1, 8}, {274, 3, 1, Orientation},
                                      {277, 3, 1, Samples}, {278, 4, 1, std::uint32_t(H)},
                                      {279, 4, 1, std::uint32_t(Pixels.size())},
                                      {338, 3, 1, 2}}; // the fourth sample of RGB is alpha
  const std::size_t Count = std::size(Entries) - (Samples == 4 && Photometric == 2 ? 0 : 1);
  Put(std::uint32_t(Count), 2);
  for (std::size_t I = 0; I < Count; ++I) Put(Entries[I][0], 2), Put(Entries[I][1], 2), Put(Entries[I][2], 4), Put(Entries[I][3], 4);
  Put(0, 4);
  for (int I = 0; I < 4; ++I) T[4 + I] = std::uint8_t(Directory >> 8 * I);
  return T;
}

TPhoto PhotoOf(std::unique_ptr<TLinearBitmap> Colour, TImageMetadata Metadata = {}) {
  TPhoto Photo;
  Photo.Colour = std::move(Colour);
  Photo.Metadata = std::move(Metadata);
  return Photo;
}

} // namespace

// Stored a b c / d e f, shown as each orientation says; a mask without its own orientation is
// turned as its image was.
TEST(PhotoOrientation, EveryOrientationIsShownUprightAndThenSaysOne) {
  const std::vector<std::uint8_t> Stored = {1, 2, 3, 4, 5, 6};
  const struct {
    int Orientation, Width;
    std::vector<std::uint8_t> Shown;
  } Cases[] = {
      {1, 3, {1, 2, 3, 4, 5, 6}}, {2, 3, {3, 2, 1, 6, 5, 4}}, {3, 3, {6, 5, 4, 3, 2, 1}},
      {4, 3, {4, 5, 6, 1, 2, 3}}, {5, 2, {1, 4, 2, 5, 3, 6}}, {6, 2, {4, 1, 5, 2, 6, 3}},
      {7, 2, {6, 3, 5, 2, 4, 1}}, {8, 2, {3, 6, 2, 5, 1, 4}},
  };
  for (const auto& C : Cases) {
    const TImageMetadata Metadata{{}, ExifWithOrientation(C.Orientation)};
    const auto Png = WithPngMetadata(EncodePng(*GreyImage(3, 2, Stored)), Metadata);
    const TPhoto Photo = DecodePhoto(Png, "o.png");
    EXPECT_EQ(Photo.Colour->Width, C.Width) << C.Orientation;
    EXPECT_EQ(Levels(*Photo.Colour), C.Shown) << C.Orientation;
    EXPECT_EQ(ExifOrientation(Photo.Metadata.Exif), 1) << C.Orientation;
    const TPhoto Mask = DecodePhoto(EncodePng(*GreyImage(3, 2, Stored)), "m.png", DefaultMaxPixels, C.Orientation);
    EXPECT_EQ(Levels(*Mask.Colour), C.Shown) << C.Orientation;
  }
}

TEST(PhotoMetadata, IccAndExifTravelBetweenJpegAndPng) {
  std::vector<std::uint8_t> Icc(150'000); // three APP2 markers in JPEG
  for (std::size_t I = 0; I < Icc.size(); ++I) Icc[I] = std::uint8_t(I * 7 + I / 251);
  const TImageMetadata Metadata{Icc, ExifWithOrientation(1)};
  const struct {
    TFileFormat From, To;
    bool Kept;
  } Cases[] = {
      {TFileFormat::Jpeg, TFileFormat::Jpeg, true}, {TFileFormat::Jpeg, TFileFormat::Png, true},
      {TFileFormat::Png, TFileFormat::Jpeg, true},  {TFileFormat::Png, TFileFormat::Png, true},
      {TFileFormat::Jpeg, TFileFormat::Bmp, false},
  };
  for (const auto& C : Cases) {
    const auto First = EncodePhoto(PhotoOf(ColourImage(20, 12), Metadata), C.From, {}, "a");
    const auto Second = EncodePhoto(DecodePhoto(First, "a"), C.To, {}, "b");
    const TPhoto Back = DecodePhoto(Second, "b");
    EXPECT_EQ(Back.Metadata.Icc == Icc, C.Kept) << int(C.From) << " to " << int(C.To);
    EXPECT_EQ(Back.Metadata.Exif == Metadata.Exif, C.Kept) << int(C.From) << " to " << int(C.To);
    EXPECT_EQ(Back.Colour->Width, 20);
  }
}

TEST(JpegOutput, KeepsTheSourceSamplingElseTakesHalfChromaAndHonoursQuality) {
  TPhoto Photo = PhotoOf(ColourImage(64, 48));
  EXPECT_EQ(ReadJpegSampling(EncodePhoto(Photo, TFileFormat::Jpeg, {}, "o"))->Horizontal[0], 2);
  EXPECT_EQ(ReadJpegSampling(EncodePhoto(Photo, TFileFormat::Jpeg, {}, "o"))->Vertical[0], 2);
#ifndef _WIN32 // Wine's WIC encoder writes 4:2:0 at one quality whatever it is asked for
  for (std::uint8_t H : {1, 2})
    for (std::uint8_t V : {1, 2}) {
      TJpegSampling Source;
      Source.Horizontal[0] = H, Source.Vertical[0] = V;
      TPhoto Read = DecodePhoto(EncodeJpegPixels(Photo.Colour->Map, 64, 48, Photo.Colour->BytesPerLine, false, 90, Source), "s");
      const auto Again = ReadJpegSampling(EncodePhoto(Read, TFileFormat::Jpeg, {}, "o"));
      ASSERT_TRUE(Again);
      EXPECT_EQ(Again->Horizontal[0], H);
      EXPECT_EQ(Again->Vertical[0], V);
      EXPECT_EQ(Again->Horizontal[1] * Again->Vertical[2], 1);
    }
  EXPECT_LT(EncodePhoto(Photo, TFileFormat::Jpeg, {10}, "o").size(), EncodePhoto(Photo, TFileFormat::Jpeg, {100}, "o").size());
#endif
  const auto Grey = DecodePhoto(EncodePhoto(PhotoOf(GreyImage(3, 2, {1, 2, 3, 4, 5, 6})), TFileFormat::Jpeg, {}, "g"), "g");
  EXPECT_EQ(Grey.Colour->PixelFormat, lpf8Bit);
  EXPECT_FALSE(Grey.JpegSampling);
}

TEST(PhotoMetadata, DamagedMetadataFailsAndDamagedExifIsNoOrientation) {
  const auto Jpeg = EncodePhoto(PhotoOf(ColourImage(8, 8)), TFileFormat::Jpeg, {}, "j");
  // One ICC marker that says it is the first of two.
  std::vector<std::uint8_t> Half = {0xFF, 0xD8, 0xFF, 0xE2, 0, 2 + 12 + 2 + 3};
  Half.insert(Half.end(), {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 2, 9, 9, 9});
  Half.insert(Half.end(), Jpeg.begin() + 2, Jpeg.end());
  EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Half, "half.jpg"); }), ExitFailure);
  EXPECT_EQ(MessageOf([&] { DecodePhoto(Half, "half.jpg"); }),
            "half.jpg: damaged JPEG file (the ICC profile's markers are incomplete)");
#ifndef _WIN32 // the Windows build leaves PNG profiles out uninflated
  // An iCCP chunk whose compressed profile is cut short.
  auto Png = WithPngMetadata(EncodePng(*ColourImage(4, 4)), {std::vector<std::uint8_t>(3000, 7), {}});
  const std::size_t Icc = 33 + 4 + 4 + 13; // past the chunk's length, type and keyword
  Png[Icc + 4] ^= 0xFF;
  EXPECT_EQ(ExitStatusOf([&] { ReadPngMetadata(Png, "p.png"); }), ExitFailure);
#endif

  const auto Good = ExifWithOrientation(6);
  for (std::size_t Cut = 0; Cut < Good.size(); ++Cut)
    EXPECT_EQ(ExifOrientation({Good.begin(), Good.begin() + std::ptrdiff_t(Cut)}), Cut >= 34 ? 6 : 0) << Cut;
  auto Wild = Good;
  Wild[4] = 0xF0; // the directory far past the end
  EXPECT_EQ(ExifOrientation(Wild), 0);
  Wild = Good, Wild[30] = 9; // no such orientation
  EXPECT_EQ(ExifOrientation(Wild), 0);
}

TEST(PhotoOutput, ExtensionsAndQualityAreChecked) {
  EXPECT_EQ(CheckOutput("a.JPG"), TFileFormat::Jpeg);
  EXPECT_EQ(CheckOutput("a.jpeg", {50}), TFileFormat::Jpeg);
  EXPECT_EQ(CheckOutput("-"), TFileFormat::Png);
  EXPECT_EQ(MessageOf([] { CheckOutput("a.gif"); }), "a.gif: the output must end in .bmp, .png, .jpg, .jpeg, .tif, .tiff or .webp");
  EXPECT_EQ(MessageOf([] { CheckOutput("a.png", {50}); }), "a.png: --quality applies to JPEG and WebP output only");
}

// What every build reads of TIFF and WebP, through libtiff and libwebp or through the system's
// codecs.
TEST(PhotoInput, TiffIsTurnedAsItsTagSaysOtherLayoutsAreRefusedAndWebpIsReadOrRefusedAsSuch) {
  // Stored 3 x 2: a b c / d e f; orientation 6 shows d a / e b / f c.
  std::vector<std::uint8_t> Pixels;
  for (std::uint8_t Level : {1, 2, 3, 4, 5, 6}) Pixels.insert(Pixels.end(), {std::uint8_t(10 * Level), Level, 0});
  const TPhoto Turned = DecodePhoto(SmallTiff(3, 2, Pixels, 6), "t.tif");
  ASSERT_EQ(Turned.Colour->Width, 2);
  ASSERT_EQ(Turned.Colour->Height, 3);
  std::vector<int> Shown;
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 2; ++X) Shown.push_back(Turned.Colour->PixelAddress(X, Y)[1]); // green, as blue-green-red
  EXPECT_EQ(Shown, (std::vector<int>{4, 1, 5, 2, 6, 3}));
  EXPECT_EQ(Turned.Colour->PixelAddress(1, 0)[2], 10); // red of a

  const std::vector<std::uint8_t> Rgba = {10, 20, 30, 128, 200, 100, 50, 255};
  EXPECT_EQ(DecodePhoto(SmallTiff(2, 1, Rgba, 1, 2, 4), "a.tif").Planes.Samples, std::vector<std::uint16_t>(Rgba.begin(), Rgba.end()));
  const auto Cmyk = SmallTiff(2, 1, std::vector<std::uint8_t>(8, 7), 1, 5, 4);
  EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Cmyk, "c.tif"); }), ExitRefused);
  const auto Good = SmallTiff(3, 2, Pixels, 1);
  EXPECT_EQ(ExitStatusOf([&] { DecodePhoto({Good.begin(), Good.begin() + 12}, "cut.tif"); }), ExitFailure);
  EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Good, "big.tif", 5); }), ExitRefused);

  // Lossless, 2 x 1, red.
  const std::vector<std::uint8_t> Webp = {0x52, 0x49, 0x46, 0x46, 0x1c, 0, 0, 0, 0x57, 0x45, 0x42, 0x50,
                                          0x56, 0x50, 0x38, 0x4c, 0x0f, 0, 0, 0, 0x2f, 0x01, 0, 0,
                                          0, 0x07, 0x10, 0xfd, 0x8f, 0xfe, 0x07, 0x22, 0xa2, 0xff, 0x01, 0};
  try {
    const TPhoto Red = DecodePhoto(Webp, "w.webp");
    EXPECT_EQ(Red.Colour->Width, 2);
    EXPECT_EQ(Red.Colour->PixelAddress(1, 0)[2], 255);
  } catch (const ECommandLine& E) { // a system without the codec
    EXPECT_STREQ(E.what(), "w.webp: WebP files cannot be read here: the system has no WebP codec");
    EXPECT_EQ(E.ExitStatus, ExitRefused);
  }
  if (!WebpWritable()) {
    EXPECT_EQ(MessageOf([] { CheckOutput("o.webp"); }), "o.webp: WebP files cannot be written here: the system has no WebP encoder");
  }
}

class TurnedPhotoJob : public TTestFolder {};

// A camera's portrait: stored 40 x 24 and turned by its EXIF; --width counts what the viewer
// shows, and the mask, stored as the photo is, is turned with it.
TEST_F(TurnedPhotoJob, WidthMeansTheShownWidthAndTheMaskTurnsWithThePhoto) {
  const auto Jpeg = EncodePhoto(PhotoOf(ColourImage(40, 24), {{}, ExifWithOrientation(6)}), TFileFormat::Jpeg, {}, "p");
  WriteImageBytes(PathOf("portrait.jpg"), Jpeg);
  WritePhotoFile(PathOf("stored-mask.png"), PhotoOf(GreyImage(40, 24, std::vector<std::uint8_t>(40 * 24, 0))));
  WritePhotoFile(PathOf("shown-mask.png"), PhotoOf(GreyImage(24, 40, std::vector<std::uint8_t>(24 * 40, 0))));
  auto Run = [&](const std::string& Mask) {
    return ExitStatusOf([&] {
      RunResizeJob(ParseCommandLine({PathOf("portrait.jpg"), "-o", PathOf("out.jpg"), "--width", "20", "--mask", PathOf(Mask)}),
                   [](int) {});
    });
  };
  ASSERT_EQ(Run("stored-mask.png"), 0);
  const TPhoto Out = ReadPhotoFile(PathOf("out.jpg"));
  EXPECT_EQ(Out.Colour->Width, 20);
  EXPECT_EQ(Out.Colour->Height, 40);
  EXPECT_EQ(ExifOrientation(Out.Metadata.Exif), 1);
  EXPECT_EQ(Run("shown-mask.png"), ExitRefused);
}
