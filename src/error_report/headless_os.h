// The headless stand-ins of the mail program and the operating system's exceptions, which
// tests set and read.
#pragma once

#include <cstdint>
#include <vector>

#include "error_report/mail.h"

namespace os::headless {

struct TMailSystem {
  bool Available = true;
  std::vector<TMailMessage> Sent;
};
TMailSystem& MailSystem();

// Reports an operating-system exception with Code to the installed hook.
void RaiseOsException(std::uint32_t Code, std::uintptr_t Frame = 0);

} // namespace os::headless
