// The boundary to the image-editing host: the callback, its request codes and records, and
// the look-ups of an image's name, selection rectangle and selection mask. All calls across
// the boundary are stdcall; in the 32-bit build every record has the host's exact layout. The
// 64-bit build uses the same records with pointers of 8 bytes, naturally aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(__i386__)
#define FR_STDCALL __attribute__((stdcall))
#else
#define FR_STDCALL
#endif

using THostCallback = std::int32_t(FR_STDCALL*)(std::int32_t Code, void* Data);

enum THostRequest : std::int32_t {
  hrAddMenuCommand = 1, // THostMenuCommand; the answer is RegisterPlugin's result
  hrNewImage = 2,       // THostNewImage; the host copies name and pixels during the call
  hrGetImageInfo = 3,   // THostImageInfo with Index set; 0 means no such image
  hrGetMainWindow = 4,  // slot for a window handle (32 or 64 bits, as the build's pointers)
  hrProgress = 5,       // 32-bit percentage; an answer of 0 abandons the running operation
  hrRefresh = 9,        // no data; the host redraws from its buffer
};

// What the host writes into GetMainWindow's slot: a window handle, as wide as a pointer.
using THostWindow = std::intptr_t;

// The host's rectangle: all four edges inclusive.
struct THostRect {
  std::int32_t Left, Top, Right, Bottom;
};

struct THostImage {
  std::int32_t Width;
  std::int32_t Height;
  std::int32_t BytesPerLine; // at least Width * PixelSize
  std::int32_t PixelSize;    // 1 = 8-bit indexed, 3 = 24-bit, 4 = 32-bit
  std::uint8_t* Pixels;      // row y at Pixels + y * BytesPerLine
  std::uint8_t* Palette;     // 8-bit: 256 x (blue, green, red); null = grey ramp
  std::int32_t Reserved;
};

struct THostMenuCommand {
  const char* Menu;
  const char* Caption;
  const char* Text;
  std::int32_t Command;
};

struct THostNewImage {
  const char* Name;
  THostImage Image;
};

struct THostImageInfo {
  std::int32_t Index;
  std::int32_t Unused4;
  const char* Name;
  std::int32_t Unused12[4];
  std::uint8_t* Pixels;
  std::int32_t Unused32;
  std::uint8_t* SelectionMask; // null, or Width * Height bytes, nonzero = selected
  THostRect SelectionRect;     // inclusive; Left below 0 = no rectangle
};

#if defined(__i386__)
static_assert(sizeof(THostImage) == 28);
static_assert(offsetof(THostImage, BytesPerLine) == 8);
static_assert(offsetof(THostImage, PixelSize) == 12);
static_assert(offsetof(THostImage, Pixels) == 16);
static_assert(offsetof(THostImage, Palette) == 20);
static_assert(offsetof(THostImage, Reserved) == 24);
static_assert(sizeof(THostMenuCommand) == 16);
static_assert(offsetof(THostMenuCommand, Caption) == 4);
static_assert(offsetof(THostMenuCommand, Text) == 8);
static_assert(offsetof(THostMenuCommand, Command) == 12);
static_assert(sizeof(THostNewImage) == 32);
static_assert(offsetof(THostNewImage, Image) == 4);
static_assert(sizeof(THostImageInfo) == 56);
static_assert(offsetof(THostImageInfo, Name) == 8);
static_assert(offsetof(THostImageInfo, Pixels) == 28);
static_assert(offsetof(THostImageInfo, SelectionMask) == 36);
static_assert(offsetof(THostImageInfo, SelectionRect) == 40);
#elif defined(__x86_64__)
static_assert(sizeof(THostImage) == 40);
static_assert(offsetof(THostImage, BytesPerLine) == 8);
static_assert(offsetof(THostImage, PixelSize) == 12);
static_assert(offsetof(THostImage, Pixels) == 16);
static_assert(offsetof(THostImage, Palette) == 24);
static_assert(offsetof(THostImage, Reserved) == 32);
static_assert(sizeof(THostMenuCommand) == 32);
static_assert(offsetof(THostMenuCommand, Caption) == 8);
static_assert(offsetof(THostMenuCommand, Text) == 16);
static_assert(offsetof(THostMenuCommand, Command) == 24);
static_assert(sizeof(THostNewImage) == 48);
static_assert(offsetof(THostNewImage, Image) == 8);
static_assert(sizeof(THostImageInfo) == 72);
static_assert(offsetof(THostImageInfo, Name) == 8);
static_assert(offsetof(THostImageInfo, Pixels) == 32);
static_assert(offsetof(THostImageInfo, SelectionMask) == 48);
static_assert(offsetof(THostImageInfo, SelectionRect) == 56);
#endif

// The callback RegisterPlugin stored; null before registration.
extern THostCallback HostCallback;

// Sends one request to the host; 0 when no host is registered.
std::int32_t SendHostRequest(THostRequest Code, void* Data);

// Each walks the host's images with GetImageInfo until one has Image's pixel buffer. Without
// a match: an empty name, the rectangle (-1, -1, -1, -1), a null mask.
std::string FindHostImageName(const THostImage& Image);
THostRect FindHostSelectionRect(const THostImage& Image);
std::uint8_t* FindHostSelectionMask(const THostImage& Image);
