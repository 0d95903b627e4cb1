// What the Windows build's codecs share over the Windows Imaging Component: the first frame
// of a file in memory, an encoder run, and the pixel layouts that carry sample planes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>
#include <wincodec.h>

#include "sample_planes.h"
#include "support/com_win32.h"

namespace wic {

// Failures of decoding Format name the file as damaged (exit 1); running out of memory stays
// std::bad_alloc.
void CheckDecode(HRESULT Result, const char* Format, const std::string& Name);
// Failures of encoding: "cannot encode <Format> image (error 0x...)" (exit 1).
void CheckEncode(HRESULT Result, const char* Format);

// The first frame of a file in memory; Data must outlive it. Without a decoder for the file
// in this system the file is refused (exit 2) with NoCodec when one is given, else it fails as
// damaged.
class TFrame {
public:
  TFrame(const std::vector<std::uint8_t>& Data, const char* Format, const std::string& Name,
         const char* NoCodec = nullptr);
  void Check(HRESULT Result) const { CheckDecode(Result, Format_, Name_); }
  IWICBitmapFrameDecode* operator->() const { return Frame_.Get(); }
  IWICBitmapFrameDecode* Get() const { return Frame_.Get(); }

  UINT Width = 0, Height = 0;

private:
  const char* Format_;
  std::string Name_;
  com::TComScope Com_; // before the pointers: COM outlives them
  com::TComPtr<IWICImagingFactory> Factory_;
  com::TComPtr<IWICStream> Stream_;
  com::TComPtr<IWICBitmapDecoder> Decoder_;
  com::TComPtr<IWICBitmapFrameDecode> Frame_;
};

// Whether this system has an encoder for Container.
bool HasEncoder(const GUID& Container);

// Rows handed to an encoder: Stride bytes apart.
struct TRows {
  const std::uint8_t* Rows;
  std::int32_t Stride;
};

// One frame of a Container file. The encoder is offered Candidates in order and takes the
// first it writes as it is; RowsAs gives the rows in that format. SetOptions writes the
// encoder's options.
std::vector<std::uint8_t> Encode(const GUID& Container, const char* Format, int Width, int Height,
                                 const std::vector<GUID>& Candidates,
                                 const std::function<void(IPropertyBag2*)>& SetOptions,
                                 const std::function<TRows(const GUID&)>& RowsAs);

// A WIC pixel format that holds sample planes: Channels samples of Depth bits a pixel (red,
// green, blue order unless Bgr; Padded pixels carry one unused byte), alpha Premultiplied or not.
struct TSampleLayout {
  GUID Format;
  int Channels, Depth;
  bool Bgr = false, Premultiplied = false, Padded = false;
};

// The layout of Format; nullptr when it holds no grey or colour samples we take.
const TSampleLayout* SampleLayoutOf(const GUID& Format);

// Planes at Layout's channels and depth from rows of Layout's format (16-bit samples
// little-endian, as WIC keeps them); premultiplied alpha is divided out.
TSamplePlanes PlanesFrom(const std::uint8_t* Rows, std::size_t Stride, int Width, int Height,
                         const TSampleLayout& Layout);
// Planes of Layout's depth as rows of its format; grey goes to every colour channel when the
// layout has three. Layout holds alpha when Planes do.
std::vector<std::uint8_t> RowsFrom(const TSamplePlanes& Planes, const TSampleLayout& Layout, std::int32_t& Stride);

// The first frame's samples in its own format; refused (exit 2) with Unsupported when the
// format is not one SampleLayoutOf knows.
TSamplePlanes FrameSamples(const TFrame& Frame, const std::string& Name, const std::string& Unsupported);

// Planes as one frame of Container, in the first of the layouts that holds their channels and
// depth that the encoder writes.
std::vector<std::uint8_t> EncodeSamples(const GUID& Container, const char* Format, const TSamplePlanes& Planes,
                                        const std::function<void(IPropertyBag2*)>& SetOptions);

} // namespace wic
