// Headless platform services: a registry, versions and file names kept in memory and set by
// tests, so that the error report and the styled form can be tested natively.
#include <map>
#include <tuple>

#include "toolkit/headless/headless.h"
#include "toolkit/platform.h"

namespace toolkit {

namespace {
std::map<std::tuple<TRegistryRoot, std::string, std::string>, std::uint32_t> Registry;
std::map<std::string, std::vector<std::uint8_t>> VersionResources;
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

void ShowSystemErrorBox(std::uintptr_t Owner, const std::string& Text, bool OwnThread) {
  headless::Platform().SystemErrorBoxes.push_back({Owner, Text, OwnThread});
}

} // namespace toolkit
