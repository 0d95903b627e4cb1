#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "command_line.h"
#include "test_folder.h"
#include "exit_status_of.h"
#include "image_file.h"
#include "message_of.h"
#include "photo_codecs.h"
#include "photo_file.h"
#include "resize_job.h"
#include "seamcarving/seam_carving_component.h"

namespace {

namespace fs = std::filesystem;

class SamplePlanesJob : public TTestFolder {
protected:
  std::string Write(const std::string& Name, TPhoto Photo) {
    WritePhotoFile(PathOf(Name), Photo);
    return PathOf(Name);
  }
  // Runs the job on In with Args after it and reads the result back.
  TPhoto Resize(const std::string& In, const std::string& Out, std::vector<std::string> Args) {
    Args.insert(Args.begin(), {In, "-o", PathOf(Out), "--window", "3"});
    RunResizeJob(ParseCommandLine(Args), [](int) {});
    return ReadPhotoFile(PathOf(Out));
  }
};

// Planes with each pixel's samples set by Fill(X, Y, Samples).
TSamplePlanes Planes(int W, int H, int Channels, int Depth,
                     const std::function<void(int, int, std::uint16_t*)>& Fill = nullptr) {
  TSamplePlanes P;
  P.Width = W, P.Height = H, P.Channels = Channels, P.Depth = Depth;
  P.Samples.resize(std::size_t(W) * H * Channels);
  for (int Y = 0; Fill && Y < H; ++Y)
    for (int X = 0; X < W; ++X) Fill(X, Y, &P.Samples[(std::size_t(Y) * W + X) * Channels]);
  return P;
}

TPhoto PhotoOf(TSamplePlanes Planes) {
  TPhoto Photo;
  Photo.Colour = ColourOf(Planes);
  Photo.Planes = std::move(Planes);
  return Photo;
}

TPhoto OpaquePhoto(std::unique_ptr<TLinearBitmap> Colour) {
  TPhoto Photo;
  Photo.Colour = std::move(Colour);
  return Photo;
}

} // namespace

// Each 16-bit sample is its 8-bit level h as h x 257 plus a nudge of up to 127, which scales
// back to h: the 8-bit image, and so every seam, is that of the levels alone, while the nudges
// of red and green name the pixel's column and row.
TEST_F(SamplePlanesJob, SixteenBitSamplesRideTheSeamsOfTheirEightBitImage) {
  std::mt19937 Random(3);
  const int W = 40, H = 30;
  const TSamplePlanes Deep = Planes(W, H, 3, 16, [&](int X, int Y, std::uint16_t* P) {
    const int Level[3] = {(X / 5 + Y / 4) % 2 ? 200 : int(Random() % 256), int(Random() % 256), 90};
    const int Nudge[3] = {X, Y, 77};
    for (int C = 0; C < 3; ++C) P[C] = std::uint16_t(Level[C] * 257 + (Level[C] < 128 ? Nudge[C] : -Nudge[C]));
  });
  const std::string In = Write("deep.png", PhotoOf(Deep));
  const std::string Flat = Write("flat.png", OpaquePhoto(ColourOf(Deep)));
  for (const auto& Size : std::vector<std::vector<std::string>>{{"--width", "31", "--height", "22"}, {"--height", "19"}}) {
    const TPhoto Carved = Resize(In, "deep-out.png", Size);
    const TPhoto Opaque = Resize(Flat, "flat-out.png", Size);
    ASSERT_EQ(Carved.Planes.Depth, 16);
    ASSERT_EQ(Carved.Colour->Width, Opaque.Colour->Width);
    ASSERT_EQ(Carved.Colour->Height, Opaque.Colour->Height);
    for (int Y = 0; Y < Carved.Planes.Height; ++Y)
      for (int X = 0; X < Carved.Planes.Width; ++X) {
        const std::uint16_t* P = Carved.Planes.Pixel(std::size_t(Y) * Carved.Planes.Width + X);
        ASSERT_EQ(std::memcmp(Carved.Colour->PixelAddress(X, Y), Opaque.Colour->PixelAddress(X, Y), 3), 0) << X << "," << Y;
        const int SourceX = std::abs(P[0] - (P[0] + 128) / 257 * 257), SourceY = std::abs(P[1] - (P[1] + 128) / 257 * 257);
        ASSERT_TRUE(std::equal(P, P + 3, Deep.Pixel(std::size_t(SourceY) * W + SourceX))) << X << "," << Y;
      }
  }
}

// Colour over black chooses the seams; red and green name each pixel's source, whose alpha
// must have come along.
TEST_F(SamplePlanesJob, AlphaRidesTheSeamsOfTheColourOverBlack) {
  std::mt19937 Random(5);
  const int W = 36, H = 28;
  const TSamplePlanes Clear = Planes(W, H, 4, 8, [&](int X, int Y, std::uint16_t* P) {
    P[0] = std::uint16_t(X * 7), P[1] = std::uint16_t(Y * 9), P[2] = std::uint16_t(Random() % 256);
    P[3] = std::uint16_t(X < 9 || Y > 21 ? Random() % 3 : X % 7 == 0 ? 128 : 255); // clear margins
  });
  const std::string In = Write("clear.png", PhotoOf(Clear));
  const std::string Flat = Write("flat.png", OpaquePhoto(ColourOf(Clear)));
  const std::vector<std::string> Size = {"--width", "27", "--height", "23"};
  const TPhoto Carved = Resize(In, "clear-out.png", Size);
  const TPhoto Opaque = Resize(Flat, "flat-out.png", Size);
  ASSERT_TRUE(Carved.Planes.HasAlpha());
  ASSERT_EQ(Carved.Colour->Width, 27);
  int Transparent = 0;
  for (int Y = 0; Y < Carved.Planes.Height; ++Y)
    for (int X = 0; X < Carved.Planes.Width; ++X) {
      const std::uint16_t* P = Carved.Planes.Pixel(std::size_t(Y) * Carved.Planes.Width + X);
      ASSERT_EQ(std::memcmp(Carved.Colour->PixelAddress(X, Y), Opaque.Colour->PixelAddress(X, Y), 3), 0) << X << "," << Y;
      ASSERT_TRUE(std::equal(P, P + 4, Clear.Pixel(std::size_t(P[1] / 9) * W + P[0] / 7))) << X << "," << Y;
      Transparent += P[3] < 3;
    }
  // Nine columns and six rows of margin went first: what is left of them is less than before.
  EXPECT_LT(Transparent, 9 * 23 + 27 * 6 - 9 * 6 - 100);
}

TEST(SamplePlanes, InsertedPixelsAverageColourByGammaAtTheirDepthAndAlphaLinearly) {
  const struct {
    int Depth;
    std::uint16_t Left[2], Right[2]; // grey and alpha
  } Cases[] = {{8, {0, 0}, {255, 255}}, {8, {10, 3}, {200, 8}}, {16, {0, 0}, {65535, 65535}}, {16, {1000, 7}, {50000, 10}}};
  for (const auto& C : Cases) {
    TSamplePlanes Two = Planes(2, 1, 2, C.Depth);
    Two.Samples = {C.Left[0], C.Left[1], C.Right[0], C.Right[1]};
    const auto Colour = ColourOf(Two);
    TSeamCarvingComponent Engine(*Colour, nullptr, 2.2f);
    Engine.SetCostWindowSize(3);
    Engine.TrackOrigins = true;
    Engine.EnlargeWidth(3);
    const TSamplePlanes Wide = Carried(Two, Engine);
    ASSERT_EQ(Wide.Width, 3);
    // The one inserted pixel lies between the two, or after the right one (averaged with itself).
    const std::uint16_t* Made = Wide.Pixel(1)[0] == C.Left[0] && Wide.Pixel(1)[1] == C.Left[1] ? Wide.Pixel(2) : Wide.Pixel(1);
    const bool Between = Made == Wide.Pixel(1);
    const double Max = C.Depth == 16 ? 65535 : 255;
    const std::uint16_t A = Between ? C.Left[0] : C.Right[0], B = C.Right[0];
    const double Expected = std::nearbyint(Max * std::pow((std::pow(A / Max, 2.2) + std::pow(B / Max, 2.2)) / 2, 1 / 2.2));
    EXPECT_NEAR(Made[0], Expected, C.Depth == 8 ? 1 : 0) << C.Depth; // 8 bits: the engine's own table
    EXPECT_EQ(Made[1], std::lrint(((Between ? C.Left[1] : C.Right[1]) + C.Right[1]) / 2.0)) << C.Depth;
  }
}

TEST(SamplePlanes, PngAndTiffKeepDepthAndChannelsAndTransparencyIsRefusedWithoutAlpha) {
  for (TFileFormat Format : {TFileFormat::Png, TFileFormat::Tiff})
    for (int Channels = 1; Channels <= 4; ++Channels)
      for (int Depth : {8, 16}) {
        const std::string Case = (Format == TFileFormat::Png ? "PNG, " : "TIFF, ") + std::to_string(Channels) +
                                 " channels, " + std::to_string(Depth) + " bits";
        TSamplePlanes P = Planes(5, 3, Channels, Depth);
        for (std::size_t I = 0; I < P.Samples.size(); ++I) P.Samples[I] = std::uint16_t(I * 4099 % (Depth == 16 ? 65536 : 256));
        const TPhoto Back = DecodePhoto(EncodePhoto(PhotoOf(P), Format, {}, "p"), "p");
        // Opaque 8-bit images are the engine's own pixels, as ever.
        const bool Planed = Depth == 16 || Channels % 2 == 0;
        ASSERT_EQ(Back.Planes.Present(), Planed) << Case;
        // An encoder without grey at this depth writes the grey as colour, every channel alike.
        TSamplePlanes Expected = P;
        if (Back.Planes.Channels == P.Channels + 2 && P.Grey()) Expected = Planes(5, 3, P.Channels + 2, Depth, [&](int X, int Y, std::uint16_t* S) {
          const std::uint16_t* Grey = P.Pixel(std::size_t(Y) * 5 + X);
          S[0] = S[1] = S[2] = Grey[0];
          if (P.HasAlpha()) S[3] = Grey[1];
        });
        if (Planed) {
          EXPECT_EQ(Back.Planes.Samples, Expected.Samples) << Case;
          EXPECT_EQ(Back.Planes.Depth, Depth) << Case;
        }
        const auto Colour = ColourOf(Expected);
        EXPECT_EQ(std::memcmp(Back.Colour->Map, Colour->Map, std::size_t(Colour->Size)), 0) << Case;
        const bool Transparent = HasTransparency(P);
        EXPECT_EQ(Transparent, Channels % 2 == 0);
        for (TFileFormat Flat : {TFileFormat::Jpeg, TFileFormat::Bmp})
          EXPECT_EQ(ExitStatusOf([&] { EncodePhoto(PhotoOf(P), Flat, {}, "f"); }), Transparent ? ExitRefused : 0);
      }
  TSamplePlanes Opaque = Planes(2, 2, 4, 16);
  Opaque.Samples.assign(16, 65535);
  const TPhoto Flat = DecodePhoto(EncodePhoto(PhotoOf(Opaque), TFileFormat::Bmp, {}, "o.bmp"), "o.bmp");
  EXPECT_EQ(Flat.Colour->PixelAddress(1, 1)[0], 255);
  TSamplePlanes Clear = Opaque;
  Clear.Samples[3] = 0;
  EXPECT_EQ(MessageOf([&] { EncodePhoto(PhotoOf(Clear), TFileFormat::Jpeg, {}, "o.jpg"); }),
            std::string("o.jpg: the image has transparency, which JPEG cannot hold; write ") +
                (WebpWritable() ? "PNG, TIFF or WebP" : "PNG or TIFF") + " to keep it");
}

TEST(SamplePlanes, TheReadingBoundHoldsUncompressedSixteenBitAlpha) {
  // The largest files of an image at the limit: 16-bit RGBA without compression, as TIFF or
  // as PNG of stored blocks (a filter byte a row, five bytes a block of 65,535).
  for (std::int64_t Pixels : {std::int64_t(1), std::int64_t(24'000'000), DefaultMaxPixels}) {
    const std::uint64_t Raw = 8 * std::uint64_t(Pixels) + Pixels;
    EXPECT_GE(MaxCompressedBytes(Pixels), Raw + Raw / 65535 * 5 + 1024) << Pixels;
  }
}
