// A stand-in for the system's Simple MAPI: records each call and what it was given in the
// file named by FR_MAPI_RECORD, one line per fact, and answers as FR_MAPI_LOGON tells (a
// number: the logon's result; success when unset). Test equipment only.
#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The process's environment, as the test program set it (not a copy of this DLL's run-time).
std::string Environment(const char* Name) {
  char Value[MAX_PATH];
  const DWORD Length = GetEnvironmentVariableA(Name, Value, sizeof Value);
  return Length && Length < sizeof Value ? std::string(Value, Length) : std::string();
}

void Record(const std::string& Line) {
  const std::string File = Environment("FR_MAPI_RECORD");
  if (File.empty()) return;
  if (FILE* F = std::fopen(File.c_str(), "ab")) {
    std::fprintf(F, "%s\n", Line.c_str());
    std::fclose(F);
  }
}

std::string Text(const char* S) { return S ? S : "(null)"; }


} // namespace

extern "C" {

ULONG WINAPI MAPILogon(ULONG_PTR UIParam, LPSTR Profile, LPSTR Password, FLAGS Flags, ULONG, LPLHANDLE Session) {
  Record("logon profile=" + Text(Profile) + " password=" + Text(Password) + " flags=" + std::to_string(Flags) +
         " window=" + (UIParam ? "yes" : "none"));
  const std::string Result = Environment("FR_MAPI_LOGON");
  const ULONG Answer = Result.empty() ? SUCCESS_SUCCESS : std::strtoul(Result.c_str(), nullptr, 10);
  if (Answer == SUCCESS_SUCCESS) *Session = 42;
  return Answer;
}

ULONG WINAPI MAPISendMail(LHANDLE Session, ULONG_PTR, lpMapiMessage Message, FLAGS Flags, ULONG) {
  Record("send session=" + std::to_string(Session) + " flags=" + std::to_string(Flags));
  for (ULONG I = 0; I < Message->nRecipCount; ++I)
    Record("recipient class=" + std::to_string(Message->lpRecips[I].ulRecipClass) + " name=" +
           Text(Message->lpRecips[I].lpszName) + " address=" + Text(Message->lpRecips[I].lpszAddress));
  for (ULONG I = 0; I < Message->nFileCount; ++I)
    Record("file position=" + std::to_string(static_cast<long>(Message->lpFiles[I].nPosition)) + " path=" +
           Text(Message->lpFiles[I].lpszPathName) + " name=" + Text(Message->lpFiles[I].lpszFileName));
  Record("subject=" + Text(Message->lpszSubject));
  Record("body=" + Text(Message->lpszNoteText));
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPILogoff(LHANDLE Session, ULONG_PTR, FLAGS, ULONG) {
  Record("logoff session=" + std::to_string(Session));
  return SUCCESS_SUCCESS;
}

}
