#include "photo_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "image_file.h"
#include "image_metadata.h"
#include "photo_codecs.h"
#include "tiff_metadata.h"

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
  else if (Ext == ".tif" || Ext == ".tiff") Format = TFileFormat::Tiff;
  else if (Ext == ".webp") Format = TFileFormat::Webp;
  else throw ECommandLine(Path + ": the output must end in .bmp, .png, .jpg, .jpeg, .tif, .tiff or .webp", ExitRefused);
  if (Format == TFileFormat::Webp && !WebpWritable())
    throw ECommandLine(Path + ": WebP files cannot be written here: the system has no WebP encoder", ExitRefused);
  if (Options.Quality != 0 && Format != TFileFormat::Jpeg && Format != TFileFormat::Webp)
    throw ECommandLine(Path + ": --quality applies to JPEG and WebP output only", ExitRefused);
  return Format;
}

bool IsTiff(const std::vector<std::uint8_t>& Data) {
  return Data.size() >= 4 && ((Data[0] == 'I' && Data[1] == 'I' && Data[2] == 42 && Data[3] == 0) ||
                              (Data[0] == 'M' && Data[1] == 'M' && Data[2] == 0 && Data[3] == 42));
}

bool IsWebp(const std::vector<std::uint8_t>& Data) {
  return Data.size() >= 12 && std::memcmp(Data.data(), "RIFF", 4) == 0 && std::memcmp(&Data[8], "WEBP", 4) == 0;
}

TPhoto DecodePhoto(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels,
                   int DefaultOrientation) {
  TPhoto Photo;
  int TagOrientation = 0; // what a TIFF's own tag says
  if (IsTiff(Data) || IsWebp(Data)) {
    TDecodedImage Image = IsTiff(Data) ? DecodeTiff(Data, Name, MaxPixels) : DecodeWebp(Data, Name, MaxPixels);
    Photo.Planes = std::move(Image.Planes);
    Photo.Metadata = IsTiff(Data) ? ReadTiffMetadata(Data, Name) : ReadWebpMetadata(Data);
    TagOrientation = Image.Orientation;
    if (Photo.Planes.Depth == 8 && !Photo.Planes.HasAlpha()) { // the engine's own pixels suffice
      Photo.Colour = ColourOf(Photo.Planes);
      Photo.Planes = {};
    }
  }
  const bool Png = !Data.empty() && Data[0] == 0x89, Jpeg = !Data.empty() && Data[0] == 0xFF;
  if (Png) {
    const TPngHeader Header = ReadPngHeader(Data, Name);
    if (Header.NeedsSamples()) {
      CheckImageSize(Header.Width, Header.Height, 4 * sizeof(std::uint16_t), MaxPixels, Name);
      Photo.Planes = DecodePngSamples(Data, Header, Name);
    }
  }
  if (!Photo.Planes.Present() && !Photo.Colour) Photo.Colour = DecodeImage(Data, Name, MaxPixels);
  if (Jpeg) {
    Photo.Metadata = ReadJpegMetadata(Data, Name);
    Photo.JpegSampling = ReadJpegSampling(Data);
  } else if (Png) {
    Photo.Metadata = ReadPngMetadata(Data, Name);
  }
  const int Exif = ExifOrientation(Photo.Metadata.Exif);
  const int Declared = Exif ? Exif : TagOrientation;
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
  if ((Format != TFileFormat::Jpeg && Format != TFileFormat::Bmp) || !HasTransparency(Photo.Planes)) return;
  throw ECommandLine(Path + ": the image has transparency, which " +
                         (Format == TFileFormat::Jpeg ? "JPEG" : "BMP") + " cannot hold; write " +
                         (WebpWritable() ? "PNG, TIFF or WebP" : "PNG or TIFF") + " to keep it",
                     ExitRefused);
}

std::vector<std::uint8_t> EncodePhoto(const TPhoto& Photo, TFileFormat Format, const TWriteOptions& Options,
                                      const std::string& Name) {
  if (Format == TFileFormat::Tiff || Format == TFileFormat::Webp) {
    const TSamplePlanes Planes = Photo.Planes.Present() ? Photo.Planes : PlanesOf(*Photo.Colour);
    return Format == TFileFormat::Tiff ? WithTiffMetadata(EncodeTiff(Planes), Photo.Metadata, Name)
                                       : EncodeWebp(Planes, Photo.Metadata, Options.Quality);
  }
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
    default: return {}; // TIFF and WebP above
  }
}

void WritePhotoFile(const std::string& Path, const TPhoto& Photo, const TWriteOptions& Options) {
  WriteImageBytes(Path, EncodePhoto(Photo, CheckOutput(Path, Options), Options, Path));
}
