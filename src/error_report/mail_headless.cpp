// Headless mail: what would be mailed is kept for tests.
#include "error_report/headless_os.h"

namespace os {

headless::TMailSystem& headless::MailSystem() {
  static TMailSystem State;
  return State;
}

int SendMail(std::uintptr_t, const TMailMessage& Message) {
  auto& State = headless::MailSystem();
  if (!State.Available) throw EMailError("Error while trying to send e-mail");
  State.Sent.push_back(Message);
  return 0;
}

} // namespace os
