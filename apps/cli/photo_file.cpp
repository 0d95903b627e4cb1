#include "photo_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "image_file.h"
#include "image_metadata.h"
#include "photo_codecs.h"

namespace {

std::string LowercaseExtension(const std::string& Path) {
  std::string Ext = std::filesystem::path(Path).extension().string();
  std::transform(Ext.begin(), Ext.end(), Ext.begin(), [](unsigned char C) { return char(std::tolower(C)); });
  return Ext;
}

std::vector<std::uint8_t> EncodeJpeg(const TPhoto& Photo, int Quality) {
  const TLinearBitmap& Colour = *Photo.Colour;
  const bool Grey = Colour.PixelFormat == lpf8Bit && IsGreyPalette(Colour.Palette);
  const TJpegSampling Sampling = Photo.JpegSampling.value_or(TJpegSampling{});
  if (Grey || Colour.PixelFormat == lpf24Bit)
    return EncodeJpegPixels(Colour.Map, Colour.Width, Colour.Height, Colour.BytesPerLine, Grey, Quality, Sampling);
  TLinearBitmap Converted; // a colour palette: its colours
  Converted.Assign(&Colour);
  Converted.ConvertTo(lpf24Bit);
  return EncodeJpegPixels(Converted.Map, Converted.Width, Converted.Height, Converted.BytesPerLine, false, Quality,
                          Sampling);
}

} // namespace

TFileFormat CheckOutput(const std::string& Path, const TWriteOptions& Options) {
  const std::string Ext = Path == "-" ? ".png" : LowercaseExtension(Path);
  TFileFormat Format;
  if (Ext == ".bmp") Format = TFileFormat::Bmp;
  else if (Ext == ".png") Format = TFileFormat::Png;
  else if (Ext == ".jpg" || Ext == ".jpeg") Format = TFileFormat::Jpeg;
  else throw ECommandLine(Path + ": the output must end in .bmp, .png, .jpg or .jpeg", ExitRefused);
  if (Options.Quality != 0 && Format != TFileFormat::Jpeg)
    throw ECommandLine(Path + ": --quality applies to JPEG output only", ExitRefused);
  return Format;
}

TPhoto DecodePhoto(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels,
                   int DefaultOrientation) {
  TPhoto Photo;
  Photo.Colour = DecodeImage(Data, Name, MaxPixels);
  const bool Png = Data[0] == 0x89, Jpeg = Data[0] == 0xFF; // DecodeImage took nothing else but BMP
  if (Jpeg) {
    Photo.Metadata = ReadJpegMetadata(Data, Name);
    Photo.JpegSampling = ReadJpegSampling(Data);
  } else if (Png) {
    Photo.Metadata = ReadPngMetadata(Data, Name);
  }
  const int Declared = ExifOrientation(Photo.Metadata.Exif);
  Photo.Orientation = Declared ? Declared : DefaultOrientation;
  if (Photo.Orientation != 1) Photo.Colour = Oriented(*Photo.Colour, Photo.Orientation);
  SetExifOrientation(Photo.Metadata.Exif, 1);
  return Photo;
}

TPhoto ReadPhotoFile(const std::string& Path, std::int64_t MaxPixels, int DefaultOrientation) {
  return DecodePhoto(ReadImageBytes(Path, MaxPixels), InputName(Path), MaxPixels, DefaultOrientation);
}

std::vector<std::uint8_t> EncodePhoto(const TPhoto& Photo, TFileFormat Format, const TWriteOptions& Options,
                                      const std::string& Name) {
  switch (Format) {
    case TFileFormat::Bmp: return EncodeBmp(*Photo.Colour);
    case TFileFormat::Png: return WithPngMetadata(EncodePng(*Photo.Colour), Photo.Metadata);
    case TFileFormat::Jpeg:
      return WithJpegMetadata(EncodeJpeg(Photo, Options.Quality ? Options.Quality : DefaultJpegQuality),
                              Photo.Metadata, Name);
  }
  return {};
}

void WritePhotoFile(const std::string& Path, const TPhoto& Photo, const TWriteOptions& Options) {
  WriteImageBytes(Path, EncodePhoto(Photo, CheckOutput(Path, Options), Options, Path));
}
