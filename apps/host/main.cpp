// resizehost: a small image viewer that loads image-processing plug-ins and serves their
// requests; scriptable for end-to-end tests (see host_script.h).
#include <windows.h>

#include <iostream>

#include "host.h"
#include "host_script.h"

namespace {

const char* const Usage =
    "usage: resizehost [IMAGE ...] [--plugin DLL] [--open IMAGE] [--select L,T,R,B] [--ellipse L,T,R,B]\n"
    "                  [--mask IMAGE] [--run CAPTION] [--save FILE] [--save-host FILE] [--save-new FILE]\n"
    "                  [--wait MS] [--script FILE] [--exit]\n";

std::string ProgramFolder() {
  char Path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, Path, sizeof(Path));
  std::string Folder = Path;
  return Folder.substr(0, Folder.find_last_of("\\/"));
}

int MessageLoop(HWND Client) {
  MSG Message;
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    if (TranslateMDISysAccel(Client, &Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  TScript Script;
  try {
    Script = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const EHostError& Error) {
    std::cerr << "resizehost: " << Error.Message() << "\n" << Usage;
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // A batch run must never wait for a user: its messages go to stderr.
  TReportSink Sink;
  if (Script.Exit) Sink = [](const std::string& Text) { std::cerr << "resizehost: " << Text << std::endl; };
  int Status = 0;
  {
    THost Host(Sink);
    Host.SetQuitOnClose(true);
    if (!Script.NamesPlugins) Host.LoadPluginsIn(ProgramFolder());
    const bool Done = RunScript(Host, Script.Steps, std::cout);
    if (Script.Exit)
      Status = Done ? 0 : 1;
    else
      Status = MessageLoop(Host.MdiClient());
  }
  CoUninitialize();
  return Status;
}
