// The modal driver: the simulated user's hand in the next modal form, on both backends.
#include <utility>

#include "equipment/user_input.h"

namespace toolkit {

namespace {
std::function<void(TForm&)> PendingDriver;

void RunPendingDriver(TForm& Form) {
  // One form consumes the driver; a form it opens needs a driver of its own.
  Application->OnModalShown = nullptr;
  if (auto Driver = std::exchange(PendingDriver, nullptr)) Driver(Form);
}
} // namespace

void SetModalDriver(std::function<void(TForm&)> Driver) {
  PendingDriver = std::move(Driver);
  Application->OnModalShown = PendingDriver ? RunPendingDriver : std::function<void(TForm&)>();
}

std::function<void(TForm&)> TakeModalDriver() {
  Application->OnModalShown = nullptr;
  return std::exchange(PendingDriver, nullptr);
}

} // namespace toolkit
