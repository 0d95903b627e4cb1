#include "toolkit/message_box.h"

namespace toolkit {

// Headless: the message is recorded and counts as dismissed at once.
void ShowMessageBox(const std::string& Text, TMessageBoxKind Kind) {
  headless::ShownMessages().push_back({Text, Kind, ApplicationOwnerWindow()});
}

std::vector<headless::TShownMessage>& headless::ShownMessages() {
  static std::vector<TShownMessage> Messages;
  return Messages;
}

} // namespace toolkit
