// The headless exception hook: tests raise the system's exceptions by hand, frame pointers
// chain, and memory is read through the kernel.
#include <unistd.h>

#include <utility>

#include "error_report/fault_hook.h"
#include "error_report/headless_os.h"

namespace os {

namespace {
TExceptionHook Hook;
} // namespace

void headless::RaiseOsException(std::uint32_t Code, std::uintptr_t Frame) {
  if (Hook) Hook({Code, Frame});
}

void InstallExceptionHook(TExceptionHook NewHook) { Hook = std::move(NewHook); }

int UnwindStack(const void*, int, int, std::uintptr_t*) { return -1; }

bool ReadMemory(std::uintptr_t Address, void* Dest, std::size_t Size) {
  // The kernel copies through a pipe for us and answers EFAULT for an unreadable address
  // instead of faulting; the pipe holds a page, more than a stack walk ever asks for.
  if (Size > 4096) return false;
  int Pipe[2];
  if (pipe(Pipe) != 0) return false;
  const bool Copied = write(Pipe[1], reinterpret_cast<const void*>(Address), Size) == static_cast<ssize_t>(Size) &&
                      read(Pipe[0], Dest, Size) == static_cast<ssize_t>(Size);
  close(Pipe[0]);
  close(Pipe[1]);
  return Copied;
}

} // namespace os
