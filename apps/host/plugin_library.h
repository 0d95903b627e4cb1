// One plug-in DLL: loaded, its two exports found, unloaded with the object.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/host_interface.h"

struct HINSTANCE__;

class TPluginLibrary {
public:
  // Loads Path. EHostError when it cannot be loaded or lacks RegisterPlugin or ProcessImage.
  explicit TPluginLibrary(const std::string& Path);
  TPluginLibrary(const TPluginLibrary&) = delete;
  TPluginLibrary& operator=(const TPluginLibrary&) = delete;
  ~TPluginLibrary();

  const std::string& Path() const { return LibraryPath; }
  std::int32_t Register(THostCallback Callback) const { return RegisterEntry(Callback); }
  std::int32_t Process(std::int32_t Command, THostImage* Image) const { return ProcessEntry(Command, Image); }

private:
  using TRegisterPlugin = std::int32_t(FR_STDCALL*)(THostCallback);
  using TProcessImage = std::int32_t(FR_STDCALL*)(std::int32_t, THostImage*);

  std::string LibraryPath;
  HINSTANCE__* Module = nullptr;
  TRegisterPlugin RegisterEntry = nullptr;
  TProcessImage ProcessEntry = nullptr;
};
