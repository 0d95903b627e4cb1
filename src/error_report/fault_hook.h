// The operating system's exceptions as the error report sees them: a hook called with every
// one, the stack walk by the system's unwind tables, and memory reads that never fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace os {

// An exception the operating system raised: its code and, for a processor fault, the frame
// pointer of the faulting function (0 where unknown) and the faulting thread's processor
// context (null where unknown; valid during the hook only, read by UnwindStack alone).
struct TOsException {
  std::uint32_t Code = 0;
  std::uintptr_t Frame = 0;
  const void* Context = nullptr;
};
// Called with every exception raised in the process (Code 0xC0000005 for an access violation),
// before any handler runs; it must not raise.
using TExceptionHook = std::function<void(const TOsException& E)>;
void InstallExceptionHook(TExceptionHook Hook);

// The frame pointer of the calling function.
#define FR_CURRENT_FRAME() (reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)))

// Where frame pointers do not chain (x64 Windows places them anywhere in a frame), walks the
// calling thread's stack by the system's unwind tables instead: from the function that faulted
// in Context, or, with a null Context, from the function calling UnwindStack. Writes the return
// address of each frame after the first Skip, at most Max, into Dest and returns the count; stops
// at a frame it cannot read, never faulting. -1 where frame pointers chain and the caller walks
// them itself.
int UnwindStack(const void* Context, int Skip, int Max, std::uintptr_t* Dest);

// Copies Size bytes from Address; false, without faulting, when they cannot be read.
bool ReadMemory(std::uintptr_t Address, void* Dest, std::size_t Size);

} // namespace os
