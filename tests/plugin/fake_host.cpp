#include "plugin/fake_host.h"

#include <cstring>

#include "host_api/plugin_linear_bitmap.h"

namespace {
TFakeHost* CurrentHost = nullptr;
}

THostPicture::THostPicture(int Width, int Height, int PixelSize, int BytesPerLine) {
  if (BytesPerLine == 0) BytesPerLine = (Width * PixelSize + 3) / 4 * 4;
  Pixels.resize(std::size_t(BytesPerLine) * Height);
  for (std::size_t I = 0; I < Pixels.size(); ++I) Pixels[I] = std::uint8_t((I * 37 + I / 7 * 11) % 251);
  if (PixelSize == 1)
    for (int I = 0; I < 256; ++I) Palette.insert(Palette.end(), {std::uint8_t(I), std::uint8_t(255 - I), 40});
  Record = {Width, Height, BytesPerLine, PixelSize, Pixels.data(), PixelSize == 1 ? Palette.data() : nullptr, 0};
}

std::unique_ptr<TLinearBitmap> THostPicture::Bitmap() const {
  TPluginLinearBitmap Adapter(Record);
  return std::make_unique<TLinearBitmap>(&Adapter);
}

TFakeHost::TFakeHost() { CurrentHost = this; }

TFakeHost::~TFakeHost() {
  if (CurrentHost == this) CurrentHost = nullptr;
}

std::int32_t FR_STDCALL TFakeHost::Callback(std::int32_t Code, void* Data) {
  return CurrentHost ? CurrentHost->Serve(Code, Data) : 0;
}

std::vector<std::int32_t> TFakeHost::Codes() const {
  std::vector<std::int32_t> Result;
  for (const TRequest& R : Requests) Result.push_back(R.Code);
  return Result;
}

std::int32_t TFakeHost::Serve(std::int32_t Code, void* Data) {
  TRequest Request;
  Request.Code = Code;
  std::int32_t Answer = 0;
  switch (Code) {
    case hrAddMenuCommand: {
      auto* Record = static_cast<THostMenuCommand*>(Data);
      Request.MenuCommand = *Record;
      Request.Menu = Record->Menu ? Record->Menu : "(null)";
      Request.Caption = Record->Caption ? Record->Caption : "(null)";
      Request.Text = Record->Text ? Record->Text : "(null)";
      Answer = MenuAnswer;
      break;
    }
    case hrNewImage: {
      auto* Record = static_cast<THostNewImage*>(Data);
      Request.NewImage = *Record;
      Request.NewImageName = Record->Name ? Record->Name : "(null)";
      const THostImage& Image = Record->Image;
      for (int Y = 0; Y < Image.Height; ++Y)
        Request.NewImagePixels.insert(Request.NewImagePixels.end(), Image.Pixels + Y * Image.BytesPerLine,
                                      Image.Pixels + Y * Image.BytesPerLine + Image.Width * Image.PixelSize);
      break;
    }
    case hrGetImageInfo: {
      auto* Info = static_cast<THostImageInfo*>(Data);
      Request.Index = Info->Index;
      if (Info->Index >= 0 && Info->Index < std::int32_t(Images.size())) {
        const TImage& Image = Images[Info->Index];
        Info->Name = Image.Name.c_str();
        Info->Pixels = Image.Pixels;
        Info->SelectionMask = Image.SelectionMask;
        Info->SelectionRect = Image.SelectionRect;
        Answer = 1;
      }
      break;
    }
    case hrGetMainWindow:
      std::memcpy(Data, &MainWindow, sizeof(MainWindow));
      Answer = 1;
      break;
    case hrProgress:
      std::memcpy(&Request.Percent, Data, sizeof(std::int32_t));
      Answer = ProgressAnswer(Request.Percent);
      break;
    default:
      break;
  }
  Requests.push_back(Request);
  return Answer;
}
