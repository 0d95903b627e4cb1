#include "image_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "stb_image.h"
#include "stb_image_write.h"

namespace {

constexpr std::int64_t MaxPixelBytes = INT32_MAX;

[[noreturn]] void Refuse(const std::string& Name, const std::string& Why) {
  throw ECommandLine(Name + ": " + Why, ExitRefused);
}

[[noreturn]] void Fail(const std::string& Name, const std::string& Why) {
  throw ECommandLine(Name + ": " + Why, ExitFailure);
}

std::uint32_t ReadU16(const std::uint8_t* P) { return P[0] | P[1] << 8; }
std::uint32_t ReadU32(const std::uint8_t* P) {
  return std::uint32_t(P[0]) | std::uint32_t(P[1]) << 8 | std::uint32_t(P[2]) << 16 | std::uint32_t(P[3]) << 24;
}
void PutU16(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  Out.push_back(std::uint8_t(V));
  Out.push_back(std::uint8_t(V >> 8));
}
void PutU32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  PutU16(Out, V & 0xFFFF);
  PutU16(Out, V >> 16);
}

bool IsGreyPalette(const TLinearBitmap& Bitmap) {
  return !Bitmap.Palette || std::memcmp(Bitmap.Palette, &GreyPalette, sizeof(TPaletteTable)) == 0;
}

void CheckPixelBytes(std::int64_t Width, std::int64_t Height, int PixelSize, const std::string& Name) {
  if (Width * Height * PixelSize > MaxPixelBytes)
    Refuse(Name, "image too large (" + std::to_string(Width) + " x " + std::to_string(Height) + " pixels)");
}

// ============================================================================
// BMP
// ============================================================================

constexpr int FileHeaderSize = 14;

std::unique_ptr<TLinearBitmap> DecodeBmp(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  const std::size_t FileSize = Data.size();
  if (FileSize < FileHeaderSize + 16) Fail(Name, "truncated BMP file");
  const std::uint8_t* Info = Data.data() + FileHeaderSize;
  const std::uint32_t PixelOffset = ReadU32(Data.data() + 10);
  const std::uint32_t InfoSize = ReadU32(Info);
  if (InfoSize < 40) Refuse(Name, "BMP files with a " + std::to_string(InfoSize) + "-byte header are not supported");
  if (FileSize < FileHeaderSize + std::uint64_t(InfoSize)) Fail(Name, "truncated BMP file");
  const std::int64_t Width = std::int32_t(ReadU32(Info + 4));
  const std::int64_t SignedHeight = std::int32_t(ReadU32(Info + 8));
  const std::uint32_t Planes = ReadU16(Info + 12);
  const std::uint32_t BitCount = ReadU16(Info + 14);
  const std::uint32_t Compression = ReadU32(Info + 16);
  std::uint32_t ColorsUsed = ReadU32(Info + 32);

  if (Compression != 0)
    Refuse(Name, Compression == 1 || Compression == 2 ? "RLE-compressed BMP files are not supported"
                                                      : "compressed BMP files are not supported");
  if (BitCount != 8 && BitCount != 24)
    Refuse(Name, std::to_string(BitCount) + "-bit BMP files are not supported (only 8-bit palettised and 24-bit)");
  if (Planes != 1) Fail(Name, "damaged BMP header (planes)");
  const bool TopDown = SignedHeight < 0;
  const std::int64_t Height = TopDown ? -SignedHeight : SignedHeight;
  if (Width < 1 || Height < 1) Fail(Name, "damaged BMP header (size)");
  const int PixelSize = int(BitCount / 8);
  CheckPixelBytes(Width, Height, PixelSize, Name);

  const std::int64_t Stride = (Width * BitCount + 31) / 32 * 4;
  if (std::uint64_t(PixelOffset) + std::uint64_t(Stride) * std::uint64_t(Height) > FileSize)
    Fail(Name, "truncated BMP file");

  auto Bitmap = std::make_unique<TLinearBitmap>(int(Width), int(Height), PixelSize == 1 ? lpf8Bit : lpf24Bit);
  if (PixelSize == 1) {
    if (ColorsUsed == 0) ColorsUsed = 256;
    if (ColorsUsed > 256) Fail(Name, "damaged BMP header (palette size)");
    const std::uint64_t PaletteStart = FileHeaderSize + std::uint64_t(InfoSize);
    if (PaletteStart + 4ull * ColorsUsed > std::min<std::uint64_t>(PixelOffset, FileSize))
      Fail(Name, "truncated BMP palette");
    std::memset(Bitmap->Palette, 0, sizeof(TPaletteTable));
    for (std::uint32_t I = 0; I < ColorsUsed; ++I) {
      const std::uint8_t* Quad = Data.data() + PaletteStart + 4 * I;
      (*Bitmap->Palette)[int(I)] = {Quad[0], Quad[1], Quad[2]};
    }
  }
  const std::size_t RowBytes = std::size_t(Width) * PixelSize;
  for (std::int64_t Y = 0; Y < Height; ++Y) {
    const std::int64_t FileRow = TopDown ? Y : Height - 1 - Y;
    std::memcpy(Bitmap->ScanLine(int(Y)), Data.data() + PixelOffset + FileRow * Stride, RowBytes);
  }
  return Bitmap;
}

// ============================================================================
// PNG and JPEG through stb_image
// ============================================================================

std::unique_ptr<TLinearBitmap> DecodeWithStb(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  if (Data.size() > INT_MAX) Refuse(Name, "file too large");
  const auto* Bytes = Data.data();
  const int Length = int(Data.size());
  int Width = 0, Height = 0, Channels = 0;
  if (!stbi_info_from_memory(Bytes, Length, &Width, &Height, &Channels))
    Fail(Name, std::string("cannot decode image (") + stbi_failure_reason() + ")");
  if (Channels == 2 || Channels == 4) Refuse(Name, "images with an alpha channel are not supported");
  if (Channels != 1 && Channels != 3) Refuse(Name, "unsupported image layout");
  if (stbi_is_16_bit_from_memory(Bytes, Length)) Refuse(Name, "16-bit images are not supported");
  CheckPixelBytes(Width, Height, Channels, Name);

  int W = 0, H = 0, Unused = 0;
  stbi_uc* Pixels = stbi_load_from_memory(Bytes, Length, &W, &H, &Unused, Channels);
  if (!Pixels) Fail(Name, std::string("cannot decode image (") + stbi_failure_reason() + ")");
  std::unique_ptr<TLinearBitmap> Bitmap;
  try {
    Bitmap = std::make_unique<TLinearBitmap>(W, H, Channels == 1 ? lpf8Bit : lpf24Bit);
  } catch (...) {
    stbi_image_free(Pixels);
    throw;
  }
  if (Channels == 1) {
    *Bitmap->Palette = GreyPalette;
    std::memcpy(Bitmap->Map, Pixels, std::size_t(W) * H);
  } else {
    const stbi_uc* From = Pixels;
    std::uint8_t* To = Bitmap->Map;
    for (std::int64_t I = 0; I < std::int64_t(W) * H; ++I, From += 3, To += 3) {
      To[0] = From[2];
      To[1] = From[1];
      To[2] = From[0];
    }
  }
  stbi_image_free(Pixels);
  return Bitmap;
}

void AppendToVector(void* Context, void* Bytes, int Size) {
  auto* Out = static_cast<std::vector<std::uint8_t>*>(Context);
  auto* P = static_cast<std::uint8_t*>(Bytes);
  Out->insert(Out->end(), P, P + Size);
}

std::string Lowercase(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char C) { return char(std::tolower(C)); });
  return Text;
}

std::string Extension(const std::string& Path) {
  return Lowercase(std::filesystem::path(Path).extension().string());
}

std::string RandomSuffix() {
  std::random_device Device;
  static const char Digits[] = "0123456789abcdef";
  std::string Suffix;
  for (int I = 0; I < 12; ++I) Suffix += Digits[Device() % 16];
  return Suffix;
}

} // namespace

std::unique_ptr<TLinearBitmap> DecodeImage(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  if (Data.size() >= 2 && Data[0] == 'B' && Data[1] == 'M') return DecodeBmp(Data, Name);
  static const std::uint8_t PngSignature[] = {0x89, 'P', 'N', 'G'};
  const bool IsPng = Data.size() >= 4 && std::memcmp(Data.data(), PngSignature, 4) == 0;
  const bool IsJpeg = Data.size() >= 2 && Data[0] == 0xFF && Data[1] == 0xD8;
  if (IsPng || IsJpeg) return DecodeWithStb(Data, Name);
  if (Data.empty()) Fail(Name, "empty file");
  Refuse(Name, "not a BMP, PNG or JPEG image");
}

std::vector<std::uint8_t> EncodeBmp(const TLinearBitmap& Bitmap) {
  const int PixelSize = Bitmap.PixelFormat == lpf8Bit ? 1 : 3;
  const std::uint32_t Stride = (std::uint32_t(Bitmap.Width) * PixelSize * 8 + 31) / 32 * 4;
  const std::uint32_t PaletteBytes = PixelSize == 1 ? 1024 : 0;
  const std::uint32_t PixelOffset = FileHeaderSize + 40 + PaletteBytes;
  const std::uint32_t ImageBytes = Stride * std::uint32_t(Bitmap.Height);
  std::vector<std::uint8_t> Out;
  Out.reserve(PixelOffset + ImageBytes);
  Out.push_back('B');
  Out.push_back('M');
  PutU32(Out, PixelOffset + ImageBytes);
  PutU32(Out, 0);
  PutU32(Out, PixelOffset);
  PutU32(Out, 40);
  PutU32(Out, std::uint32_t(Bitmap.Width));
  PutU32(Out, std::uint32_t(Bitmap.Height)); // bottom-up
  PutU16(Out, 1);
  PutU16(Out, std::uint32_t(PixelSize * 8));
  PutU32(Out, 0);
  PutU32(Out, ImageBytes);
  PutU32(Out, 2835); // 72 dots per inch
  PutU32(Out, 2835);
  PutU32(Out, PixelSize == 1 ? 256 : 0);
  PutU32(Out, 0);
  if (PixelSize == 1) {
    const TPaletteTable& Palette = Bitmap.Palette ? *Bitmap.Palette : GreyPalette;
    for (int I = 0; I < 256; ++I) {
      Out.push_back(Palette[I].Blue);
      Out.push_back(Palette[I].Green);
      Out.push_back(Palette[I].Red);
      Out.push_back(0);
    }
  }
  const std::size_t RowBytes = std::size_t(Bitmap.Width) * PixelSize;
  for (int Y = Bitmap.Height - 1; Y >= 0; --Y) {
    const std::uint8_t* Row = Bitmap.ScanLine(Y);
    Out.insert(Out.end(), Row, Row + RowBytes);
    Out.resize(Out.size() + (Stride - RowBytes), 0);
  }
  return Out;
}

std::vector<std::uint8_t> EncodePng(const TLinearBitmap& Bitmap) {
  const bool Grey = Bitmap.PixelFormat == lpf8Bit && IsGreyPalette(Bitmap);
  const int Channels = Grey ? 1 : 3;
  std::vector<std::uint8_t> Pixels(std::size_t(Bitmap.Width) * Bitmap.Height * Channels);
  std::uint8_t* To = Pixels.data();
  for (int Y = 0; Y < Bitmap.Height; ++Y) {
    const std::uint8_t* From = Bitmap.ScanLine(Y);
    for (int X = 0; X < Bitmap.Width; ++X) {
      if (Grey) {
        *To++ = *From++;
      } else if (Bitmap.PixelFormat == lpf8Bit) {
        const TColorTriple& C = (*Bitmap.Palette)[*From++];
        *To++ = C.Red;
        *To++ = C.Green;
        *To++ = C.Blue;
      } else {
        *To++ = From[2];
        *To++ = From[1];
        *To++ = From[0];
        From += 3;
      }
    }
  }
  std::vector<std::uint8_t> Out;
  if (!stbi_write_png_to_func(AppendToVector, &Out, Bitmap.Width, Bitmap.Height, Channels, Pixels.data(),
                              Bitmap.Width * Channels))
    throw ECommandLine("cannot encode PNG image", ExitFailure);
  return Out;
}

std::unique_ptr<TLinearBitmap> ReadImageFile(const std::string& Path) {
  std::ifstream File(Path, std::ios::binary);
  if (!File) Fail(Path, std::string("cannot open: ") + std::strerror(errno));
  std::vector<std::uint8_t> Data((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
  if (File.bad()) Fail(Path, "read error");
  return DecodeImage(Data, Path);
}

void CheckOutputExtension(const std::string& Path) {
  const std::string Ext = Extension(Path);
  if (Ext != ".bmp" && Ext != ".png")
    throw ECommandLine(Path + ": the output must end in .bmp or .png", ExitRefused);
}

void WriteImageFile(const std::string& Path, const TLinearBitmap& Bitmap) {
  CheckOutputExtension(Path);
  const std::vector<std::uint8_t> Data = Extension(Path) == ".bmp" ? EncodeBmp(Bitmap) : EncodePng(Bitmap);
  const std::string Temporary = Path + ".tmp-" + RandomSuffix();
  {
    std::ofstream File(Temporary, std::ios::binary | std::ios::trunc);
    if (!File) Fail(Path, std::string("cannot create: ") + std::strerror(errno));
    File.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
    File.close();
    if (!File) {
      std::error_code Ignored;
      std::filesystem::remove(Temporary, Ignored);
      Fail(Path, "write error");
    }
  }
  std::error_code Error;
  std::filesystem::rename(Temporary, Path, Error);
  if (Error) {
    std::error_code Ignored;
    std::filesystem::remove(Temporary, Ignored);
    Fail(Path, "cannot replace: " + Error.message());
  }
}
