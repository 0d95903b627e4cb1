// The plug-in DLL's entry point: the error hooks go in as the library loads, before the host
// can call anything that might fault, and come out as it unloads.
#include <windows.h>

#include "error_report/stack_trace.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD Reason, LPVOID Reserved) {
  // The loader's lock is held here. Installing the hooks touches only our own data and the
  // system's exception dispatch, which is safe under it. The rest of the start-up (window
  // ghosting, the style setting with its display and registry reads, the host's version
  // resource) calls into user32, gdi32, advapi32 and version.dll, which must not be relied on
  // from here; it runs when the host first calls in (RegisterPlugin) or with the first form.
  switch (Reason) {
  case DLL_PROCESS_ATTACH: InstallErrorHooks(); break;
  case DLL_PROCESS_DETACH:
    // At process exit (Reserved set) nothing runs afterwards; on FreeLibrary the host lives on
    // and must not keep a handler into unmapped code.
    if (!Reserved) RemoveErrorHooks();
    break;
  default: break;
  }
  return TRUE;
}
