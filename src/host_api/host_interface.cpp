#include "host_api/host_interface.h"

#include <cstring>

THostCallback HostCallback = nullptr;

std::int32_t SendHostRequest(THostRequest Code, void* Data) {
  if (!HostCallback) return 0;
  return HostCallback(Code, Data);
}

namespace {

// No host has this many images open; the bound keeps a host that never says "no such image"
// from hanging the plug-in.
constexpr std::int32_t MaxHostImages = 65536;

bool FindHostImageInfo(const THostImage& Image, THostImageInfo& Info) {
  std::memset(&Info, 0, sizeof(Info));
  for (std::int32_t Index = 0; Index < MaxHostImages; ++Index) {
    Info.Index = Index;
    if (SendHostRequest(hrGetImageInfo, &Info) == 0) return false;
    if (Info.Pixels == Image.Pixels) return true;
  }
  return false;
}

} // namespace

std::string FindHostImageName(const THostImage& Image) {
  THostImageInfo Info;
  if (!FindHostImageInfo(Image, Info) || !Info.Name) return {};
  return Info.Name;
}

THostRect FindHostSelectionRect(const THostImage& Image) {
  THostImageInfo Info;
  if (!FindHostImageInfo(Image, Info)) return {-1, -1, -1, -1};
  return Info.SelectionRect;
}

std::uint8_t* FindHostSelectionMask(const THostImage& Image) {
  THostImageInfo Info;
  if (!FindHostImageInfo(Image, Info)) return nullptr;
  return Info.SelectionMask;
}
