#include "toolkit/message_box.h"

#include <windows.h>

namespace toolkit {

void ShowMessageBox(const std::string& Text, TMessageBoxKind Kind) {
  // MessageBoxA fails outright with an owner that is not a window, so a bad handle from the
  // host leaves the message unowned instead of unseen.
  HWND Owner = reinterpret_cast<HWND>(ApplicationOwnerWindow());
  if (Owner && !IsWindow(Owner)) Owner = nullptr;
  const bool IsError = Kind == TMessageBoxKind::Error;
  MessageBoxA(Owner, Text.c_str(), IsError ? "Error" : "Information",
              MB_OK | (IsError ? MB_ICONHAND : MB_ICONASTERISK));
}

} // namespace toolkit
