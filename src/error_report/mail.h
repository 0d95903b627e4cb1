// The system's mail program, through which the error report mails bug reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/object.h"

namespace os {

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

} // namespace os
