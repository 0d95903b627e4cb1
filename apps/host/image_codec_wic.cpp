#include "image_codec_wic.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/com_win32.h"

namespace {

using com::TComScope;
using com::TComPtr;

// Throws "<file>: <what> (<code>)" when Code failed.
void Check(HRESULT Code, const std::string& Path, const char* What) {
  if (FAILED(Code)) throw EHostError(Path + ": " + What + " (" + com::HresultHex(Code) + ")");
}

std::wstring Wide(const std::string& Text) {
  const int Length = MultiByteToWideChar(CP_ACP, 0, Text.c_str(), -1, nullptr, 0);
  std::wstring Result(std::max(Length, 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, Text.c_str(), -1, Result.data(), Length);
  Result.resize(std::max(Length - 1, 0));
  return Result;
}

std::string BaseName(const std::string& Path) {
  const std::size_t Slash = Path.find_last_of("/\\");
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

void CreateFactory(TComPtr<IWICImagingFactory>& Factory, const std::string& Path) {
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void**>(&Factory)),
        Path, "the Windows Imaging Component is not available");
}

// ============================================================================
// Reading
// ============================================================================

bool IsIndexed(const WICPixelFormatGUID& Format, int& Bits) {
  const std::pair<const GUID*, int> Indexed[] = {{&GUID_WICPixelFormat1bppIndexed, 1},
                                                 {&GUID_WICPixelFormat2bppIndexed, 2},
                                                 {&GUID_WICPixelFormat4bppIndexed, 4},
                                                 {&GUID_WICPixelFormat8bppIndexed, 8}};
  for (const auto& [Guid, Depth] : Indexed)
    if (IsEqualGUID(Format, *Guid)) {
      Bits = Depth;
      return true;
    }
  return false;
}

bool IsGrey(const WICPixelFormatGUID& Format) {
  for (const GUID* Grey : {&GUID_WICPixelFormatBlackWhite, &GUID_WICPixelFormat2bppGray, &GUID_WICPixelFormat4bppGray,
                           &GUID_WICPixelFormat8bppGray, &GUID_WICPixelFormat16bppGray})
    if (IsEqualGUID(Format, *Grey)) return true;
  return false;
}

bool HasAlpha(const WICPixelFormatGUID& Format) {
  for (const GUID* Alpha : {&GUID_WICPixelFormat32bppBGRA, &GUID_WICPixelFormat32bppRGBA,
                            &GUID_WICPixelFormat32bppPBGRA, &GUID_WICPixelFormat32bppPRGBA,
                            &GUID_WICPixelFormat64bppRGBA, &GUID_WICPixelFormat64bppBGRA,
                            &GUID_WICPixelFormat64bppPRGBA, &GUID_WICPixelFormat16bppBGRA5551})
    if (IsEqualGUID(Format, *Alpha)) return true;
  return false;
}

// Indexed pixels of 1, 2 or 4 bits, most significant first, widened to one byte each.
void ReadIndexed(IWICBitmapSource* Frame, int Bits, THostDocument& Document, const std::string& Path) {
  const int W = Document.Width(), H = Document.Height();
  if (Bits == 8) {
    Check(Frame->CopyPixels(nullptr, Document.BytesPerLine(), UINT(Document.BytesPerLine()) * H, Document.Pixels()),
          Path, "the pixels cannot be read");
    return;
  }
  const UINT Packed = (UINT(W) * Bits + 7) / 8;
  std::vector<BYTE> Rows(std::size_t(Packed) * H);
  Check(Frame->CopyPixels(nullptr, Packed, UINT(Rows.size()), Rows.data()), Path, "the pixels cannot be read");
  const int PerByte = 8 / Bits, Low = (1 << Bits) - 1;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const BYTE Byte = Rows[std::size_t(Y) * Packed + X / PerByte];
      Document.Line(Y)[X] = BYTE(Byte >> (8 - Bits * (X % PerByte + 1)) & Low);
    }
}

void ReadPalette(IWICImagingFactory* Factory, IWICBitmapFrameDecode* Frame, THostDocument& Document,
                 const std::string& Path) {
  TComPtr<IWICPalette> Palette;
  Check(Factory->CreatePalette(&Palette), Path, "no palette object");
  Check(Frame->CopyPalette(Palette.Get()), Path, "the palette cannot be read");
  WICColor Colors[256] = {};
  UINT Count = 0;
  Check(Palette->GetColors(256, Colors, &Count), Path, "the palette cannot be read");
  // Entries past the file's own are black; transparency of entries is not kept.
  std::fill(Document.Palette.begin(), Document.Palette.end(), 0);
  for (UINT I = 0; I < Count && I < 256; ++I) {
    Document.Palette[I * 3] = BYTE(Colors[I]);
    Document.Palette[I * 3 + 1] = BYTE(Colors[I] >> 8);
    Document.Palette[I * 3 + 2] = BYTE(Colors[I] >> 16);
  }
}

void ReadConverted(IWICImagingFactory* Factory, IWICBitmapSource* Frame, REFWICPixelFormatGUID Target,
                   THostDocument& Document, const std::string& Path) {
  TComPtr<IWICFormatConverter> Converter;
  Check(Factory->CreateFormatConverter(&Converter), Path, "no format converter");
  Check(Converter->Initialize(Frame, Target, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom),
        Path, "this pixel format cannot be converted");
  Check(Converter->CopyPixels(nullptr, Document.BytesPerLine(), UINT(Document.BytesPerLine()) * Document.Height(),
                              Document.Pixels()),
        Path, "the pixels cannot be read");
}

} // namespace

std::unique_ptr<THostDocument> LoadImageFile(const std::string& Path) {
  const TComScope Com;
  TComPtr<IWICImagingFactory> Factory;
  CreateFactory(Factory, Path);
  TComPtr<IWICBitmapDecoder> Decoder;
  const HRESULT Opened = Factory->CreateDecoderFromFilename(Wide(Path).c_str(), nullptr, GENERIC_READ,
                                                            WICDecodeMetadataCacheOnDemand, &Decoder);
  if (GetFileAttributesA(Path.c_str()) == INVALID_FILE_ATTRIBUTES) throw EHostError(Path + ": no such file");
  Check(Opened, Path, "not an image file the Windows Imaging Component can read");
  TComPtr<IWICBitmapFrameDecode> Frame;
  Check(Decoder->GetFrame(0, &Frame), Path, "the file holds no image");
  UINT Width = 0, Height = 0;
  WICPixelFormatGUID Format{};
  Check(Frame->GetSize(&Width, &Height), Path, "the image size cannot be read");
  Check(Frame->GetPixelFormat(&Format), Path, "the pixel format cannot be read");
  if (Width < 1 || Height < 1 || std::int64_t(Width) * Height * 4 > MaxImageBytes)
    throw EHostError(Path + ": the image is too large or empty (" + std::to_string(Width) + " x " +
                     std::to_string(Height) + ")");

  int Bits = 0;
  const bool Indexed = IsIndexed(Format, Bits);
  const int PixelSize = Indexed || IsGrey(Format) ? 1 : HasAlpha(Format) ? 4 : 3;
  auto Document = std::make_unique<THostDocument>(BaseName(Path), int(Width), int(Height), PixelSize);
  if (Indexed) {
    ReadIndexed(Frame.Get(), Bits, *Document, Path);
    ReadPalette(Factory.Get(), Frame.Get(), *Document, Path);
  } else {
    const GUID& Target = PixelSize == 1   ? GUID_WICPixelFormat8bppGray
                         : PixelSize == 4 ? GUID_WICPixelFormat32bppBGRA
                                          : GUID_WICPixelFormat24bppBGR;
    ReadConverted(Factory.Get(), Frame.Get(), Target, *Document, Path);
  }
  return Document;
}

// ============================================================================
// Writing
// ============================================================================

namespace {

bool EndsWith(std::string Text, const char* Suffix) {
  std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char C) { return char(std::tolower(C)); });
  const std::size_t N = std::strlen(Suffix);
  return Text.size() >= N && Text.compare(Text.size() - N, N, Suffix) == 0;
}

void Encode(IWICImagingFactory* Factory, const THostDocument& Document, const GUID& Container,
            const std::string& File, const std::string& Path) {
  TComPtr<IWICStream> Stream;
  Check(Factory->CreateStream(&Stream), Path, "no stream object");
  Check(Stream->InitializeFromFilename(Wide(File).c_str(), GENERIC_WRITE), Path, "the file cannot be created");
  TComPtr<IWICBitmapEncoder> Encoder;
  Check(Factory->CreateEncoder(Container, nullptr, &Encoder), Path, "no encoder for this format");
  Check(Encoder->Initialize(Stream.Get(), WICBitmapEncoderNoCache), Path, "the encoder cannot start");
  TComPtr<IWICBitmapFrameEncode> Frame;
  TComPtr<IPropertyBag2> Options;
  Check(Encoder->CreateNewFrame(&Frame, &Options), Path, "the encoder cannot start");
  Check(Frame->Initialize(Options.Get()), Path, "the encoder cannot start");
  Check(Frame->SetSize(UINT(Document.Width()), UINT(Document.Height())), Path, "the size cannot be written");
  const GUID& Wanted = Document.PixelSize() == 1   ? GUID_WICPixelFormat8bppIndexed
                       : Document.PixelSize() == 4 ? GUID_WICPixelFormat32bppBGRA
                                                   : GUID_WICPixelFormat24bppBGR;
  WICPixelFormatGUID Format = Wanted;
  Check(Frame->SetPixelFormat(&Format), Path, "the pixel format cannot be written");
  // An encoder may answer with a format of its own; writing our bytes as that would be garbage.
  if (!IsEqualGUID(Format, Wanted))
    throw EHostError(Path + ": this format cannot hold " + std::to_string(Document.PixelSize() * 8) + "-bit images");
  if (Document.PixelSize() == 1) {
    WICColor Colors[256];
    for (int I = 0; I < 256; ++I)
      Colors[I] = 0xFF000000u | Document.Palette[I * 3 + 2] << 16 | Document.Palette[I * 3 + 1] << 8 |
                  Document.Palette[I * 3];
    TComPtr<IWICPalette> Palette;
    Check(Factory->CreatePalette(&Palette), Path, "no palette object");
    Check(Palette->InitializeCustom(Colors, 256), Path, "the palette cannot be written");
    Check(Frame->SetPalette(Palette.Get()), Path, "the palette cannot be written");
  }
  Check(Frame->WritePixels(UINT(Document.Height()), UINT(Document.BytesPerLine()),
                           UINT(Document.BytesPerLine()) * UINT(Document.Height()), Document.Pixels()),
        Path, "the pixels cannot be written");
  Check(Frame->Commit(), Path, "the image cannot be written");
  Check(Encoder->Commit(), Path, "the file cannot be written");
}

} // namespace

void SaveImageFile(const THostDocument& Document, const std::string& Path) {
  const GUID* Container = EndsWith(Path, ".bmp")   ? &GUID_ContainerFormatBmp
                          : EndsWith(Path, ".png") ? &GUID_ContainerFormatPng
                                                   : nullptr;
  if (!Container) throw EHostError(Path + ": save as .bmp or .png");
  // Not every system's BMP encoder keeps an alpha channel; PNG always does.
  if (Document.PixelSize() == 4 && Container == &GUID_ContainerFormatBmp)
    throw EHostError(Path + ": an image with an alpha channel is saved as .png");
  const TComScope Com;
  TComPtr<IWICImagingFactory> Factory;
  CreateFactory(Factory, Path);
  const std::string Temporary = Path + ".partial";
  try {
    Encode(Factory.Get(), Document, *Container, Temporary, Path);
  } catch (...) {
    DeleteFileA(Temporary.c_str());
    throw;
  }
  if (!MoveFileExA(Temporary.c_str(), Path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(Temporary.c_str());
    Check(HRESULT_FROM_WIN32(GetLastError()), Path, "the file cannot be replaced");
  }
}
