#include "image_codecs.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include <windows.h>
#include <wincodec.h>

namespace {

// Releases a COM interface at the end of its scope.
template <typename TInterface> class TComPtr {
public:
  TComPtr() = default;
  ~TComPtr() {
    if (Pointer) Pointer->Release();
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  TInterface* operator->() const { return Pointer; }
  TInterface** operator&() { return &Pointer; }
  TInterface* Get() const { return Pointer; }
  TInterface* Pointer = nullptr;
};

// COM for the life of one codec call; an apartment the caller already entered is reused.
class TComScope {
public:
  TComScope() : Result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(Result_)) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

private:
  HRESULT Result_;
};

std::string HresultText(HRESULT Result) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "error 0x%08lX", static_cast<unsigned long>(Result));
  return Text;
}

void CheckDecode(HRESULT Result, const char* Format, const std::string& Name) {
  if (Result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(Result)) FailFile(Name, std::string("damaged ") + Format + " file (" + HresultText(Result) + ")");
}

void CheckEncode(HRESULT Result) {
  if (Result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(Result)) throw ECommandLine("cannot encode PNG image (" + HresultText(Result) + ")", ExitFailure);
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

// Decodes the first frame, converted to 8-bit grey or to blue, green, red, into a bitmap of
// the size the header declared.
std::unique_ptr<TLinearBitmap> DecodeWithWic(const std::vector<std::uint8_t>& Data, std::int64_t Width,
                                             std::int64_t Height, bool Grey, const char* Format,
                                             const std::string& Name) {
  const TComScope Com;
  const std::function<void(HRESULT)> Check = [&](HRESULT Result) { CheckDecode(Result, Format, Name); };
  TComPtr<IWICImagingFactory> Factory;
  TComPtr<IWICStream> Stream;
  TComPtr<IWICBitmapDecoder> Decoder;
  TComPtr<IWICBitmapFrameDecode> Frame;
  OpenFrame(Data, Width, Height, Factory, Stream, Decoder, Frame, Check, Format, Name);
  TComPtr<IWICBitmapSource> Converted;
  Check(WICConvertBitmapSource(Grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR, Frame.Get(),
                               &Converted));
  auto Bitmap = std::make_unique<TLinearBitmap>(int(Width), int(Height), Grey ? lpf8Bit : lpf24Bit);
  if (Grey) *Bitmap->Palette = GreyPalette;
  Check(Converted->CopyPixels(nullptr, UINT(Bitmap->BytesPerLine), UINT(Bitmap->Size), Bitmap->Map));
  return Bitmap;
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
  const TComScope Com;
  TComPtr<IWICImagingFactory> Factory;
  CheckEncode(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                               reinterpret_cast<void**>(&Factory)));
  TComPtr<IStream> Stream;
  CheckEncode(CreateStreamOnHGlobal(nullptr, TRUE, &Stream));
  TComPtr<IWICBitmapEncoder> Encoder;
  CheckEncode(Factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &Encoder));
  CheckEncode(Encoder->Initialize(Stream.Get(), WICBitmapEncoderNoCache));
  TComPtr<IWICBitmapFrameEncode> Frame;
  CheckEncode(Encoder->CreateNewFrame(&Frame, nullptr));
  CheckEncode(Frame->Initialize(nullptr));
  CheckEncode(Frame->SetSize(UINT(Width), UINT(Height)));
  const GUID Wanted = Grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR;
  GUID Format = Wanted;
  CheckEncode(Frame->SetPixelFormat(&Format));
  if (!IsEqualGUID(Format, Wanted)) CheckEncode(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT);
  CheckEncode(Frame->WritePixels(UINT(Height), UINT(Stride), UINT(std::int64_t(Stride) * Height),
                                 const_cast<BYTE*>(Rows)));
  CheckEncode(Frame->Commit());
  CheckEncode(Encoder->Commit());
  return StreamBytes(Stream.Get());
}
