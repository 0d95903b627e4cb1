// Mail through Simple MAPI, the system's mail program.
#include <windows.h>
#include <mapi.h>

#include <vector>

#include "error_report/mail.h"

namespace os {

namespace {
BOOL CALLBACK DisableWindow(HWND Window, LPARAM List) {
  if (IsWindowVisible(Window) && IsWindowEnabled(Window)) {
    reinterpret_cast<std::vector<HWND>*>(List)->push_back(Window);
    EnableWindow(Window, FALSE);
  }
  return TRUE;
}
} // namespace

int SendMail(std::uintptr_t ParentWindow, const TMailMessage& Message) {
  // Simple MAPI is optional on Windows, so it is looked up only when mail is wanted.
  HMODULE Mapi = LoadLibraryA("MAPI32.DLL");
  auto Logon = Mapi ? reinterpret_cast<LPMAPILOGON>(reinterpret_cast<void*>(GetProcAddress(Mapi, "MAPILogon"))) : nullptr;
  auto Logoff = Mapi ? reinterpret_cast<LPMAPILOGOFF>(reinterpret_cast<void*>(GetProcAddress(Mapi, "MAPILogoff"))) : nullptr;
  auto Send = Mapi ? reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(GetProcAddress(Mapi, "MAPISendMail"))) : nullptr;
  LHANDLE Session = 0;
  if (!Logon || !Logoff || !Send ||
      Logon(ParentWindow, nullptr, nullptr, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &Session) != SUCCESS_SUCCESS) {
    if (Mapi) FreeLibrary(Mapi);
    throw EMailError("Error while trying to send e-mail");
  }
  std::vector<std::string> Addresses;
  for (const std::string& To : Message.To) Addresses.push_back("SMTP:" + To);
  std::vector<MapiRecipDesc> Recipients(Message.To.size());
  for (std::size_t I = 0; I < Message.To.size(); ++I) {
    Recipients[I].ulRecipClass = MAPI_TO;
    Recipients[I].lpszName = const_cast<char*>(Message.To[I].c_str());
    Recipients[I].lpszAddress = const_cast<char*>(Addresses[I].c_str());
  }
  std::vector<std::string> Names;
  for (const std::string& Path : Message.Attachments) Names.push_back(Path.substr(Path.find_last_of("\\/:") + 1));
  std::vector<MapiFileDesc> Files(Message.Attachments.size());
  for (std::size_t I = 0; I < Files.size(); ++I) {
    Files[I].nPosition = static_cast<ULONG>(-1);
    Files[I].lpszPathName = const_cast<char*>(Message.Attachments[I].c_str());
    Files[I].lpszFileName = const_cast<char*>(Names[I].c_str());
  }
  MapiMessage Mail{};
  Mail.lpszSubject = const_cast<char*>(Message.Subject.c_str());
  Mail.lpszNoteText = const_cast<char*>(Message.Body.c_str());
  Mail.nRecipCount = static_cast<ULONG>(Recipients.size());
  Mail.lpRecips = Recipients.empty() ? nullptr : Recipients.data();
  Mail.nFileCount = static_cast<ULONG>(Files.size());
  Mail.lpFiles = Files.empty() ? nullptr : Files.data();
  // The mail dialog is modal to the user but not to our windows: they are disabled meanwhile,
  // as a modal dialog would, so nothing of the plug-in runs under it.
  std::vector<HWND> Disabled;
  EnumThreadWindows(GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&Disabled));
  const ULONG Result = Send(Session, ParentWindow, &Mail, MAPI_DIALOG, 0);
  for (HWND Window : Disabled) EnableWindow(Window, TRUE);
  Logoff(Session, ParentWindow, 0, 0);
  FreeLibrary(Mapi);
  return static_cast<int>(Result);
}

} // namespace os
