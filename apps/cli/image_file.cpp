#include "image_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "image_codecs.h"
#include "photo_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

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

bool IsBmp(const std::vector<std::uint8_t>& Data) { return Data.size() >= 2 && Data[0] == 'B' && Data[1] == 'M'; }
bool IsPng(const std::vector<std::uint8_t>& Data) {
  return Data.size() >= 4 && Data[0] == 0x89 && Data[1] == 'P' && Data[2] == 'N' && Data[3] == 'G';
}
bool IsJpeg(const std::vector<std::uint8_t>& Data) { return Data.size() >= 2 && Data[0] == 0xFF && Data[1] == 0xD8; }

// ============================================================================
// BMP
// ============================================================================

constexpr int FileHeaderSize = 14;
// The largest info header in use is 124 bytes; far larger ones are damage, and the header
// must fit in the part of a file read before its size is known.
constexpr std::uint32_t MaxInfoSize = 4096;
// Writers may leave a gap between the palette and the pixels (alignment, an embedded colour
// profile). A pixel offset far beyond that would make the reader skip, and read from a pipe,
// any amount of data before the image.
constexpr std::uint64_t MaxPixelGap = 65536;

struct TBmpHeader {
  std::int64_t Width = 0, Height = 0;
  bool TopDown = false;
  int PixelSize = 0;
  std::uint32_t Colors = 0; // palette entries in the file, 8-bit only
  std::uint64_t PaletteStart = 0, PaletteEnd = 0;
  std::uint64_t PixelOffset = 0, Stride = 0;
  std::uint64_t End = 0; // where the pixel data ends
};

// Validates every field the reader uses; needs only the headers, not the pixel data.
TBmpHeader ReadBmpHeader(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels) {
  if (Data.size() < FileHeaderSize + 4) FailFile(Name, "truncated BMP file");
  const std::uint8_t* Info = Data.data() + FileHeaderSize;
  const std::uint32_t InfoSize = ReadU32(Info);
  if (InfoSize < 40)
    RefuseFile(Name, "BMP files with a " + std::to_string(InfoSize) + "-byte header are not supported");
  if (InfoSize > MaxInfoSize) FailFile(Name, "damaged BMP header (header size " + std::to_string(InfoSize) + ")");
  if (Data.size() < FileHeaderSize + std::uint64_t(InfoSize)) FailFile(Name, "truncated BMP file");
  TBmpHeader Header;
  Header.Width = std::int32_t(ReadU32(Info + 4));
  const std::int64_t SignedHeight = std::int32_t(ReadU32(Info + 8));
  const std::uint32_t Planes = ReadU16(Info + 12);
  const std::uint32_t BitCount = ReadU16(Info + 14);
  const std::uint32_t Compression = ReadU32(Info + 16);
  const std::uint32_t ColorsUsed = ReadU32(Info + 32);

  if (Compression != 0)
    RefuseFile(Name, Compression == 1 || Compression == 2 ? "RLE-compressed BMP files are not supported"
                                                          : "compressed BMP files are not supported");
  if (BitCount != 8 && BitCount != 24)
    RefuseFile(Name, std::to_string(BitCount) + "-bit BMP files are not supported (only 8-bit palettised and 24-bit)");
  if (Planes != 1) FailFile(Name, "damaged BMP header (planes)");
  Header.TopDown = SignedHeight < 0;
  Header.Height = Header.TopDown ? -SignedHeight : SignedHeight;
  if (Header.Width < 1 || Header.Height < 1) FailFile(Name, "damaged BMP header (size)");
  Header.PixelSize = int(BitCount / 8);
  CheckImageSize(Header.Width, Header.Height, Header.PixelSize, MaxPixels, Name);

  Header.Stride = std::uint64_t(Header.Width * BitCount + 31) / 32 * 4;
  Header.PaletteStart = FileHeaderSize + std::uint64_t(InfoSize);
  if (Header.PixelSize == 1) {
    Header.Colors = ColorsUsed == 0 ? 256 : ColorsUsed;
    if (Header.Colors > 256) FailFile(Name, "damaged BMP header (palette size)");
  }
  Header.PaletteEnd = Header.PaletteStart + 4ull * Header.Colors;
  Header.PixelOffset = ReadU32(Data.data() + 10);
  if (Header.PixelOffset < Header.PaletteEnd)
    FailFile(Name, "damaged BMP header (pixel data at offset " + std::to_string(Header.PixelOffset) +
                       ", inside the headers)");
  if (Header.PixelOffset > Header.PaletteEnd + MaxPixelGap)
    RefuseFile(Name, "damaged BMP header (pixel data at offset " + std::to_string(Header.PixelOffset) +
                         ", far past the headers)");
  Header.End = Header.PixelOffset + Header.Stride * std::uint64_t(Header.Height);
  return Header;
}

std::unique_ptr<TLinearBitmap> DecodeBmp(const std::vector<std::uint8_t>& Data, const std::string& Name,
                                         std::int64_t MaxPixels) {
  const TBmpHeader Header = ReadBmpHeader(Data, Name, MaxPixels);
  if (Header.PaletteEnd > Data.size()) FailFile(Name, "truncated BMP palette");
  if (Header.End > Data.size()) FailFile(Name, "truncated BMP file");

  auto Bitmap = std::make_unique<TLinearBitmap>(int(Header.Width), int(Header.Height),
                                                Header.PixelSize == 1 ? lpf8Bit : lpf24Bit);
  if (Header.PixelSize == 1) {
    std::memset(Bitmap->Palette, 0, sizeof(TPaletteTable));
    for (std::uint32_t I = 0; I < Header.Colors; ++I) {
      const std::uint8_t* Quad = Data.data() + Header.PaletteStart + 4 * I;
      (*Bitmap->Palette)[int(I)] = {Quad[0], Quad[1], Quad[2]};
    }
  }
  const std::size_t RowBytes = std::size_t(Header.Width) * Header.PixelSize;
  for (std::int64_t Y = 0; Y < Header.Height; ++Y) {
    const std::uint64_t FileRow = std::uint64_t(Header.TopDown ? Y : Header.Height - 1 - Y);
    const std::uint8_t* Row = Data.data() + Header.PixelOffset + FileRow * Header.Stride;
    std::memcpy(Bitmap->ScanLine(int(Y)), Row, RowBytes);
    if (Header.PixelSize == 1 && Header.Colors < 256) {
      const std::uint8_t Largest = *std::max_element(Row, Row + RowBytes);
      if (Largest >= Header.Colors)
        FailFile(Name, "damaged BMP file (palette index " + std::to_string(Largest) + " past the palette)");
    }
  }
  return Bitmap;
}

// ============================================================================
// Reading files
// ============================================================================

// Enough for the headers of every format before their sizes are known.
constexpr std::size_t PrefixBytes = 65536;

// Appends to Data from File until it holds Limit bytes or the file ends.
void ReadUpTo(std::FILE* File, std::vector<std::uint8_t>& Data, std::uint64_t Limit, const std::string& Name) {
  while (Data.size() < Limit) {
    const std::size_t Have = Data.size();
    const std::size_t Chunk = std::size_t(std::min<std::uint64_t>(Limit - Have, std::uint64_t(1) << 20));
    Data.resize(Have + Chunk);
    const std::size_t Got = std::fread(Data.data() + Have, 1, Chunk, File);
    Data.resize(Have + Got);
    if (Got < Chunk) {
      if (std::ferror(File)) FailFile(Name, std::string("read error: ") + std::strerror(errno));
      return;
    }
  }
}

} // namespace

std::uint64_t MaxCompressedBytes(std::int64_t MaxPixels) { return (64ull << 20) + 9ull * std::uint64_t(MaxPixels); }

namespace {

std::vector<std::uint8_t> ReadBounded(std::FILE* File, const std::string& Name, std::int64_t MaxPixels) {
  std::vector<std::uint8_t> Data;
  ReadUpTo(File, Data, PrefixBytes, Name);
  if (Data.size() < PrefixBytes) return Data;
  if (IsBmp(Data)) {
    // Trailing bytes after the pixel data are never needed.
    ReadUpTo(File, Data, ReadBmpHeader(Data, Name, MaxPixels).End, Name);
    return Data;
  }
  if (!IsPng(Data) && !IsJpeg(Data) && !IsTiff(Data) && !IsWebp(Data)) return Data; // refused by its first bytes
  const std::uint64_t Limit = MaxCompressedBytes(MaxPixels);
  ReadUpTo(File, Data, Limit, Name);
  if (Data.size() == Limit && std::fgetc(File) != EOF)
    RefuseFile(Name, "file too large (over " + std::to_string(Limit >> 20) + " MiB; see --max-megapixels)");
  return Data;
}

std::string Lowercase(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char C) { return char(std::tolower(C)); });
  return Text;
}

std::string Extension(const std::string& Path) {
  return Lowercase(std::filesystem::path(Path).extension().string());
}

void UseBinaryMode([[maybe_unused]] std::FILE* Stream) {
#ifdef _WIN32
  _setmode(_fileno(Stream), _O_BINARY);
#endif
}

} // namespace

std::unique_ptr<TLinearBitmap> DecodeImage(const std::vector<std::uint8_t>& Data, const std::string& Name,
                                           std::int64_t MaxPixels) {
  if (IsBmp(Data)) return DecodeBmp(Data, Name, MaxPixels);
  if (IsPng(Data)) {
    const TPngHeader Header = ReadPngHeader(Data, Name);
    RefuseSamplesPng(Header, Name);
    CheckImageSize(Header.Width, Header.Height, Header.Grey() ? 1 : 3, MaxPixels, Name);
    return DecodePngPixels(Data, Header, Name);
  }
  if (IsJpeg(Data)) {
    const TJpegFrame Frame = ReadJpegFrame(Data, Name);
    CheckImageSize(Frame.Width, Frame.Height, Frame.Components, MaxPixels, Name);
    return DecodeJpegPixels(Data, Frame, Name);
  }
  if (Data.empty()) FailFile(Name, "empty file");
  RefuseFile(Name, "not a BMP, PNG, JPEG, TIFF or WebP image");
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
  if (Bitmap.PixelFormat == lpf24Bit || IsGreyPalette(Bitmap.Palette))
    return EncodePngPixels(Bitmap.Map, Bitmap.Width, Bitmap.Height, Bitmap.BytesPerLine,
                           Bitmap.PixelFormat == lpf8Bit);
  // Another palette: written as colour.
  std::vector<std::uint8_t> Colour(std::size_t(Bitmap.Width) * Bitmap.Height * 3);
  std::uint8_t* To = Colour.data();
  for (int Y = 0; Y < Bitmap.Height; ++Y) {
    const std::uint8_t* From = Bitmap.ScanLine(Y);
    for (int X = 0; X < Bitmap.Width; ++X, To += 3) std::memcpy(To, &(*Bitmap.Palette)[From[X]], 3);
  }
  return EncodePngPixels(Colour.data(), Bitmap.Width, Bitmap.Height, Bitmap.Width * 3, false);
}

std::string InputName(const std::string& Path) { return Path == "-" ? "standard input" : Path; }

std::vector<std::uint8_t> ReadImageBytes(const std::string& Path, std::int64_t MaxPixels) {
  const std::string Name = InputName(Path);
  std::vector<std::uint8_t> Data;
  if (Path == "-") {
    UseBinaryMode(stdin);
    Data = ReadBounded(stdin, Name, MaxPixels);
  } else {
    std::error_code Ignored;
    if (std::filesystem::is_directory(Path, Ignored)) FailFile(Name, "is a directory");
    std::FILE* File = std::fopen(Path.c_str(), "rb");
    if (!File) FailFile(Name, std::string("cannot open: ") + std::strerror(errno));
    try {
      Data = ReadBounded(File, Name, MaxPixels);
    } catch (...) {
      std::fclose(File);
      throw;
    }
    std::fclose(File);
  }
  return Data;
}

std::unique_ptr<TLinearBitmap> ReadImageFile(const std::string& Path, std::int64_t MaxPixels) {
  return DecodeImage(ReadImageBytes(Path, MaxPixels), InputName(Path), MaxPixels);
}

void CheckOutputExtension(const std::string& Path) {
  if (Path == "-") return;
  const std::string Ext = Extension(Path);
  if (Ext != ".bmp" && Ext != ".png")
    throw ECommandLine(Path + ": the output must end in .bmp or .png", ExitRefused);
}

TImageOutput::TImageOutput(const std::string& Path) {
  if (Path != "-") File_ = std::make_unique<TTemporaryFile>(Path);
}

void TImageOutput::Write(const std::vector<std::uint8_t>& Data) {
  if (!File_) {
    UseBinaryMode(stdout);
    if (std::fwrite(Data.data(), 1, Data.size(), stdout) != Data.size() || std::fflush(stdout) != 0)
      FailFile("standard output", std::string("write error: ") + std::strerror(errno));
    return;
  }
  File_->Write(Data);
  File_->Commit();
}

void WriteImageFile(const std::string& Path, const TLinearBitmap& Bitmap) {
  CheckOutputExtension(Path);
  WriteImageBytes(Path, Extension(Path) == ".bmp" ? EncodeBmp(Bitmap) : EncodePng(Bitmap));
}

void WriteImageBytes(const std::string& Path, const std::vector<std::uint8_t>& Data) { TImageOutput(Path).Write(Data); }
