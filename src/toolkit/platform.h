// Operating-system services behind plain functions: the registry, the system version, module
// and program file names, version resources, mail, the exception hook and safe memory reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/object.h"

namespace toolkit {

enum class TRegistryRoot { rrCurrentUser, rrLocalMachine };

// The 32-bit number stored as Name under Key (for example "Software\\Quenfal\\"); no value
// when the key or the value is missing or not a number.
std::optional<std::uint32_t> ReadRegistryInteger(TRegistryRoot Root, const std::string& Key,
                                                 const std::string& Name);

struct TOsVersion {
  int Major = 0, Minor = 0, Build = 0;
};
// The version of the running operating system.
TOsVersion OsVersion();

// The user's decimal separator for numbers shown to them ('.' or ',').
char DecimalSeparator();

// Stops the system from replacing a window that is busy for a while by a frozen "ghost"
// copy; does nothing where the system has no ghosting.
void DisableWindowGhosting();

// Whether the system draws windows with visual styles (themes) for this process.
bool VisualStylesActive();

// Full file name of the module holding this code (the plug-in library, or the program).
std::string ModuleFileName();
// Full file name of the process's program (the host).
std::string ExecutableFileName();

// The raw version resource of FileName; empty when the file has none or cannot be read.
std::vector<std::uint8_t> VersionResource(const std::string& FileName);

struct TMailMessage {
  std::vector<std::string> To;
  std::string Subject;
  std::string Body;
  std::vector<std::string> Attachments; // file names
};
// Raised when the mail system cannot be reached or refuses the logon.
class EMailError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EMailError"; }
};
// Hands Message to the system's mail program, which shows it to the user before sending.
// Returns the mail system's result (0: sent). Raises EMailError("Error while trying to send
// e-mail") when there is no mail system or the logon fails.
int SendMail(std::uintptr_t ParentWindow, const TMailMessage& Message);

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

// Shows Text in the system's message box with the error icon and no caption, owned by Owner
// (0 for none). OwnThread shows it from a fresh thread, for a thread whose stack is used up.
void ShowSystemErrorBox(std::uintptr_t Owner, const std::string& Text, bool OwnThread = false);

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

} // namespace toolkit
