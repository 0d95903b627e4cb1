// TIFF metadata over bytes alone: every build runs these.
#include <gtest/gtest.h>

#include "exit_status_of.h"
#include "image_metadata.h"
#include "tiff_metadata.h"
#include "tiff_structure.h"

using namespace std::string_literals;

namespace {

// A one-pixel grey TIFF as an encoder writes it: upright, at 72 pixels an inch.
std::vector<std::uint8_t> EncodedTiff(bool Big) {
  return TestTiff(Big, {{256, 4, {1}}, {257, 4, {1}}, {258, 3, {8}}, {262, 3, {1}}, {273, 4, {8}},
                        {274, 3, {1}}, {279, 4, {1}}, {282, 5, {72, 1}}});
}

// Camera EXIF: descriptive tags (one, YCbCrPositioning, that a TIFF must not take over) and the
// Exif, Interoperability and GPS directories with values of each kind.
std::vector<std::uint8_t> CameraExif(bool Big) {
  return TestTiff(Big, {{271, 2, {}, "Camera\0"s},
                        {274, 3, {6}},
                        {282, 5, {300, 1}},
                        {531, 3, {1}},
                        {34665, 4, {}, "", {{33434, 5, {1, 250}},
                                            {36864, 7, {}, "0230"},
                                            {36867, 2, {}, "2024:01:02 03:04:05\0"s},
                                            {40965, 4, {}, "", {{1, 2, {}, "R98\0"s}}}}},
                        {34853, 4, {}, "", {{1, 2, {}, "N\0"s}, {2, 5, {48, 1, 51, 1, 2956, 100}}}}});
}

const std::vector<std::uint8_t> Icc(100, 7);

// A little-endian BigTIFF with a four-byte ICC profile and a GPS directory of one field.
std::vector<std::uint8_t> BigTiff(std::uint16_t GpsType, std::uint64_t GpsCount) {
  std::vector<std::uint8_t> Tiff = {'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0};
  auto Put = [&](std::uint64_t Value, int Bytes) {
    for (int I = 0; I < Bytes; ++I) Tiff.push_back(std::uint8_t(Value >> 8 * I));
  };
  Put(2, 8), Put(34675, 2), Put(7, 2), Put(4, 8), Put(0x21434349, 8);    // "ICC!"
  Put(34853, 2), Put(16, 2), Put(1, 8), Put(16 + 8 + 40 + 8, 8), Put(0, 8); // a LONG8 pointer
  Put(1, 8), Put(1, 2), Put(GpsType, 2), Put(GpsCount, 8), Put('N', 8), Put(0, 8);
  return Tiff;
}

} // namespace

TEST(TiffMetadata, ExifAndIccTravelInEveryByteOrderWithTheFilesOwnTagsWinning) {
  const struct {
    std::vector<std::uint16_t> Path;
    std::string Value;
  } Expected[] = {
      {{271}, "Camera\0"s},        {{274}, "1"},           {{282}, "72/1"},      {{531}, ""},
      {{34665, 33434}, "1/250"}, {{34665, 36864}, "0230"}, {{34665, 36867}, "2024:01:02 03:04:05\0"s},
      {{34665, 40965, 1}, "R98\0"s}, {{34853, 1}, "N\0"s}, {{34853, 2}, "48/1 51/1 2956/100"},
  };
  for (const bool FileBig : {false, true})
    for (const bool ExifBig : {false, true}) {
      const std::string Case = std::string(FileBig ? "MM" : "II") + " file, " + (ExifBig ? "MM" : "II") + " EXIF";
      const std::vector<std::uint8_t> Plain = EncodedTiff(FileBig);
      EXPECT_TRUE(ReadTiffMetadata(Plain, "p.tif").Exif.empty()) << Case; // no Exif directory, no EXIF
      // A multi-page file's link to its next page stays.
      std::vector<std::uint8_t> Paged = Plain;
      PutTestNumber(Paged, 8 + 2 + 12 * 8, 0x1000, 4, FileBig);
      const std::vector<std::uint8_t> Tiff = WithTiffMetadata(Paged, {Icc, CameraExif(ExifBig)}, "t.tif");
      const std::uint32_t First = TestNumber(Tiff, 4, 4);
      EXPECT_EQ(TestNumber(Tiff, First + 2 + 12 * TestNumber(Tiff, First, 2), 4), 0x1000u) << Case;
      EXPECT_EQ(TestValue(Tiff, {256}), "1") << Case;
      const TImageMetadata Read = ReadTiffMetadata(Tiff, "t.tif");
      EXPECT_EQ(Read.Icc, Icc) << Case;
      ASSERT_FALSE(Read.Exif.empty()) << Case;
      EXPECT_EQ(char(Read.Exif[0]), FileBig ? 'M' : 'I') << Case;
      for (const auto& E : Expected) {
        EXPECT_EQ(TestValue(Tiff, E.Path), E.Value) << Case << " in the file, tag " << E.Path.back();
        EXPECT_EQ(TestValue(Read.Exif, E.Path), E.Value) << Case << " in EXIF, tag " << E.Path.back();
      }
      // Read and written again, the EXIF data comes back the same.
      EXPECT_EQ(ReadTiffMetadata(WithTiffMetadata(EncodedTiff(FileBig), Read, "u.tif"), "u.tif").Exif, Read.Exif) << Case;
    }
}

TEST(TiffMetadata, DamagedStructuresNeitherCrashNorOverreadAndDropOnlyTheirPart) {
  const TTestField GoodIcc = {34675, 7, {}, std::string(Icc.begin(), Icc.end())};
  const struct {
    const char* Name;
    std::vector<std::uint8_t> Tiff;
    int ExitStatus;
    bool IccKept, Warned;
  } Cases[] = {
      {"Exif directory past the end", TestTiff(false, {{34665, 4, {0}, "", {}, 0xFFFFFFF0}, GoodIcc}), 0, true, true},
      {"Exif directory is the first", TestTiff(true, {{34665, 4, {0}, "", {}, 8}, GoodIcc}), 0, true, true},
      {"Interoperability leads back", TestTiff(false, {{34665, 4, {}, "", {{40965, 4, {0}, "", {}, 8}}}}), 0, false, true},
      {"huge count", TestTiff(true, {{34665, 4, {}, "", {{36867, 2, {}, "", {}, 8, 0xFFFFFFFF}}}}), 0, false, true},
      {"count overflows its size", TestTiff(false, {{34853, 4, {}, "", {{2, 12, {}, "", {}, 8, 0x20000001}}}}), 0, false, true},
      {"pointer of three values", TestTiff(false, {{34853, 4, {}, "", {{1, 2, {}, "N\0"s}}, {}, 3}}), 0, false, true},
      {"first directory past the end", {'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xF0}, 0, false, false},
      {"entries past the end", {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 1, 1}, 0, false, false},
      {"ICC profile past the end", TestTiff(false, {{34675, 7, {}, "", {}, 0xFFFFFF00, 1000}}), ExitFailure, false, false},
  };
  for (const auto& C : Cases) {
    testing::internal::CaptureStderr();
    TImageMetadata Read;
    EXPECT_EQ(ExitStatusOf([&] { Read = ReadTiffMetadata(C.Tiff, "h.tif"); }), C.ExitStatus) << C.Name;
    EXPECT_TRUE(Read.Exif.empty()) << C.Name;
    EXPECT_EQ(Read.Icc == Icc, C.IccKept) << C.Name;
    const std::string Warning = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Warning.find("h.tif: damaged EXIF") != std::string::npos, C.Warned) << C.Name << ": " << Warning;
    // The same structure as EXIF data to put into a TIFF: what is damaged is left out.
    testing::internal::CaptureStderr();
    const TImageMetadata Back = ReadTiffMetadata(WithTiffMetadata(EncodedTiff(true), {Icc, C.Tiff}, "w.tif"), "w.tif");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Back.Icc, Icc) << C.Name;
    EXPECT_TRUE(Back.Exif.empty()) << C.Name;
  }
  // BigTIFF: eight-byte counts and offsets; a count whose size passes 64 bits is damage.
  const TImageMetadata Wide = ReadTiffMetadata(BigTiff(2, 2), "b.tif");
  EXPECT_EQ(Wide.Icc, (std::vector<std::uint8_t>{'I', 'C', 'C', '!'}));
  EXPECT_EQ(TestValue(Wide.Exif, {34853, 1}), "N\0"s);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(ReadTiffMetadata(BigTiff(5, 1ull << 61), "b.tif").Exif.empty());
  testing::internal::GetCapturedStderr();
  // Every cut of a good file and of good EXIF data: ASan sees any read past the end.
  const std::vector<std::uint8_t> Good = WithTiffMetadata(EncodedTiff(false), {Icc, CameraExif(true)}, "g.tif");
  testing::internal::CaptureStderr();
  for (std::size_t Size = 0; Size < Good.size(); ++Size) {
    const std::vector<std::uint8_t> Cut(Good.begin(), Good.begin() + std::ptrdiff_t(Size));
    ExitStatusOf([&] { ReadTiffMetadata(Cut, "cut.tif"); });
    WithTiffMetadata(EncodedTiff(false), {{}, Cut}, "cut.tif");
  }
  testing::internal::GetCapturedStderr();
}
