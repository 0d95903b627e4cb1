// The return addresses of the stack at the last processor fault, and the hooks that fill it.
#pragma once

#include <array>
#include <cstdint>

// Up to 20 return addresses, ended by a 0 entry; empty (first entry 0) when no trace was taken
// since the last exception the operating system raised. A fault on any thread overwrites it.
using TStackTrace = std::array<std::uintptr_t, 21>;
extern TStackTrace StackTrace;

// Walks the chain of frame pointers from the caller's frame: appends the return address of
// each frame after the first Skip, at most Max (up to 20) frames, and writes the closing 0.
// Stops at the first frame pointer or return address within 65535 of zero, or that cannot
// be read; never faults.
void CaptureStackTrace(int Skip, int Max, TStackTrace& Dest);
// The same walk starting at Frame.
void CaptureStackTraceFrom(std::uintptr_t Frame, int Skip, int Max, TStackTrace& Dest);

// Installs, once, the operating-system exception hook and the run-time error hook and makes
// the error report the application's error event and the styled forms' report. Touches only this library's own data and
// the system's exception dispatch, so a DLL may call it while the loader holds its lock.
void InstallErrorHooks();
// Takes the hooks out again, for a DLL being unloaded: an exception handler left behind
// would point into code that is gone.
void RemoveErrorHooks();

// The run-time error of an invalid pointer operation (a block freed twice, or one the heap
// never handed out): takes the stack trace and raises EInvalidPointer.
[[noreturn]] void InvalidPointerOperation();
