// The toolkit's plain message box: one modal message with an OK button, owned by the
// application's owner window. The plug-in's own messages use the styled message form
// (forms/message_form.h); this box serves the toolkit itself, which knows no styled forms
// (an error that escapes an event handler without an OnException to take it).
#pragma once

#include <cstdint>
#include <string>

namespace toolkit {

enum class TMessageBoxKind { Information, Error };

// The window that owns every window of the plug-in (the host's main window); 0 for none.
void SetApplicationOwnerWindow(std::uintptr_t Window);
std::uintptr_t ApplicationOwnerWindow();

// Shows Text modally with the caption "Information" or "Error"; returns when dismissed.
void ShowMessageBox(const std::string& Text, TMessageBoxKind Kind);

} // namespace toolkit
