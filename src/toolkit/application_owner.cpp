#include "toolkit/message_box.h"

namespace toolkit {

namespace {
std::uintptr_t OwnerWindow = 0;
}

void SetApplicationOwnerWindow(std::uintptr_t Window) { OwnerWindow = Window; }

std::uintptr_t ApplicationOwnerWindow() { return OwnerWindow; }

} // namespace toolkit
