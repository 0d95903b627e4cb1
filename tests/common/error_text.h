// Runs Action and returns the message of the Exception it raised, or "(no exception)".
#pragma once

#include <functional>
#include <string>

#include "support/object.h"

inline std::string ErrorText(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(no exception)";
}
