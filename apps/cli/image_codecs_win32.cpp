#include "image_codecs.h"
#include "photo_codecs.h"

#include <cstring>
#include <functional>
#include <new>

#include <windows.h>
#include <wincodec.h>

#include "support/com_win32.h"

namespace {

using com::TComPtr;
using com::TComScope;

std::string HresultText(HRESULT Result) { return "error " + com::HresultHex(Result); }

void CheckDecode(HRESULT Result, const char* Format, const std::string& Name) {
  if (Result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(Result)) FailFile(Name, std::string("damaged ") + Format + " file (" + HresultText(Result) + ")");
}

void CheckEncode(HRESULT Result, const char* Format = "PNG") {
  if (Result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(Result))
    throw ECommandLine(std::string("cannot encode ") + Format + " image (" + HresultText(Result) + ")", ExitFailure);
}

// Opens the first frame of an image in memory and checks its size against the header.
void OpenFrame(const std::vector<std::uint8_t>& Data, std::int64_t Width, std::int64_t Height,
               TComPtr<IWICImagingFactory>& Factory, TComPtr<IWICStream>& Stream,
               TComPtr<IWICBitmapDecoder>& Decoder, TComPtr<IWICBitmapFrameDecode>& Frame,
               const std::function<void(HRESULT)>& Check, const char* Format, const std::string& Name) {
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void**>(&Factory)));
  Check(Factory->CreateStream(&Stream));
  Check(Stream->InitializeFromMemory(const_cast<BYTE*>(Data.data()), DWORD(Data.size())));
  Check(Factory->CreateDecoderFromStream(Stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &Decoder));
  Check(Decoder->GetFrame(0, &Frame));
  UINT FrameWidth = 0, FrameHeight = 0;
  Check(Frame->GetSize(&FrameWidth, &FrameHeight));
  if (FrameWidth != Width || FrameHeight != Height)
    FailFile(Name, std::string("damaged ") + Format + " file (frame size differs from the header)");
}

// Bits per pixel of the packed grey and indexed formats WIC gives for PNG; 0 for others.
int PackedDepth(const GUID& Format) {
  if (IsEqualGUID(Format, GUID_WICPixelFormatBlackWhite) || IsEqualGUID(Format, GUID_WICPixelFormat1bppIndexed)) return 1;
  if (IsEqualGUID(Format, GUID_WICPixelFormat2bppGray) || IsEqualGUID(Format, GUID_WICPixelFormat2bppIndexed)) return 2;
  if (IsEqualGUID(Format, GUID_WICPixelFormat4bppGray) || IsEqualGUID(Format, GUID_WICPixelFormat4bppIndexed)) return 4;
  if (IsEqualGUID(Format, GUID_WICPixelFormat8bppGray) || IsEqualGUID(Format, GUID_WICPixelFormat8bppIndexed)) return 8;
  return 0;
}

// Spreads the Depth-bit samples packed at the start of each row to a byte each, scaling grey
// to 0..255. Runs from the right: sample X is read from byte X * Depth / 8, never above X,
// before byte X is written.
void UnpackRows(TLinearBitmap& Bitmap, int Depth, bool ScaleGrey) {
  if (Depth == 8) return;
  const int Mask = (1 << Depth) - 1;
  for (int Y = 0; Y < Bitmap.Height; ++Y) {
    std::uint8_t* Row = Bitmap.ScanLine(Y);
    for (int X = Bitmap.Width - 1; X >= 0; --X) {
      const int Bit = X * Depth;
      const int Sample = Row[Bit / 8] >> (8 - Depth - Bit % 8) & Mask;
      Row[X] = std::uint8_t(ScaleGrey ? Sample * 255 / Mask : Sample);
    }
  }
}

// Copies the first frame, converted to Target, to Pixels (rows Stride apart, Size bytes).
void CopyFrameAs(const std::vector<std::uint8_t>& Data, std::int64_t Width, std::int64_t Height, const GUID& Target,
                 UINT Stride, UINT Size, BYTE* Pixels, const char* Format, const std::string& Name) {
  const TComScope Com;
  const std::function<void(HRESULT)> Check = [&](HRESULT Result) { CheckDecode(Result, Format, Name); };
  TComPtr<IWICImagingFactory> Factory;
  TComPtr<IWICStream> Stream;
  TComPtr<IWICBitmapDecoder> Decoder;
  TComPtr<IWICBitmapFrameDecode> Frame;
  OpenFrame(Data, Width, Height, Factory, Stream, Decoder, Frame, Check, Format, Name);
  TComPtr<IWICBitmapSource> Converted;
  Check(WICConvertBitmapSource(Target, Frame.Get(), &Converted));
  Check(Converted->CopyPixels(nullptr, Stride, Size, Pixels));
}

// Decodes the first frame, converted to 8-bit grey or to blue, green, red, into a bitmap of
// the size the header declared.
std::unique_ptr<TLinearBitmap> DecodeWithWic(const std::vector<std::uint8_t>& Data, std::int64_t Width,
                                             std::int64_t Height, bool Grey, const char* Format,
                                             const std::string& Name) {
  auto Bitmap = std::make_unique<TLinearBitmap>(int(Width), int(Height), Grey ? lpf8Bit : lpf24Bit);
  if (Grey) *Bitmap->Palette = GreyPalette;
  CopyFrameAs(Data, Width, Height, Grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR,
              UINT(Bitmap->BytesPerLine), UINT(Bitmap->Size), Bitmap->Map, Format, Name);
  return Bitmap;
}

// WIC's pixel format for sample planes of Channels and Depth; grey and alpha has none and
// travels as red, green, blue and alpha.
GUID SampleFormat(int Channels, int Depth) {
  if (Channels == 1) return Depth == 16 ? GUID_WICPixelFormat16bppGray : GUID_WICPixelFormat8bppGray;
  if (Channels == 3) return Depth == 16 ? GUID_WICPixelFormat48bppRGB : GUID_WICPixelFormat24bppRGB;
  return Depth == 16 ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat32bppRGBA;
}

// Low-depth grey and palette PNGs are copied in WIC's packed form and spread by us, so that
// palette indices are checked as on every platform.
std::unique_ptr<TLinearBitmap> DecodePackedPng(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                                               const std::string& Name) {
  const TComScope Com;
  const std::function<void(HRESULT)> Check = [&](HRESULT Result) { CheckDecode(Result, "PNG", Name); };
  TComPtr<IWICImagingFactory> Factory;
  TComPtr<IWICStream> Stream;
  TComPtr<IWICBitmapDecoder> Decoder;
  TComPtr<IWICBitmapFrameDecode> Frame;
  OpenFrame(Data, Header.Width, Header.Height, Factory, Stream, Decoder, Frame, Check, "PNG", Name);
  GUID Native{};
  Check(Frame->GetPixelFormat(&Native));
  if (PackedDepth(Native) != Header.BitDepth) FailFile(Name, "damaged PNG file (pixel format differs from the header)");
  auto Bitmap = std::make_unique<TLinearBitmap>(int(Header.Width), int(Header.Height), Header.Grey() ? lpf8Bit : lpf24Bit);
  if (Header.Grey()) *Bitmap->Palette = GreyPalette;
  Check(Frame->CopyPixels(nullptr, UINT(Bitmap->BytesPerLine), UINT(Bitmap->Size), Bitmap->Map));
  UnpackRows(*Bitmap, Header.BitDepth, Header.Grey());
  if (!Header.Grey()) ExpandPngPalette(*Bitmap, Header, Name);
  return Bitmap;
}

// An IStream over global memory that the encoder writes into; its bytes are copied out.
std::vector<std::uint8_t> StreamBytes(IStream* Stream) {
  STATSTG Status{};
  CheckEncode(Stream->Stat(&Status, STATFLAG_NONAME));
  std::vector<std::uint8_t> Out(std::size_t(Status.cbSize.QuadPart));
  LARGE_INTEGER Start{};
  CheckEncode(Stream->Seek(Start, STREAM_SEEK_SET, nullptr));
  ULONG Read = 0;
  CheckEncode(Stream->Read(Out.data(), ULONG(Out.size()), &Read));
  if (Read != Out.size()) CheckEncode(E_FAIL);
  return Out;
}

// Rows as one frame of a Container file; SetOptions writes the encoder's options.
std::vector<std::uint8_t> EncodeWithWic(const GUID& Container, const char* Format, const std::uint8_t* Rows,
                                        int Width, int Height, std::int32_t Stride, const GUID& Wanted,
                                        const std::function<void(IPropertyBag2*)>& SetOptions) {
  const TComScope Com;
  const auto Check = [Format](HRESULT Result) { CheckEncode(Result, Format); };
  TComPtr<IWICImagingFactory> Factory;
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void**>(&Factory)));
  TComPtr<IStream> Stream;
  Check(CreateStreamOnHGlobal(nullptr, TRUE, &Stream));
  TComPtr<IWICBitmapEncoder> Encoder;
  Check(Factory->CreateEncoder(Container, nullptr, &Encoder));
  Check(Encoder->Initialize(Stream.Get(), WICBitmapEncoderNoCache));
  TComPtr<IWICBitmapFrameEncode> Frame;
  TComPtr<IPropertyBag2> Options;
  Check(Encoder->CreateNewFrame(&Frame, &Options));
  SetOptions(Options.Get());
  Check(Frame->Initialize(Options.Get()));
  Check(Frame->SetSize(UINT(Width), UINT(Height)));
  GUID PixelFormat = Wanted;
  Check(Frame->SetPixelFormat(&PixelFormat));
  if (!IsEqualGUID(PixelFormat, Wanted)) Check(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT);
  Check(Frame->WritePixels(UINT(Height), UINT(Stride), UINT(std::int64_t(Stride) * Height), const_cast<BYTE*>(Rows)));
  Check(Frame->Commit());
  Check(Encoder->Commit());
  return StreamBytes(Stream.Get());
}

GUID PixelFormatOf(bool Grey) { return Grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR; }

// WIC's names for the sampling layouts it writes; 4:2:0 for the others.
WICJpegYCrCbSubsamplingOption SubsamplingOption(const TJpegSampling& S) {
  if (S.Horizontal[1] != 1 || S.Vertical[1] != 1 || S.Horizontal[2] != 1 || S.Vertical[2] != 1)
    return WICJpegYCrCbSubsampling420;
  if (S.Horizontal[0] == 1 && S.Vertical[0] == 1) return WICJpegYCrCbSubsampling444;
  if (S.Horizontal[0] == 2 && S.Vertical[0] == 1) return WICJpegYCrCbSubsampling422;
  if (S.Horizontal[0] == 1 && S.Vertical[0] == 2) return WICJpegYCrCbSubsampling440;
  return WICJpegYCrCbSubsampling420;
}

} // namespace

std::unique_ptr<TLinearBitmap> DecodePngPixels(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                                               const std::string& Name) {
  if (Header.ColourType == 3 || (Header.Grey() && Header.BitDepth < 8)) return DecodePackedPng(Data, Header, Name);
  return DecodeWithWic(Data, Header.Width, Header.Height, Header.Grey(), "PNG", Name);
}

std::unique_ptr<TLinearBitmap> DecodeJpegPixels(const std::vector<std::uint8_t>& Data, const TJpegFrame& Frame,
                                                const std::string& Name) {
  return DecodeWithWic(Data, Frame.Width, Frame.Height, Frame.Components == 1, "JPEG", Name);
}

std::vector<std::uint8_t> EncodePngPixels(const std::uint8_t* Rows, int Width, int Height, std::int32_t Stride,
                                          bool Grey) {
  return EncodeWithWic(GUID_ContainerFormatPng, "PNG", Rows, Width, Height, Stride, PixelFormatOf(Grey),
                       [](IPropertyBag2*) {});
}

std::vector<std::uint8_t> EncodeJpegPixels(const std::uint8_t* Rows, int Width, int Height, std::int32_t Stride,
                                           bool Grey, int Quality, const TJpegSampling& Sampling) {
  return EncodeWithWic(GUID_ContainerFormatJpeg, "JPEG", Rows, Width, Height, Stride, PixelFormatOf(Grey),
                       [&](IPropertyBag2* Properties) {
                         PROPBAG2 Names[2]{};
                         VARIANT Values[2];
                         Names[0].pstrName = const_cast<LPOLESTR>(L"ImageQuality");
                         VariantInit(&Values[0]);
                         Values[0].vt = VT_R4;
                         Values[0].fltVal = float(Quality) / 100;
                         Names[1].pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
                         VariantInit(&Values[1]);
                         Values[1].vt = VT_UI1;
                         Values[1].bVal = BYTE(SubsamplingOption(Sampling));
                         CheckEncode(Properties->Write(Grey ? 1 : 2, Names, Values), "JPEG");
                       });
}

TSamplePlanes DecodePngSamples(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                               const std::string& Name) {
  TSamplePlanes Planes;
  Planes.Width = int(Header.Width);
  Planes.Height = int(Header.Height);
  Planes.Depth = Header.BitDepth == 16 ? 16 : 8;
  const bool Alpha = Header.ColourType == 4 || Header.ColourType == 6 || Header.Transparency;
  Planes.Channels = Alpha ? 4 : Header.ColourType == 0 ? 1 : 3;
  const std::size_t Samples = std::size_t(Planes.Width) * Planes.Height * Planes.Channels;
  const std::size_t SampleBytes = Planes.Depth / 8;
  std::vector<std::uint8_t> Bytes(Samples * SampleBytes);
  CopyFrameAs(Data, Header.Width, Header.Height, SampleFormat(Planes.Channels, Planes.Depth),
              UINT(std::size_t(Planes.Width) * Planes.Channels * SampleBytes), UINT(Bytes.size()), Bytes.data(), "PNG",
              Name);
  Planes.Samples.resize(Samples);
  for (std::size_t I = 0; I < Samples; ++I)
    Planes.Samples[I] = SampleBytes == 2 ? std::uint16_t(Bytes[2 * I] | Bytes[2 * I + 1] << 8) : Bytes[I];
  return Planes;
}

std::vector<std::uint8_t> EncodePngSamples(const TSamplePlanes& Planes) {
  const int Channels = Planes.Channels == 2 ? 4 : Planes.Channels;
  const std::size_t SampleBytes = Planes.Depth / 8;
  const std::size_t Pixels = std::size_t(Planes.Width) * Planes.Height;
  std::vector<std::uint8_t> Bytes(Pixels * Channels * SampleBytes);
  for (std::size_t I = 0, To = 0; I < Pixels; ++I)
    for (int C = 0; C < Channels; ++C, ++To) {
      // Grey and alpha as red, green, blue and alpha: the grey three times.
      const std::uint16_t V = Planes.Pixel(I)[Planes.Channels == 2 ? (C == 3 ? 1 : 0) : C];
      if (SampleBytes == 2) {
        Bytes[2 * To] = std::uint8_t(V);
        Bytes[2 * To + 1] = std::uint8_t(V >> 8);
      } else {
        Bytes[To] = std::uint8_t(V);
      }
    }
  return EncodeWithWic(GUID_ContainerFormatPng, "PNG", Bytes.data(), Planes.Width, Planes.Height,
                       std::int32_t(std::size_t(Planes.Width) * Channels * SampleBytes),
                       SampleFormat(Channels, Planes.Depth), [](IPropertyBag2*) {});
}
