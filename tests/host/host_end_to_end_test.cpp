// The real plug-in in the reference host: in process, driven through its windows, and as the
// resizehost program running a script.
#include <fstream>

#include "host_scenario.h"
#include "image_codec_wic.h"

namespace {

const char* const Command = "Feature preserving resize";

class FeatureResizeInHost : public HostScenario {
protected:
  void SetUp() override { Host.LoadPlugin(FR_PLUGIN_DLL); }
};

} // namespace

TEST_F(FeatureResizeInHost, AppearsUnderPluginsAndLeavesEveryImageAsItWasWhenClosed) {
  EXPECT_EQ(driver::MenuItems(Host.MainWindow(), "Plugins"), std::vector<std::string>{Command});
  THostDocument& Other = OpenPattern("other.bmp", 20, 10, 3, 5);
  for (int PixelSize : {3, 1}) {
    // An odd width, so that the host's lines carry padding.
    THostDocument& Photo = OpenPattern("photo.bmp", 33, 17, PixelSize);
    Photo.SelectRectangle({2, 3, 10, 8});
    const auto Before = PixelsOf(Photo), OtherBefore = PixelsOf(Other);
    // Whatever dialog the command shows is closed by its close box, as a user who changes
    // nothing would: the host's image must come back as it was.
    EXPECT_EQ(Run(Command, Photo), 1);
    EXPECT_EQ(PixelsOf(Photo), Before);
    EXPECT_EQ(PixelsOf(Other), OtherBefore);
    EXPECT_TRUE(Host.LastNewImages().empty());
  }
  EXPECT_TRUE(Reports.empty());
}

TEST_F(FeatureResizeInHost, RefusesA32BitImageWithAMessageTheUserDismisses) {
  THostDocument& Image = OpenPattern("alpha.png", 5, 4, 4);
  const auto Before = PixelsOf(Image);
  std::string Caption;
  HWND Owner = nullptr;
  EXPECT_EQ(Run(Command, Image,
                [&] {
                  HWND Box = driver::WaitForTopWindow({.Text = "Only 8 or 24 bit images supported"});
                  ASSERT_NE(Box, nullptr);
                  Caption = driver::TextOf(Box);
                  Owner = GetWindow(Box, GW_OWNER);
                  driver::Click(driver::FindChild(Box, "OK"));
                }),
            1);
  EXPECT_TRUE(LeftOpen.empty()) << "the message box was not dismissed by OK";
  EXPECT_EQ(Caption, "Information");
  EXPECT_EQ(Owner, Host.MainWindow());
  EXPECT_EQ(PixelsOf(Image), Before);
}

// ============================================================================
// The program
// ============================================================================

namespace {

struct TProgramRun {
  DWORD Status = 999;
  std::string Output; // stdout and stderr
};

// Runs resizehost.exe with Arguments and waits for it. A plug-in window it shows is closed by
// its close box after a few seconds, as a user who changes nothing; after a minute the process
// is ended.
TProgramRun RunHostProgram(const std::string& Arguments) {
  TProgramRun Run;
  char Log[MAX_PATH];
  GetTempPathA(MAX_PATH, Log);
  lstrcatA(Log, "resizehost_test.log");
  SECURITY_ATTRIBUTES Inherit{sizeof(Inherit), nullptr, TRUE};
  HANDLE Output = CreateFileA(Log, GENERIC_WRITE, FILE_SHARE_READ, &Inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA Startup{};
  Startup.cb = sizeof(Startup);
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdOutput = Startup.hStdError = Output;
  PROCESS_INFORMATION Process{};
  std::string CommandLine = std::string("\"") + FR_RESIZEHOST_EXE + "\" " + Arguments;
  if (CreateProcessA(nullptr, CommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &Startup, &Process)) {
    driver::TWindowCloser Closer(Process.dwProcessId);
    const DWORD Start = GetTickCount();
    while (WaitForSingleObject(Process.hProcess, 200) == WAIT_TIMEOUT) {
      if (GetTickCount() - Start > 60000) TerminateProcess(Process.hProcess, 998);
      if (GetTickCount() - Start > 3000) Closer.CloseAll();
    }
    GetExitCodeProcess(Process.hProcess, &Run.Status);
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
  }
  CloseHandle(Output);
  std::ifstream Text(Log);
  Run.Output.assign(std::istreambuf_iterator<char>(Text), {});
  return Run;
}

std::string TempPath(const std::string& Name) {
  char Folder[MAX_PATH];
  GetTempPathA(MAX_PATH, Folder);
  return Folder + Name;
}

} // namespace

TEST(ResizeHostProgram, RunsScriptsAgainstThePlugins) {
  THostDocument Input("input.bmp", 9, 7, 3);
  for (int Y = 0; Y < 7; ++Y)
    for (int X = 0; X < 27; ++X) Input.Line(Y)[X] = std::uint8_t(X * 9 + Y);
  const std::string In = TempPath("host_in.bmp"), Out = TempPath("host_out.png"), New = TempPath("host_new.png");
  SaveImageFile(Input, In);

  TProgramRun Run = RunHostProgram("--plugin \"" FR_PLUGIN_DLL "\" --open \"" + In +
                                   "\" --select 1,1,5,5 --run \"Feature preserving resize\" --save-host \"" + Out +
                                   "\" --exit");
  EXPECT_EQ(Run.Status, 0u) << Run.Output;
  EXPECT_NE(Run.Output.find("ran \"Feature preserving resize\": result 1, 0 new image(s)"), std::string::npos)
      << Run.Output;
  EXPECT_EQ(PixelsOf(*LoadImageFile(Out)), PixelsOf(Input));

  // A script file; the new image is saved with its palette, the refusals go to stderr.
  const std::string Script = TempPath("host_script.txt");
  std::ofstream(Script) << "# new images from the fake plug-in\nplugin " FR_FAKE_PLUGIN_DLL "\nopen " << In
                        << "\nrun Send new images\nsave-new " << New << "\nexit\n";
  Run = RunHostProgram("--script \"" + Script + "\"");
  EXPECT_EQ(Run.Status, 0u) << Run.Output;
  EXPECT_NE(Run.Output.find("resizehost: \"Send new images\" sent an image the host cannot take: the record is missing."),
            std::string::npos)
      << Run.Output;
  auto Received = LoadImageFile(New);
  EXPECT_EQ(Received->PixelSize(), 1);
  EXPECT_EQ(PixelsOf(*Received), (std::vector<std::uint8_t>{0, 1, 2, 3}));
  EXPECT_EQ(Received->Palette[3 * 3 + 1], 252);

  // Failures: a step that fails ends a batch run with status 1, a bad option with 2.
  Run = RunHostProgram("--open \"" + TempPath("no_such_image.bmp") + "\" --exit");
  EXPECT_EQ(Run.Status, 1u);
  EXPECT_NE(Run.Output.find("no_such_image.bmp: no such file"), std::string::npos) << Run.Output;
  Run = RunHostProgram("--plugin \"" FR_PLUGIN_DLL "\" --open \"" + In + "\" --save-new \"" + New + "\" --exit");
  EXPECT_EQ(Run.Status, 1u);
  EXPECT_NE(Run.Output.find("--save-new: the last run sent no new image"), std::string::npos) << Run.Output;
  EXPECT_EQ(RunHostProgram("--frobnicate --exit").Status, 2u);
}
