#include <utility>

#include "toolkit/headless/headless.h"
#include "toolkit/message_box.h"

namespace toolkit {

namespace {
std::function<void()> PendingDriver;
} // namespace

void headless::SetMessageBoxDriver(std::function<void()> Driver) { PendingDriver = std::move(Driver); }

// Headless: the message is recorded and runs a modal loop, in which a driver set by the test
// acts (timers fire while it waits); without one it counts as dismissed at once.
void ShowMessageBox(const std::string& Text, TMessageBoxKind Kind) {
  headless::ShownMessages().push_back({Text, Kind, ApplicationOwnerWindow()});
  if (auto Driver = std::exchange(PendingDriver, nullptr)) headless::RunModal(Driver);
}

std::vector<headless::TShownMessage>& headless::ShownMessages() {
  static std::vector<TShownMessage> Messages;
  return Messages;
}

} // namespace toolkit
