// What only the headless backend can tell a test.
#pragma once

#include <string>
#include <vector>

namespace toolkit::headless {

// The fake clock in milliseconds; it moves only in user::Wait.
long long Clock();

struct TShownHelp {
  std::string HelpFile;
  int Context;
};
// Every help request so far, oldest first.
std::vector<TShownHelp>& ShownHelp();

} // namespace toolkit::headless
