// Test helper: the exit status the tool would give for what an action raises.
#pragma once

#include <functional>

#include "cli_error.h"

inline int ExitStatusOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const ECommandLine& E) {
    return E.ExitStatus;
  }
  return 0;
}
