#include "toolkit/forms.h"
#include "toolkit/message_box.h"

namespace toolkit {

// The owner window is the application's: message boxes and forms share it.
void SetApplicationOwnerWindow(std::uintptr_t Window) { Application->OwnerWindow = Window; }

std::uintptr_t ApplicationOwnerWindow() { return Application->OwnerWindow; }

} // namespace toolkit
