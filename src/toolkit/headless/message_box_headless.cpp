#include "toolkit/message_box.h"

namespace toolkit {

namespace {
std::uintptr_t OwnerWindow = 0;
}

void SetApplicationOwnerWindow(std::uintptr_t Window) { OwnerWindow = Window; }

std::uintptr_t ApplicationOwnerWindow() { return OwnerWindow; }

// Headless: the message is recorded and counts as dismissed at once.
void ShowMessageBox(const std::string& Text, TMessageBoxKind Kind) {
  headless::ShownMessages().push_back({Text, Kind, OwnerWindow});
}

std::vector<headless::TShownMessage>& headless::ShownMessages() {
  static std::vector<TShownMessage> Messages;
  return Messages;
}

} // namespace toolkit
