// The application-wide report of errors that escape the plug-in's event handlers: ordinary
// errors in an error message form; programming faults in a form that can also mail a bug
// report naming versions, the fault's address and the stack trace.
#pragma once

#include <cstdint>
#include <string>

#include "support/object.h"

class TStrings;

// Where bug reports are mailed.
extern const char* const BugReportAddress;

// The application's error event. Any error inside it ends in a system box reading "Exception".
void ExceptionReportHandler(TObject* Sender, const Exception& E);

// E's message as the user sees it: an access violation's standard text rewritten to say what
// was accessed, and a closing "." where the text ends in a letter, digit or the like.
std::string ReportMessage(const Exception& E);

// Whether E is a programming fault, for which a bug report is offered.
bool IsProgrammingFault(const Exception& E);

// The bug report's body for the shown Message: versions, the resolved exception address, the
// stack trace, the catching object, the active form and the system's version.
std::string BugReportText(const std::string& Message, TObject* Sender, std::uintptr_t ExceptionAddress);

// Mails the message described by Fields ("to", "subject", "body", "attachment0", "attachment1",
// ...) through the system's mail program; returns its result (0: sent). Raises EMailError when
// no mail system can be reached.
int SendMail(std::uintptr_t ParentWindow, const TStrings& Fields);
