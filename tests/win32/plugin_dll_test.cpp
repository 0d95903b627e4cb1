// The built plug-in as a host sees it: loaded with LoadLibrary, called through GetProcAddress
// with a host callback of the test's own, its messages found and dismissed like a user.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "equipment/shown_window_win32.h"
#include "host_api/host_interface.h"

namespace {

using TRegisterPlugin = std::int32_t(__stdcall*)(THostCallback);
using TProcessImage = std::int32_t(__stdcall*)(std::int32_t, THostImage*);

struct THost {
  HWND MainWindow = nullptr;
  std::vector<std::int32_t> Codes;
  std::string Menu, Caption, Text;
  std::int32_t Command = 0;
  std::vector<std::uint8_t*> ImagePixels; // what GetImageInfo serves, by index
  THostRect SelectionRect{-1, -1, -1, -1};
};
THost Host;

std::int32_t __stdcall ServeRequest(std::int32_t Code, void* Data) {
  Host.Codes.push_back(Code);
  switch (Code) {
    case hrAddMenuCommand: {
      auto* R = static_cast<THostMenuCommand*>(Data);
      Host.Menu = R->Menu;
      Host.Caption = R->Caption;
      Host.Text = R->Text;
      Host.Command = R->Command;
      return 5;
    }
    case hrGetMainWindow: {
      const auto Handle = reinterpret_cast<THostWindow>(Host.MainWindow);
      std::memcpy(Data, &Handle, sizeof Handle);
      return 1;
    }
    case hrGetImageInfo: {
      auto* Info = static_cast<THostImageInfo*>(Data);
      if (Info->Index < 0 || Info->Index >= std::int32_t(Host.ImagePixels.size())) return 0;
      Info->Name = "test.bmp";
      Info->Pixels = Host.ImagePixels[Info->Index];
      Info->SelectionMask = nullptr;
      Info->SelectionRect = Host.SelectionRect;
      return 1;
    }
    default:
      return 1;
  }
}

// The plug-in's messages are its own message forms, found by their caption and answered
// with a click on OK.
TShownWindow DismissMessageDuring(const std::function<void()>& Action) {
  return AnswerWindowDuring({"Information", "Error"}, [](HWND Form) { PostClick(ChildButton(Form, "OK")); }, Action);
}

class PluginDll : public ::testing::Test {
protected:
  static HMODULE Library;
  static TRegisterPlugin Register;
  static TProcessImage Process;

  static void SetUpTestSuite() {
    Host.MainWindow = CreateWindowExA(0, "STATIC", "Host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    LoadPlugin();
  }
  static void LoadPlugin() {
    Library = LoadLibraryA(FR_PLUGIN_DLL);
    if (!Library) return;
    Register = reinterpret_cast<TRegisterPlugin>(reinterpret_cast<void*>(GetProcAddress(Library, "RegisterPlugin")));
    Process = reinterpret_cast<TProcessImage>(reinterpret_cast<void*>(GetProcAddress(Library, "ProcessImage")));
  }
  static void TearDownTestSuite() {
    if (Library) FreeLibrary(Library);
    DestroyWindow(Host.MainWindow);
  }
  void SetUp() override {
    ASSERT_NE(Library, nullptr) << "LoadLibrary failed: " << GetLastError();
    ASSERT_NE(Register, nullptr);
    ASSERT_NE(Process, nullptr);
    Host.Codes.clear();
    Host.ImagePixels.clear();
    Host.SelectionRect = {-1, -1, -1, -1};
  }

  // Runs the command on Image, which must end in one message, and returns what it showed.
  TShownWindow ProcessExpectingMessage(THostImage& Image) {
    Register(&ServeRequest);
    std::int32_t Result = -1;
    const TShownWindow Box = DismissMessageDuring([&] { Result = Process(1, &Image); });
    EXPECT_EQ(Result, 1);
    EXPECT_TRUE(Box.Found) << "no message appeared";
    return Box;
  }
};

HMODULE PluginDll::Library = nullptr;
TRegisterPlugin PluginDll::Register = nullptr;
TProcessImage PluginDll::Process = nullptr;

} // namespace

TEST_F(PluginDll, ExportsOnlyTheTwoEntryPointsUndecorated) {
  EXPECT_EQ(GetProcAddress(Library, "RegisterPlugin@4"), nullptr);
  EXPECT_EQ(GetProcAddress(Library, "_ProcessImage@8"), nullptr);
  auto* Base = reinterpret_cast<const std::uint8_t*>(Library);
  auto* Dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base);
  auto* Nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Base + Dos->e_lfanew);
#if defined(_WIN64)
  EXPECT_EQ(Nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
#else
  EXPECT_EQ(Nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_TRUE(Nt->FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
#endif
  const IMAGE_DATA_DIRECTORY& Dir = Nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* Exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Base + Dir.VirtualAddress);
  ASSERT_EQ(Exports->NumberOfNames, 2u);
  auto* Names = reinterpret_cast<const DWORD*>(Base + Exports->AddressOfNames);
  EXPECT_STREQ(reinterpret_cast<const char*>(Base + Names[0]), "ProcessImage");
  EXPECT_STREQ(reinterpret_cast<const char*>(Base + Names[1]), "RegisterPlugin");
}

TEST_F(PluginDll, ItsMapNamesItsOwnUnitsAndNoTestEquipment) {
  std::string Map = FR_PLUGIN_DLL;
  Map.replace(Map.size() - 4, 4, ".map");
  std::stringstream Text;
  Text << std::ifstream(Map).rdbuf();
  for (const char* Unit : {" dll_main_win32", " plugin_entry", " exception_report"})
    EXPECT_NE(Text.str().find(Unit), std::string::npos) << Unit;
  for (const char* Unit : {" faulting_reset", " fake_host", " fake_plugin", " user_win32", " mapi_recorder"})
    EXPECT_EQ(Text.str().find(Unit), std::string::npos) << Unit;
}

TEST_F(PluginDll, RegistersTheMenuCommand) {
  EXPECT_EQ(Register(nullptr), 0);
  EXPECT_TRUE(Host.Codes.empty());
  EXPECT_EQ(Register(&ServeRequest), 5);
  ASSERT_EQ(Host.Codes, std::vector<std::int32_t>{hrAddMenuCommand});
  EXPECT_EQ(Host.Menu, "Plugins");
  EXPECT_EQ(Host.Caption, "Feature preserving resize");
  EXPECT_EQ(Host.Text, "");
  EXPECT_EQ(Host.Command, 1);
}

TEST_F(PluginDll, RunsTheCommandOnA24BitImage) {
  Register(&ServeRequest);
  Host.Codes.clear();
  std::vector<std::uint8_t> Pixels(4 * 12, 0x33);
  THostImage Image{4, 4, 12, 3, Pixels.data(), nullptr, 0};
  Host.ImagePixels = {nullptr, Pixels.data()};
  Host.SelectionRect = {1, 1, 2, 2};
  EXPECT_EQ(Process(2, &Image), 1);
  EXPECT_EQ(Host.Codes, std::vector<std::int32_t>{hrGetMainWindow});
  Host.Codes.clear();
  // The dialog, found by its caption, ends with Cancel: result 1, the host's pixels unchanged.
  std::int32_t Result = -1;
  const TShownWindow Dialog = AnswerWindowDuring(
      {"Feature preserving resize"}, [](HWND Form) { PostClick(ChildButton(Form, "Cancel")); },
      [&] { Result = Process(1, &Image); });
  EXPECT_TRUE(Dialog.Found);
  EXPECT_EQ(Result, 1);
  const std::vector<std::int32_t> Start = {hrGetMainWindow, hrGetImageInfo, hrGetImageInfo,
                                           hrGetImageInfo, hrGetImageInfo};
  ASSERT_GE(Host.Codes.size(), Start.size());
  EXPECT_EQ(std::vector<std::int32_t>(Host.Codes.begin(), Host.Codes.begin() + Start.size()), Start);
  for (std::uint8_t Byte : Pixels) ASSERT_EQ(Byte, 0x33);
}

TEST_F(PluginDll, UnsupportedDepthShowsTheMessageOwnedByTheHostWindow) {
  std::vector<std::uint8_t> Pixels(16 * 4);
  THostImage Image{4, 4, 16, 4, Pixels.data(), nullptr, 0};
  const TShownWindow Box = ProcessExpectingMessage(Image);
  EXPECT_EQ(Box.Text, "Only 8 or 24 bit images supported");
  EXPECT_EQ(Box.Caption, "Information");
  EXPECT_EQ(Box.Owner, Host.MainWindow);
}

TEST_F(PluginDll, InvalidImageRecordIsReportedAsAnError) {
  std::vector<std::uint8_t> Pixels(16);
  THostImage Image{0, 4, 4, 1, Pixels.data(), nullptr, 0};
  const TShownWindow Box = ProcessExpectingMessage(Image);
  EXPECT_EQ(Box.Text, "Invalid bitmap size");
  EXPECT_EQ(Box.Caption, "Error");
}

namespace {
constexpr DWORD ProbeCode = 0xE0465201;
LONG CALLBACK ContinueAfterProbe(EXCEPTION_POINTERS* Pointers) {
  return Pointers->ExceptionRecord->ExceptionCode == ProbeCode ? EXCEPTION_CONTINUE_EXECUTION
                                                               : EXCEPTION_CONTINUE_SEARCH;
}
} // namespace

TEST_F(PluginDll, TheFaultHookComesWithLoadingAndGoesWithUnloading) {
  // Unloaded, the plug-in leaves no handler behind: the host's next exception reaches the
  // host's own handler, not code that is gone.
  ASSERT_TRUE(FreeLibrary(Library));
  Library = nullptr;
  ASSERT_EQ(GetModuleHandleA(FR_PLUGIN_DLL), nullptr) << "still loaded";
  PVOID Probe = AddVectoredExceptionHandler(0, ContinueAfterProbe);
  RaiseException(ProbeCode, 0, 0, nullptr);
  RemoveVectoredExceptionHandler(Probe);
  // Loaded again and called before any form or registration: a fault in its code (here the
  // read of a bogus image record) is already its own error, not a crash of the host.
  LoadPlugin();
  ASSERT_NE(Library, nullptr);
  std::int32_t Result = -1;
  const TShownWindow Box = DismissMessageDuring([&] { Result = Process(1, reinterpret_cast<THostImage*>(0x10)); });
  EXPECT_EQ(Result, 1);
  EXPECT_EQ(Box.Caption, "Error");
  EXPECT_EQ(Box.Text.rfind("Access violation at address ", 0), 0u) << Box.Text;
  EXPECT_NE(Box.Text.find(" in module 'FeatureResize.dll'. Read of address 0000001C"), std::string::npos) << Box.Text;
}
