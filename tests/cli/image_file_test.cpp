#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "exit_status_of.h"
#include "message_of.h"
#include "image_file.h"
#include "photo_file.h"
#include "temporary_file.h"

namespace {

namespace fs = std::filesystem;

// A 24-bit image with pixel (x, y) = (blue x, green y, red x + y), odd width so rows are padded.
std::unique_ptr<TLinearBitmap> Gradient(int W, int H) {
  auto B = std::make_unique<TLinearBitmap>(W, H, lpf24Bit);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      std::uint8_t* P = B->PixelAddress(X, Y);
      P[0] = std::uint8_t(X * 9);
      P[1] = std::uint8_t(Y * 7);
      P[2] = std::uint8_t(X + Y);
    }
  return B;
}

std::unique_ptr<TLinearBitmap> Indexed(int W, int H) {
  auto B = std::make_unique<TLinearBitmap>(W, H, lpf8Bit);
  for (int I = 0; I < 256; ++I) (*B->Palette)[I] = {std::uint8_t(I), std::uint8_t(255 - I), std::uint8_t(I / 2)};
  for (int I = 0; I < B->Size; ++I) B->Map[I] = std::uint8_t(I * 13);
  return B;
}

void ExpectSamePixels(const TLinearBitmap& A, const TLinearBitmap& B) {
  ASSERT_EQ(A.Width, B.Width);
  ASSERT_EQ(A.Height, B.Height);
  ASSERT_EQ(A.PixelFormat, B.PixelFormat);
  for (int Y = 0; Y < A.Height; ++Y)
    ASSERT_EQ(std::memcmp(A.ScanLine(Y), B.ScanLine(Y), std::size_t(A.Width) * A.PixelSize), 0) << "row " << Y;
  if (A.PixelFormat == lpf8Bit) {
    EXPECT_EQ(std::memcmp(A.Palette, B.Palette, sizeof(TPaletteTable)), 0);
  }
}

void PutU32At(std::vector<std::uint8_t>& Data, std::size_t At, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) Data[At + I] = std::uint8_t(V >> (8 * I));
}

// ---- PNG files built byte by byte, so that each can be damaged where a test wants ----

std::uint32_t Crc32(const std::uint8_t* P, std::size_t N) {
  std::uint32_t Crc = 0xFFFFFFFFu;
  for (std::size_t I = 0; I < N; ++I) {
    Crc ^= P[I];
    for (int K = 0; K < 8; ++K) Crc = (Crc >> 1) ^ (0xEDB88320u & (0u - (Crc & 1)));
  }
  return ~Crc;
}

void PutBigEndian(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(std::uint8_t(V >> Shift));
}

void PutChunk(std::vector<std::uint8_t>& Out, const char* Type, const std::vector<std::uint8_t>& Body,
              bool GoodCrc = true) {
  PutBigEndian(Out, std::uint32_t(Body.size()));
  const std::size_t Start = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Body.begin(), Body.end());
  PutBigEndian(Out, Crc32(&Out[Start], Out.size() - Start) ^ (GoodCrc ? 0u : 1u));
}

// Raw scan lines (each with its filter byte) as a zlib stream of one stored block.
std::vector<std::uint8_t> Zlib(const std::vector<std::uint8_t>& Raw, bool GoodAdler = true) {
  std::vector<std::uint8_t> Out = {0x78, 0x01, 0x01, std::uint8_t(Raw.size()), std::uint8_t(Raw.size() >> 8),
                                   std::uint8_t(~Raw.size()), std::uint8_t(~Raw.size() >> 8)};
  Out.insert(Out.end(), Raw.begin(), Raw.end());
  std::uint32_t A = 1, B = 0;
  for (std::uint8_t Byte : Raw) A = (A + Byte) % 65521, B = (B + A) % 65521;
  PutBigEndian(Out, (B << 16 | A) ^ (GoodAdler ? 0u : 1u));
  return Out;
}

struct TPngLayout {
  std::uint32_t Width = 2, Height = 2;
  std::uint8_t Depth = 8, ColourType = 0;
  std::vector<std::uint8_t> Raw = {0, 10, 20, 0, 30, 40}; // 2 x 2 grey
  std::vector<std::pair<const char*, std::vector<std::uint8_t>>> Before; // chunks before IDAT
  bool GoodIdatCrc = true;
  bool GoodAdler = true; // the zlib stream's own checksum
  bool End = true;
};

std::vector<std::uint8_t> MakePng(const TPngLayout& Layout) {
  std::vector<std::uint8_t> Out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, Header;
  PutBigEndian(Header, Layout.Width);
  PutBigEndian(Header, Layout.Height);
  Header.insert(Header.end(), {Layout.Depth, Layout.ColourType, 0, 0, 0});
  PutChunk(Out, "IHDR", Header);
  for (const auto& [Type, Body] : Layout.Before) PutChunk(Out, Type, Body);
  PutChunk(Out, "IDAT", Zlib(Layout.Raw, Layout.GoodAdler), Layout.GoodIdatCrc);
  if (Layout.End) PutChunk(Out, "IEND", {});
  return Out;
}

// A 16 x 8 colour JPEG and an 8 x 8 grey one, baseline, made by a common encoder.
const std::vector<std::uint8_t> ColourJpeg = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,
    0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03, 0x03, 0x03, 0x03, 0x04, 0x03, 0x03, 0x04, 0x05,
    0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07, 0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c, 0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d,
    0x0e, 0x12, 0x10, 0x0d, 0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10, 0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f,
    0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x03, 0x04, 0x04, 0x05, 0x04, 0x05,
    0x09, 0x05, 0x05, 0x09, 0x14, 0x0d, 0x0b, 0x0d, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xff, 0xc4, 0x00,
    0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08,
    0xff, 0xc4, 0x00, 0x18, 0x10, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x16, 0x63, 0x91, 0xff, 0xc4, 0x00, 0x16, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x08, 0xff, 0xc4, 0x00, 0x17, 0x11, 0x00, 0x03, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0x63, 0xa1, 0xff, 0xda, 0x00, 0x0c, 0x03,
    0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x8d, 0xa7, 0xd6, 0x2d, 0x2e, 0x28, 0xf9, 0x61, 0xa3, 0x9c, 0x35,
    0xd1, 0x3e, 0xb1, 0x68, 0x47, 0xcb, 0x03, 0x86, 0xba, 0x7f, 0xff, 0xd9,
};
const std::vector<std::uint8_t> GreyJpeg = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,
    0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03, 0x03, 0x03, 0x03, 0x04, 0x03, 0x03, 0x04, 0x05,
    0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07, 0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c, 0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d,
    0x0e, 0x12, 0x10, 0x0d, 0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10, 0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f,
    0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff, 0xc0, 0x00, 0x0b, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01,
    0x11, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0xff, 0xc4, 0x00, 0x17, 0x10, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x19, 0x65, 0xa3, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0x15,
    0x84, 0x8c, 0xcf, 0xff, 0xd9,
};

struct THostileFile {
  const char* What;
  std::vector<std::uint8_t> Data;
  std::string Message; // a message ending in '(' pins only the start: the codec's words follow
  int Status;
};

void ExpectRefusedOrFailed(const THostileFile& C, const std::string& Name) {
  std::string Message = MessageOf([&] { DecodeImage(C.Data, Name); });
  if (!C.Message.empty() && C.Message.back() == '(') Message = Message.substr(0, C.Message.size());
  EXPECT_EQ(Message, C.Message) << C.What;
  EXPECT_EQ(ExitStatusOf([&] { DecodeImage(C.Data, Name); }), C.Status) << C.What;
}

class TempFolder {
public:
  TempFolder() : Path_(fs::temp_directory_path() / ("fr-cli-" + std::to_string(Counter++) + "-" +
                                                    std::to_string(reinterpret_cast<std::uintptr_t>(this)))) {
    fs::create_directories(Path_);
  }
  ~TempFolder() { fs::remove_all(Path_); }
  std::string operator/(const std::string& Name) const { return (Path_ / Name).string(); }
  std::size_t FileCount() const { return std::distance(fs::directory_iterator(Path_), fs::directory_iterator()); }

private:
  static inline int Counter = 0;
  fs::path Path_;
};

} // namespace

TEST(BmpFile, RoundTripsBothDepthsWithPaddedRows) {
  for (int W : {1, 2, 3, 5}) {
    auto Colour = Gradient(W, 3);
    ExpectSamePixels(*DecodeImage(EncodeBmp(*Colour), "c.bmp"), *Colour);
    auto Palettised = Indexed(W, 4);
    ExpectSamePixels(*DecodeImage(EncodeBmp(*Palettised), "p.bmp"), *Palettised);
  }
}

TEST(BmpFile, ReadsTopDownRowsAndShortPalettes) {
  auto Colour = Gradient(3, 2);
  std::vector<std::uint8_t> Data = EncodeBmp(*Colour);
  // Make it top-down: negate the height and swap the two 12-byte rows.
  PutU32At(Data, 22, std::uint32_t(-2));
  std::swap_ranges(Data.begin() + 54, Data.begin() + 66, Data.begin() + 66);
  ExpectSamePixels(*DecodeImage(Data, "t.bmp"), *Colour);

  auto Palettised = Indexed(2, 1);
  Palettised->Map[1] = 1;
  Data = EncodeBmp(*Palettised);
  PutU32At(Data, 46, 2); // only two palette entries used; the rest read as black
  auto Read = DecodeImage(Data, "p.bmp");
  EXPECT_EQ((*Read->Palette)[1].Green, 254);
  EXPECT_EQ((*Read->Palette)[2].Green, 0);
}

TEST(BmpFile, HostileFilesAreRefusedOrFailWithTheirReason) {
  const std::vector<std::uint8_t> Good = EncodeBmp(*Gradient(3, 2));
  auto Patched = [&](std::size_t At, std::uint32_t V, int Bytes = 4) {
    std::vector<std::uint8_t> Data = Good;
    for (int I = 0; I < Bytes; ++I) Data[At + I] = std::uint8_t(V >> (8 * I));
    return Data;
  };
  auto Sized = [&](std::uint32_t Width, std::uint32_t Height) {
    std::vector<std::uint8_t> Data = Patched(18, Width);
    PutU32At(Data, 22, Height);
    return Data;
  };
  std::vector<std::uint8_t> Palette = EncodeBmp(*Indexed(2, 2));
  PutU32At(Palette, 46, 257);
  std::vector<std::uint8_t> ShortPalette = EncodeBmp(*Indexed(2, 2));
  PutU32At(ShortPalette, 46, 2);
  const std::string TooLarge = "x.bmp: image too large (";
  const std::string Limit = " pixels, the limit is 150 megapixels; see --max-megapixels)";
  const THostileFile Cases[] = {
      {"RLE", Patched(30, 1), "x.bmp: RLE-compressed BMP files are not supported", ExitRefused},
      {"bit fields", Patched(30, 3), "x.bmp: compressed BMP files are not supported", ExitRefused},
      {"32-bit", Patched(28, 32, 2), "x.bmp: 32-bit BMP files are not supported (only 8-bit palettised and 24-bit)", ExitRefused},
      {"1-bit", Patched(28, 1, 2), "x.bmp: 1-bit BMP files are not supported (only 8-bit palettised and 24-bit)", ExitRefused},
      {"core header", Patched(14, 12), "x.bmp: BMP files with a 12-byte header are not supported", ExitRefused},
      {"huge header", Patched(14, 0x7FFFFFF0), "x.bmp: damaged BMP header (header size 2147483632)", ExitFailure},
      {"planes", Patched(26, 2, 2), "x.bmp: damaged BMP header (planes)", ExitFailure},
      {"wider than the data", Patched(18, 100000), "x.bmp: truncated BMP file", ExitFailure},
      {"height 0", Patched(22, 0), "x.bmp: damaged BMP header (size)", ExitFailure},
      {"negative width", Patched(18, std::uint32_t(-3)), "x.bmp: damaged BMP header (size)", ExitFailure},
      {"pixel offset 0", Patched(10, 0), "x.bmp: damaged BMP header (pixel data at offset 0, inside the headers)", ExitFailure},
      {"pixel offset past the end", Patched(10, 54 + 65536), "x.bmp: truncated BMP file", ExitFailure},
      {"pixel offset far past the headers", Patched(10, 0xFFFFFF00),
       "x.bmp: damaged BMP header (pixel data at offset 4294967040, far past the headers)", ExitRefused},
      {"palette size", Palette, "p.bmp: damaged BMP header (palette size)", ExitFailure},
      {"palette index past the palette", ShortPalette, "p.bmp: damaged BMP file (palette index 13 past the palette)", ExitFailure},
      {"widest row", Sized(0x7FFFFFFF, 2), TooLarge + "2147483647 x 2" + Limit, ExitRefused},
      // The byte count of this one overflows 64 bits.
      {"widest and highest", Sized(0x7FFFFFFF, 0x7FFFFFFF), TooLarge + "2147483647 x 2147483647" + Limit, ExitRefused},
      {"lowest top-down", Sized(3, 0x80000000), TooLarge + "3 x 2147483648" + Limit, ExitRefused},
      {"over the limit", Sized(15000, 10001), TooLarge + "15000 x 10001" + Limit, ExitRefused},
      {"cut short", std::vector<std::uint8_t>(Good.begin(), Good.end() - 1), "x.bmp: truncated BMP file", ExitFailure},
      {"cut in the header", std::vector<std::uint8_t>(Good.begin(), Good.begin() + 20), "x.bmp: truncated BMP file", ExitFailure},
      {"empty", {}, "x.bmp: empty file", ExitFailure},
      {"GIF", {'G', 'I', 'F', '8'}, "x.bmp: not a BMP, PNG, JPEG, TIFF or WebP image", ExitRefused},
  };
  for (const auto& C : Cases) ExpectRefusedOrFailed(C, C.Message.rfind("p.bmp", 0) == 0 ? "p.bmp" : "x.bmp");
  // Within a lowered limit, and just above it.
  EXPECT_EQ(DecodeImage(Good, "x.bmp", 6)->Width, 3);
  EXPECT_EQ(MessageOf([&] { DecodeImage(Good, "x.bmp", 5); }),
            "x.bmp: image too large (3 x 2 pixels, the limit is 0.000005 megapixels; see --max-megapixels)");
}

TEST(PngFile, GreyStaysEightBitAndColourBecomesTwentyFourBit) {
  auto Colour = Gradient(5, 3);
  ExpectSamePixels(*DecodeImage(EncodePng(*Colour), "c.png"), *Colour);

  TLinearBitmap Grey(4, 2, lpf8Bit);
  *Grey.Palette = GreyPalette;
  for (int I = 0; I < Grey.Size; ++I) Grey.Map[I] = std::uint8_t(I * 30);
  ExpectSamePixels(*DecodeImage(EncodePng(Grey), "g.png"), Grey);

  // Another palette is written as colour.
  auto Palettised = Indexed(2, 2);
  auto Read = DecodeImage(EncodePng(*Palettised), "p.png");
  EXPECT_EQ(Read->PixelFormat, lpf24Bit);
  const TColorTriple& Expected = (*Palettised->Palette)[Palettised->Map[3]];
  EXPECT_EQ(Read->PixelAddress(1, 1)[0], Expected.Blue);
  EXPECT_EQ(Read->PixelAddress(1, 1)[2], Expected.Red);
}

TEST(PngFile, LowDepthGreyIsScaledAndPalettesBecomeColour) {
  TPngLayout LowGrey; // 2 bits: 0, 1, 2, 3 in one row
  LowGrey.Width = 4, LowGrey.Height = 1, LowGrey.Depth = 2, LowGrey.Raw = {0, 0x1B};
  auto Grey = DecodeImage(MakePng(LowGrey), "g.png");
  ASSERT_EQ(Grey->PixelFormat, lpf8Bit);
  EXPECT_EQ(std::vector<int>(Grey->Map, Grey->Map + 4), (std::vector<int>{0, 85, 170, 255}));

  TPngLayout Indexed4; // 4-bit indices 1, 0, 1 into a two-colour palette
  Indexed4.Width = 3, Indexed4.Height = 1, Indexed4.Depth = 4, Indexed4.ColourType = 3, Indexed4.Raw = {0, 0x10, 0x10};
  Indexed4.Before = {{"PLTE", {255, 0, 0, 0, 0, 255}}};
  auto Colour = DecodeImage(MakePng(Indexed4), "p.png");
  ASSERT_EQ(Colour->PixelFormat, lpf24Bit);
  EXPECT_EQ(std::vector<int>(Colour->Map, Colour->Map + 9), (std::vector<int>{255, 0, 0, 0, 0, 255, 255, 0, 0}));
}

TEST(PngFile, HostileFilesAreRefusedOrFailWithTheirReason) {
  auto With = [](auto Change) {
    TPngLayout Layout;
    Change(Layout);
    return MakePng(Layout);
  };
  const std::vector<std::uint8_t> Good = MakePng({});
  const std::string Damaged = "x.png: damaged PNG file (";
  const std::string Alpha = "x.png: images with an alpha channel are not supported";
  const THostileFile Cases[] = {
      {"image data checksum", With([](TPngLayout& S) { S.GoodIdatCrc = false; }), Damaged, ExitFailure},
      {"ancillary checksum", [&] {
         std::vector<std::uint8_t> Data = With([](TPngLayout& S) { S.Before = {{"tEXt", {'a', 0, 'b'}}}; });
         Data[33 + 8 + 3 + 3] ^= 1; // the tEXt chunk's checksum
         return Data;
       }(), Damaged, ExitFailure},
      {"palette index past the palette", With([](TPngLayout& S) {
         S.ColourType = 3, S.Before = {{"PLTE", {1, 2, 3, 4, 5, 6}}}, S.Raw = {0, 1, 0, 0, 0, 5};
       }), "x.png: damaged PNG file (palette index 5 past the palette)", ExitFailure},
      {"palette image without palette", With([](TPngLayout& S) { S.ColourType = 3; }), Damaged, ExitFailure},
      {"fewer rows than declared", With([](TPngLayout& S) { S.Raw.resize(3); }), Damaged, ExitFailure},
#ifndef _WIN32
      // Whatever follows in the stream is not inflated (WIC's decoder decides for itself).
      {"more rows than declared", With([](TPngLayout& S) { S.Raw.resize(60000); }),
       "x.png: damaged PNG file (more image data than the image needs)", ExitRefused},
#endif
      {"zlib checksum", With([](TPngLayout& S) { S.GoodAdler = false; }), Damaged, ExitFailure},
      {"no end chunk", With([](TPngLayout& S) { S.End = false; }), Damaged, ExitFailure},
      {"cut short", std::vector<std::uint8_t>(Good.begin(), Good.begin() + std::ptrdiff_t(Good.size()) / 2), Damaged, ExitFailure},
      {"bit depth 3", With([](TPngLayout& S) { S.Depth = 3; }), "x.png: damaged PNG file (invalid header)", ExitFailure},
      {"width 0", With([](TPngLayout& S) { S.Width = 0; }), "x.png: damaged PNG file (invalid header)", ExitFailure},
      {"width over 2^31", With([](TPngLayout& S) { S.Width = 0x80000000u; }), "x.png: damaged PNG file (invalid header)", ExitFailure},
      {"header not first", std::vector<std::uint8_t>(Good.begin(), Good.begin() + 12), "x.png: damaged PNG file (no valid header)", ExitFailure},
      {"16 bits", With([](TPngLayout& S) { S.Depth = 16; }), "x.png: 16-bit images are not supported", ExitRefused},
      {"grey and alpha", With([](TPngLayout& S) { S.ColourType = 4; }), Alpha, ExitRefused},
      {"RGBA", With([](TPngLayout& S) { S.ColourType = 6; }), Alpha, ExitRefused},
      {"transparency chunk", With([](TPngLayout& S) { S.Before = {{"tRNS", {0, 10}}}; }), Alpha, ExitRefused},
      // 243 KB of zeros inflate to 250 megapixels: refused from the header alone.
      {"decompression bomb", With([](TPngLayout& S) { S.Width = S.Height = 15800; }),
       "x.png: image too large (15800 x 15800 pixels, the limit is 150 megapixels; see --max-megapixels)", ExitRefused},
  };
  for (const auto& C : Cases) ExpectRefusedOrFailed(C, "x.png");
#ifndef _WIN32
  // Where alpha and 16 bits are kept, the image data ends where the image does too: two bytes
  // a pixel here, four a pixel for 16-bit grey with alpha.
  for (const std::uint8_t Depth : {8, 16}) {
    TPngLayout Layout;
    Layout.Depth = Depth, Layout.ColourType = 4;
    Layout.Raw.assign(2 * (1 + 2 * Depth / 4), 0); // two rows, each with its filter byte
    EXPECT_EQ(DecodePhoto(MakePng(Layout), "x.png").Planes.Width, 2) << int(Depth);
    Layout.Raw.resize(Layout.Raw.size() + 1);
    EXPECT_EQ(ExitStatusOf([&] { DecodePhoto(MakePng(Layout), "x.png"); }), ExitRefused) << int(Depth);
  }
#endif
}

TEST(JpegFile, ColourBecomesTwentyFourBitAndGreyEightBit) {
  auto Colour = DecodeImage(ColourJpeg, "c.jpg");
  EXPECT_EQ(Colour->PixelFormat, lpf24Bit);
  EXPECT_EQ(Colour->Width, 16);
  EXPECT_EQ(Colour->Height, 8);
  EXPECT_NEAR(Colour->Map[2], 254, 3); // red at the top, blue at the bottom
  EXPECT_NEAR(Colour->ScanLine(7)[0], 254, 3);
  auto Grey = DecodeImage(GreyJpeg, "g.jpg");
  EXPECT_EQ(Grey->PixelFormat, lpf8Bit);
  EXPECT_EQ(std::memcmp(Grey->Palette, &GreyPalette, sizeof(TPaletteTable)), 0);
  EXPECT_LT(Grey->Map[0], Grey->ScanLine(7)[0]);
}

TEST(JpegFile, HostileFilesAreRefusedOrFailWithTheirReason) {
  const std::uint8_t FrameMarker[] = {0xFF, 0xC0};
  const std::size_t Frame = std::size_t(
      std::search(ColourJpeg.begin(), ColourJpeg.end(), std::begin(FrameMarker), std::end(FrameMarker)) - ColourJpeg.begin());
  ASSERT_LT(Frame, ColourJpeg.size());
  auto Patched = [&](std::size_t At, std::vector<std::uint8_t> Bytes) {
    std::vector<std::uint8_t> Data = ColourJpeg;
    std::copy(Bytes.begin(), Bytes.end(), Data.begin() + std::ptrdiff_t(Frame + At));
    return Data;
  };
  auto Cut = [&](std::size_t Size) { return std::vector<std::uint8_t>(ColourJpeg.begin(), ColourJpeg.begin() + std::ptrdiff_t(Size)); };
  const std::string Damaged = "x.jpg: damaged JPEG file (";
  const THostileFile Cases[] = {
      {"lossless", Patched(1, {0xC3}), "x.jpg: lossless JPEG images are not supported", ExitRefused},
      {"arithmetic", Patched(1, {0xC9}), "x.jpg: arithmetic-coded JPEG images are not supported", ExitRefused},
      {"progressive arithmetic", Patched(1, {0xCA}), "x.jpg: arithmetic-coded JPEG images are not supported", ExitRefused},
      {"hierarchical", Patched(1, {0xC5}), "x.jpg: hierarchical JPEG images are not supported", ExitRefused},
      {"12-bit", Patched(4, {12}), "x.jpg: 12-bit JPEG images are not supported", ExitRefused},
      {"CMYK", Patched(9, {4}), "x.jpg: CMYK JPEG images are not supported", ExitRefused},
      {"two components", Patched(9, {2}), "x.jpg: JPEG images with 2 components are not supported", ExitRefused},
      {"over the limit", Patched(5, {0xFF, 0xFF, 0xFF, 0xFF}),
       "x.jpg: image too large (65535 x 65535 pixels, the limit is 150 megapixels; see --max-megapixels)", ExitRefused},
      {"height 0", Patched(5, {0, 0}), "x.jpg: damaged JPEG file (frame size 0)", ExitFailure},
#ifndef _WIN32
      // Only an entropy decoder can see these; Wine's WIC decodes what the data holds and
      // reports nothing.
      {"frame larger than the data", Patched(7, {0, 40}), Damaged, ExitFailure},
      {"frame smaller than the data", Patched(7, {0, 8}), Damaged, ExitFailure},
#endif
      {"frame header length", Patched(3, {9}), "x.jpg: damaged JPEG file (frame header)", ExitFailure},
      {"cut in the scan", Cut(ColourJpeg.size() - 20), Damaged, ExitFailure},
      {"cut before the frame", Cut(Frame), "x.jpg: damaged JPEG file (no frame header)", ExitFailure},
      {"segment longer than the file", Cut(Frame + 6), "x.jpg: damaged JPEG file (truncated header)", ExitFailure},
  };
  for (const auto& C : Cases) ExpectRefusedOrFailed(C, "x.jpg");
}

TEST(ImageFiles, WritingReplacesTheTargetOnlyWhenComplete) {
  TempFolder Folder;
  const std::string Out = Folder / "out.BMP";
  WriteImageFile(Out, *Gradient(3, 3));
  WriteImageFile(Out, *Gradient(4, 2)); // over an existing file
  EXPECT_EQ(ReadImageFile(Out)->Width, 4);
  EXPECT_EQ(Folder.FileCount(), 1u);

  EXPECT_EQ(MessageOf([&] { WriteImageFile(Folder / "out.gif", *Gradient(1, 1)); }),
            Folder / "out.gif" + ": the output must end in .bmp or .png");
  EXPECT_EQ(ExitStatusOf([&] { WriteImageFile(Folder / "missing/x.png", *Gradient(1, 1)); }), ExitFailure);
  EXPECT_EQ(Folder.FileCount(), 1u);
  EXPECT_EQ(ExitStatusOf([&] { ReadImageFile(Folder / "nothing.png"); }), ExitFailure);
}

TEST(ImageFiles, ReadingNamesThePathAndStopsWhereTheFileEnds) {
  TempFolder Folder;
  const std::string Directory = Folder / "folder.png";
  fs::create_directories(Directory);
  EXPECT_EQ(MessageOf([&] { ReadImageFile(Directory); }), Directory + ": is a directory");
  EXPECT_EQ(ExitStatusOf([&] { ReadImageFile(Directory); }), ExitFailure);

  // Whatever follows the declared pixel data is never needed.
  std::vector<std::uint8_t> Data = EncodeBmp(*Gradient(300, 300));
  Data.resize(Data.size() + 100000, 0xEE);
  { std::ofstream(Folder / "tail.bmp", std::ios::binary).write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size())); }
  ExpectSamePixels(*ReadImageFile(Folder / "tail.bmp"), *Gradient(300, 300));
#ifndef _WIN32
  // An endless device ends with a refusal once its first bytes are known.
  EXPECT_EQ(MessageOf([&] { ReadImageFile("/dev/zero"); }), "/dev/zero: not a BMP, PNG, JPEG, TIFF or WebP image");
#endif
}

TEST(ImageFilesDeathTest, AnInterruptWhileWritingRemovesTheTemporaryFile) {
#ifdef _WIN32
  // The C run-time ends a process whose SIGINT handler re-raises with exit code 3.
  const std::pair<int, std::function<bool(int)>> Signals[] = {{SIGINT, ::testing::ExitedWithCode(3)}};
#else
  const std::pair<int, std::function<bool(int)>> Signals[] = {
      {SIGINT, ::testing::KilledBySignal(SIGINT)},
      {SIGTERM, ::testing::KilledBySignal(SIGTERM)},
      {SIGHUP, ::testing::KilledBySignal(SIGHUP)}, // the terminal closed
      {SIGQUIT, ::testing::KilledBySignal(SIGQUIT)},
  };
#endif
  TempFolder Folder;
  const std::string Out = Folder / "out.png";
  { std::ofstream(Out) << "keep me"; }
  for (const auto& [Signal, Interrupted] : Signals) {
    EXPECT_EXIT(
        {
          InstallInterruptCleanup();
          TTemporaryFile File(Out);
          File.Write(std::vector<std::uint8_t>(1000, 1));
          std::raise(Signal);
        },
        Interrupted, "")
        << "signal " << Signal;
    EXPECT_EQ(Folder.FileCount(), 1u) << "signal " << Signal;
  }
  std::ifstream Kept(Out);
  std::string Text;
  std::getline(Kept, Text);
  EXPECT_EQ(Text, "keep me");
}

TEST(ImageFiles, DashIsStandardInputAndOutput) {
  auto Image = Gradient(5, 4);
  const std::vector<std::uint8_t> Png = EncodePng(*Image);
#ifndef _WIN32
  // GoogleTest reads captured output back in text mode on Windows, which would mangle it.
  ::testing::internal::CaptureStdout();
  WriteImageFile("-", *Image);
  const std::string Written = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::vector<std::uint8_t>(Written.begin(), Written.end()), Png);
#endif

  TempFolder Folder;
  { std::ofstream(Folder / "in.png", std::ios::binary).write(reinterpret_cast<const char*>(Png.data()), std::streamsize(Png.size())); }
  { std::ofstream(Folder / "empty", std::ios::binary); }
  ASSERT_TRUE(std::freopen((Folder / "in.png").c_str(), "rb", stdin));
  ExpectSamePixels(*ReadImageFile("-"), *Image);
  ASSERT_TRUE(std::freopen((Folder / "empty").c_str(), "rb", stdin));
  EXPECT_EQ(MessageOf([] { ReadImageFile("-"); }), "standard input: empty file");
#ifdef _WIN32
  std::freopen("NUL", "rb", stdin); // an open file cannot be removed there
#endif
}
