// Headless platform services: a registry, versions, file names and mail kept in memory and
// set by tests, so that the error report and the styled form can be tested natively.
#include <unistd.h>

#include <map>
#include <tuple>

#include "toolkit/headless/headless.h"
#include "toolkit/platform.h"

namespace toolkit {

namespace {
std::map<std::tuple<TRegistryRoot, std::string, std::string>, std::uint32_t> Registry;
std::map<std::string, std::vector<std::uint8_t>> VersionResources;
TExceptionHook Hook;
} // namespace

headless::TPlatform& headless::Platform() {
  static TPlatform State;
  return State;
}

void headless::SetRegistryInteger(TRegistryRoot Root, const std::string& Key, const std::string& Name,
                                  std::optional<std::uint32_t> Value) {
  if (Value) Registry[{Root, Key, Name}] = *Value;
  else Registry.erase({Root, Key, Name});
}

void headless::SetVersionResource(const std::string& FileName, std::vector<std::uint8_t> Bytes) {
  VersionResources[FileName] = std::move(Bytes);
}

void headless::RaiseOsException(std::uint32_t Code, std::uintptr_t Frame) {
  if (Hook) Hook({Code, Frame});
}

std::optional<std::uint32_t> ReadRegistryInteger(TRegistryRoot Root, const std::string& Key,
                                                 const std::string& Name) {
  auto It = Registry.find({Root, Key, Name});
  if (It == Registry.end()) return std::nullopt;
  return It->second;
}

TOsVersion OsVersion() { return headless::Platform().Version; }
char DecimalSeparator() { return headless::Platform().DecimalSeparator; }
bool VisualStylesActive() { return headless::Platform().VisualStyles; }
void DisableWindowGhosting() { headless::Platform().GhostingDisabled = true; }
std::string ModuleFileName() { return headless::Platform().ModuleFileName; }
std::string ExecutableFileName() { return headless::Platform().ExecutableFileName; }

std::vector<std::uint8_t> VersionResource(const std::string& FileName) {
  auto It = VersionResources.find(FileName);
  return It == VersionResources.end() ? std::vector<std::uint8_t>{} : It->second;
}

int SendMail(std::uintptr_t, const TMailMessage& Message) {
  auto& State = headless::Platform();
  if (!State.MailAvailable) throw EMailError("Error while trying to send e-mail");
  State.SentMail.push_back(Message);
  return 0;
}

void ShowSystemErrorBox(std::uintptr_t Owner, const std::string& Text, bool OwnThread) {
  headless::Platform().SystemErrorBoxes.push_back({Owner, Text, OwnThread});
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

} // namespace toolkit
