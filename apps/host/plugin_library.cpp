#include "plugin_library.h"

#include <windows.h>

#include "host_document.h"

namespace {

template <class T>
T Export(HMODULE Module, const char* Name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
}

} // namespace

TPluginLibrary::TPluginLibrary(const std::string& Path) : LibraryPath(Path) {
  // No "cannot load" box from the system: the host reports the failure itself.
  const UINT Previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  Module = LoadLibraryA(Path.c_str());
  const DWORD Error = GetLastError();
  SetErrorMode(Previous);
  if (!Module) throw EHostError(Path + ": cannot be loaded (error " + std::to_string(Error) + ")");
  RegisterEntry = Export<TRegisterPlugin>(Module, "RegisterPlugin");
  ProcessEntry = Export<TProcessImage>(Module, "ProcessImage");
  if (!RegisterEntry || !ProcessEntry) {
    FreeLibrary(Module);
    throw EHostError(Path + ": not a plug-in (it lacks RegisterPlugin or ProcessImage)");
  }
}

TPluginLibrary::~TPluginLibrary() { FreeLibrary(Module); }
