#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "message_of.h"
#include "image_file.h"
#include "stb_image_write.h"

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

int ExitStatusOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const ECommandLine& E) {
    return E.ExitStatus;
  }
  return 0;
}

void PutU32At(std::vector<std::uint8_t>& Data, std::size_t At, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) Data[At + I] = std::uint8_t(V >> (8 * I));
}

void Append(void* Context, void* Bytes, int Size) {
  auto* Out = static_cast<std::vector<std::uint8_t>*>(Context);
  Out->insert(Out->end(), static_cast<std::uint8_t*>(Bytes), static_cast<std::uint8_t*>(Bytes) + Size);
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
  Data = EncodeBmp(*Palettised);
  PutU32At(Data, 46, 2); // only two palette entries used; the rest read as black
  auto Read = DecodeImage(Data, "p.bmp");
  EXPECT_EQ((*Read->Palette)[1].Green, 254);
  EXPECT_EQ((*Read->Palette)[2].Green, 0);
}

TEST(BmpFile, RefusesWhatItDoesNotReadAndFailsOnDamage) {
  const std::vector<std::uint8_t> Good = EncodeBmp(*Gradient(3, 2));
  auto Patched = [&](std::size_t At, std::uint32_t V, int Bytes = 4) {
    std::vector<std::uint8_t> Data = Good;
    for (int I = 0; I < Bytes; ++I) Data[At + I] = std::uint8_t(V >> (8 * I));
    return Data;
  };
  const struct {
    std::vector<std::uint8_t> Data;
    const char* Message;
    int Status;
  } Cases[] = {
      {Patched(30, 1), "x.bmp: RLE-compressed BMP files are not supported", ExitRefused},
      {Patched(30, 3), "x.bmp: compressed BMP files are not supported", ExitRefused},
      {Patched(28, 32, 2), "x.bmp: 32-bit BMP files are not supported (only 8-bit palettised and 24-bit)", ExitRefused},
      {Patched(28, 1, 2), "x.bmp: 1-bit BMP files are not supported (only 8-bit palettised and 24-bit)", ExitRefused},
      {Patched(14, 12), "x.bmp: BMP files with a 12-byte header are not supported", ExitRefused},
      {Patched(18, 100000), "x.bmp: truncated BMP file", ExitFailure},
      {Patched(22, 0), "x.bmp: damaged BMP header (size)", ExitFailure},
      {Patched(18, 0x7FFFFFFF), "x.bmp: image too large (2147483647 x 2 pixels)", ExitRefused},
      {std::vector<std::uint8_t>(Good.begin(), Good.end() - 1), "x.bmp: truncated BMP file", ExitFailure},
      {std::vector<std::uint8_t>(Good.begin(), Good.begin() + 20), "x.bmp: truncated BMP file", ExitFailure},
      {{}, "x.bmp: empty file", ExitFailure},
      {{'G', 'I', 'F', '8'}, "x.bmp: not a BMP, PNG or JPEG image", ExitRefused},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(MessageOf([&] { DecodeImage(C.Data, "x.bmp"); }), C.Message);
    EXPECT_EQ(ExitStatusOf([&] { DecodeImage(C.Data, "x.bmp"); }), C.Status) << C.Message;
  }
  std::vector<std::uint8_t> Palette = EncodeBmp(*Indexed(2, 2));
  PutU32At(Palette, 46, 257);
  EXPECT_EQ(MessageOf([&] { DecodeImage(Palette, "p.bmp"); }), "p.bmp: damaged BMP header (palette size)");
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

TEST(PngFile, AlphaChannelsAreRefused) {
  for (int Channels : {2, 4}) {
    std::vector<std::uint8_t> Pixels(4 * Channels, 200), Data;
    ASSERT_TRUE(stbi_write_png_to_func(Append, &Data, 2, 2, Channels, Pixels.data(), 2 * Channels));
    EXPECT_EQ(MessageOf([&] { DecodeImage(Data, "a.png"); }), "a.png: images with an alpha channel are not supported");
    EXPECT_EQ(ExitStatusOf([&] { DecodeImage(Data, "a.png"); }), ExitRefused);
  }
  std::vector<std::uint8_t> Data = EncodePng(*Gradient(2, 2));
  Data.resize(Data.size() / 2);
  EXPECT_EQ(ExitStatusOf([&] { DecodeImage(Data, "t.png"); }), ExitFailure);
}

TEST(JpegFile, ColourJpegsBecomeTwentyFourBit) {
  std::vector<std::uint8_t> Pixels(8 * 8 * 3, 128), Data;
  ASSERT_TRUE(stbi_write_jpg_to_func(Append, &Data, 8, 8, 3, Pixels.data(), 95));
  auto Colour = DecodeImage(Data, "c.jpg");
  EXPECT_EQ(Colour->PixelFormat, lpf24Bit);
  EXPECT_EQ(Colour->Width, 8);
  EXPECT_NEAR(Colour->Map[0], 128, 2);
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
