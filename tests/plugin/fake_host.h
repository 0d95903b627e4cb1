// A host for native tests: records every request with a copy of its record, serves
// GetImageInfo from a list of images and answers Progress as the test says; and the images
// such a host hands to the plug-in.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/linear_bitmap.h"
#include "host_api/host_interface.h"

// A host image with its own pixel buffer and palette. Moving it keeps the record valid;
// copying would leave the copy's record on the other buffers, so it cannot be copied.
struct THostPicture {
  std::vector<std::uint8_t> Pixels;
  std::vector<std::uint8_t> Palette;
  THostImage Record{};

  // Width x Height with PixelSize bytes a pixel and BytesPerLine bytes a row (0: Width x
  // PixelSize rounded up to 4 bytes, as hosts keep their rows), filled with a pattern that
  // gives the engine real choices; an 8-bit picture gets a palette of colours.
  THostPicture(int Width, int Height, int PixelSize, int BytesPerLine = 0);
  THostPicture(THostPicture&&) = default;
  THostPicture& operator=(THostPicture&&) = default;
  // The same image as the plug-in sees it.
  std::unique_ptr<TLinearBitmap> Bitmap() const;
};

class TFakeHost {
public:
  struct TRequest {
    std::int32_t Code = 0;
    THostMenuCommand MenuCommand{};  // AddMenuCommand
    std::string Menu, Caption, Text; // copies of its texts
    std::int32_t Index = -1;         // GetImageInfo
    std::int32_t Percent = -1;       // Progress
    THostNewImage NewImage{};        // NewImage
    std::string NewImageName;
    std::vector<std::uint8_t> NewImagePixels;
  };

  struct TImage {
    std::string Name;
    std::uint8_t* Pixels = nullptr;
    std::uint8_t* SelectionMask = nullptr;
    THostRect SelectionRect{-1, -1, -1, -1};
  };

  std::vector<TRequest> Requests;
  std::vector<TImage> Images;
  THostWindow MainWindow = 0x1234;
  std::int32_t MenuAnswer = 17;
  std::function<std::int32_t(int Percent)> ProgressAnswer = [](int) { return 1; };

  TFakeHost();
  ~TFakeHost();
  TFakeHost(const TFakeHost&) = delete;
  TFakeHost& operator=(const TFakeHost&) = delete;

  static std::int32_t FR_STDCALL Callback(std::int32_t Code, void* Data);
  std::vector<std::int32_t> Codes() const;

private:
  std::int32_t Serve(std::int32_t Code, void* Data);
};
