// One plug-in DLL: loaded, its two exports found, unloaded with the object.
#pragma once

#include <cstdint>
#include <string>

#include "host_api/host_interface.h"

struct HINSTANCE__;

// A command a plug-in added with AddMenuCommand.
struct TPluginCommand {
  std::string Menu, Caption, Text;
  std::int32_t Number = 0;
  std::size_t Library = 0; // index into the loaded libraries
};

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
