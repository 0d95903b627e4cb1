#include "photo_codecs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <propvarutil.h>
#include <zlib.h>

#include "cli_error.h"
#include "wic_win32.h"

namespace {

// ============================================================================
// PNG with alpha or 16 bits: our own writer. WIC's, as Wine gives it, writes 16-bit samples
// byte-swapped and red, green, blue and alpha not at all.
// ============================================================================

void PutBigEndian32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(std::uint8_t(V >> Shift));
}

void PutChunk(std::vector<std::uint8_t>& Png, const char* Type, const std::uint8_t* Data, std::size_t Size) {
  PutBigEndian32(Png, std::uint32_t(Size));
  const std::size_t Start = Png.size();
  Png.insert(Png.end(), Type, Type + 4);
  Png.insert(Png.end(), Data, Data + Size);
  PutBigEndian32(Png, PngCrc32(&Png[Start], Size + 4));
}

// One filtered row: the filter of the five whose bytes, taken as signed, sum smallest in
// magnitude (the usual heuristic), then its bytes. Previous is the row above (zeros at the top).
void FilterRow(const std::vector<std::uint8_t>& Row, const std::vector<std::uint8_t>& Previous, int PixelBytes,
               std::vector<std::uint8_t>& Out) {
  const std::size_t Size = Row.size();
  std::vector<std::uint8_t> Best, Trial(Size);
  std::uint64_t BestSum = ~std::uint64_t(0);
  for (int Filter = 0; Filter <= 4; ++Filter) {
    std::uint64_t Sum = 0;
    for (std::size_t I = 0; I < Size; ++I) {
      const int A = I >= std::size_t(PixelBytes) ? Row[I - PixelBytes] : 0, B = Previous[I];
      const int C = I >= std::size_t(PixelBytes) ? Previous[I - PixelBytes] : 0;
      int Predicted = 0;
      if (Filter == 1) Predicted = A;
      else if (Filter == 2) Predicted = B;
      else if (Filter == 3) Predicted = (A + B) / 2;
      else if (Filter == 4) {
        const int P = A + B - C, PA = std::abs(P - A), PB = std::abs(P - B), PC = std::abs(P - C);
        Predicted = PA <= PB && PA <= PC ? A : PB <= PC ? B : C;
      }
      Trial[I] = std::uint8_t(Row[I] - Predicted);
      Sum += std::uint64_t(std::abs(int(std::int8_t(Trial[I]))));
    }
    if (Sum < BestSum) {
      BestSum = Sum;
      Best = Trial;
      Best.insert(Best.begin(), std::uint8_t(Filter));
    }
  }
  Out.insert(Out.end(), Best.begin(), Best.end());
}

// The image data of a PNG: filtered rows through one Deflate stream, in IDAT chunks.
void PutImageData(std::vector<std::uint8_t>& Png, const TSamplePlanes& Planes) {
  const int SampleBytes = Planes.Depth / 8, PixelBytes = Planes.Channels * SampleBytes;
  const std::size_t RowSamples = std::size_t(Planes.Width) * Planes.Channels;
  z_stream Stream{};
  if (deflateInit(&Stream, Z_DEFAULT_COMPRESSION) != Z_OK) throw std::bad_alloc();
  std::vector<std::uint8_t> Row(RowSamples * SampleBytes), Previous(Row.size()), Filtered, Chunk(1 << 20);
  Stream.next_out = Chunk.data();
  Stream.avail_out = uInt(Chunk.size());
  int Result = Z_OK;
  for (int Y = 0; Y <= Planes.Height && Result != Z_STREAM_END; ++Y) {
    Filtered.clear();
    if (Y < Planes.Height) {
      const std::uint16_t* From = &Planes.Samples[RowSamples * Y];
      for (std::size_t I = 0; I < RowSamples; ++I) // big-endian samples
        if (SampleBytes == 2) Row[2 * I] = std::uint8_t(From[I] >> 8), Row[2 * I + 1] = std::uint8_t(From[I]);
        else Row[I] = std::uint8_t(From[I]);
      FilterRow(Row, Previous, PixelBytes, Filtered);
      std::swap(Row, Previous);
    }
    Stream.next_in = Filtered.data();
    Stream.avail_in = uInt(Filtered.size());
    do { // a full chunk goes out as an IDAT; the last one when the stream ends
      Result = deflate(&Stream, Y < Planes.Height ? Z_NO_FLUSH : Z_FINISH);
      if (Result == Z_STREAM_ERROR) break;
      if (Stream.avail_out == 0 || Result == Z_STREAM_END) {
        const std::size_t Made = Chunk.size() - Stream.avail_out;
        if (Made) PutChunk(Png, "IDAT", Chunk.data(), Made);
        Stream.next_out = Chunk.data();
        Stream.avail_out = uInt(Chunk.size());
      }
    } while (Stream.avail_in != 0 || (Y == Planes.Height && Result != Z_STREAM_END));
  }
  deflateEnd(&Stream);
  if (Result != Z_STREAM_END) throw ECommandLine("cannot encode PNG image (compression)", ExitFailure);
}

// ============================================================================
// TIFF and WebP through WIC
// ============================================================================

// The orientation tag of the first image directory; 0 when there is none or it says nothing
// we know.
int TiffOrientation(const wic::TFrame& Frame) {
  com::TComPtr<IWICMetadataQueryReader> Reader;
  if (FAILED(Frame->GetMetadataQueryReader(&Reader))) return 0;
  PROPVARIANT Value;
  PropVariantInit(&Value);
  int Orientation = 0;
  if (SUCCEEDED(Reader->GetMetadataByName(L"/ifd/{ushort=274}", &Value)) && Value.vt == VT_UI2 && Value.uiVal >= 1 &&
      Value.uiVal <= 8)
    Orientation = Value.uiVal;
  PropVariantClear(&Value);
  return Orientation;
}

TDecodedImage DecodeWithWic(const std::vector<std::uint8_t>& Data, const char* Format, const std::string& Name,
                            std::int64_t MaxPixels, const char* NoCodec, bool TiffTags) {
  const wic::TFrame Frame(Data, Format, Name, NoCodec);
  CheckImageSize(Frame.Width, Frame.Height, 4 * sizeof(std::uint16_t), MaxPixels, Name);
  TDecodedImage Image;
  Image.Planes = wic::FrameSamples(Frame, Name,
                                   std::string(Format) + " images of this pixel layout are not supported (only grey "
                                                         "and RGB, 8 or 16 bits, with or without alpha)");
  if (TiffTags) Image.Orientation = TiffOrientation(Frame);
  return Image;
}

const char* const NoWebpCodec = "WebP files cannot be read here: the system has no WebP codec";

} // namespace

bool WebpWritable() { return wic::HasEncoder(GUID_ContainerFormatWebp); }

std::vector<std::uint8_t> EncodePngSamples(const TSamplePlanes& Planes) {
  std::vector<std::uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> Header;
  PutBigEndian32(Header, std::uint32_t(Planes.Width));
  PutBigEndian32(Header, std::uint32_t(Planes.Height));
  static const std::uint8_t ColourTypes[] = {0, 0, 4, 2, 6}; // by channel count
  Header.insert(Header.end(), {std::uint8_t(Planes.Depth), ColourTypes[Planes.Channels], 0, 0, 0});
  PutChunk(Png, "IHDR", Header.data(), Header.size());
  PutImageData(Png, Planes);
  PutChunk(Png, "IEND", nullptr, 0);
  return Png;
}

TDecodedImage DecodeTiff(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels) {
  return DecodeWithWic(Data, "TIFF", Name, MaxPixels, nullptr, true);
}

std::vector<std::uint8_t> EncodeTiff(const TSamplePlanes& Planes) {
  return wic::EncodeSamples(GUID_ContainerFormatTiff, "TIFF", Planes, [](IPropertyBag2* Options) {
    // Lossless either way: an encoder without Deflate writes the samples as they are.
    PROPBAG2 Name{};
    Name.pstrName = const_cast<LPOLESTR>(L"TiffCompressionMethod");
    VARIANT Value;
    VariantInit(&Value);
    Value.vt = VT_UI1;
    Value.bVal = WICTiffCompressionZIP;
    Options->Write(1, &Name, &Value);
  });
}

TDecodedImage DecodeWebp(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels) {
  return DecodeWithWic(Data, "WebP", Name, MaxPixels, NoWebpCodec, false);
}

std::vector<std::uint8_t> EncodeWebp(const TSamplePlanes& Planes, const TImageMetadata& Metadata, int Quality) {
  if (!Metadata.Icc.empty() || !Metadata.Exif.empty())
    std::fprintf(stderr, "featureresize: the system's WebP encoder takes no ICC profile or EXIF data; left out\n");
  // Where a WebP encoder exists it takes 8-bit samples.
  TSamplePlanes Eight = Planes;
  if (Eight.Depth == 16) {
    for (auto& V : Eight.Samples) V = std::uint16_t((V * 255u + 32767) / 65535);
    Eight.Depth = 8;
  }
  return wic::EncodeSamples(GUID_ContainerFormatWebp, "WebP", Eight, [Quality](IPropertyBag2* Options) {
    // Lossless unless a quality is given; an encoder that cannot do what is asked refuses.
    PROPBAG2 Name{};
    VARIANT Value;
    VariantInit(&Value);
    if (Quality == 0) {
      Name.pstrName = const_cast<LPOLESTR>(L"Lossless");
      Value.vt = VT_BOOL;
      Value.boolVal = VARIANT_TRUE;
    } else {
      Name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
      Value.vt = VT_R4;
      Value.fltVal = float(Quality) / 100;
    }
    if (FAILED(Options->Write(1, &Name, &Value)))
      throw ECommandLine(std::string("the system's WebP encoder writes no ") + (Quality ? "chosen quality" : "lossless files"),
                         ExitRefused);
  });
}
