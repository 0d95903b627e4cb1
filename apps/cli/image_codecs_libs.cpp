#include "image_codecs.h"
#include "photo_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
#include <zlib.h>

// Both libraries report errors by longjmp. Every function below that calls setjmp keeps only
// trivially destructible locals, and the C++ objects (bitmap, row lists) are made outside
// those functions, so the jump skips no destructor.

namespace {

// ============================================================================
// PNG decoding
// ============================================================================

struct TPngReader {
  const std::vector<std::uint8_t>* Data;
  std::size_t Position = 0;
  char Error[200] = "";
};

void PngError(png_structp Png, png_const_charp Message) {
  auto* Reader = static_cast<TPngReader*>(png_get_error_ptr(Png));
  std::snprintf(Reader->Error, sizeof Reader->Error, "%s", Message);
  png_longjmp(Png, 1);
}

void PngIgnoreWarning(png_structp, png_const_charp) {}

void PngRead(png_structp Png, png_bytep To, png_size_t Count) {
  auto* Reader = static_cast<TPngReader*>(png_get_io_ptr(Png));
  if (Reader->Data->size() - Reader->Position < Count) png_error(Png, "truncated file");
  std::memcpy(To, Reader->Data->data() + Reader->Position, Count);
  Reader->Position += Count;
}

// Sets up the transformations for the header already checked: low-depth grey is scaled to 8
// bits, palette indices are unpacked to a byte each (mapped by us, with a range check), RGB
// comes out as our blue, green, red. For Samples instead: palettes and transparency become
// red, green, blue and alpha (grey and alpha for grey), in the file's depth, 16-bit samples in
// the machine's (little-endian) order.
bool PngStart(png_structp Png, png_infop Info, const TPngHeader& Header, bool Samples) {
  if (setjmp(png_jmpbuf(Png))) return false;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  png_set_crc_action(Png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE); // mutated files reach the decoder
#else
  png_set_crc_action(Png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
#endif
  // The pixel limit was checked before; libpng's own default limits are smaller.
  png_set_user_limits(Png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(Png, Info);
  if (png_get_image_width(Png, Info) != Header.Width || png_get_image_height(Png, Info) != Header.Height)
    png_error(Png, "header changed");
  if (Samples) {
    png_set_expand(Png);
    if (Header.BitDepth == 16) png_set_swap(Png);
  } else {
    if (Header.ColourType == PNG_COLOR_TYPE_GRAY && Header.BitDepth < 8) png_set_expand_gray_1_2_4_to_8(Png);
    if (Header.ColourType == PNG_COLOR_TYPE_PALETTE && Header.BitDepth < 8) png_set_packing(Png);
    if (Header.ColourType == PNG_COLOR_TYPE_RGB) png_set_bgr(Png);
  }
  png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  const png_size_t Expected = png_size_t(Header.Width) * (Samples ? png_get_channels(Png, Info) * (Header.BitDepth == 16 ? 2u : 1u)
                                                                  : Header.ColourType == PNG_COLOR_TYPE_RGB ? 3 : 1);
  if (png_get_rowbytes(Png, Info) != Expected) png_error(Png, "unexpected row length");
  return true;
}

bool PngFinish(png_structp Png, png_bytepp Rows) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_image(Png, Rows);
  png_read_end(Png, nullptr); // the chunks after the image data, their checksums and IEND
  return true;
}

// libpng inflates whatever follows the last row, however much, to find the stream's end, and
// lets extra data pass with a warning. So the image data is inflated once beforehand, in
// the chunks ReadPngHeader checked, stopping as soon as it yields more than the image needs.
void CheckPngImageData(const std::vector<std::uint8_t>& Data, const TPngHeader& Header, const std::string& Name) {
  z_stream Stream{};
  if (inflateInit(&Stream) != Z_OK) throw std::bad_alloc();
  const struct TEnd {
    z_stream& Stream;
    ~TEnd() { inflateEnd(&Stream); }
  } End{Stream};
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  inflateValidate(&Stream, 0); // mutated files reach the decoder
#endif
  auto RefuseExtra = [&] { RefuseFile(Name, "damaged PNG file (more image data than the image needs)"); };
  const std::uint64_t Needed = PngImageDataSize(Header);
  std::uint64_t Produced = 0;
  bool Ended = false;
  std::vector<std::uint8_t> Out(65536);
  for (std::size_t At = 8; std::memcmp(&Data[At + 4], "IEND", 4) != 0;) {
    const std::uint32_t Length = ReadU32BigEndian(&Data[At]);
    if (std::memcmp(&Data[At + 4], "IDAT", 4) == 0 && Length > 0) {
      if (Ended) RefuseExtra();
      Stream.next_in = const_cast<Bytef*>(&Data[At + 8]);
      Stream.avail_in = Length;
      while (Stream.avail_in > 0 && !Ended) {
        Stream.next_out = Out.data();
        Stream.avail_out = uInt(Out.size());
        const int Result = inflate(&Stream, Z_NO_FLUSH);
        Produced += Out.size() - Stream.avail_out;
        if (Produced > Needed) RefuseExtra();
        if (Result == Z_MEM_ERROR) throw std::bad_alloc();
        if (Result != Z_OK && Result != Z_STREAM_END)
          FailFile(Name, std::string("damaged PNG file (") + (Stream.msg ? Stream.msg : "invalid image data") + ")");
        Ended = Result == Z_STREAM_END;
      }
      if (Stream.avail_in > 0) RefuseExtra();
    }
    At += std::size_t(Length) + 12;
  }
}

class TPngReadStruct {
public:
  explicit TPngReadStruct(TPngReader& Reader) {
    Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &Reader, PngError, PngIgnoreWarning);
    if (Png) Info = png_create_info_struct(Png);
    if (!Png || !Info) throw std::bad_alloc();
    png_set_read_fn(Png, &Reader, PngRead);
  }
  ~TPngReadStruct() { png_destroy_read_struct(&Png, &Info, nullptr); }
  TPngReadStruct(const TPngReadStruct&) = delete;
  TPngReadStruct& operator=(const TPngReadStruct&) = delete;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
};

// ============================================================================
// JPEG decoding
// ============================================================================

struct TJpegErrors {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Error[JMSG_LENGTH_MAX] = "";
};

void JpegExit(j_common_ptr Info) {
  auto* Errors = reinterpret_cast<TJpegErrors*>(Info->err);
  Info->err->format_message(Info, Errors->Error);
  std::longjmp(Errors->Jump, 1);
}

// Warnings about corrupt data are errors here: a damaged file must not pass as an image.
void JpegMessage(j_common_ptr Info, int Level) {
  if (Level >= 0) return;
  switch (Info->err->msg_code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_TOO_MUCH_DATA: JpegExit(Info);
    default: return;
  }
}

// Progressive files can hold any number of scans, each a pass over the whole image.
constexpr int MaxJpegScans = 1000;

void JpegProgress(j_common_ptr Info) {
  auto* Decompress = reinterpret_cast<j_decompress_ptr>(Info);
  if (Decompress->input_scan_number > MaxJpegScans) {
    auto* Errors = reinterpret_cast<TJpegErrors*>(Info->err);
    std::snprintf(Errors->Error, sizeof Errors->Error, "more than %d scans", MaxJpegScans);
    std::longjmp(Errors->Jump, 1);
  }
}

bool JpegStart(jpeg_decompress_struct& Info, const std::vector<std::uint8_t>& Data, const TJpegFrame& Frame) {
  auto* Errors = reinterpret_cast<TJpegErrors*>(Info.err);
  if (setjmp(Errors->Jump)) return false;
  jpeg_mem_src(&Info, Data.data(), static_cast<unsigned long>(Data.size()));
  jpeg_read_header(&Info, TRUE);
  if (Info.image_width != Frame.Width || Info.image_height != Frame.Height ||
      Info.num_components != Frame.Components) {
    std::snprintf(Errors->Error, sizeof Errors->Error, "frame header changed");
    return false;
  }
  Info.out_color_space = Frame.Components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_start_decompress(&Info);
  return true;
}

bool JpegFinish(jpeg_decompress_struct& Info, TLinearBitmap& Bitmap) {
  auto* Errors = reinterpret_cast<TJpegErrors*>(Info.err);
  if (setjmp(Errors->Jump)) return false;
  while (Info.output_scanline < Info.output_height) {
    JSAMPROW Row = Bitmap.ScanLine(int(Info.output_scanline));
    jpeg_read_scanlines(&Info, &Row, 1);
  }
  jpeg_finish_decompress(&Info); // reads on to the end marker
  return true;
}

class TJpegDecompress {
public:
  TJpegDecompress() {
    Info.err = jpeg_std_error(&Errors.Manager);
    Errors.Manager.error_exit = JpegExit;
    Errors.Manager.emit_message = JpegMessage;
    Progress.progress_monitor = JpegProgress;
    jpeg_create_decompress(&Info);
    Info.progress = &Progress;
  }
  ~TJpegDecompress() { jpeg_destroy_decompress(&Info); }
  TJpegDecompress(const TJpegDecompress&) = delete;
  TJpegDecompress& operator=(const TJpegDecompress&) = delete;
  TJpegErrors Errors;
  jpeg_progress_mgr Progress{};
  jpeg_decompress_struct Info{};
};

// ============================================================================
// PNG encoding
// ============================================================================

struct TPngWriter {
  std::vector<std::uint8_t>* Out;
  bool OutOfMemory = false;
};

void PngWrite(png_structp Png, png_bytep Bytes, png_size_t Count) {
  auto* Writer = static_cast<TPngWriter*>(png_get_io_ptr(Png));
  try {
    Writer->Out->insert(Writer->Out->end(), Bytes, Bytes + Count);
  } catch (...) {
    Writer->OutOfMemory = true;
    png_error(Png, "out of memory");
  }
}

void PngFlush(png_structp) {}

void PngWriteError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }

// Rows of Depth-bit samples of ColourType; Bgr: colour comes as blue, green, red; 16-bit
// samples come in the machine's (little-endian) order.
bool PngWriteAll(png_structp Png, png_infop Info, png_bytepp Rows, int Width, int Height, int Depth, int ColourType,
                 bool Bgr) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_IHDR(Png, Info, png_uint_32(Width), png_uint_32(Height), Depth, ColourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Run-length matching on rows through the Paeth filter: on photographs it compresses as well
  // as the default lazy matching after a filter chosen row by row (within about one percent)
  // at a fifth to a tenth of the time, which otherwise rivals the resizing itself.
  png_set_compression_strategy(Png, Z_RLE);
  png_set_filter(Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_write_info(Png, Info);
  if (Bgr) png_set_bgr(Png);
  if (Depth == 16) png_set_swap(Png);
  png_write_image(Png, Rows);
  png_write_end(Png, nullptr);
  return true;
}

} // namespace

std::unique_ptr<TLinearBitmap> DecodePngPixels(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                                               const std::string& Name) {
  CheckPngImageData(Data, Header, Name);
  TPngReader Reader{&Data};
  TPngReadStruct Read(Reader);
  if (!PngStart(Read.Png, Read.Info, Header, false)) FailFile(Name, std::string("damaged PNG file (") + Reader.Error + ")");
  auto Bitmap = std::make_unique<TLinearBitmap>(int(Header.Width), int(Header.Height),
                                                Header.Grey() ? lpf8Bit : lpf24Bit);
  if (Header.Grey()) *Bitmap->Palette = GreyPalette;
  std::vector<png_bytep> Rows(std::size_t(Bitmap->Height));
  for (int Y = 0; Y < Bitmap->Height; ++Y) Rows[std::size_t(Y)] = Bitmap->ScanLine(Y);
  if (!PngFinish(Read.Png, Rows.data())) FailFile(Name, std::string("damaged PNG file (") + Reader.Error + ")");
  if (Header.ColourType == PNG_COLOR_TYPE_PALETTE) ExpandPngPalette(*Bitmap, Header, Name);
  return Bitmap;
}

std::unique_ptr<TLinearBitmap> DecodeJpegPixels(const std::vector<std::uint8_t>& Data, const TJpegFrame& Frame,
                                                const std::string& Name) {
  TJpegDecompress Decompress;
  if (!JpegStart(Decompress.Info, Data, Frame))
    FailFile(Name, std::string("damaged JPEG file (") + Decompress.Errors.Error + ")");
  auto Bitmap = std::make_unique<TLinearBitmap>(int(Frame.Width), int(Frame.Height),
                                                Frame.Components == 1 ? lpf8Bit : lpf24Bit);
  if (Frame.Components == 1) *Bitmap->Palette = GreyPalette;
  if (!JpegFinish(Decompress.Info, *Bitmap))
    FailFile(Name, std::string("damaged JPEG file (") + Decompress.Errors.Error + ")");
  return Bitmap;
}

namespace {

std::vector<std::uint8_t> EncodePngRows(const std::uint8_t* Pixels, int Width, int Height, std::ptrdiff_t Stride,
                                       int Depth, int ColourType, bool Bgr) {
  std::vector<std::uint8_t> Out;
  TPngWriter Writer{&Out};
  std::vector<png_bytep> Rows(static_cast<std::size_t>(Height));
  for (int Y = 0; Y < Height; ++Y) Rows[std::size_t(Y)] = const_cast<png_bytep>(Pixels + Y * Stride);
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriteError, PngIgnoreWarning);
  png_infop Info = Png ? png_create_info_struct(Png) : nullptr;
  bool Written = false;
  if (Info) {
    png_set_write_fn(Png, &Writer, PngWrite, PngFlush);
    Written = PngWriteAll(Png, Info, Rows.data(), Width, Height, Depth, ColourType, Bgr);
  }
  const bool Created = Info != nullptr;
  png_destroy_write_struct(&Png, &Info);
  if (!Created || Writer.OutOfMemory) throw std::bad_alloc();
  if (!Written) throw ECommandLine("cannot encode PNG image", ExitFailure);
  return Out;
}

constexpr int ColourTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                               PNG_COLOR_TYPE_RGB_ALPHA};

} // namespace

std::vector<std::uint8_t> EncodePngPixels(const std::uint8_t* Pixels, int Width, int Height, std::int32_t Stride,
                                          bool Grey) {
  return EncodePngRows(Pixels, Width, Height, Stride, 8, Grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, !Grey);
}

TSamplePlanes DecodePngSamples(const std::vector<std::uint8_t>& Data, const TPngHeader& Header,
                               const std::string& Name) {
  CheckPngImageData(Data, Header, Name);
  TPngReader Reader{&Data};
  TPngReadStruct Read(Reader);
  if (!PngStart(Read.Png, Read.Info, Header, true)) FailFile(Name, std::string("damaged PNG file (") + Reader.Error + ")");
  TSamplePlanes Planes;
  Planes.Width = int(Header.Width);
  Planes.Height = int(Header.Height);
  Planes.Channels = png_get_channels(Read.Png, Read.Info);
  Planes.Depth = Header.BitDepth == 16 ? 16 : 8;
  const std::size_t RowSamples = std::size_t(Planes.Width) * Planes.Channels;
  Planes.Samples.resize(RowSamples * Planes.Height);
  // 8-bit samples are read into the first half of each row's room and then widened from the
  // right, so that no byte is overwritten before it is read.
  std::vector<png_bytep> Rows(std::size_t(Planes.Height));
  for (int Y = 0; Y < Planes.Height; ++Y) Rows[std::size_t(Y)] = reinterpret_cast<png_bytep>(&Planes.Samples[RowSamples * Y]);
  if (!PngFinish(Read.Png, Rows.data())) FailFile(Name, std::string("damaged PNG file (") + Reader.Error + ")");
  if (Planes.Depth == 8)
    for (int Y = 0; Y < Planes.Height; ++Y) {
      std::uint16_t* Row = &Planes.Samples[RowSamples * Y];
      const std::uint8_t* Bytes = Rows[std::size_t(Y)];
      for (std::size_t I = RowSamples; I-- > 0;) Row[I] = Bytes[I];
    }
  return Planes;
}

std::vector<std::uint8_t> EncodePngSamples(const TSamplePlanes& Planes) {
  const std::size_t RowSamples = std::size_t(Planes.Width) * Planes.Channels;
  if (Planes.Depth == 16)
    return EncodePngRows(reinterpret_cast<const std::uint8_t*>(Planes.Samples.data()), Planes.Width, Planes.Height,
                         std::ptrdiff_t(RowSamples * 2), 16, ColourTypes[Planes.Channels], false);
  std::vector<std::uint8_t> Bytes(Planes.Samples.begin(), Planes.Samples.end());
  return EncodePngRows(Bytes.data(), Planes.Width, Planes.Height, std::ptrdiff_t(RowSamples), 8,
                       ColourTypes[Planes.Channels], false);
}
