#include "photo_codecs.h"

#include <algorithm>

#include "cli_error.h"

std::string InflateZlib(const std::uint8_t*, std::size_t, std::size_t, std::vector<std::uint8_t>& Out) {
  Out.clear();
  return "not available";
}

// Stored blocks: a valid stream without a compressor, which Windows does not offer.
std::vector<std::uint8_t> DeflateZlib(const std::vector<std::uint8_t>& Bytes) {
  std::vector<std::uint8_t> Out = {0x78, 0x01};
  std::size_t At = 0;
  do {
    const std::size_t Count = std::min<std::size_t>(Bytes.size() - At, 65535);
    Out.push_back(At + Count == Bytes.size() ? 1 : 0);
    Out.push_back(std::uint8_t(Count));
    Out.push_back(std::uint8_t(Count >> 8));
    Out.push_back(std::uint8_t(~Count));
    Out.push_back(std::uint8_t(~Count >> 8));
    Out.insert(Out.end(), Bytes.begin() + std::ptrdiff_t(At), Bytes.begin() + std::ptrdiff_t(At + Count));
    At += Count;
  } while (At < Bytes.size());
  std::uint32_t A = 1, B = 0; // Adler-32
  for (std::uint8_t Byte : Bytes) {
    A = (A + Byte) % 65521;
    B = (B + A) % 65521;
  }
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(std::uint8_t(((B << 16 | A) >> Shift) & 0xFF));
  return Out;
}

// ============================================================================
// TIFF and WebP: not in the Windows build yet
// ============================================================================

const bool TiffAndWebpAvailable = false;
const bool PngSamplesAvailable = false;

TDecodedImage DecodeTiff(const std::vector<std::uint8_t>&, const std::string& Name, std::int64_t) {
  RefuseFile(Name, "TIFF files are not read by the Windows build");
}

std::vector<std::uint8_t> EncodeTiff(const TSamplePlanes&) {
  throw ECommandLine("TIFF files are not written by the Windows build", ExitRefused);
}

TDecodedImage DecodeWebp(const std::vector<std::uint8_t>&, const std::string& Name, std::int64_t) {
  RefuseFile(Name, "WebP files are not read by the Windows build");
}

std::vector<std::uint8_t> EncodeWebp(const TSamplePlanes&, const TImageMetadata&, int) {
  throw ECommandLine("WebP files are not written by the Windows build", ExitRefused);
}
