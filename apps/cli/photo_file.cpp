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
  const bool Png = !Data.empty() && Data[0] == 0x89, Jpeg = !Data.empty() && Data[0] == 0xFF;
  if (Png) {
    const TPngHeader Header = ReadPngHeader(Data, Name);
    if (Header.NeedsSamples()) {
      CheckImageSize(Header.Width, Header.Height, 4 * sizeof(std::uint16_t), MaxPixels, Name);
      Photo.Planes = DecodePngSamples(Data, Header, Name);
    }
  }
  if (!Photo.Planes.Present()) Photo.Colour = DecodeImage(Data, Name, MaxPixels);
  if (Jpeg) {
    Photo.Metadata = ReadJpegMetadata(Data, Name);
    Photo.JpegSampling = ReadJpegSampling(Data);
  } else if (Png) {
    Photo.Metadata = ReadPngMetadata(Data, Name);
  }
  const int Declared = ExifOrientation(Photo.Metadata.Exif);
  Photo.Orientation = Declared ? Declared : DefaultOrientation;
  if (Photo.Planes.Present()) {
    if (Photo.Orientation != 1) Photo.Planes = Oriented(Photo.Planes, Photo.Orientation);
    Photo.Colour = ColourOf(Photo.Planes);
  } else if (Photo.Orientation != 1) {
    Photo.Colour = Oriented(*Photo.Colour, Photo.Orientation);
  }
  SetExifOrientation(Photo.Metadata.Exif, 1);
  return Photo;
}

TPhoto ReadPhotoFile(const std::string& Path, std::int64_t MaxPixels, int DefaultOrientation) {
  return DecodePhoto(ReadImageBytes(Path, MaxPixels), InputName(Path), MaxPixels, DefaultOrientation);
}

void CheckFormatHolds(const TPhoto& Photo, TFileFormat Format, const std::string& Path) {
  if (Format == TFileFormat::Png || !HasTransparency(Photo.Planes)) return;
  throw ECommandLine(Path + ": the image has transparency, which " +
                         (Format == TFileFormat::Jpeg ? "JPEG" : "BMP") +
                         " cannot hold; write PNG to keep it",
                     ExitRefused);
}

std::vector<std::uint8_t> EncodePhoto(const TPhoto& Photo, TFileFormat Format, const TWriteOptions& Options,
                                      const std::string& Name) {
  if (Photo.Planes.Present()) {
    if (Format == TFileFormat::Png) return WithPngMetadata(EncodePngSamples(Photo.Planes), Photo.Metadata);
    CheckFormatHolds(Photo, Format, Name);
    TPhoto Flat; // opaque: the colour itself, at 8 bits
    Flat.Colour = ColourOf(Photo.Planes, false);
    Flat.Metadata = Photo.Metadata;
    Flat.JpegSampling = Photo.JpegSampling;
    return EncodePhoto(Flat, Format, Options, Name);
  }
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
