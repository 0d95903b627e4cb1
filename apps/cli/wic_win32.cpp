#include "wic_win32.h"

#include <algorithm>
#include <new>

#include "cli_error.h"

namespace wic {

namespace {

std::string HresultText(HRESULT Result) { return "error " + com::HresultHex(Result); }

com::TComPtr<IWICImagingFactory>& CreateFactory(com::TComPtr<IWICImagingFactory>& Factory,
                                                const std::function<void(HRESULT)>& Check) {
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void**>(&Factory)));
  return Factory;
}

// An IStream over global memory that the encoder wrote into; its bytes are copied out.
std::vector<std::uint8_t> StreamBytes(IStream* Stream, const char* Format) {
  STATSTG Status{};
  CheckEncode(Stream->Stat(&Status, STATFLAG_NONAME), Format);
  std::vector<std::uint8_t> Out(std::size_t(Status.cbSize.QuadPart));
  LARGE_INTEGER Start{};
  CheckEncode(Stream->Seek(Start, STREAM_SEEK_SET, nullptr), Format);
  ULONG Read = 0;
  CheckEncode(Stream->Read(Out.data(), ULONG(Out.size()), &Read), Format);
  if (Read != Out.size()) CheckEncode(E_FAIL, Format);
  return Out;
}

const TSampleLayout Layouts[] = {
    {GUID_WICPixelFormat8bppGray, 1, 8},
    {GUID_WICPixelFormat16bppGray, 1, 16},
    {GUID_WICPixelFormat24bppBGR, 3, 8, true},
    {GUID_WICPixelFormat24bppRGB, 3, 8},
    {GUID_WICPixelFormat32bppBGR, 3, 8, true, false, true},
    {GUID_WICPixelFormat48bppRGB, 3, 16},
    {GUID_WICPixelFormat32bppBGRA, 4, 8, true},
    {GUID_WICPixelFormat32bppRGBA, 4, 8},
    {GUID_WICPixelFormat32bppPBGRA, 4, 8, true, true},
    {GUID_WICPixelFormat32bppPRGBA, 4, 8, false, true},
    {GUID_WICPixelFormat64bppRGBA, 4, 16},
    {GUID_WICPixelFormat64bppPRGBA, 4, 16, false, true},
};

int BytesPerPixel(const TSampleLayout& L) { return (L.Channels + (L.Padded ? 1 : 0)) * L.Depth / 8; }

// Where colour channel C (0 red, 1 green, 2 blue, 3 alpha) of a pixel sits among its samples.
int Slot(const TSampleLayout& L, int C) { return L.Bgr && C < 3 ? 2 - C : C; }

} // namespace

void CheckDecode(HRESULT Result, const char* Format, const std::string& Name) {
  if (Result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(Result)) FailFile(Name, std::string("damaged ") + Format + " file (" + HresultText(Result) + ")");
}

void CheckEncode(HRESULT Result, const char* Format) {
  if (Result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(Result))
    throw ECommandLine(std::string("cannot encode ") + Format + " image (" + HresultText(Result) + ")", ExitFailure);
}

TFrame::TFrame(const std::vector<std::uint8_t>& Data, const char* Format, const std::string& Name, const char* NoCodec)
    : Format_(Format), Name_(Name) {
  const auto CheckThis = [this](HRESULT Result) { Check(Result); };
  CreateFactory(Factory_, CheckThis);
  Check(Factory_->CreateStream(&Stream_));
  Check(Stream_->InitializeFromMemory(const_cast<BYTE*>(Data.data()), DWORD(Data.size())));
  const HRESULT Opened = Factory_->CreateDecoderFromStream(Stream_.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &Decoder_);
  if (Opened == WINCODEC_ERR_COMPONENTNOTFOUND && NoCodec) RefuseFile(Name, NoCodec);
  Check(Opened);
  Check(Decoder_->GetFrame(0, &Frame_));
  Check(Frame_->GetSize(&Width, &Height));
}

bool HasEncoder(const GUID& Container) {
  const com::TComScope Com;
  com::TComPtr<IWICImagingFactory> Factory;
  com::TComPtr<IWICBitmapEncoder> Encoder;
  CreateFactory(Factory, [](HRESULT Result) { CheckEncode(Result, "any"); });
  return SUCCEEDED(Factory->CreateEncoder(Container, nullptr, &Encoder));
}

std::vector<std::uint8_t> Encode(const GUID& Container, const char* Format, int Width, int Height,
                                 const std::vector<GUID>& Candidates,
                                 const std::function<void(IPropertyBag2*)>& SetOptions,
                                 const std::function<TRows(const GUID&)>& RowsAs) {
  const com::TComScope Com;
  const auto Check = [Format](HRESULT Result) { CheckEncode(Result, Format); };
  com::TComPtr<IWICImagingFactory> Factory;
  CreateFactory(Factory, Check);
  com::TComPtr<IStream> Stream;
  Check(CreateStreamOnHGlobal(nullptr, TRUE, &Stream));
  com::TComPtr<IWICBitmapEncoder> Encoder;
  Check(Factory->CreateEncoder(Container, nullptr, &Encoder));
  Check(Encoder->Initialize(Stream.Get(), WICBitmapEncoderNoCache));
  com::TComPtr<IWICBitmapFrameEncode> Frame;
  com::TComPtr<IPropertyBag2> Options;
  Check(Encoder->CreateNewFrame(&Frame, &Options));
  SetOptions(Options.Get());
  Check(Frame->Initialize(Options.Get()));
  Check(Frame->SetSize(UINT(Width), UINT(Height)));
  // An encoder answers a format it does not write with the nearest it does: offer the next.
  const GUID* Taken = nullptr;
  for (const GUID& Candidate : Candidates) {
    GUID PixelFormat = Candidate;
    Check(Frame->SetPixelFormat(&PixelFormat));
    if (IsEqualGUID(PixelFormat, Candidate)) {
      Taken = &Candidate;
      break;
    }
  }
  if (!Taken) Check(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT);
  const TRows Rows = RowsAs(*Taken);
  Check(Frame->WritePixels(UINT(Height), UINT(Rows.Stride), UINT(std::int64_t(Rows.Stride) * Height),
                           const_cast<BYTE*>(Rows.Rows)));
  Check(Frame->Commit());
  Check(Encoder->Commit());
  return StreamBytes(Stream.Get(), Format);
}

const TSampleLayout* SampleLayoutOf(const GUID& Format) {
  for (const TSampleLayout& L : Layouts)
    if (IsEqualGUID(L.Format, Format)) return &L;
  return nullptr;
}

TSamplePlanes PlanesFrom(const std::uint8_t* Rows, std::size_t Stride, int Width, int Height,
                         const TSampleLayout& L) {
  TSamplePlanes Planes;
  Planes.Width = Width, Planes.Height = Height, Planes.Channels = L.Channels, Planes.Depth = L.Depth;
  Planes.Samples.resize(std::size_t(Width) * Height * L.Channels);
  const int Bytes = L.Depth / 8, PixelBytes = BytesPerPixel(L);
  std::uint16_t* To = Planes.Samples.data();
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X, To += L.Channels) {
      const std::uint8_t* From = Rows + Stride * Y + std::size_t(X) * PixelBytes;
      for (int C = 0; C < L.Channels; ++C) {
        const std::uint8_t* Sample = From + Slot(L, C) * Bytes;
        To[C] = Bytes == 2 ? std::uint16_t(Sample[0] | Sample[1] << 8) : Sample[0];
      }
      // Back to the colour itself; fully transparent pixels keep black.
      const std::uint32_t Alpha = L.Premultiplied ? To[3] : 0, Max = Planes.Maximum();
      for (int C = 0; C < 3 && Alpha; ++C) To[C] = std::uint16_t(std::min<std::uint32_t>(Max, (To[C] * Max + Alpha / 2) / Alpha));
    }
  return Planes;
}

std::vector<std::uint8_t> RowsFrom(const TSamplePlanes& Planes, const TSampleLayout& L, std::int32_t& Stride) {
  const int Bytes = L.Depth / 8, PixelBytes = BytesPerPixel(L);
  Stride = std::int32_t((std::int64_t(Planes.Width) * PixelBytes + 3) / 4 * 4);
  std::vector<std::uint8_t> Rows(std::size_t(Stride) * Planes.Height);
  for (int Y = 0; Y < Planes.Height; ++Y)
    for (int X = 0; X < Planes.Width; ++X) {
      const std::uint16_t* From = Planes.Pixel(std::size_t(Y) * Planes.Width + X);
      std::uint8_t* To = &Rows[std::size_t(Stride) * Y + std::size_t(X) * PixelBytes];
      for (int C = 0; C < L.Channels; ++C) {
        // Grey fills every colour channel; its alpha is the second sample.
        const int Source = !Planes.Grey() ? C : C == 3 ? 1 : 0;
        const std::uint16_t V = From[Source];
        std::uint8_t* Sample = To + Slot(L, C) * Bytes;
        Sample[0] = std::uint8_t(V);
        if (Bytes == 2) Sample[1] = std::uint8_t(V >> 8);
      }
    }
  return Rows;
}

TSamplePlanes FrameSamples(const TFrame& Frame, const std::string& Name, const std::string& Unsupported) {
  GUID Native{};
  Frame.Check(Frame->GetPixelFormat(&Native));
  const TSampleLayout* Layout = SampleLayoutOf(Native);
  if (!Layout) RefuseFile(Name, Unsupported);
  const std::size_t Stride = (std::size_t(Frame.Width) * BytesPerPixel(*Layout) + 3) / 4 * 4;
  std::vector<std::uint8_t> Rows(Stride * Frame.Height);
  Frame.Check(Frame->CopyPixels(nullptr, UINT(Stride), UINT(Rows.size()), Rows.data()));
  return PlanesFrom(Rows.data(), Stride, int(Frame.Width), int(Frame.Height), *Layout);
}

std::vector<std::uint8_t> EncodeSamples(const GUID& Container, const char* Format, const TSamplePlanes& Planes,
                                        const std::function<void(IPropertyBag2*)>& SetOptions) {
  // Each depth and kind in the formats encoders write most; grey may go as colour, never at
  // less depth.
  std::vector<GUID> Candidates;
  for (const TSampleLayout& L : Layouts)
    if (L.Depth == Planes.Depth && !L.Premultiplied && !L.Padded && (L.Channels == 4) == Planes.HasAlpha() &&
        (L.Channels != 1 || Planes.Grey()))
      Candidates.push_back(L.Format);
  std::vector<std::uint8_t> Rows;
  return Encode(Container, Format, Planes.Width, Planes.Height, Candidates, SetOptions, [&](const GUID& Taken) {
    std::int32_t Stride = 0;
    Rows = RowsFrom(Planes, *SampleLayoutOf(Taken), Stride);
    return TRows{Rows.data(), Stride};
  });
}

} // namespace wic
