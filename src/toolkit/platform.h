// Operating-system services behind plain functions: the registry, the system version, module
// and program file names, version resources and the system's error box.
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

// Shows Text in the system's message box with the error icon and no caption, owned by Owner
// (0 for none). OwnThread shows it from a fresh thread, for a thread whose stack is used up.
void ShowSystemErrorBox(std::uintptr_t Owner, const std::string& Text, bool OwnThread = false);

} // namespace toolkit
