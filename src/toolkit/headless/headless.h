// What only the headless backend can tell a test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/platform.h"

namespace toolkit::headless {

// The fake clock in milliseconds; it moves only in user::Wait.
long long Clock();

struct TShownHelp {
  std::string HelpFile;
  int Context;
};
// Every help request so far, oldest first.
std::vector<TShownHelp>& ShownHelp();

// The system the headless platform services describe; tests may change it.
struct TPlatform {
  TOsVersion Version{5, 1, 2600};
  std::string ModuleFileName = "C:\\Program Files\\Host\\Plugins\\FeatureResize.dll";
  std::string ExecutableFileName = "C:\\Program Files\\Host\\Host.exe";
  char DecimalSeparator = '.';
  bool GhostingDisabled = false;
  bool MailAvailable = true;
  std::vector<TMailMessage> SentMail;
};
TPlatform& Platform();

// Stores (or with no value removes) a registry number.
void SetRegistryInteger(TRegistryRoot Root, const std::string& Key, const std::string& Name,
                        std::optional<std::uint32_t> Value);
// Gives FileName a version resource.
void SetVersionResource(const std::string& FileName, std::vector<std::uint8_t> Bytes);
// Reports an operating-system exception with Code to the installed hook.
void RaiseOsException(std::uint32_t Code);

} // namespace toolkit::headless
