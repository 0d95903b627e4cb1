// The command-line tool's error: a message for one line on stderr and the exit status.
#pragma once

#include <new>
#include <string>

#include "support/object.h"

// Exit statuses: 1 for a failure while doing the work (unreadable, damaged or truncated file, a
// write that failed), 2 for input the tool refuses (bad arguments, unsupported image layouts,
// images over the pixel limit).
constexpr int ExitFailure = 1;
constexpr int ExitRefused = 2;

class ECommandLine : public Exception {
public:
  ECommandLine(std::string Message, int ExitStatus) : Exception(std::move(Message)), ExitStatus(ExitStatus) {}
  const char* ClassName() const override { return "ECommandLine"; }
  int ExitStatus;
};

// "<Name>: <Why>" as a refusal (exit 2) or a failure (exit 1).
[[noreturn]] inline void RefuseFile(const std::string& Name, const std::string& Why) {
  throw ECommandLine(Name + ": " + Why, ExitRefused);
}
[[noreturn]] inline void FailFile(const std::string& Name, const std::string& Why) {
  throw ECommandLine(Name + ": " + Why, ExitFailure);
}

// What the tool reports for an error that ended its run: the line after "featureresize: " and
// the exit status. Running out of memory reads the same wherever it happened (the engine says
// "Out of memory", the standard library's allocation failure says nothing useful).
struct TFailureReport {
  std::string Message;
  int ExitStatus;
};
inline TFailureReport DescribeFailure(const std::exception& Failure) {
  if (const auto* Refusal = dynamic_cast<const ECommandLine*>(&Failure)) return {Refusal->what(), Refusal->ExitStatus};
  if (dynamic_cast<const std::bad_alloc*>(&Failure) || std::string(Failure.what()) == "Out of memory")
    return {"out of memory", ExitFailure};
  return {Failure.what(), ExitFailure};
}
