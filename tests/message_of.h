// Test helper: the class and message of the exception an action raises.
#pragma once

#include <functional>
#include <string>

#include "support/object.h"

// "<message>" of the Exception Action raises, or "(nothing raised)".
inline std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

// "<class>: <message>", to pin the exception class as well.
inline std::string ErrorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return std::string(E.ClassName()) + ": " + E.Message();
  }
  return "(nothing raised)";
}
