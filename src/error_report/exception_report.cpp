#include "error_report/exception_report.h"

#include <cstdio>
#include <optional>

#include "error_report/address_to_text.h"
#include "error_report/mail.h"
#include "styled_forms/message_form.h"
#include "error_report/stack_trace.h"
#include "error_report/version_info.h"
#include "support/string_lists.h"
#include "support/system_errors.h"
#include "toolkit/forms.h"
#include "toolkit/platform.h"

using namespace toolkit;

const char* const BugReportAddress = "bugs@featureresize.example.org";

namespace {

// Lines of a report end in line feed then carriage return.
const std::string SEP = "\n\r";

std::string FileNameOnly(const std::string& Path) {
  const std::size_t Slash = Path.find_last_of("\\/:");
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// The address AddressText wrote at From in S (8 or 16 hex digits, then no more), as a signed
// number of that width; none when there is no such address.
std::optional<std::int64_t> AddressAt(const std::string& S, std::size_t From) {
  std::uint64_t Value = 0;
  std::size_t End = From;
  for (; End < S.size(); ++End) {
    const char C = S[End];
    const int D = C >= '0' && C <= '9' ? C - '0' : C >= 'A' && C <= 'F' ? C - 'A' + 10
                : C >= 'a' && C <= 'f' ? C - 'a' + 10 : -1;
    if (D < 0) break;
    Value = Value << 4 | static_cast<std::uint64_t>(D);
  }
  if (End - From == 8) return static_cast<std::int32_t>(static_cast<std::uint32_t>(Value));
  if (End - From == 16) return static_cast<std::int64_t>(Value);
  return std::nullopt;
}

bool BelowAbs1024(std::int64_t V) { return V > -1024 && V < 1024; }

// "Access violation at address %p in module '%s'. %s of address %p" told plainly. A text of
// another shape is kept as it is.
std::string RewriteAccessViolation(const std::string& Msg) {
  std::string ModuleText;
  if (const std::size_t First = Msg.find('\''); First != std::string::npos) {
    const std::size_t Next = Msg.find('\'', First + 1);
    ModuleText = " in module '" + Msg.substr(First + 1, Next == std::string::npos ? std::string::npos : Next - First);
  }
  const auto CodeAddress = AddressAt(Msg, 28);
  if (!CodeAddress) return Msg;
  if (BelowAbs1024(*CodeAddress)) return "Invalid access to memory location" + ModuleText + ". NIL function or method call";
  const std::size_t Stop = Msg.rfind(". ");
  const std::size_t LastWord = Msg.rfind(' ');
  const auto DataAddress = LastWord == std::string::npos ? std::nullopt : AddressAt(Msg, LastWord + 1);
  if (Stop == std::string::npos || !DataAddress) return Msg;
  const std::size_t WordStart = Stop + 2;
  const std::string Word = Msg.substr(WordStart, Msg.find(' ', WordStart) - WordStart);
  const std::string Operation = Word == "Read" ? "Read" : "Write";
  if (BelowAbs1024(*DataAddress))
    return "Invalid access to memory location" + ModuleText + ". " + Operation + " of NIL pointer";
  return "Invalid access to memory location" + ModuleText + ": " + Operation;
}

std::uintptr_t ExceptionAddressOf(const Exception& E) {
  const auto* Fault = dynamic_cast<const ESystemError*>(&E);
  return Fault ? Fault->Address : 0;
}

std::string FieldValue(const TStrings& Fields, const std::string& Name, bool& Present) {
  const int Index = Fields.IndexOfName(Name);
  Present = Index >= 0;
  if (!Present) return {};
  const std::string Item = Fields.Get(Index);
  return Item.substr(Item.find('=') + 1);
}

void Report(TObject* Sender, const Exception& E) {
  std::string Msg = ReportMessage(E);
  if (!IsProgrammingFault(E)) {
    ShowMessageForm(Msg, mkError, MessageButtons({btnOK}), 0);
    return;
  }
  switch (ShowButtonMessageForm(Msg, mkError, {"&Ignore", "Send bug report", "Terminate application"}, 1)) {
  case 3: Application->Terminate(); break;
  case 2: {
    TOpenStringList Fields;
    Fields.Add(std::string("to=") + BugReportAddress);
    Fields.Add("subject=Quenfal Bug report");
    Fields.Add("body=" + BugReportText(Msg, Sender, ExceptionAddressOf(E)));
    SendMail(Application->OwnerWindow, Fields);
    break;
  }
  default: break;
  }
}

} // namespace

std::string ReportMessage(const Exception& E) {
  std::string Msg = E.Message();
  if (dynamic_cast<const EAccessViolation*>(&E)) Msg = RewriteAccessViolation(Msg);
  if (!Msg.empty() && static_cast<unsigned char>(Msg.back()) > '.') Msg += '.';
  return Msg;
}

bool IsProgrammingFault(const Exception& E) {
  return dynamic_cast<const EAccessViolation*>(&E) || dynamic_cast<const EPrivilege*>(&E) ||
         dynamic_cast<const EInvalidPointer*>(&E) || dynamic_cast<const EListError*>(&E) ||
         dynamic_cast<const EIntError*>(&E) || dynamic_cast<const EMathError*>(&E);
}

std::string BugReportText(const std::string& Message, TObject* Sender, std::uintptr_t ExceptionAddress) {
  const std::string Module = toolkit::ModuleFileName();
  std::string Msg = "Module: " + FileNameOnly(Module) + " " + VersionText(ReadVersionInfo(Module)) + SEP + Message;
  Msg = "Application: " + FileNameOnly(toolkit::ExecutableFileName()) + " " + ApplicationVersion + SEP + Msg;
  Msg += SEP + SEP + "Please describe what you did do before the error occurred:";
  Msg += SEP + SEP + SEP +
         "(You cannot expect a direct reply to this bug report, but it will be used to make the next version better!)" +
         SEP + SEP;
  Msg += SEP + "Exception address: " + AddressToText(ExceptionAddress);
  if (StackTrace[0] != 0) {
    Msg += SEP + "Stack trace: ";
    for (std::size_t I = 0; I < StackTrace.size() && StackTrace[I] != 0; ++I) Msg += SEP + AddressToText(StackTrace[I]);
  }
  if (Sender) Msg += SEP + "Caught by: " + Sender->ClassName();
  if (TForm* Active = Screen->ActiveForm()) Msg += SEP + "Active form: " + Active->ClassName();
  const toolkit::TOsVersion Os = toolkit::OsVersion();
  char Version[48];
  std::snprintf(Version, sizeof Version, "Windows version: %d.%d", Os.Major, Os.Minor);
  return Msg + SEP + Version;
}

int SendMail(std::uintptr_t ParentWindow, const TStrings& Fields) {
  os::TMailMessage Mail;
  bool Present;
  if (std::string To = FieldValue(Fields, "to", Present); Present) Mail.To.push_back(To);
  for (int I = 0;; ++I) {
    std::string Path = FieldValue(Fields, "attachment" + std::to_string(I), Present);
    if (!Present) break;
    Mail.Attachments.push_back(Path);
  }
  Mail.Subject = FieldValue(Fields, "subject", Present);
  Mail.Body = FieldValue(Fields, "body", Present);
  return os::SendMail(ParentWindow, Mail);
}

void ExceptionReportHandler(TObject* Sender, const Exception& E) {
  try {
    Report(Sender, E);
  } catch (...) {
    // Nothing may escape the application's error event, and the report itself has failed.
    toolkit::ShowSystemErrorBox(0, "Exception");
  }
}
