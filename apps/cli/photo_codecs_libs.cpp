#include "photo_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>

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
