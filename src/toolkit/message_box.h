// Stand-in for the application's message forms until the styled message form exists: one
// modal message with an OK button, owned by the application's owner window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace toolkit {

enum class TMessageBoxKind { Information, Error };

// The window that owns every window of the plug-in (the host's main window); 0 for none.
void SetApplicationOwnerWindow(std::uintptr_t Window);
std::uintptr_t ApplicationOwnerWindow();

// Shows Text modally with the caption "Information" or "Error"; returns when dismissed.
void ShowMessageBox(const std::string& Text, TMessageBoxKind Kind);

namespace headless {
struct TShownMessage {
  std::string Text;
  TMessageBoxKind Kind;
  std::uintptr_t OwnerWindow;
};
// Every message shown so far, oldest first (headless backend only).
std::vector<TShownMessage>& ShownMessages();
// The next message box runs Driver inside its modal loop (headless backend only).
void SetMessageBoxDriver(std::function<void()> Driver);
} // namespace headless

} // namespace toolkit
