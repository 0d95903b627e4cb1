#include "error_report/stack_trace.h"

#include <algorithm>
#include <utility>

#include "error_report/exception_report.h"
#include "error_report/fault_hook.h"
#include "error_report/version_info.h"
#include "styled_forms/style_form.h"
#include "support/system_errors.h"
#include "toolkit/forms.h"
#include "toolkit/platform.h"

using namespace toolkit;

TStackTrace StackTrace{};

namespace {

bool NearZero(std::uintptr_t V) { return V < 65536 || std::uintptr_t{0} - V < 65536; }

// Faults the operating system reports from the processor.
constexpr std::uint32_t AccessViolation = 0xC0000005, IntegerDivideByZero = 0xC0000094,
                        PrivilegedInstruction = 0xC0000096, StackOverflow = 0xC00000FD;

// The walk by the system's unwind tables, where they are what finds the frames; false where
// the frame pointers chain. Inlined, so that a walk from its caller starts at its caller's.
__attribute__((always_inline)) inline bool UnwindInto(const void* Context, int Skip, int Max, TStackTrace& Dest) {
  const int Count = os::UnwindStack(Context, Skip, std::min<int>(Max, Dest.size() - 1), Dest.data());
  if (Count < 0) return false;
  Dest[Count] = 0;
  return true;
}

void OsExceptionHook(const os::TOsException& E) {
  StackTrace[0] = 0;
  switch (E.Code) {
  case AccessViolation:
  case IntegerDivideByZero:
  case PrivilegedInstruction:
    // From the faulting function's frame where the system tells it, else past the hook's
    // own frames.
    if (E.Context && UnwindInto(E.Context, 0, 20, StackTrace)) break;
    if (E.Frame) CaptureStackTraceFrom(E.Frame, 0, 20, StackTrace);
    else CaptureStackTrace(3, 20, StackTrace);
    break;
  case StackOverflow:
    // The faulting thread has almost no stack left, so the box runs on a thread of its own.
    toolkit::ShowSystemErrorBox(Application->OwnerWindow, "Stack overflow.\rThe application will terminate.", true);
    Application->Terminate();
    break;
  }
}

using TRunErrorProc = void (*)(int Code, std::uintptr_t Address);
TRunErrorProc SavedRunErrorProc = nullptr;
TRunErrorProc RunErrorProc = nullptr;
bool Installed = false;

void RunErrorHook(int Code, std::uintptr_t Address) {
  if (Code == 2) CaptureStackTrace(2, 20, StackTrace);
  if (SavedRunErrorProc) SavedRunErrorProc(Code, Address);
}

} // namespace

void CaptureStackTraceFrom(std::uintptr_t Frame, int Skip, int Max, TStackTrace& Dest) {
  // Every read goes through ReadMemory, so a broken chain ends the walk instead of faulting
  // into the exception hook again.
  std::size_t Count = 0;
  for (int I = 1; I <= Max && Count + 1 < Dest.size(); ++I) {
    std::uintptr_t Link[2];
    if (NearZero(Frame) || !os::ReadMemory(Frame, Link, sizeof Link) || NearZero(Link[1])) break;
    if (I > Skip) Dest[Count++] = Link[1];
    Frame = Link[0];
  }
  Dest[Count] = 0;
}

__attribute__((noinline)) void CaptureStackTrace(int Skip, int Max, TStackTrace& Dest) {
  if (UnwindInto(nullptr, Skip, Max, Dest)) return;
  CaptureStackTraceFrom(FR_CURRENT_FRAME(), Skip, Max, Dest);
  // Not a tail call: the walk reads this frame, which a tail call would have given away.
  __asm__ volatile("" ::: "memory");
}

void InstallErrorHooks() {
  if (std::exchange(Installed, true)) return;
  // The vectored hook passes every exception on, so the mapper installed before still runs.
  os::InstallExceptionHook(OsExceptionHook);
  SavedRunErrorProc = std::exchange(RunErrorProc, RunErrorHook);
  Application->OnException = ExceptionReportHandler;
  SetStyleFormReport({ReadApplicationVersion, ExceptionReportHandler});
}

void RemoveErrorHooks() {
  if (!std::exchange(Installed, false)) return;
  os::InstallExceptionHook(nullptr);
  RunErrorProc = SavedRunErrorProc;
}

void InvalidPointerOperation() {
  const auto Address = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
  if (RunErrorProc) RunErrorProc(2, Address);
  throw EInvalidPointer("Invalid pointer operation", Address);
}
