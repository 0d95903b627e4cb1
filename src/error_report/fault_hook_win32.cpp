// The operating-system exception hook on Win32: processor faults in our module become
// exceptions of the system's classes, and the stack is walked by the system's unwind tables.
#include <windows.h>

#include <string>

#include "error_report/fault_hook.h"
#include "support/system_errors.h"

namespace os {

// ===== Processor faults =====
//
// A fault in our own code (an access violation, an integer division by zero, a privileged
// instruction, a floating-point trap) must end up in the application's error event like any
// other error, and leave the dialog and the host running. The vectored handler below makes
// the faulting thread look as if the faulting instruction had called RaiseFault, which
// throws the fault as an exception of the system's classes. The module is compiled with
// -fnon-call-exceptions and asynchronous unwind tables, so the unwinder finds every trapping
// instruction in its function's tables: destructors run and the event's Dispatch catches it.
// A call our code makes through a null pointer counts as ours too. Faults in other modules
// (the host, the system) are left to their own handlers.

namespace {
TExceptionHook Hook;
PVOID HookHandle = nullptr;

struct TPendingFault {
  DWORD Code;
  std::uintptr_t Address;     // where the report places the fault
  std::uintptr_t CodeAddress; // the instruction pointer the processor faulted at
  bool Write;
  std::uintptr_t Data;
  std::string Module;
};
thread_local TPendingFault Pending;
// Set while RaiseFault's exception searches for its handler. A fault then is one of the
// unwinder's own (it lives in our module too); throwing again would recurse until the stack
// overflows, so it is left to the host's handlers.
thread_local bool Raising = false;

// The instruction, stack and frame pointers of a thread's context by this processor's names.
#if defined(_WIN64)
DWORD64& InstructionPointer(CONTEXT& C) { return C.Rip; }
DWORD64& StackPointer(CONTEXT& C) { return C.Rsp; }
DWORD64 FramePointer(const CONTEXT& C) { return C.Rbp; }
#else
DWORD& InstructionPointer(CONTEXT& C) { return C.Eip; }
DWORD& StackPointer(CONTEXT& C) { return C.Esp; }
DWORD FramePointer(const CONTEXT& C) { return C.Ebp; }
#endif

HMODULE ModuleOf(std::uintptr_t Address) {
  HMODULE Module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(Address), &Module);
  return Module;
}

HMODULE OwnModule() { return ModuleOf(reinterpret_cast<std::uintptr_t>(&ModuleOf)); }

std::string BaseName(HMODULE Module) {
  char Buffer[MAX_PATH * 2];
  const DWORD Length = GetModuleFileNameA(Module, Buffer, sizeof Buffer);
  const std::string Path(Buffer, Length < sizeof Buffer ? Length : 0);
  return Path.substr(Path.find_last_of("\\/") + 1);
}

[[noreturn]] __attribute__((noinline, used)) void RaiseFault() __asm__("fr_RaiseFault");
[[noreturn]] void RaiseFault() {
  const TPendingFault F = std::move(Pending);
  // Cleared when the unwind leaves this frame, that is once a handler was found.
  struct TRaising {
    TRaising() { Raising = true; }
    ~TRaising() { Raising = false; }
  } Guard;
  switch (F.Code) {
  case EXCEPTION_ACCESS_VIOLATION:
    throw EAccessViolation(AccessViolationMessage(F.CodeAddress, F.Module, F.Write, F.Data), F.Address);
  case EXCEPTION_PRIV_INSTRUCTION: throw EPrivilege("Privileged instruction", F.Address);
  case EXCEPTION_INT_DIVIDE_BY_ZERO: throw EDivByZero("Division by zero", F.Address);
  case EXCEPTION_INT_OVERFLOW: throw EIntOverflow("Integer overflow", F.Address);
  case EXCEPTION_FLT_DIVIDE_BY_ZERO: throw EZeroDivide("Floating point division by zero", F.Address);
  case EXCEPTION_FLT_OVERFLOW: throw EOverflow("Floating point overflow", F.Address);
  case EXCEPTION_FLT_UNDERFLOW: throw EUnderflow("Floating point underflow", F.Address);
  default: throw EInvalidOp("Invalid floating point operation", F.Address);
  }
}

#if defined(_WIN64)
// Entered as if the faulting instruction had called it, with the stack as the fault left it:
// aligned in a function's body, off by 8 in a leaf without a frame. x64 code expects it aligned
// at every call, so this frame aligns it, keeping the stack pointer of its entry in the frame
// register, from which the unwinder finds its way back to the faulting frame.
extern "C" void FaultTrampoline();
__asm__(".text\n"
        ".def FaultTrampoline; .scl 3; .type 32; .endef\n"
        ".seh_proc FaultTrampoline\n"
        "FaultTrampoline:\n"
        "  pushq %rbp\n"
        "  .seh_pushreg %rbp\n"
        "  movq %rsp, %rbp\n"
        "  .seh_setframe %rbp, 0\n"
        "  .seh_endprologue\n"
        "  andq $-16, %rsp\n"
        "  call fr_RaiseFault\n"
        "  ud2\n" // keeps the return address inside this function for the unwinder
        "  .seh_endproc\n");
#endif

bool Translatable(DWORD Code) {
  switch (Code) {
  case EXCEPTION_ACCESS_VIOLATION: case EXCEPTION_PRIV_INSTRUCTION: case EXCEPTION_INT_DIVIDE_BY_ZERO:
  case EXCEPTION_INT_OVERFLOW: case EXCEPTION_FLT_DIVIDE_BY_ZERO: case EXCEPTION_FLT_OVERFLOW:
  case EXCEPTION_FLT_UNDERFLOW: case EXCEPTION_FLT_INVALID_OPERATION: case EXCEPTION_FLT_STACK_CHECK:
  case EXCEPTION_FLT_INEXACT_RESULT: case EXCEPTION_FLT_DENORMAL_OPERAND:
    return true;
  default: return false;
  }
}

// The return address on top of the stack when the processor faulted at a code address below
// 64 KiB, where nothing is ever mapped: the mark of a call through a null (or nearly null)
// pointer. 0 when the instruction pointer is elsewhere or the stack cannot be read.
std::uintptr_t NilCallReturnAddress(const EXCEPTION_RECORD& Record, CONTEXT& Context) {
  std::uintptr_t Return = 0;
  if (Record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || InstructionPointer(Context) >= 0x10000 ||
      !ReadMemory(StackPointer(Context), &Return, sizeof Return))
    return 0;
  return Return;
}

// Redirects a fault in our module to RaiseFault; false for a fault that is not ours.
bool TranslateFault(const EXCEPTION_RECORD& Record, CONTEXT& Context) {
  if (!Translatable(Record.ExceptionCode) || Raising) return false;
  const HMODULE Own = OwnModule();
  const std::uintptr_t NilCallReturn = NilCallReturnAddress(Record, Context);
  // A call through a null pointer is ours when our code made it: the faulting address belongs
  // to no module, the return address to the caller. Other faults are ours where they happen.
  const bool NilCall = NilCallReturn != 0 && ModuleOf(NilCallReturn) == Own;
  auto& Ip = InstructionPointer(Context);
  if (!NilCall && ModuleOf(Ip) != Own) return false;
  const bool Access = Record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && Record.NumberParameters >= 2;
  // A nil call is placed at its call instruction (the byte before the return address), so the
  // report names the calling function and line.
  Pending = {Record.ExceptionCode, NilCall ? NilCallReturn - 1 : Ip, Ip,
             Access && Record.ExceptionInformation[0] == 1, Access ? Record.ExceptionInformation[1] : 0, BaseName(Own)};
  if (NilCall) {
    // The stack is exactly as the call left it, so the thread goes on as if the call had gone
    // to RaiseFault: the unwinder starts at the call site in the caller. (Pushing a return
    // address as below would give it 1: no unwind table covers that, and the unwinder's
    // fallback for system frames then reads the bytes before it and faults.)
    Ip = reinterpret_cast<std::uintptr_t>(&RaiseFault);
    return true;
  }
  // The unwinder looks up the return address less one: the faulting instruction itself.
  auto& Sp = StackPointer(Context);
  Sp -= sizeof(std::uintptr_t);
  *reinterpret_cast<std::uintptr_t*>(Sp) = Ip + 1;
#if defined(_WIN64)
  Ip = reinterpret_cast<std::uintptr_t>(&FaultTrampoline);
#else
  Ip = reinterpret_cast<std::uintptr_t>(&RaiseFault);
#endif
  return true;
}

// The exceptions that carry our own C++ throws where the unwinder goes through the system's
// (x64): they are no faults, and 32-bit builds, whose throws the system never sees, do not
// report them either.
bool OwnThrow(DWORD Code) { return Code == 0x20474343 || Code == 0x21474343 || Code == 0x22474343; }

LONG CALLBACK VectoredHook(EXCEPTION_POINTERS* Pointers) {
  if (OwnThrow(Pointers->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  // The context's frame pointer is the faulting function's, so a walk from it leaves out
  // the system's dispatching frames.
  if (Hook) Hook({Pointers->ExceptionRecord->ExceptionCode, FramePointer(*Pointers->ContextRecord), Pointers->ContextRecord});
  if (Hook && TranslateFault(*Pointers->ExceptionRecord, *Pointers->ContextRecord)) return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}
} // namespace

void InstallExceptionHook(TExceptionHook NewHook) {
  Hook = std::move(NewHook);
  // A vectored handler sees every exception first and passes it on, so the ones installed
  // before keep working.
  if (Hook && !HookHandle) HookHandle = AddVectoredExceptionHandler(1, VectoredHook);
  if (!Hook && HookHandle) {
    RemoveVectoredExceptionHandler(HookHandle);
    HookHandle = nullptr;
  }
}

#if defined(_WIN64)
namespace {
// The end of the calling thread's stack: its committed pages are one region of memory, from
// the page of the innermost frame up to it.
std::uintptr_t StackEnd() {
  MEMORY_BASIC_INFORMATION Info{};
  if (!VirtualQuery(&Info, &Info, sizeof Info)) return 0;
  return reinterpret_cast<std::uintptr_t>(Info.BaseAddress) + Info.RegionSize;
}
} // namespace

__attribute__((noinline)) int UnwindStack(const void* Context, int Skip, int Max, std::uintptr_t* Dest) {
  CONTEXT C;
  if (Context) {
    C = *static_cast<const CONTEXT*>(Context);
  } else {
    RtlCaptureContext(&C);
    ++Skip; // the first return address leads into the caller, which is not a frame of its own
  }
  // The unwinder reads frames without checks: it is given only frames on this thread's stack,
  // each one further out than the one before.
  const std::uintptr_t Begin = reinterpret_cast<std::uintptr_t>(&C), End = StackEnd();
  int Count = 0;
  for (int I = 1; I <= Skip + Max && C.Rsp >= Begin && C.Rsp + sizeof(DWORD64) <= End; ++I) {
    const DWORD64 Inner = C.Rsp;
    DWORD64 ImageBase = 0;
    if (PRUNTIME_FUNCTION Function = RtlLookupFunctionEntry(C.Rip, &ImageBase, nullptr)) {
      void* HandlerData = nullptr;
      DWORD64 EstablisherFrame = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, ImageBase, C.Rip, Function, &C, &HandlerData, &EstablisherFrame, nullptr);
    } else {
      // A function without unwind data (or a call into nothing) has not touched the stack:
      // its return address is on top.
      C.Rip = *reinterpret_cast<const DWORD64*>(C.Rsp);
      C.Rsp += sizeof(DWORD64);
    }
    if (C.Rip < 0x10000 || C.Rsp <= Inner) break;
    if (I > Skip) Dest[Count++] = C.Rip;
  }
  return Count;
}
#else
int UnwindStack(const void*, int, int, std::uintptr_t*) { return -1; }
#endif

bool ReadMemory(std::uintptr_t Address, void* Dest, std::size_t Size) {
  SIZE_T Read = 0;
  return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(Address), Dest, Size, &Read) &&
         Read == Size;
}

} // namespace os
