// Real processor faults inside event handlers, on Win32: they arrive at the application's
// error event as the system's exception classes, with a stack trace, and the map file written
// beside this program at build time resolves their addresses to unit, function and line.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <thread>

#include <memory>
#include <string>

#include "equipment/user_input.h"
#include "error_report/address_to_text.h"
#include "error_report/exception_report.h"
#include "styled_forms/message_form_reader.h"
#include "error_report/stack_trace.h"
#include "support/system_errors.h"
#include "toolkit/forms.h"

using namespace toolkit;

namespace {

volatile int Zero = 0;
int* volatile Nil = nullptr;

// The faulting handlers.
constexpr int WriteLine = __LINE__ + 2;
__attribute__((noinline)) void WriteThroughNil() {
  *Nil = 1;
}
__attribute__((noinline)) void DivideByZero() { Nil = reinterpret_cast<int*>(100 / Zero); }
// A call through a procedure pointer that is null, or points into the unmapped first 64 KiB.
void (*volatile NilProcedure)() = nullptr;
constexpr int CallLine = __LINE__ + 2;
__attribute__((noinline)) void CallThroughNil() {
  NilProcedure();
  Zero = 0; // the call must return here, so it is no jump
}
// A guard whose destructor must run while the fault unwinds.
struct TUnwound {
  bool& Flag;
  ~TUnwound() { Flag = true; }
};

struct TCaught {
  std::string ClassName, Message;
  std::uintptr_t Address = 0;
};

TCaught DispatchCaught(void (*Handler)(), bool* Unwound = nullptr) {
  InstallErrorHooks();
  TCaught Caught;
  Application->OnException = [&](TObject*, const Exception& E) {
    Caught = {E.ClassName(), E.Message(), 0};
    if (auto* Fault = dynamic_cast<const ESystemError*>(&E)) Caught.Address = Fault->Address;
  };
  bool Ignored = false;
  Dispatch(Application, [&] {
    TUnwound Guard{Unwound ? *Unwound : Ignored};
    Handler();
  });
  Application->OnException = ExceptionReportHandler;
  return Caught;
}


} // namespace

TEST(Win32Faults, AnAccessViolationInAHandlerBecomesEAccessViolationAndUnwindsTheHandler) {
  bool Unwound = false;
  const TCaught Caught = DispatchCaught(WriteThroughNil, &Unwound);
  EXPECT_EQ(Caught.ClassName, "EAccessViolation");
  EXPECT_EQ(Caught.Message, AccessViolationMessage(Caught.Address,
                                                   "fault_report_tests.exe", true, 0));
  EXPECT_TRUE(Unwound);
  // The program's own map resolves the faulting instruction to its unit, function and line.
  const std::string Text = AddressToText(Caught.Address);
  EXPECT_NE(Text.find(", fault_report_test, "), std::string::npos) << Text;
  EXPECT_NE(Text.find("WriteThroughNil"), std::string::npos) << Text;
  EXPECT_NE(Text.find("fault_report_test line " + std::to_string(WriteLine)), std::string::npos) << Text;
  // The trace walks from the faulting function out through the event's dispatch.
  std::string Trace;
  for (std::size_t I = 0; I < StackTrace.size() && StackTrace[I]; ++I) Trace += AddressToText(StackTrace[I]) + "\n";
  EXPECT_NE(Trace.find(", forms, toolkit::Dispatch("), std::string::npos) << Trace;
  // The event loop goes on: the next handler runs normally.
  EXPECT_EQ(DispatchCaught([] {}).ClassName, "");
}

TEST(Win32Faults, DivisionByZeroIsEDivByZero) { EXPECT_EQ(DispatchCaught(DivideByZero).ClassName, "EDivByZero"); }

TEST(Win32Faults, TheReportOffersTheBugReportFormForARealFault) {
  InstallErrorHooks();
  TShownMessageForm Shown;
  SetModalDriver([&](TForm& Form) {
    Shown = ReadMessageForm(Form);
    user::Click(*Find(Form, "Button1"));
  });
  Dispatch(Application, WriteThroughNil);
  EXPECT_EQ(Shown.Text, "Invalid access to memory location in module 'fault_report_tests.exe'. Write of NIL pointer.");
  EXPECT_EQ(Shown.Buttons, (std::vector<std::string>{"&Ignore", "Send bug report", "Terminate application"}));
}

TEST(Win32Faults, SendBugReportHandsTheResolvedReportToTheMailSystem) {
  InstallErrorHooks();
  char Temp[MAX_PATH];
  GetTempPathA(sizeof Temp, Temp);
  const std::string Record = std::string(Temp) + "fr_mapi_record.txt";
  DeleteFileA(Record.c_str());
  SetEnvironmentVariableA("FR_MAPI_RECORD", Record.c_str());
  SetModalDriver([](TForm& Form) { user::Click(*Find(Form, "Button2")); });
  Dispatch(Application, WriteThroughNil);
  std::stringstream Recorded;
  Recorded << std::ifstream(Record, std::ios::binary).rdbuf();
  const std::string Text = Recorded.str();
  for (const std::string& Expected :
       {std::string("logon profile=(null) password=(null) flags=3"), std::string("send session=42 flags=8"),
        "recipient class=1 name=" + std::string(BugReportAddress) + " address=SMTP:" + BugReportAddress,
        std::string("subject=Quenfal Bug report"), std::string("logoff session=42"),
        std::string("body=Application: fault_report_tests.exe 0.1.0 0\n\rModule: fault_report_tests.exe 0.1.0 0\n\r"
                    "Invalid access to memory location in module 'fault_report_tests.exe'. Write of NIL pointer."),
        "WriteThroughNil(), fault_report_test line " + std::to_string(WriteLine), std::string("\n\rStack trace: \n\r"),
        std::string("\n\rWindows version: ")})
    EXPECT_NE(Text.find(Expected), std::string::npos) << Expected << "\n--- recorded:\n" << Text;
  EXPECT_LT(Text.find("logon"), Text.find("send"));
  EXPECT_LT(Text.find("send"), Text.find("logoff"));
}

namespace {
struct TSystemBox {
  std::string Caption, Text;
};
BOOL CALLBACK ReadAndCloseBox(HWND Window, LPARAM Found) {
  DWORD Process = 0;
  GetWindowThreadProcessId(Window, &Process);
  char Class[16] = {}, Text[256] = {}, Caption[256] = {};
  GetClassNameA(Window, Class, sizeof Class);
  if (Process != GetCurrentProcessId() || std::string(Class) != "#32770" || !IsWindowVisible(Window)) return TRUE;
  GetDlgItemTextA(Window, 0xFFFF, Text, sizeof Text); // a message box's text control
  GetWindowTextA(Window, Caption, sizeof Caption);
  *reinterpret_cast<TSystemBox*>(Found) = {Caption, Text};
  PostMessageA(Window, WM_COMMAND, IDOK, 0);
  return FALSE;
}

// Waits for the system's message box of this process and closes it, reading caption and text.
TSystemBox CloseSystemBox() {
  TSystemBox Box;
  for (int Try = 0; Try < 100 && Box.Text.empty(); ++Try) {
    Sleep(50);
    EnumWindows(ReadAndCloseBox,
        reinterpret_cast<LPARAM>(&Box));
  }
  return Box;
}
} // namespace

TEST(Win32Faults, AFailedMailLogonEndsInTheCaptionlessExceptionBox) {
  InstallErrorHooks();
  SetEnvironmentVariableA("FR_MAPI_LOGON", "3"); // MAPI_E_LOGON_FAILURE
  SetModalDriver([](TForm& Form) { user::Click(*Find(Form, "Button2")); });
  TSystemBox Box;
  std::thread Closer([&] { Box = CloseSystemBox(); });
  Dispatch(Application, WriteThroughNil);
  Closer.join();
  SetEnvironmentVariableA("FR_MAPI_LOGON", nullptr);
  EXPECT_EQ(Box.Text, "Exception");
  EXPECT_EQ(Box.Caption, "");
}

TEST(Win32Faults, WithoutTheMapFileAddressesStayBare) {
  char Path[MAX_PATH];
  GetModuleFileNameA(nullptr, Path, sizeof Path);
  std::string Map = Path;
  Map.replace(Map.size() - 4, 4, ".map");
  ASSERT_TRUE(MoveFileA(Map.c_str(), (Map + ".away").c_str()));
  const auto Address = reinterpret_cast<std::uintptr_t>(&WriteThroughNil);
  const std::string Text = AddressToText(Address);
  MoveFileA((Map + ".away").c_str(), Map.c_str());
  EXPECT_EQ(Text, AddressText(Address));
  EXPECT_GT(AddressToText(Address).size(), Text.size());
}

TEST(Win32Faults, CallsThroughNilOrTinyCodeAddressesAreReportedAtTheirCallSite) {
  const struct {
    std::uintptr_t Target;
    const char* Shown;
  } Cases[] = {
      {0, "Invalid access to memory location in module 'fault_report_tests.exe'. NIL function or method call."},
      {0x3FC, "Invalid access to memory location in module 'fault_report_tests.exe'. NIL function or method call."},
      {0xFFF0, "Invalid access to memory location in module 'fault_report_tests.exe': Read."},
  };
  for (const auto& Case : Cases) {
    NilProcedure = reinterpret_cast<void (*)()>(Case.Target);
    bool Unwound = false;
    const TCaught Caught = DispatchCaught(CallThroughNil, &Unwound);
    NilProcedure = nullptr;
    EXPECT_EQ(Caught.ClassName, "EAccessViolation") << Case.Target;
    EXPECT_EQ(ReportMessage(EAccessViolation(Caught.Message, Caught.Address)), Case.Shown);
    EXPECT_TRUE(Unwound) << Case.Target;
    const std::string Text = AddressToText(Caught.Address);
    EXPECT_NE(Text.find("CallThroughNil(), fault_report_test line " + std::to_string(CallLine)), std::string::npos)
        << Text;
  }
  EXPECT_EQ(DispatchCaught([] {}).ClassName, "");
}
