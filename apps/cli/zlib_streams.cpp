// zlib streams, in both builds: PNG's compressed profiles and the Windows build's own PNG
// writer.
#include <new>

#include <zlib.h>

#include "photo_codecs.h"

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
