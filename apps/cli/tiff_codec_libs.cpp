// TIFF through libtiff, over memory.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include <tiffio.h>

#include "cli_error.h"
#include "photo_codecs.h"

namespace {

// ============================================================================
// Memory I/O and messages
// ============================================================================

struct TTiffMemory {
  const std::vector<std::uint8_t>* In = nullptr;
  std::vector<std::uint8_t>* Out = nullptr;
  std::uint64_t Position = 0;
  char Error[256] = "";
  std::uint64_t Size() const { return In ? In->size() : Out->size(); }
};

TTiffMemory& MemoryOf(thandle_t Handle) { return *static_cast<TTiffMemory*>(Handle); }

tmsize_t TiffRead(thandle_t Handle, void* To, tmsize_t Count) {
  TTiffMemory& M = MemoryOf(Handle);
  if (!M.In || Count < 0 || M.Position >= M.In->size()) return 0;
  const std::uint64_t Got = std::min<std::uint64_t>(std::uint64_t(Count), M.In->size() - M.Position);
  std::memcpy(To, M.In->data() + M.Position, std::size_t(Got));
  M.Position += Got;
  return tmsize_t(Got);
}

tmsize_t TiffWrite(thandle_t Handle, void* From, tmsize_t Count) {
  TTiffMemory& M = MemoryOf(Handle);
  if (!M.Out || Count < 0) return 0;
  try {
    if (M.Out->size() < M.Position + std::uint64_t(Count)) M.Out->resize(std::size_t(M.Position + Count));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(M.Out->data() + M.Position, From, std::size_t(Count));
  M.Position += std::uint64_t(Count);
  return Count;
}

toff_t TiffSeek(thandle_t Handle, toff_t Offset, int Whence) {
  TTiffMemory& M = MemoryOf(Handle);
  const std::uint64_t Base = Whence == SEEK_SET ? 0 : Whence == SEEK_CUR ? M.Position : M.Size();
  const std::uint64_t To = Base + Offset;
  if (To < Base || (M.In && To > M.In->size())) return toff_t(-1);
  M.Position = To;
  return To;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t Handle) { return MemoryOf(Handle).Size(); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffError(TIFF*, void* User, const char*, const char* Format, va_list Arguments) {
  auto* M = static_cast<TTiffMemory*>(User);
  if (!M->Error[0]) std::vsnprintf(M->Error, sizeof M->Error, Format, Arguments);
  return 1;
}

int TiffIgnore(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class TTiffFile {
public:
  TTiffFile(TTiffMemory& Memory, const char* Mode) {
    TIFFOpenOptions* Options = TIFFOpenOptionsAlloc();
    if (!Options) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(Options, TiffError, &Memory);
    TIFFOpenOptionsSetWarningHandlerExtR(Options, TiffIgnore, nullptr);
    Tiff = TIFFClientOpenExt("memory", Mode, &Memory, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                             TiffUnmap, Options);
    TIFFOpenOptionsFree(Options);
  }
  ~TTiffFile() {
    if (Tiff) TIFFClose(Tiff);
  }
  TTiffFile(const TTiffFile&) = delete;
  TTiffFile& operator=(const TTiffFile&) = delete;
  TIFF* Tiff = nullptr;
};

} // namespace

// ============================================================================
// Reading
// ============================================================================

TDecodedImage DecodeTiff(const std::vector<std::uint8_t>& Data, const std::string& Name, std::int64_t MaxPixels) {
  TTiffMemory Memory;
  Memory.In = &Data;
  TTiffFile File(Memory, "rm");
  auto Damaged = [&](const char* What) { FailFile(Name, std::string("damaged TIFF file (") + (Memory.Error[0] ? Memory.Error : What) + ")"); };
  if (!File.Tiff) Damaged("no image directory");
  TIFF* Tiff = File.Tiff;
  std::uint32_t Width = 0, Height = 0;
  std::uint16_t Bits = 1, Samples = 1, Photometric = 0, Planar = PLANARCONFIG_CONTIG, Compression = COMPRESSION_NONE;
  std::uint16_t SampleFormat = SAMPLEFORMAT_UINT;
  if (!TIFFGetField(Tiff, TIFFTAG_IMAGEWIDTH, &Width) || !TIFFGetField(Tiff, TIFFTAG_IMAGELENGTH, &Height))
    Damaged("no image size");
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_BITSPERSAMPLE, &Bits);
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLESPERPIXEL, &Samples);
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_PLANARCONFIG, &Planar);
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_COMPRESSION, &Compression);
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLEFORMAT, &SampleFormat);
  if (!TIFFGetField(Tiff, TIFFTAG_PHOTOMETRIC, &Photometric)) Damaged("no photometric interpretation");
  std::uint16_t ExtraCount = 0;
  std::uint16_t* Extra = nullptr;
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_EXTRASAMPLES, &ExtraCount, &Extra);

  if (Width == 0 || Height == 0) Damaged("image size 0");
  if (Compression != COMPRESSION_NONE && Compression != COMPRESSION_LZW && Compression != COMPRESSION_ADOBE_DEFLATE &&
      Compression != COMPRESSION_DEFLATE && Compression != COMPRESSION_PACKBITS)
    RefuseFile(Name, "TIFF compression " + std::to_string(Compression) +
                         " is not supported (only none, LZW, Deflate and PackBits)");
  if (Photometric != PHOTOMETRIC_MINISBLACK && Photometric != PHOTOMETRIC_RGB)
    RefuseFile(Name, "TIFF images of photometric interpretation " + std::to_string(Photometric) +
                         " are not supported (only grey and RGB)");
  if ((Bits != 8 && Bits != 16) || SampleFormat != SAMPLEFORMAT_UINT)
    RefuseFile(Name, std::to_string(Bits) + "-bit TIFF images are not supported (only 8 and 16 bits)");
  const int ColourSamples = Photometric == PHOTOMETRIC_RGB ? 3 : 1;
  if (Samples != ColourSamples && !(Samples == ColourSamples + 1 && ExtraCount == 1))
    RefuseFile(Name, "TIFF images with " + std::to_string(Samples) + " samples per pixel are not supported");
  if (Planar != PLANARCONFIG_CONTIG && Samples > 1) RefuseFile(Name, "TIFF images with separate planes are not supported");
  const bool Associated = ExtraCount == 1 && Extra && Extra[0] == EXTRASAMPLE_ASSOCALPHA;
  CheckImageSize(Width, Height, 4 * sizeof(std::uint16_t), MaxPixels, Name);

  TDecodedImage Image;
  TSamplePlanes& Planes = Image.Planes;
  Planes.Width = int(Width);
  Planes.Height = int(Height);
  Planes.Channels = Samples;
  Planes.Depth = Bits;
  const std::size_t RowSamples = std::size_t(Width) * Samples;
  Planes.Samples.resize(RowSamples * Height);
  const std::size_t SampleBytes = Bits / 8;
  // Copies Rows x Columns pixels of a decoded block (Stride bytes a row) to (X, Y).
  auto Put = [&](const std::uint8_t* Block, std::size_t Stride, std::uint32_t X, std::uint32_t Y, std::uint32_t Columns,
                 std::uint32_t Rows) {
    for (std::uint32_t R = 0; R < Rows && Y + R < Height; ++R) {
      const std::uint8_t* From = Block + R * Stride;
      std::uint16_t* To = &Planes.Samples[(Y + R) * RowSamples + std::size_t(X) * Samples];
      const std::size_t Count = std::size_t(std::min(Columns, Width - X)) * Samples;
      if (SampleBytes == 2) std::memcpy(To, From, Count * 2);
      else for (std::size_t I = 0; I < Count; ++I) To[I] = From[I];
    }
  };
  std::vector<std::uint8_t> Block;
  if (TIFFIsTiled(Tiff)) {
    std::uint32_t TileWidth = 0, TileHeight = 0;
    TIFFGetField(Tiff, TIFFTAG_TILEWIDTH, &TileWidth);
    TIFFGetField(Tiff, TIFFTAG_TILELENGTH, &TileHeight);
    const tmsize_t TileBytes = TIFFTileSize(Tiff);
    // Tiles are multiples of 16 pixels: one larger than the image rounded up is damage, and
    // must not size an allocation.
    if (TileWidth == 0 || TileHeight == 0 || TileBytes <= 0 || TileWidth > (Width + 15) / 16 * 16 ||
        TileHeight > (Height + 15) / 16 * 16 ||
        std::uint64_t(TileBytes) != std::uint64_t(TileWidth) * TileHeight * Samples * SampleBytes)
      Damaged("tile size");
    Block.resize(std::size_t(TileBytes));
    for (std::uint32_t Y = 0; Y < Height; Y += TileHeight)
      for (std::uint32_t X = 0; X < Width; X += TileWidth) {
        if (TIFFReadTile(Tiff, Block.data(), X, Y, 0, 0) < 0) Damaged("tile");
        Put(Block.data(), std::size_t(TileWidth) * Samples * SampleBytes, X, Y, TileWidth, TileHeight);
      }
  } else {
    std::uint32_t RowsPerStrip = Height;
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_ROWSPERSTRIP, &RowsPerStrip);
    RowsPerStrip = std::max<std::uint32_t>(1, std::min(RowsPerStrip, Height));
    const std::size_t Stride = RowSamples * SampleBytes;
    Block.resize(Stride * RowsPerStrip);
    for (std::uint32_t Y = 0; Y < Height; Y += RowsPerStrip) {
      const std::uint32_t Rows = std::min(RowsPerStrip, Height - Y);
      const tmsize_t Got = TIFFReadEncodedStrip(Tiff, TIFFComputeStrip(Tiff, Y, 0), Block.data(), tmsize_t(Stride * Rows));
      if (Got < tmsize_t(Stride * Rows)) Damaged("strip");
      Put(Block.data(), Stride, 0, Y, Width, Rows);
    }
  }
  if (Associated) // back to the colour itself; fully transparent pixels keep black
    for (std::size_t I = 0; I < Planes.Samples.size(); I += Samples) {
      std::uint16_t* P = &Planes.Samples[I];
      const std::uint32_t Alpha = P[ColourSamples], Max = Planes.Maximum();
      for (int C = 0; C < ColourSamples && Alpha; ++C)
        P[C] = std::uint16_t(std::min<std::uint32_t>(Max, (P[C] * Max + Alpha / 2) / Alpha));
    }
  std::uint16_t Orientation = 0;
  if (TIFFGetField(Tiff, TIFFTAG_ORIENTATION, &Orientation) && Orientation >= 1 && Orientation <= 8)
    Image.Orientation = Orientation;
  return Image;
}

// ============================================================================
// Writing
// ============================================================================

std::vector<std::uint8_t> EncodeTiff(const TSamplePlanes& Planes) {
  std::vector<std::uint8_t> Out;
  TTiffMemory Memory;
  Memory.Out = &Out;
  {
    TTiffFile File(Memory, "w");
    TIFF* Tiff = File.Tiff;
    if (!Tiff) throw std::bad_alloc();
    TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(Planes.Width));
    TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(Planes.Height));
    TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, std::uint16_t(Planes.Depth));
    TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(Planes.Channels));
    TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, Planes.Grey() ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(Tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(Tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(Tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(Tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (Planes.HasAlpha()) {
      const std::uint16_t Extra[] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(Tiff, TIFFTAG_EXTRASAMPLES, 1, Extra);
    }
    TIFFSetField(Tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(Tiff, 0));
    const std::size_t RowSamples = std::size_t(Planes.Width) * Planes.Channels;
    std::vector<std::uint8_t> Row(RowSamples * (Planes.Depth / 8));
    for (int Y = 0; Y < Planes.Height; ++Y) {
      const std::uint16_t* From = &Planes.Samples[RowSamples * Y];
      if (Planes.Depth == 16) std::memcpy(Row.data(), From, Row.size());
      else for (std::size_t I = 0; I < RowSamples; ++I) Row[I] = std::uint8_t(From[I]);
      if (TIFFWriteScanline(Tiff, Row.data(), std::uint32_t(Y), 0) < 0)
        throw ECommandLine(std::string("cannot encode TIFF image (") + Memory.Error + ")", ExitFailure);
    }
    if (!TIFFWriteDirectory(Tiff)) throw ECommandLine(std::string("cannot encode TIFF image (") + Memory.Error + ")", ExitFailure);
  }
  return Out;
}
