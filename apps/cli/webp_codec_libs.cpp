// WebP through libwebp: the decoder and encoder, and the mux library that puts the metadata
// chunks in (image_metadata.h reads them).
#include <cstring>
#include <new>

#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include "cli_error.h"
#include "photo_codecs.h"

TDecodedImage DecodeWebp(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels) {
  WebPBitstreamFeatures Features;
  const VP8StatusCode Status = WebPGetFeatures(Data.data(), Data.size(), &Features);
  if (Status == VP8_STATUS_OUT_OF_MEMORY) throw std::bad_alloc();
  if (Status != VP8_STATUS_OK) FailFile(Name, "damaged WebP file (header)");
  if (Features.has_animation) RefuseFile(Name, "animated WebP images are not supported");
  CheckImageSize(Features.width, Features.height, 4 * sizeof(std::uint16_t), MaxPixels, Name);

  TDecodedImage Image;
  TSamplePlanes& Planes = Image.Planes;
  Planes.Width = Features.width;
  Planes.Height = Features.height;
  Planes.Channels = Features.has_alpha ? 4 : 3;
  const std::size_t Stride = std::size_t(Planes.Width) * Planes.Channels;
  std::vector<std::uint8_t> Bytes(Stride * Planes.Height);
  const auto* Decoded = Features.has_alpha
                            ? WebPDecodeRGBAInto(Data.data(), Data.size(), Bytes.data(), Bytes.size(), int(Stride))
                            : WebPDecodeRGBInto(Data.data(), Data.size(), Bytes.data(), Bytes.size(), int(Stride));
  if (!Decoded) FailFile(Name, "damaged WebP file (image data)");
  Planes.Samples.assign(Bytes.begin(), Bytes.end());

  return Image;
}

std::vector<std::uint8_t> EncodeWebp(const TSamplePlanes& Planes, const TImageMetadata& Metadata, int Quality) {
  // Red, green, blue (and alpha) bytes; grey spread to three, 16 bits scaled to 8.
  const int Channels = Planes.HasAlpha() ? 4 : 3;
  const std::size_t Pixels = std::size_t(Planes.Width) * Planes.Height;
  std::vector<std::uint8_t> Bytes(Pixels * Channels);
  for (std::size_t I = 0, To = 0; I < Pixels; ++I)
    for (int C = 0; C < Channels; ++C, ++To) {
      const int From = C == 3 ? Planes.Channels - 1 : Planes.Grey() ? 0 : C;
      const std::uint32_t V = Planes.Pixel(I)[From];
      Bytes[To] = std::uint8_t(Planes.Depth == 16 ? (V * 255 + 32767) / 65535 : V);
    }
  std::uint8_t* Encoded = nullptr;
  const int Stride = Planes.Width * Channels;
  const std::size_t Size =
      Quality == 0 ? (Channels == 4 ? WebPEncodeLosslessRGBA(Bytes.data(), Planes.Width, Planes.Height, Stride, &Encoded)
                                    : WebPEncodeLosslessRGB(Bytes.data(), Planes.Width, Planes.Height, Stride, &Encoded))
                   : (Channels == 4 ? WebPEncodeRGBA(Bytes.data(), Planes.Width, Planes.Height, Stride, float(Quality), &Encoded)
                                    : WebPEncodeRGB(Bytes.data(), Planes.Width, Planes.Height, Stride, float(Quality), &Encoded));
  if (Size == 0) {
    WebPFree(Encoded);
    throw ECommandLine("cannot encode WebP image", ExitFailure);
  }
  std::vector<std::uint8_t> Plain(Encoded, Encoded + Size);
  WebPFree(Encoded);
  if (Metadata.Icc.empty() && Metadata.Exif.empty()) return Plain;

  WebPMux* Mux = WebPMuxNew();
  if (!Mux) throw std::bad_alloc();
  const WebPData Image{Plain.data(), Plain.size()};
  const WebPData Icc{Metadata.Icc.data(), Metadata.Icc.size()};
  const WebPData Exif{Metadata.Exif.data(), Metadata.Exif.size()};
  WebPData Assembled{nullptr, 0};
  bool Done = WebPMuxSetImage(Mux, &Image, 0) == WEBP_MUX_OK;
  if (Done && Icc.size) Done = WebPMuxSetChunk(Mux, "ICCP", &Icc, 1) == WEBP_MUX_OK;
  if (Done && Exif.size) Done = WebPMuxSetChunk(Mux, "EXIF", &Exif, 1) == WEBP_MUX_OK;
  if (Done) Done = WebPMuxAssemble(Mux, &Assembled) == WEBP_MUX_OK;
  WebPMuxDelete(Mux);
  std::vector<std::uint8_t> Out;
  if (Done) Out.assign(Assembled.bytes, Assembled.bytes + Assembled.size);
  WebPDataClear(&Assembled);
  if (!Done) throw ECommandLine("cannot encode WebP image (metadata)", ExitFailure);
  return Out;
}

bool WebpWritable() { return true; }
