// The error report of real faults, end to end: a test build of the plug-in whose dialog's
// Reset button writes through a null pointer and whose Show best seam calls through one
// (faulting_reset.cpp), in the reference host, driven through its windows. The bug report goes to the stand-in mail system of
// tests/win32/mapi_recorder.cpp, which records what it was handed.
#include <fstream>
#include <sstream>

#include "faulting_reset.h"
#include "host_scenario.h"

namespace {

const char* const Command = "Feature preserving resize";
const char* const WriteShown = "Invalid access to memory location in module 'FeatureResize.dll'. Write of NIL pointer.";
const char* const CallShown =
    "Invalid access to memory location in module 'FeatureResize.dll'. NIL function or method call.";

class FaultInHost : public HostScenario {
protected:
  std::string Record;

  void SetUp() override {
    Host.LoadPlugin(FR_FAULTING_PLUGIN_DLL);
    // The plug-in loads MAPI32.DLL by name: the stand-in's folder is searched before the
    // system's, and WINEDLLOVERRIDES prefers a native one.
    SetDllDirectoryA(FR_MAPI_RECORDER_DIR);
    char Temp[MAX_PATH];
    GetTempPathA(sizeof Temp, Temp);
    Record = std::string(Temp) + "fr_host_mapi_record.txt";
    DeleteFileA(Record.c_str());
    SetEnvironmentVariableA("FR_MAPI_RECORD", Record.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("FR_MAPI_RECORD", nullptr);
    SetDllDirectoryA(nullptr);
  }

  std::string Recorded() const {
    std::stringstream Text;
    Text << std::ifstream(Record, std::ios::binary).rdbuf();
    return Text.str();
  }
};

// Presses Faulting in Dialog and answers the report of Shown with Button; false when no such
// report with the three buttons appeared, owned by the dialog.
bool FaultAndAnswer(HWND Dialog, const char* Faulting, const char* Shown, const char* Button) {
  driver::Click(driver::FindChild(Dialog, Faulting));
  HWND Report = driver::WaitForTopWindow({.Text = Shown});
  if (!Report) return false;
  const bool Complete = driver::TextOf(Report) == "Error" && GetWindow(Report, GW_OWNER) == Dialog &&
                        driver::FindChild(Report, "Ignore") && driver::FindChild(Report, "Send bug report") &&
                        driver::FindChild(Report, "Terminate application");
  driver::Click(driver::FindChild(Report, Button));
  return Complete && driver::WaitUntil([&] { return !IsWindow(Report); });
}

} // namespace

TEST_F(FaultInHost, AFaultingHandlerIsReportedMailedAndIgnoredAndTheDialogGoesOn) {
  THostDocument& Photo = OpenPattern("photo.bmp", 40, 30, 3);
  const auto Before = PixelsOf(Photo);
  bool Mailed = false, Ignored = false, CallIgnored = false;
  const int Result = Run(Command, Photo, [&] {
    HWND D = driver::WaitForTopWindow({.Caption = Command});
    ASSERT_NE(D, nullptr);
    Mailed = FaultAndAnswer(D, "Reset", WriteShown, "Send bug report");
    Ignored = FaultAndAnswer(D, "Reset", WriteShown, "&Ignore");
    CallIgnored = FaultAndAnswer(D, "Show best seam", CallShown, "&Ignore");
    // The dialog still works: the width in percent, Scale, then OK sends the new image.
    HWND WidthPercent = driver::FindChild(D, "Edit", 3);
    driver::ReplaceText(WidthPercent, "75");
    driver::WaitUntil([&] { return driver::TextOf(driver::FindChild(D, "Edit", 1)) == "30"; });
    driver::Click(driver::FindChild(D, "Scale"));
    driver::WaitUntil([&] { return PixelsOf(Photo) != Before; });
    driver::Click(driver::FindChild(D, "OK"));
  });
  EXPECT_TRUE(Mailed);
  EXPECT_TRUE(Ignored);
  EXPECT_TRUE(CallIgnored);
  EXPECT_TRUE(LeftOpen.empty());
  EXPECT_EQ(Result, 1);
  ASSERT_EQ(Host.LastNewImages().size(), 1u);
  EXPECT_EQ(Host.LastNewImages()[0]->Width(), 30);
  EXPECT_EQ(Host.LastNewImages()[0]->Height(), 30);
  EXPECT_EQ(PixelsOf(Photo), Before);

  // The report names both programs, shows the message, and resolves the fault through the
  // DLL's own map file to the unit, function and line of the faulting write.
  const std::string Mail = Recorded();
  const std::string Expectations[] = {
      "send session=42 flags=8", "subject=Quenfal Bug report",
      std::string("body=Application: host_tests.exe \n\rModule: FeatureResize.dll 0.1.0 0\n\r") + WriteShown,
      "\n\rException address: ", ", faulting_reset, ",
      "WriteThroughNil(), faulting_reset line " + std::to_string(FaultingResetLine), "\n\rStack trace: \n\r",
      "\n\rCaught by: TButton", "\n\rActive form: TSeamCarvingForm"};
  for (const std::string& Expected : Expectations)
    EXPECT_NE(Mail.find(Expected), std::string::npos) << Expected << "\n--- recorded:\n" << Mail;
}
