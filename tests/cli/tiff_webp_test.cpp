// TIFF and WebP files (Linux build: libtiff and libwebp).
#include <gtest/gtest.h>

#include <cstring>

#include <tiffio.h>

#include "exit_status_of.h"
#include "message_of.h"
#include "photo_codecs.h"
#include "photo_file.h"
#include "test_folder.h"
#include "tiff_structure.h"

using namespace std::string_literals;

namespace {

TSamplePlanes Ramp(int W, int H, int Channels, int Depth) {
  TSamplePlanes P;
  P.Width = W, P.Height = H, P.Channels = Channels, P.Depth = Depth;
  P.Samples.resize(std::size_t(W) * H * Channels);
  for (std::size_t I = 0; I < P.Samples.size(); ++I) P.Samples[I] = std::uint16_t(I * 2741 % (Depth == 16 ? 65536 : 256));
  return P;
}

struct TTiffLayout {
  const char* Name;
  std::uint16_t Compression;
  bool Tiled;
  int Channels, Depth;
  std::uint16_t ExtraSample = EXTRASAMPLE_UNASSALPHA;
  std::uint16_t Photometric = 0xFFFF; // grey or RGB as the channels say
  std::uint16_t Planar = PLANARCONFIG_CONTIG;
};

// Writes Planes with libtiff itself as Layout says and reads the file's bytes back.
std::vector<std::uint8_t> TiffOf(const std::string& Path, const TSamplePlanes& P, const TTiffLayout& L) {
  TIFF* Tiff = TIFFOpen(Path.c_str(), "w");
  TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(P.Width));
  TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(P.Height));
  TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, std::uint16_t(P.Depth));
  TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(P.Channels));
  TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, L.Photometric != 0xFFFF ? L.Photometric : P.Grey() ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  TIFFSetField(Tiff, TIFFTAG_PLANARCONFIG, L.Planar);
  TIFFSetField(Tiff, TIFFTAG_COMPRESSION, L.Compression);
  if (P.HasAlpha()) TIFFSetField(Tiff, TIFFTAG_EXTRASAMPLES, 1, &L.ExtraSample);
  const std::size_t PixelBytes = std::size_t(P.Channels) * P.Depth / 8;
  auto Bytes = [&](int X, int Y, std::uint8_t* To, int Count) {
    for (int I = 0; I < Count * P.Channels; ++I) {
      const std::uint16_t V = X + I / P.Channels < P.Width ? P.Samples[(std::size_t(Y) * P.Width + X) * P.Channels + I] : 0;
      if (P.Depth == 16) std::memcpy(To + 2 * I, &V, 2);
      else To[I] = std::uint8_t(V);
    }
  };
  if (L.Tiled) {
    TIFFSetField(Tiff, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(Tiff, TIFFTAG_TILELENGTH, 16);
    std::vector<std::uint8_t> Tile(16 * 16 * PixelBytes);
    for (int Y = 0; Y < P.Height; Y += 16)
      for (int X = 0; X < P.Width; X += 16) {
        std::fill(Tile.begin(), Tile.end(), 0);
        for (int R = 0; R < 16 && Y + R < P.Height; ++R) Bytes(X, Y + R, &Tile[R * 16 * PixelBytes], 16);
        TIFFWriteTile(Tiff, Tile.data(), std::uint32_t(X), std::uint32_t(Y), 0, 0);
      }
  } else {
    TIFFSetField(Tiff, TIFFTAG_ROWSPERSTRIP, 3);
    std::vector<std::uint8_t> Row(std::size_t(P.Width) * PixelBytes);
    for (int Y = 0; Y < P.Height; ++Y) {
      Bytes(0, Y, Row.data(), P.Width);
      TIFFWriteScanline(Tiff, Row.data(), std::uint32_t(Y), 0);
    }
  }
  TIFFClose(Tiff);
  std::FILE* File = std::fopen(Path.c_str(), "rb");
  std::vector<std::uint8_t> Data(1 << 20);
  Data.resize(std::fread(Data.data(), 1, Data.size(), File));
  std::fclose(File);
  return Data;
}

// The samples a decoded photo holds: its planes, or its 8-bit colour as planes.
TSamplePlanes SamplesOf(const TPhoto& Photo) { return Photo.Planes.Present() ? Photo.Planes : PlanesOf(*Photo.Colour); }

class TiffAndWebp : public TTestFolder {};

} // namespace

TEST_F(TiffAndWebp, TiffLayoutsDecodeToTheirSamples) {
  const TTiffLayout Layouts[] = {
      {"grey 8 strips raw", COMPRESSION_NONE, false, 1, 8},       {"RGB 8 strips LZW", COMPRESSION_LZW, false, 3, 8},
      {"RGBA 8 tiles Deflate", COMPRESSION_ADOBE_DEFLATE, true, 4, 8}, {"grey alpha 16 PackBits", COMPRESSION_PACKBITS, false, 2, 16},
      {"RGB 16 tiles LZW", COMPRESSION_LZW, true, 3, 16},          {"RGBA 16 strips Deflate", COMPRESSION_DEFLATE, false, 4, 16},
  };
  for (const auto& L : Layouts) {
    const TSamplePlanes Source = Ramp(37, 21, L.Channels, L.Depth);
    const TPhoto Photo = DecodePhoto(TiffOf(PathOf("t.tif"), Source, L), "t.tif");
    EXPECT_EQ(SamplesOf(Photo).Samples, Source.Samples) << L.Name;
    EXPECT_EQ(Photo.Planes.Present(), L.Depth == 16 || L.Channels % 2 == 0) << L.Name;
    // Our own writer gives back what it was given.
    EXPECT_EQ(SamplesOf(DecodePhoto(EncodePhoto(Photo, TFileFormat::Tiff, {}, "o"), "o")).Samples, Source.Samples) << L.Name;
  }
}

TEST_F(TiffAndWebp, TiffLayoutsWeDoNotTakeAreRefusedAndDamageFails) {
  TSamplePlanes Premultiplied = Ramp(4, 2, 2, 8);
  Premultiplied.Samples = {100, 200, 50, 100, 0, 0, 255, 255, 30, 60, 10, 255, 3, 6, 1, 2};
  const TPhoto Straight = DecodePhoto(TiffOf(PathOf("a.tif"), Premultiplied, {"associated", COMPRESSION_NONE, false, 2, 8, EXTRASAMPLE_ASSOCALPHA}), "a.tif");
  EXPECT_EQ(Straight.Planes.Samples, (std::vector<std::uint16_t>{128, 200, 128, 100, 0, 0, 255, 255, 128, 60, 10, 255, 128, 6, 128, 2}));

  const struct {
    TTiffLayout Layout;
    const char* Message;
  } Refused[] = {
      {{"white is zero", COMPRESSION_NONE, false, 1, 8, 0, PHOTOMETRIC_MINISWHITE}, "r.tif: TIFF images of photometric interpretation 0 are not supported (only grey and RGB)"},
      {{"separate", COMPRESSION_NONE, false, 3, 8, 0, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE}, "r.tif: TIFF images with separate planes are not supported"},
      {{"CCITT", COMPRESSION_CCITTRLE, false, 1, 8}, "r.tif: TIFF compression 2 is not supported (only none, LZW, Deflate and PackBits)"},
  };
  for (const auto& R : Refused) {
    const auto Data = TiffOf(PathOf("r.tif"), Ramp(8, 4, R.Layout.Channels, R.Layout.Depth), R.Layout);
    EXPECT_EQ(MessageOf([&] { DecodePhoto(Data, "r.tif"); }), R.Message) << R.Layout.Name;
    EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Data, "r.tif"); }), ExitRefused);
  }
  const auto Good = EncodePhoto(DecodePhoto(TiffOf(PathOf("g.tif"), Ramp(40, 30, 3, 16), {"g", COMPRESSION_LZW, false, 3, 16}), "g"),
                                TFileFormat::Tiff, {}, "g");
  for (std::size_t Cut : {std::size_t(9), Good.size() / 2, Good.size() - 30}) {
    const std::vector<std::uint8_t> Short(Good.begin(), Good.begin() + std::ptrdiff_t(Cut));
    EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Short, "cut.tif"); }), ExitFailure) << Cut;
  }
  EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Good, "big.tif", 40 * 30 - 1); }), ExitRefused);
}

TEST_F(TiffAndWebp, WebpIsLosslessUnlessAQualityIsGivenAndKeepsAlpha) {
  TPhoto Clear;
  Clear.Planes = Ramp(33, 17, 4, 8);
  const auto Lossless = EncodePhoto(Clear, TFileFormat::Webp, {}, "l.webp");
  EXPECT_EQ(DecodePhoto(Lossless, "l.webp").Planes.Samples, Clear.Planes.Samples);
  const TPhoto Lossy = DecodePhoto(EncodePhoto(Clear, TFileFormat::Webp, {50}, "q.webp"), "q.webp");
  EXPECT_TRUE(Lossy.Planes.HasAlpha());
  EXPECT_NE(Lossy.Planes.Samples, Clear.Planes.Samples);
  auto Cut = Lossless;
  Cut.resize(Cut.size() / 2);
  EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Cut, "cut.webp"); }), ExitFailure);
  EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(Lossless, "big.webp", 33 * 17 - 1); }), ExitRefused);
}

TEST_F(TiffAndWebp, CameraMetadataTravelsThroughTiffAndWebpWithTheOrientationApplied) {
  const std::vector<std::uint8_t> Icc(3000, 42);
  TPhoto Camera; // as a camera's JPEG holds it: stored turned (orientation 6)
  Camera.Colour = ColourOf(Ramp(9, 7, 3, 8));
  Camera.Metadata = {Icc, TestTiff(true, {{274, 3, {6}},
                                          {34665, 4, {}, "", {{33434, 5, {1, 250}},
                                                              {36864, 7, {}, "0230"},
                                                              {36867, 2, {}, "2024:01:02 03:04:05\0"s}}},
                                          {34853, 4, {}, "", {{2, 5, {48, 1, 51, 1, 2956, 100}}}}})};
  const auto Jpeg = EncodePhoto(Camera, TFileFormat::Jpeg, {}, "c.jpg");
  const struct {
    std::vector<std::uint16_t> Path;
    std::string Value;
  } Kept[] = {{{274}, "1"}, {{34665, 33434}, "1/250"}, {{34665, 36864}, "0230"},
              {{34665, 36867}, "2024:01:02 03:04:05\0"s}, {{34853, 2}, "48/1 51/1 2956/100"}};
  std::vector<std::uint8_t> Tiff;
  for (const TFileFormat Through : {TFileFormat::Tiff, TFileFormat::Webp}) {
    const auto Middle = EncodePhoto(DecodePhoto(Jpeg, "c.jpg"), Through, {}, "m");
    if (Through == TFileFormat::Tiff) Tiff = Middle;
    const TPhoto Back = DecodePhoto(EncodePhoto(DecodePhoto(Middle, "m"), TFileFormat::Jpeg, {}, "j"), "j");
    EXPECT_EQ(Back.Colour->Width, 7) << int(Through); // turned once, upright since
    EXPECT_EQ(Back.Metadata.Icc, Icc) << int(Through);
    for (const auto& K : Kept) EXPECT_EQ(TestValue(Back.Metadata.Exif, K.Path), K.Value) << int(Through) << " " << K.Path.back();
  }
  // libtiff finds the profile and the Exif directory of the TIFF we wrote.
  const std::string Path = PathOf("exif.tif");
  std::FILE* File = std::fopen(Path.c_str(), "wb");
  std::fwrite(Tiff.data(), 1, Tiff.size(), File);
  std::fclose(File);
  TIFF* Read = TIFFOpen(Path.c_str(), "r");
  ASSERT_TRUE(Read);
  std::uint32_t IccSize = 0;
  void* IccData = nullptr;
  toff_t ExifAt = 0;
  char* Date = nullptr;
  EXPECT_TRUE(TIFFGetField(Read, TIFFTAG_ICCPROFILE, &IccSize, &IccData));
  EXPECT_EQ(IccSize, Icc.size());
  ASSERT_TRUE(TIFFGetField(Read, TIFFTAG_EXIFIFD, &ExifAt));
  ASSERT_TRUE(TIFFReadEXIFDirectory(Read, ExifAt));
  ASSERT_TRUE(TIFFGetField(Read, EXIFTAG_DATETIMEORIGINAL, &Date));
  EXPECT_STREQ(Date, "2024:01:02 03:04:05");
  TIFFClose(Read);
}
