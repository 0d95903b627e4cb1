// Shows the plug-in's dialog at work in the reference host for ./dev screenshot: the sample
// photo opened, the dialog shown, 70 % typed into the width, Scale, OK and the new image.
// Usage: dialog_tour PLUGIN IMAGE SIGNALS. At each stage it prints "shown STAGE" and waits for
// the file SIGNALS\STAGE.done (the screenshot taken) before it goes on.
#include <algorithm>
#include <cstdio>
#include <vector>
#include <string>

#include "host.h"
#include "window_driver.h"

namespace {

std::string Signals;

void Stage(const char* Name) {
  std::printf("shown %s\n", Name);
  std::fflush(stdout);
  const std::string Done = Signals + "\\" + Name + ".done";
  driver::WaitUntil([&] { return GetFileAttributesA(Done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60000);
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc != 4) return 2;
  Signals = Argv[3];
  THost Host([](const std::string& Text) { std::fprintf(stderr, "%s\n", Text.c_str()); });
  Host.LoadPlugin(Argv[1]);
  THostDocument& Photo = Host.Open(Argv[2]);
  const TPluginCommand* Command = Host.FindCommand("Feature preserving resize");
  if (!Command) return 1;
  driver::WhileRunning([&] { Host.Run(*Command, Photo); }, [&] {
    HWND Dialog = driver::WaitForTopWindow({.Caption = "Feature preserving resize"});
    Stage("dialog");
    const std::vector<std::uint8_t> Before(Photo.Pixels(), Photo.Pixels() + std::size_t(Photo.BytesPerLine()) * Photo.Height());
    driver::ReplaceText(driver::FindChild(Dialog, "Edit", 3), "70");
    driver::Click(driver::FindChild(Dialog, "Scale"));
    // The carved image reaches the host's buffer once the scaling is done.
    driver::WaitUntil([&] { return !std::equal(Before.begin(), Before.end(), Photo.Pixels()); }, 120000);
    Sleep(500);
    Stage("scaled");
    driver::Click(driver::FindChild(Dialog, "OK"));
  }, 60000);
  Stage("new-image");
  return 0;
}
