// Win32 platform services.
#include <windows.h>

#include "toolkit/platform.h"

namespace toolkit {

std::optional<std::uint32_t> ReadRegistryInteger(TRegistryRoot Root, const std::string& Key,
                                                 const std::string& Name) {
  HKEY Opened;
  HKEY Base = Root == TRegistryRoot::rrCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  if (RegOpenKeyExA(Base, Key.c_str(), 0, KEY_READ, &Opened) != ERROR_SUCCESS) return std::nullopt;
  DWORD Type = 0, Value = 0, Size = sizeof Value;
  const LONG Status = RegQueryValueExA(Opened, Name.c_str(), nullptr, &Type,
                                       reinterpret_cast<BYTE*>(&Value), &Size);
  RegCloseKey(Opened);
  if (Status != ERROR_SUCCESS || Type != REG_DWORD) return std::nullopt;
  return Value;
}

TOsVersion OsVersion() {
  // GetVersionEx answers what the program's manifest allows; the version numbers of the
  // kernel's own data are the real ones, and RtlGetVersion reads them.
  OSVERSIONINFOA Info{};
  Info.dwOSVersionInfoSize = sizeof Info;
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOA*);
  auto RtlGetVersion = reinterpret_cast<TRtlGetVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  if (!RtlGetVersion || RtlGetVersion(&Info) != 0) GetVersionExA(&Info);
  return {static_cast<int>(Info.dwMajorVersion), static_cast<int>(Info.dwMinorVersion),
          static_cast<int>(Info.dwBuildNumber)};
}

char DecimalSeparator() {
  char Buffer[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, Buffer, sizeof Buffer) < 2) return '.';
  return Buffer[0];
}

bool VisualStylesActive() {
  // uxtheme.dll exists from Windows XP on; it is looked up by name so older systems load us.
  using TQuery = BOOL(WINAPI*)();
  static HMODULE Module = LoadLibraryA("uxtheme.dll");
  if (!Module) return false;
  auto Active = reinterpret_cast<TQuery>(reinterpret_cast<void*>(GetProcAddress(Module, "IsThemeActive")));
  auto AppThemed = reinterpret_cast<TQuery>(reinterpret_cast<void*>(GetProcAddress(Module, "IsAppThemed")));
  return Active && AppThemed && Active() && AppThemed();
}

void DisableWindowGhosting() {
  // Only systems from Windows XP on have the function, so it is looked up by name.
  using TDisable = void(WINAPI*)();
  auto Disable = reinterpret_cast<TDisable>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "DisableProcessWindowsGhosting")));
  if (Disable) Disable();
}

namespace {
std::string FileNameOf(HMODULE Module) {
  char Buffer[MAX_PATH * 2];
  const DWORD Length = GetModuleFileNameA(Module, Buffer, sizeof Buffer);
  return std::string(Buffer, Length < sizeof Buffer ? Length : 0);
}
} // namespace

std::string ModuleFileName() {
  HMODULE Module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ModuleFileName), &Module);
  return FileNameOf(Module);
}

std::string ExecutableFileName() { return FileNameOf(nullptr); }

std::vector<std::uint8_t> VersionResource(const std::string& FileName) {
  DWORD Ignored = 0;
  const DWORD Size = GetFileVersionInfoSizeA(FileName.c_str(), &Ignored);
  std::vector<std::uint8_t> Bytes(Size);
  if (Size == 0 || !GetFileVersionInfoA(FileName.c_str(), 0, Size, Bytes.data())) return {};
  return Bytes;
}

namespace {
struct TErrorBox {
  HWND Owner;
  const char* Text;
};
DWORD WINAPI ShowErrorBox(LPVOID Parameter) {
  const auto* Box = static_cast<const TErrorBox*>(Parameter);
  MessageBoxA(Box->Owner, Box->Text, "", MB_OK | MB_ICONERROR);
  return 0;
}
} // namespace

void ShowSystemErrorBox(std::uintptr_t Owner, const std::string& Text, bool OwnThread) {
  // A null caption would read "Error"; the empty one leaves the caption bar blank.
  TErrorBox Box{reinterpret_cast<HWND>(Owner), Text.c_str()};
  HANDLE Thread = OwnThread ? CreateThread(nullptr, 0, ShowErrorBox, &Box, 0, nullptr) : nullptr;
  if (!Thread) {
    MessageBoxA(Box.Owner, Box.Text, "", MB_OK | MB_ICONERROR);
    return;
  }
  WaitForSingleObject(Thread, INFINITE);
  CloseHandle(Thread);
}

} // namespace toolkit
