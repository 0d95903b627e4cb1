#include "image_headers.h"

#include <array>
#include <cctype>
#include <climits>
#include <cstring>

namespace {

std::uint32_t ReadU16BigEndian(const std::uint8_t* P) { return std::uint32_t(P[0]) << 8 | P[1]; }

// Fuzzing builds let mutated files past the checksums, to reach what lies behind them.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool SkipChecksums = true;
#else
constexpr bool SkipChecksums = false;
#endif

} // namespace

// CRC-32 (reflected polynomial 0xEDB88320), eight bytes per step through eight tables
// ("slicing by eight"): Tables[K][N] is the CRC of byte N followed by K zero bytes, so a step
// gives what eight steps of the byte-wise table give.
std::uint32_t PngCrc32(const std::uint8_t* Bytes, std::size_t Count) {
  static const auto Tables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> T{};
    for (std::uint32_t N = 0; N < 256; ++N) {
      std::uint32_t C = N;
      for (int K = 0; K < 8; ++K) C = C & 1 ? 0xEDB88320u ^ (C >> 1) : C >> 1;
      T[0][N] = C;
    }
    for (std::size_t K = 1; K < 8; ++K)
      for (std::uint32_t N = 0; N < 256; ++N) T[K][N] = (T[K - 1][N] >> 8) ^ T[0][T[K - 1][N] & 0xFF];
    return T;
  }();
  std::uint32_t Crc = 0xFFFFFFFFu;
  for (; Count >= 8; Count -= 8, Bytes += 8) {
    const std::uint32_t Low = Crc ^ (std::uint32_t(Bytes[0]) | std::uint32_t(Bytes[1]) << 8 |
                                     std::uint32_t(Bytes[2]) << 16 | std::uint32_t(Bytes[3]) << 24);
    Crc = Tables[7][Low & 0xFF] ^ Tables[6][Low >> 8 & 0xFF] ^ Tables[5][Low >> 16 & 0xFF] ^ Tables[4][Low >> 24] ^
          Tables[3][Bytes[4]] ^ Tables[2][Bytes[5]] ^ Tables[1][Bytes[6]] ^ Tables[0][Bytes[7]];
  }
  for (; Count > 0; --Count) Crc = Tables[0][(Crc ^ *Bytes++) & 0xFF] ^ (Crc >> 8);
  return ~Crc;
}

std::string ExactDecimal(std::int64_t Count, std::int64_t Unit) {
  std::string Text = std::to_string(Count / Unit);
  if (const std::int64_t Fraction = Count % Unit) {
    std::string Digits = std::to_string(Unit + Fraction).substr(1);
    Digits.erase(Digits.find_last_not_of('0') + 1);
    Text += "." + Digits;
  }
  return Text;
}

void CheckImageSize(std::int64_t Width, std::int64_t Height, int BytesPerPixel, std::int64_t MaxPixels,
                    const std::string& Name) {
  const std::string Size = std::to_string(Width) + " x " + std::to_string(Height) + " pixels";
  // Each side is at most 2^31, so neither product below can overflow.
  if (Width > INT32_MAX || Height > INT32_MAX || Width * Height > MaxPixels)
    RefuseFile(Name, "image too large (" + Size + ", the limit is " + ExactDecimal(MaxPixels, 1'000'000) +
                         " megapixels; see --max-megapixels)");
  if (Width * Height * BytesPerPixel > INT32_MAX)
    RefuseFile(Name, "image too large (" + Size + ", more than 2 GiB of pixel data)");
}

// ============================================================================
// PNG
// ============================================================================

TPngHeader ReadPngHeader(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  static const std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (Data.size() < 8 + 8 + 13 || std::memcmp(Data.data(), Signature, 8) != 0 ||
      ReadU32BigEndian(&Data[8]) != 13 || std::memcmp(&Data[12], "IHDR", 4) != 0)
    FailFile(Name, "damaged PNG file (no valid header)");
  const std::uint8_t* Ihdr = &Data[16];
  TPngHeader Header;
  Header.Width = ReadU32BigEndian(Ihdr);
  Header.Height = ReadU32BigEndian(Ihdr + 4);
  Header.BitDepth = Ihdr[8];
  Header.ColourType = Ihdr[9];
  const bool DepthFits = Header.ColourType == 0   ? Header.BitDepth == 1 || Header.BitDepth == 2 ||
                                                        Header.BitDepth == 4 || Header.BitDepth == 8 ||
                                                        Header.BitDepth == 16
                         : Header.ColourType == 3 ? Header.BitDepth == 1 || Header.BitDepth == 2 ||
                                                        Header.BitDepth == 4 || Header.BitDepth == 8
                         : Header.ColourType == 2 || Header.ColourType == 4 || Header.ColourType == 6
                             ? Header.BitDepth == 8 || Header.BitDepth == 16
                             : false;
  if (Header.Width < 1 || Header.Height < 1 || Header.Width > INT32_MAX || Header.Height > INT32_MAX ||
      !DepthFits || Ihdr[10] != 0 || Ihdr[11] != 0 || Ihdr[12] > 1)
    FailFile(Name, "damaged PNG file (invalid header)");
  Header.Interlaced = Ihdr[12] == 1;
  bool SeenData = false, SeenEnd = false;
  for (std::size_t At = 8; !SeenEnd;) {
    if (Data.size() - At < 12) FailFile(Name, "damaged PNG file (truncated)");
    const std::uint64_t Length = ReadU32BigEndian(&Data[At]);
    if (Length > Data.size() - At - 12) FailFile(Name, "damaged PNG file (truncated)");
    const std::uint8_t* Type = &Data[At + 4];
    for (int I = 0; I < 4; ++I)
      if (!std::isalpha(Type[I])) FailFile(Name, "damaged PNG file (invalid chunk type)");
    const std::string TypeText(reinterpret_cast<const char*>(Type), 4);
    if (!SkipChecksums && PngCrc32(Type, std::size_t(Length) + 4) != ReadU32BigEndian(Type + 4 + Length))
      FailFile(Name, "damaged PNG file (checksum error in " + TypeText + ")");
    Header.Transparency |= TypeText == "tRNS";
    if (TypeText == "PLTE") {
      if (Length % 3 != 0 || Length == 0 || Length > 768) FailFile(Name, "damaged PNG file (invalid palette)");
      Header.Palette.resize(std::size_t(Length / 3));
      for (std::size_t I = 0; I < Header.Palette.size(); ++I)
        Header.Palette[I] = {Type[4 + 3 * I + 2], Type[4 + 3 * I + 1], Type[4 + 3 * I]};
    }
    SeenData |= TypeText == "IDAT";
    SeenEnd = TypeText == "IEND";
    At += std::size_t(Length) + 12;
  }
  if (!SeenData) FailFile(Name, "damaged PNG file (no image data)");
  if (Header.ColourType == 3 && Header.Palette.empty()) FailFile(Name, "damaged PNG file (no palette)");
  return Header;
}

std::uint64_t PngImageDataSize(const TPngHeader& Header) {
  static const int Samples[7] = {1, 0, 3, 1, 2, 0, 4}; // by colour type
  const std::uint64_t BitsPerPixel = std::uint64_t(Header.BitDepth) * Samples[Header.ColourType];
  auto Rows = [&](std::uint64_t Columns, std::uint64_t Count) {
    return Columns == 0 || Count == 0 ? 0 : Count * (1 + (Columns * BitsPerPixel + 7) / 8);
  };
  const std::uint64_t W = std::uint64_t(Header.Width), H = std::uint64_t(Header.Height);
  if (!Header.Interlaced) return Rows(W, H);
  // Adam7: each pass's first column and row, and its steps.
  static const int Pass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  std::uint64_t Total = 0;
  for (const auto& P : Pass) {
    const auto Count = [](std::uint64_t Size, int First, int Step) {
      return Size > std::uint64_t(First) ? (Size - First + Step - 1) / Step : 0;
    };
    Total += Rows(Count(W, P[0], P[2]), Count(H, P[1], P[3]));
  }
  return Total;
}

void RefuseSamplesPng(const TPngHeader& Header, const std::string& Name) {
  if (Header.BitDepth == 16) RefuseFile(Name, "16-bit images are not supported");
  if (Header.NeedsSamples()) RefuseFile(Name, "images with an alpha channel are not supported");
}

// Indices are read before their bytes are overwritten: each row is expanded from the right,
// and the triple of pixel X lands on bytes 3X to 3X + 2, never below X.
void ExpandPngPalette(TLinearBitmap& Bitmap, const TPngHeader& Header, const std::string& Name) {
  const std::size_t Count = Header.Palette.size();
  for (int Y = 0; Y < Bitmap.Height; ++Y) {
    std::uint8_t* Row = Bitmap.ScanLine(Y);
    for (int X = Bitmap.Width - 1; X >= 0; --X) {
      const std::size_t Index = Row[X];
      if (Index >= Count)
        FailFile(Name, "damaged PNG file (palette index " + std::to_string(Index) + " past the palette)");
      std::memcpy(Row + 3 * X, &Header.Palette[Index], 3);
    }
  }
}

// ============================================================================
// JPEG
// ============================================================================

TJpegFrame ReadJpegFrame(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  const std::size_t End = Data.size();
  if (End < 4 || Data[0] != 0xFF || Data[1] != 0xD8) FailFile(Name, "damaged JPEG file (no start marker)");
  std::size_t At = 2;
  for (;;) {
    if (At >= End || Data[At] != 0xFF) FailFile(Name, "damaged JPEG file (no frame header)");
    while (At < End && Data[At] == 0xFF) ++At; // fill bytes
    if (At >= End) FailFile(Name, "damaged JPEG file (no frame header)");
    const std::uint8_t Marker = Data[At++];
    if (Marker == 0x01 || (Marker >= 0xD0 && Marker <= 0xD7)) continue; // no length field
    if (Marker == 0xD9 || Marker == 0xDA || Marker == 0xD8 || Marker == 0x00)
      FailFile(Name, "damaged JPEG file (no frame header)");
    if (End - At < 2) FailFile(Name, "damaged JPEG file (truncated header)");
    const std::size_t Length = ReadU16BigEndian(&Data[At]);
    if (Length < 2 || Length > End - At) FailFile(Name, "damaged JPEG file (truncated header)");
    const bool IsFrame = Marker >= 0xC0 && Marker <= 0xCF && Marker != 0xC4 && Marker != 0xC8 && Marker != 0xCC;
    if (!IsFrame) {
      At += Length;
      continue;
    }
    if (Length < 8) FailFile(Name, "damaged JPEG file (frame header)");
    const int Type = Marker - 0xC0;
    if (Type == 3 || Type == 7 || Type == 11 || Type == 15)
      RefuseFile(Name, "lossless JPEG images are not supported");
    if (Type == 5 || Type == 6 || Type == 13 || Type == 14)
      RefuseFile(Name, "hierarchical JPEG images are not supported");
    if (Type >= 9) RefuseFile(Name, "arithmetic-coded JPEG images are not supported");
    const std::uint8_t* Header = &Data[At + 2];
    if (Header[0] != 8) RefuseFile(Name, std::to_string(Header[0]) + "-bit JPEG images are not supported");
    TJpegFrame Frame;
    Frame.Height = ReadU16BigEndian(Header + 1);
    Frame.Width = ReadU16BigEndian(Header + 3);
    Frame.Components = Header[5];
    if (Frame.Width == 0 || Frame.Height == 0) FailFile(Name, "damaged JPEG file (frame size 0)");
    if (Frame.Components == 4) RefuseFile(Name, "CMYK JPEG images are not supported");
    if (Frame.Components != 1 && Frame.Components != 3)
      RefuseFile(Name, "JPEG images with " + std::to_string(Frame.Components) + " components are not supported");
    if (Length != 8 + 3 * std::size_t(Frame.Components)) FailFile(Name, "damaged JPEG file (frame header)");
    return Frame;
  }
}
