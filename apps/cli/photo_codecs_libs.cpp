#include "photo_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>
#include <zlib.h>

#include "cli_error.h"

namespace {

// ============================================================================
// JPEG encoding
// ============================================================================

struct TJpegEncodeErrors {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

void JpegEncodeExit(j_common_ptr Info) { std::longjmp(reinterpret_cast<TJpegEncodeErrors*>(Info->err)->Jump, 1); }

// libjpeg leaves by longjmp: only trivially destructible locals here.
bool JpegCompressAll(jpeg_compress_struct& Info, const std::uint8_t* Rows, int Width, int Height,
                     std::int32_t Stride, bool Grey, int Quality, const TJpegSampling& Sampling,
                     unsigned char** Buffer, unsigned long* Size) {
  auto* Errors = reinterpret_cast<TJpegEncodeErrors*>(Info.err);
  if (setjmp(Errors->Jump)) return false;
  jpeg_mem_dest(&Info, Buffer, Size);
  Info.image_width = JDIMENSION(Width);
  Info.image_height = JDIMENSION(Height);
  Info.input_components = Grey ? 1 : 3;
  Info.in_color_space = Grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&Info);
  jpeg_set_quality(&Info, Quality, TRUE);
  Info.optimize_coding = TRUE;
  if (!Grey)
    for (int C = 0; C < 3; ++C) {
      Info.comp_info[C].h_samp_factor = Sampling.Horizontal[C];
      Info.comp_info[C].v_samp_factor = Sampling.Vertical[C];
    }
  jpeg_start_compress(&Info, TRUE);
  while (Info.next_scanline < Info.image_height) {
    JSAMPROW Row = const_cast<JSAMPROW>(Rows + std::ptrdiff_t(Info.next_scanline) * Stride);
    jpeg_write_scanlines(&Info, &Row, 1);
  }
  jpeg_finish_compress(&Info);
  return true;
}

} // namespace

std::vector<std::uint8_t> EncodeJpegPixels(const std::uint8_t* Rows, int Width, int Height, std::int32_t Stride,
                                           bool Grey, int Quality, const TJpegSampling& Sampling) {
  TJpegEncodeErrors Errors;
  jpeg_compress_struct Info{};
  Info.err = jpeg_std_error(&Errors.Manager);
  Errors.Manager.error_exit = JpegEncodeExit;
  jpeg_create_compress(&Info);
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  const bool Done = JpegCompressAll(Info, Rows, Width, Height, Stride, Grey, Quality, Sampling, &Buffer, &Size);
  jpeg_destroy_compress(&Info);
  std::vector<std::uint8_t> Out;
  if (Done) Out.assign(Buffer, Buffer + Size);
  std::free(Buffer);
  if (!Done) throw ECommandLine("cannot encode JPEG image", ExitFailure);
  return Out;
}

// ============================================================================
// zlib streams
// ============================================================================

std::string InflateZlib(const std::uint8_t* Bytes, std::size_t Size, std::size_t MaxBytes,
                        std::vector<std::uint8_t>& Out) {
  z_stream Stream{};
  if (inflateInit(&Stream) != Z_OK) throw std::bad_alloc();
  Stream.next_in = const_cast<Bytef*>(Bytes);
  Stream.avail_in = uInt(Size);
  Out.clear();
  std::string Why;
  std::uint8_t Chunk[16384];
  for (;;) {
    Stream.next_out = Chunk;
    Stream.avail_out = sizeof Chunk;
    const int Result = inflate(&Stream, Z_NO_FLUSH);
    const std::size_t Made = sizeof Chunk - Stream.avail_out;
    if (Out.size() + Made > MaxBytes) {
      Why = "too large";
      break;
    }
    Out.insert(Out.end(), Chunk, Chunk + Made);
    if (Result == Z_STREAM_END) break;
    if (Result == Z_MEM_ERROR) {
      inflateEnd(&Stream);
      throw std::bad_alloc();
    }
    // The input ran out before the stream's end.
    if (Result == Z_BUF_ERROR || (Result == Z_OK && Stream.avail_in == 0 && Stream.avail_out != 0)) {
      Why = "truncated";
      break;
    }
    if (Result != Z_OK) {
      Why = "invalid compressed data";
      break;
    }
  }
  inflateEnd(&Stream);
  return Why;
}

std::vector<std::uint8_t> DeflateZlib(const std::vector<std::uint8_t>& Bytes) {
  uLongf Size = compressBound(uLong(Bytes.size()));
  std::vector<std::uint8_t> Out(Size);
  if (compress2(Out.data(), &Size, Bytes.data(), uLong(Bytes.size()), Z_BEST_COMPRESSION) != Z_OK)
    throw std::bad_alloc();
  Out.resize(Size);
  return Out;
}
