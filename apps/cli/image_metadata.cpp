#include "image_metadata.h"

#include <cstdio>
#include <cstring>

#include "cli_error.h"
#include "photo_codecs.h"
#include "image_headers.h"

namespace {

std::uint32_t BigEndian16(const std::uint8_t* P) { return std::uint32_t(P[0]) << 8 | P[1]; }
std::uint32_t BigEndian32(const std::uint8_t* P) { return BigEndian16(P) << 16 | BigEndian16(P + 2); }
void PutBigEndian16(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  Out.push_back(std::uint8_t(V >> 8));
  Out.push_back(std::uint8_t(V));
}
void PutBigEndian32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  PutBigEndian16(Out, V >> 16);
  PutBigEndian16(Out, V & 0xFFFF);
}
bool StartsWith(const std::uint8_t* Bytes, std::size_t Size, const char* Prefix, std::size_t PrefixSize) {
  return Size >= PrefixSize && std::memcmp(Bytes, Prefix, PrefixSize) == 0;
}

// File with Inserted put in at At.
std::vector<std::uint8_t> Spliced(const std::vector<std::uint8_t>& File, std::size_t At,
                                  const std::vector<std::uint8_t>& Inserted) {
  std::vector<std::uint8_t> Out;
  Out.reserve(File.size() + Inserted.size());
  Out.insert(Out.end(), File.begin(), File.begin() + std::ptrdiff_t(At));
  Out.insert(Out.end(), Inserted.begin(), Inserted.end());
  Out.insert(Out.end(), File.begin() + std::ptrdiff_t(At), File.end());
  return Out;
}

const char ExifPrefix[] = "Exif\0"; // and the terminating zero: six bytes
constexpr std::size_t ExifPrefixSize = 6;
const char IccPrefix[] = "ICC_PROFILE"; // and its zero: twelve bytes
constexpr std::size_t IccPrefixSize = 12;
// A marker's length field counts itself: 65,533 bytes of payload at most.
constexpr std::size_t MaxMarkerPayload = 65533;
constexpr std::size_t IccChunkBytes = MaxMarkerPayload - IccPrefixSize - 2;
constexpr std::size_t MaxIccBytes = 64u << 20;

// ============================================================================
// JPEG
// ============================================================================

// Calls Segment(Marker, Payload, Size) for each marker segment before the first scan. Stops
// quietly where the structure ends or breaks: the frame reader and the decoder judge damage.
template <class TSegment> void ForEachJpegSegment(const std::vector<std::uint8_t>& Data, TSegment Segment) {
  const std::size_t End = Data.size();
  for (std::size_t At = 2; At < End && Data[At] == 0xFF;) {
    while (At < End && Data[At] == 0xFF) ++At;
    if (At >= End) return;
    const std::uint8_t Marker = Data[At++];
    if (Marker == 0x01 || (Marker >= 0xD0 && Marker <= 0xD7)) continue;
    if (Marker == 0xDA || Marker == 0xD9 || End - At < 2) return;
    const std::size_t Length = BigEndian16(&Data[At]);
    if (Length < 2 || Length > End - At) return;
    Segment(Marker, &Data[At + 2], Length - 2);
    At += Length;
  }
}

} // namespace

TImageMetadata ReadJpegMetadata(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  TImageMetadata Metadata;
  std::vector<std::vector<std::uint8_t>> IccChunks;
  bool IccBroken = false;
  ForEachJpegSegment(Data, [&](std::uint8_t Marker, const std::uint8_t* Payload, std::size_t Size) {
    if (Marker == 0xE1 && Metadata.Exif.empty() && StartsWith(Payload, Size, ExifPrefix, ExifPrefixSize))
      Metadata.Exif.assign(Payload + ExifPrefixSize, Payload + Size);
    if (Marker != 0xE2 || !StartsWith(Payload, Size, IccPrefix, IccPrefixSize)) return;
    const std::size_t Sequence = Size > IccPrefixSize + 1 ? Payload[IccPrefixSize] : 0;
    const std::size_t Count = Size > IccPrefixSize + 1 ? Payload[IccPrefixSize + 1] : 0;
    if (IccChunks.empty()) IccChunks.resize(Count);
    if (Sequence < 1 || Sequence > IccChunks.size() || Count != IccChunks.size() ||
        !IccChunks[Sequence - 1].empty() || Size == IccPrefixSize + 2) {
      IccBroken = true;
      return;
    }
    IccChunks[Sequence - 1].assign(Payload + IccPrefixSize + 2, Payload + Size);
  });
  for (const auto& Chunk : IccChunks) {
    IccBroken |= Chunk.empty();
    Metadata.Icc.insert(Metadata.Icc.end(), Chunk.begin(), Chunk.end());
  }
  if (IccBroken) FailFile(Name, "damaged JPEG file (the ICC profile's markers are incomplete)");
  return Metadata;
}

std::optional<TJpegSampling> ReadJpegSampling(const std::vector<std::uint8_t>& Data) {
  std::optional<TJpegSampling> Sampling;
  ForEachJpegSegment(Data, [&](std::uint8_t Marker, const std::uint8_t* Payload, std::size_t Size) {
    if (Marker < 0xC0 || Marker > 0xC2 || Size != 6 + 3 * 3 || Payload[5] != 3) return;
    TJpegSampling Found;
    for (int C = 0; C < 3; ++C) {
      const int H = Payload[6 + 3 * C + 1] >> 4, V = Payload[6 + 3 * C + 1] & 15;
      if (H < 1 || H > 4 || V < 1 || V > 4) return;
      Found.Horizontal[C] = std::uint8_t(H);
      Found.Vertical[C] = std::uint8_t(V);
    }
    Sampling = Found;
  });
  return Sampling;
}

std::vector<std::uint8_t> WithJpegMetadata(const std::vector<std::uint8_t>& Jpeg, const TImageMetadata& Metadata,
                                           const std::string& Name) {
  // After the start marker and a JFIF marker, which must come first.
  std::size_t At = 2;
  if (Jpeg.size() > 6 && Jpeg[2] == 0xFF && Jpeg[3] == 0xE0) At = 4 + BigEndian16(&Jpeg[4]);
  std::vector<std::uint8_t> Segments;
  auto Put = [&](std::uint8_t Marker, const char* Prefix, std::size_t PrefixSize, const std::uint8_t* Bytes,
                 std::size_t Size, int Sequence, int Count) {
    Segments.push_back(0xFF);
    Segments.push_back(Marker);
    const std::size_t Numbers = Sequence > 0 ? 2 : 0;
    PutBigEndian16(Segments, std::uint32_t(2 + PrefixSize + Numbers + Size));
    Segments.insert(Segments.end(), Prefix, Prefix + PrefixSize);
    if (Numbers) {
      Segments.push_back(std::uint8_t(Sequence));
      Segments.push_back(std::uint8_t(Count));
    }
    Segments.insert(Segments.end(), Bytes, Bytes + Size);
  };
  if (Metadata.Exif.size() > MaxMarkerPayload - ExifPrefixSize)
    std::fprintf(stderr, "featureresize: %s: EXIF data of %zu bytes does not fit in a JPEG file; left out\n",
                 Name.c_str(), Metadata.Exif.size());
  else if (!Metadata.Exif.empty())
    Put(0xE1, ExifPrefix, ExifPrefixSize, Metadata.Exif.data(), Metadata.Exif.size(), 0, 0);
  const std::size_t Chunks = (Metadata.Icc.size() + IccChunkBytes - 1) / IccChunkBytes;
  if (Chunks > 255)
    std::fprintf(stderr, "featureresize: %s: an ICC profile of %zu bytes does not fit in a JPEG file; left out\n",
                 Name.c_str(), Metadata.Icc.size());
  else
    for (std::size_t I = 0; I < Chunks; ++I) {
      const std::size_t From = I * IccChunkBytes;
      Put(0xE2, IccPrefix, IccPrefixSize, Metadata.Icc.data() + From,
          std::min(IccChunkBytes, Metadata.Icc.size() - From), int(I + 1), int(Chunks));
    }
  return Spliced(Jpeg, At, Segments);
}

// ============================================================================
// PNG
// ============================================================================

TImageMetadata ReadPngMetadata(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  TImageMetadata Metadata;
  bool SeenIcc = false;
  for (std::size_t At = 8; Data.size() - At >= 12;) {
    const std::size_t Length = BigEndian32(&Data[At]);
    if (Length > Data.size() - At - 12) break;
    const std::uint8_t* Payload = &Data[At + 8];
    const std::string Type(reinterpret_cast<const char*>(&Data[At + 4]), 4);
    if (Type == "eXIf" && Metadata.Exif.empty()) Metadata.Exif.assign(Payload, Payload + Length);
    if (Type == "iCCP" && !SeenIcc) {
      SeenIcc = true;
      const auto* Zero = static_cast<const std::uint8_t*>(std::memchr(Payload, 0, std::min<std::size_t>(Length, 80)));
      const std::size_t Compressed = Zero ? std::size_t(Zero - Payload) + 2 : Length + 1;
      if (Compressed > Length || Zero[1] != 0) FailFile(Name, "damaged PNG file (invalid iCCP chunk)");
      const std::string Why = InflateZlib(Payload + Compressed, Length - Compressed, MaxIccBytes, Metadata.Icc);
      if (Why == "too large") RefuseFile(Name, "the ICC profile is larger than 64 MiB");
      else if (!Why.empty()) FailFile(Name, "damaged PNG file (iCCP chunk: " + Why + ")");
    }
    if (Type == "IEND") break;
    At += Length + 12;
  }
  return Metadata;
}

std::vector<std::uint8_t> WithPngMetadata(const std::vector<std::uint8_t>& Png, const TImageMetadata& Metadata) {
  std::vector<std::uint8_t> Chunks;
  // Appended by copying: GCC 12's bounds checks misread small vector inserts here.
  auto Append = [&](const void* Bytes, std::size_t Count) {
    const std::size_t At = Chunks.size();
    Chunks.resize(At + Count);
    if (Count) std::memcpy(&Chunks[At], Bytes, Count);
  };
  auto Put = [&](const char* Type, const std::vector<std::uint8_t>& Head, const std::vector<std::uint8_t>& Body) {
    PutBigEndian32(Chunks, std::uint32_t(Head.size() + Body.size()));
    const std::size_t Start = Chunks.size();
    Append(Type, 4);
    Append(Head.data(), Head.size());
    Append(Body.data(), Body.size());
    PutBigEndian32(Chunks, PngCrc32(&Chunks[Start], Chunks.size() - Start));
  };
  if (!Metadata.Icc.empty()) {
    static const char Keyword[] = "ICC profile";
    std::vector<std::uint8_t> Head(Keyword, Keyword + sizeof Keyword); // with its zero
    Head.push_back(0);                                                  // compression method: zlib
    Put("iCCP", Head, DeflateZlib(Metadata.Icc));
  }
  if (!Metadata.Exif.empty()) Put("eXIf", {}, Metadata.Exif);
  return Spliced(Png, 8 + 12 + 13, Chunks); // after the signature and IHDR
}

// ============================================================================
// WebP
// ============================================================================

TImageMetadata ReadWebpMetadata(const std::vector<std::uint8_t>& Data) {
  TImageMetadata Metadata;
  auto LittleEndian32 = [&](std::size_t At) {
    return std::uint32_t(Data[At]) | std::uint32_t(Data[At + 1]) << 8 | std::uint32_t(Data[At + 2]) << 16 |
           std::uint32_t(Data[At + 3]) << 24;
  };
  // Chunks after "RIFF", the size and "WEBP", each padded to an even size.
  for (std::size_t At = 12; Data.size() - At >= 8;) {
    const std::size_t Length = LittleEndian32(At + 4);
    if (Length > Data.size() - At - 8) break;
    const std::uint8_t* Payload = &Data[At + 8];
    if (std::memcmp(&Data[At], "ICCP", 4) == 0 && Metadata.Icc.empty()) Metadata.Icc.assign(Payload, Payload + Length);
    if (std::memcmp(&Data[At], "EXIF", 4) == 0 && Metadata.Exif.empty()) {
      // Some writers start it with JPEG's "Exif\0\0"; the TIFF structure follows.
      const std::size_t Skip = Length >= 6 && std::memcmp(Payload, "Exif\0\0", 6) == 0 ? 6 : 0;
      Metadata.Exif.assign(Payload + Skip, Payload + Length);
    }
    At += 8 + Length + Length % 2;
    if (At > Data.size()) break;
  }
  return Metadata;
}

// ============================================================================
// EXIF orientation
// ============================================================================

namespace {

// Where the orientation tag's value lies in Exif, and the byte order; none when absent.
std::optional<std::size_t> OrientationOffset(const std::vector<std::uint8_t>& Exif, bool& BigEndianData) {
  if (Exif.size() < 8) return std::nullopt;
  BigEndianData = Exif[0] == 'M';
  if (!(Exif[0] == 'I' && Exif[1] == 'I') && !(Exif[0] == 'M' && Exif[1] == 'M')) return std::nullopt;
  auto U16 = [&](std::size_t At) {
    return BigEndianData ? BigEndian16(&Exif[At]) : std::uint32_t(Exif[At]) | std::uint32_t(Exif[At + 1]) << 8;
  };
  auto U32 = [&](std::size_t At) {
    return BigEndianData ? U16(At) << 16 | U16(At + 2) : U16(At) | U16(At + 2) << 16;
  };
  if (U16(2) != 42) return std::nullopt;
  const std::uint64_t Directory = U32(4);
  if (Directory + 2 > Exif.size()) return std::nullopt;
  const std::uint64_t Entries = U16(std::size_t(Directory));
  for (std::uint64_t I = 0; I < Entries; ++I) {
    const std::uint64_t Entry = Directory + 2 + 12 * I;
    if (Entry + 12 > Exif.size()) return std::nullopt;
    if (U16(std::size_t(Entry)) == 0x0112 && U16(std::size_t(Entry) + 2) == 3 && U32(std::size_t(Entry) + 4) == 1)
      return std::size_t(Entry) + 8;
  }
  return std::nullopt;
}

} // namespace

int ExifOrientation(const std::vector<std::uint8_t>& Exif) {
  bool Big = false;
  const auto At = OrientationOffset(Exif, Big);
  if (!At) return 0;
  const int Value = Big ? Exif[*At] << 8 | Exif[*At + 1] : Exif[*At] | Exif[*At + 1] << 8;
  return Value >= 1 && Value <= 8 ? Value : 0;
}

void SetExifOrientation(std::vector<std::uint8_t>& Exif, int Orientation) {
  bool Big = false;
  const auto At = OrientationOffset(Exif, Big);
  if (!At) return;
  Exif[*At + (Big ? 1 : 0)] = std::uint8_t(Orientation);
  Exif[*At + (Big ? 0 : 1)] = 0;
}

void OrientPixels(const std::uint8_t* From, int W, int H, std::ptrdiff_t FromStride, int PixelBytes,
                  int Orientation, std::uint8_t* To, std::ptrdiff_t ToStride) {
  const bool Swap = Orientation >= 5;
  const int ShownWidth = Swap ? H : W, ShownHeight = Swap ? W : H;
  // The stored pixel shown at (X, Y): each orientation as a mirroring of the rows and columns
  // of the stored image, read along columns when the sides swap.
  const bool MirrorX = Orientation == 2 || Orientation == 3 || Orientation == 7 || Orientation == 8;
  const bool MirrorY = Orientation == 3 || Orientation == 4 || Orientation == 6 || Orientation == 7;
  for (int Y = 0; Y < ShownHeight; ++Y) {
    std::uint8_t* Out = To + Y * ToStride;
    for (int X = 0; X < ShownWidth; ++X, Out += PixelBytes) {
      int SX = Swap ? Y : X, SY = Swap ? X : Y;
      if (MirrorX) SX = W - 1 - SX;
      if (MirrorY) SY = H - 1 - SY;
      std::memcpy(Out, From + SY * FromStride + std::ptrdiff_t(SX) * PixelBytes, std::size_t(PixelBytes));
    }
  }
}

std::unique_ptr<TLinearBitmap> Oriented(const TLinearBitmap& Bitmap, int Orientation) {
  const bool Swap = Orientation >= 5;
  auto Result = std::make_unique<TLinearBitmap>(Swap ? Bitmap.Height : Bitmap.Width, Swap ? Bitmap.Width : Bitmap.Height,
                                                Bitmap.PixelFormat);
  if (Bitmap.Palette) *Result->Palette = *Bitmap.Palette;
  OrientPixels(Bitmap.Map, Bitmap.Width, Bitmap.Height, Bitmap.BytesPerLine, Bitmap.PixelSize, Orientation,
               Result->Map, Result->BytesPerLine);
  return Result;
}
