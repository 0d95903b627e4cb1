// The command-line tool's error: a message for one line on stderr and the exit status.
#pragma once

#include "support/object.h"

// Exit statuses: 1 for a failure while doing the work (unreadable or truncated file, a write
// that failed), 2 for input the tool refuses (bad arguments, unsupported image layouts).
constexpr int ExitFailure = 1;
constexpr int ExitRefused = 2;

class ECommandLine : public Exception {
public:
  ECommandLine(std::string Message, int ExitStatus) : Exception(std::move(Message)), ExitStatus(ExitStatus) {}
  const char* ClassName() const override { return "ECommandLine"; }
  int ExitStatus;
};
