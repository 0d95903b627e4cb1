#include "image_codecs.h"
#include "photo_codecs.h"

#include <cstring>
#include <functional>
#include <new>

#include "cli_error.h"
#include "wic_win32.h"

namespace {

// Damaged unless the frame has the size the header declared.
void CheckFrameSize(const wic::TFrame& Frame, std::int64_t Width, std::int64_t Height, const char* Format,
                    const std::string& Name) {
  if (Frame.Width != Width || Frame.Height != Height)
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
  const wic::TFrame Frame(Data, Format, Name);
  CheckFrameSize(Frame, Width, Height, Format, Name);
  com::TComPtr<IWICBitmapSource> Converted;
  Frame.Check(WICConvertBitmapSource(Target, Frame.Get(), &Converted));
  Frame.Check(Converted->CopyPixels(nullptr, Stride, Size, Pixels));
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

// Low-depth grey and palette PNGs are copied in WIC's packed form and spread by us, so that
// palette indices are checked as on every platform.
std::unique_ptr<TLinearBitmap> DecodePackedPng(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                                               const std::string& Name) {
  const wic::TFrame Frame(Data, "PNG", Name);
  CheckFrameSize(Frame, Header.Width, Header.Height, "PNG", Name);
  GUID Native{};
  Frame.Check(Frame->GetPixelFormat(&Native));
  if (PackedDepth(Native) != Header.BitDepth) FailFile(Name, "damaged PNG file (pixel format differs from the header)");
  auto Bitmap = std::make_unique<TLinearBitmap>(int(Header.Width), int(Header.Height), Header.Grey() ? lpf8Bit : lpf24Bit);
  if (Header.Grey()) *Bitmap->Palette = GreyPalette;
  Frame.Check(Frame->CopyPixels(nullptr, UINT(Bitmap->BytesPerLine), UINT(Bitmap->Size), Bitmap->Map));
  UnpackRows(*Bitmap, Header.BitDepth, Header.Grey());
  if (!Header.Grey()) ExpandPngPalette(*Bitmap, Header, Name);
  return Bitmap;
}

// Rows as one frame of a Container file in Wanted's format.
std::vector<std::uint8_t> EncodeRows(const GUID& Container, const char* Format, const std::uint8_t* Rows, int Width,
                                     int Height, std::int32_t Stride, bool Grey,
                                     const std::function<void(IPropertyBag2*)>& SetOptions) {
  return wic::Encode(Container, Format, Width, Height,
                     {Grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR}, SetOptions,
                     [&](const GUID&) { return wic::TRows{Rows, Stride}; });
}

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
  return EncodeRows(GUID_ContainerFormatPng, "PNG", Rows, Width, Height, Stride, Grey, [](IPropertyBag2*) {});
}

std::vector<std::uint8_t> EncodeJpegPixels(const std::uint8_t* Rows, int Width, int Height, std::int32_t Stride,
                                           bool Grey, int Quality, const TJpegSampling& Sampling) {
  return EncodeRows(GUID_ContainerFormatJpeg, "JPEG", Rows, Width, Height, Stride, Grey,
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
                         wic::CheckEncode(Properties->Write(Grey ? 1 : 2, Names, Values), "JPEG");
                       });
}

TSamplePlanes DecodePngSamples(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                               const std::string& Name) {
  const bool Alpha = Header.ColourType == 4 || Header.ColourType == 6 || Header.Transparency;
  const int Channels = Alpha ? 4 : Header.ColourType == 0 ? 1 : 3;
  wic::TSampleLayout Layout{};
  for (const GUID& Format : {GUID_WICPixelFormat8bppGray, GUID_WICPixelFormat16bppGray, GUID_WICPixelFormat24bppRGB,
                             GUID_WICPixelFormat48bppRGB, GUID_WICPixelFormat32bppRGBA, GUID_WICPixelFormat64bppRGBA})
    if (const auto* L = wic::SampleLayoutOf(Format); L->Channels == Channels && L->Depth == (Header.BitDepth == 16 ? 16 : 8))
      Layout = *L;
  const std::size_t Stride = std::size_t(Header.Width) * Channels * Layout.Depth / 8;
  std::vector<std::uint8_t> Rows(Stride * std::size_t(Header.Height));
  CopyFrameAs(Data, Header.Width, Header.Height, Layout.Format, UINT(Stride), UINT(Rows.size()), Rows.data(), "PNG",
              Name);
  TSamplePlanes Planes = wic::PlanesFrom(Rows.data(), Stride, int(Header.Width), int(Header.Height), Layout);
  if (Alpha && (Header.ColourType == 0 || Header.ColourType == 4)) { // WIC has no grey with alpha: back from red, green, blue and alpha
    for (std::size_t I = 0, Pixels = Planes.Samples.size() / 4; I < Pixels; ++I) {
      Planes.Samples[2 * I] = Planes.Samples[4 * I];
      Planes.Samples[2 * I + 1] = Planes.Samples[4 * I + 3];
    }
    Planes.Channels = 2;
    Planes.Samples.resize(Planes.Samples.size() / 2);
  }
  return Planes;
}
