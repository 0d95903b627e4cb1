// What the Win32 backend shares with the simulated user of the tests: window look-ups, the
// message pump and the modal depth.
#pragma once

#include <windows.h>

#include "toolkit/controls.h"

namespace toolkit::win32 {

HWND Hwnd(const TControl& Control);
// The control a window of ours belongs to; null for other windows.
TControl* FromHandle(HWND Window);
// Handles the waiting messages as the modal loop does; false once WM_QUIT arrived.
bool PumpWaiting();
// Modal loops running now.
extern int ModalDepth;

} // namespace toolkit::win32
