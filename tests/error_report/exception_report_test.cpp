// The error report on the headless platform: address lookup in map files, the message shown,
// the version text, the mailed report and the hooks that take the stack trace.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "error_report/address_to_text.h"
#include "error_report/exception_report.h"
#include "error_report/fault_hook.h"
#include "error_report/headless_os.h"
#include "styled_forms/forms_test_support.h"
#include "error_report/map_file_writer.h"
#include "styled_forms/message_form_reader.h"
#include "error_report/stack_trace.h"
#include "styled_forms/style_form.h"
#include "error_report/version_info.h"
#include "equipment/user_input.h"
#include "support/string_lists.h"
#include "support/system_errors.h"
#include "toolkit/message_box.h"

using namespace toolkit;

namespace {

// The headless platform and the mail system as they were before the test.
class TReportScope : public TPlatformScope {
public:
  TReportScope() : Saved_(os::headless::MailSystem()) {}
  ~TReportScope() { os::headless::MailSystem() = Saved_; }

private:
  os::headless::TMailSystem Saved_;
};

const std::string TempDir = std::filesystem::temp_directory_path().string() + "/fr_report_test";

TMapFileWriter SampleMap() {
  TMapFileWriter Map;
  Map.Segments = {{0x0000, "System"}, {0x1000, "StyleForm"}, {0x1800, "Dialog"}};
  Map.Publics = {{0x0010, "System.Start"},
                 {0x1010, "StyleForm.__CodeSegmentTestDummy__"},
                 {0x1100, "StyleForm.Paint"},
                 {0x1900, "Dialog.Click"}};
  Map.LineNumbers = {{"StyleForm", {{10, 0x1100}, {11, 0x1108}, {12, 0x1120}}},
                     {"Dialog", {{40, 0x1900}, {41, 0x1910}}}};
  return Map;
}

std::string MapPath(const std::string& Name) {
  std::filesystem::create_directories(TempDir);
  return TempDir + "/" + Name;
}

// A version resource as the resource compiler lays it out: UTF-16 keys, 4-byte alignment.
struct TResourceWriter {
  static void Add16(std::vector<std::uint8_t>& B, unsigned V) {
    B.push_back(static_cast<std::uint8_t>(V));
    B.push_back(static_cast<std::uint8_t>(V >> 8));
  }
  static void Pad(std::vector<std::uint8_t>& B) {
    while (B.size() % 4) B.push_back(0);
  }
  static std::vector<std::uint8_t> Block(const std::string& Key, const std::vector<std::uint8_t>& Value, bool Text,
                                         const std::vector<std::vector<std::uint8_t>>& Children = {}) {
    std::vector<std::uint8_t> B(6);
    for (char C : Key) Add16(B, static_cast<unsigned char>(C));
    Add16(B, 0);
    Pad(B);
    B.insert(B.end(), Value.begin(), Value.end());
    for (const auto& Child : Children) {
      Pad(B);
      B.insert(B.end(), Child.begin(), Child.end());
    }
    B[0] = static_cast<std::uint8_t>(B.size()), B[1] = static_cast<std::uint8_t>(B.size() >> 8);
    const std::size_t ValueLength = Text ? Value.size() / 2 : Value.size();
    B[2] = static_cast<std::uint8_t>(ValueLength), B[4] = Text;
    return B;
  }
  static std::vector<std::uint8_t> String(const std::string& Name, const std::string& Value) {
    std::vector<std::uint8_t> V;
    for (char C : Value) Add16(V, static_cast<unsigned char>(C));
    Add16(V, 0);
    return Block(Name, V, true);
  }
  static std::vector<std::uint8_t> Resource(std::uint32_t ProductMS, std::uint32_t ProductLS,
                                            std::size_t FixedSize = 52, std::size_t TranslationSize = 4) {
    std::vector<std::uint8_t> Fixed(FixedSize);
    auto Put32 = [&](std::size_t At, std::uint32_t V) {
      for (int I = 0; I < 4; ++I)
        if (At + I < Fixed.size()) Fixed[At + I] = static_cast<std::uint8_t>(V >> 8 * I);
    };
    Put32(0, 0xFEEF04BD), Put32(8, 0x00010002), Put32(12, 0x00030004), Put32(16, ProductMS), Put32(20, ProductLS);
    const std::vector<std::uint8_t> Translation = std::vector<std::uint8_t>{0x07, 0x04, 0xE4, 0x04}; // 0407, 04E4
    return Block("VS_VERSION_INFO", Fixed, false,
                 {Block("StringFileInfo", {}, true,
                        {Block("040704E4", {}, true,
                               {String("CompanyName", "Quenfal"), String("ProductName", "Feature resize"),
                                String("FileDescription", "Content-aware resizing")})}),
                  Block("VarFileInfo", {}, true,
                        {Block("Translation",
                               std::vector<std::uint8_t>(Translation.begin(), Translation.begin() + TranslationSize),
                               false)})});
  }
};

} // namespace

// ===== AddressToText =====

TEST(AddressToText, ResolvesUnitSymbolAndLineThroughAMapPlacedAtTheDefaultBase) {
  const std::string File = MapPath("sample.map");
  SampleMap().Write(File);
  struct TCase {
    std::uint32_t Offset;
    const char* Text;
  } Cases[] = {
      {0x1104, "00402104, StyleForm, StyleForm.Paint, StyleForm line 10"},
      {0x110A, "0040210A, StyleForm, StyleForm.Paint, StyleForm line 11"},
      // The last segment names no unit, yet symbol and line are found.
      {0x1910, "00402910, Dialog.Click, Dialog line 41"},
      // Line candidates count up to 1023 bytes below the address.
      {0x151F, "0040251F, StyleForm, StyleForm.Paint, StyleForm line 12"},
      {0x1520, "00402520, StyleForm, StyleForm.Paint"},
      // Below every symbol and line: only the unit.
      {0x0005, "00401005, System"},
      // Beyond the last symbol by 16 MB or more: nothing but the address.
      {0x2000000, "02401000"},
      // Below the code segment: the offset wraps around and matches nothing.
      {0xFFFFF000, "00400000"},
  };
  for (const TCase& C : Cases) EXPECT_EQ(AddressToText(0x401000 + C.Offset, File), C.Text) << std::hex << C.Offset;
}

TEST(AddressToText, AMissingOrDamagedMapKeepsWhatWasFoundBeforeTheFault) {
  const std::string File = MapPath("damaged.map");
  EXPECT_EQ(AddressToText(0x00402104, MapPath("no_such.map")), "00402104");
  const std::string Text = SampleMap().Text();
  struct TCase {
    const char* What;
    std::size_t Cut;
    const char* Result;
  } Cases[] = {
      {"cut in the segment list", Text.find(" 0001:00001000"), "00402104"},
      {"cut before the publics by value", Text.find("  Address         Publics by Value"), "00402104, StyleForm"},
      {"cut before the line numbers", Text.find("\nLine numbers"), "00402104, StyleForm, StyleForm.Paint"},
  };
  for (const TCase& C : Cases) {
    SampleMap().Write(File, C.Cut);
    EXPECT_EQ(AddressToText(0x00402104, File), C.Result) << C.What;
  }
  TMapFileWriter Bad = SampleMap();
  Bad.LineNumbers[0].Unit = "Broken";
  std::string Damaged = Bad.Text();
  Damaged.replace(Damaged.find("0001:00001108"), 13, "0001:0000XYZ8");
  std::ofstream(File, std::ios::binary) << Damaged;
  EXPECT_EQ(AddressToText(0x00402104, File), "00402104, StyleForm, StyleForm.Paint") << "a line group that is not hex";
  std::string Short = Text;
  Short.erase(Short.find(" 0001:00000000 ") + 40, 30); // a segment line that ends before its name
  std::ofstream(File, std::ios::binary) << Short;
  EXPECT_EQ(AddressToText(0x00402104, File), "00402104") << "a segment line without its name";
}

TEST(AddressToText, TheModulesOwnMapIsPlacedByTheDummyProceduresRunTimeAddress) {
  TReportScope Scope;
  headless::Platform().ModuleFileName = MapPath("FeatureResize.dll");
  SampleMap().Write(MapPath("FeatureResize.map"));
  const std::uintptr_t Base = CodeSegmentTestDummyAddress() - 0x1010;
  EXPECT_EQ(AddressToText(Base + 0x1104), AddressText(Base + 0x1104) + ", StyleForm, StyleForm.Paint, StyleForm line 10");

  TMapFileWriter NoDummy = SampleMap();
  NoDummy.Publics.erase(NoDummy.Publics.begin() + 1);
  NoDummy.Write(MapPath("FeatureResize.map"));
  EXPECT_EQ(AddressToText(Base + 0x1104), AddressText(Base + 0x1104));
  std::filesystem::remove(MapPath("FeatureResize.map"));
  EXPECT_EQ(AddressToText(Base + 0x1104), AddressText(Base + 0x1104));
}

// ===== The message shown =====

TEST(ReportMessage, AccessViolationsAreToldPlainlyAndTextsEndInAStop) {
  const std::string Module = "FeatureResize.dll";
  struct TCase {
    std::string Message;
    bool AccessViolation;
    const char* Shown;
  } Cases[] = {
      {AccessViolationMessage(0x00401234, Module, false, 0), true,
       "Invalid access to memory location in module 'FeatureResize.dll'. Read of NIL pointer."},
      {AccessViolationMessage(0x00000010, Module, false, 0x10), true,
       "Invalid access to memory location in module 'FeatureResize.dll'. NIL function or method call."},
      {AccessViolationMessage(0x00401234, Module, true, 0x12345678), true,
       "Invalid access to memory location in module 'FeatureResize.dll': Write."},
      {AccessViolationMessage(0x00401234, Module, true, 0xFFFFFFFC), true,
       "Invalid access to memory location in module 'FeatureResize.dll'. Write of NIL pointer."},
      {AccessViolationMessage(0xFFFFFC01, Module, true, 0x12345678), true,
       "Invalid access to memory location in module 'FeatureResize.dll'. NIL function or method call."},
      {"Access violation at address 00401234. Read of address 00000000", true,
       "Invalid access to memory location. Read of NIL pointer."},
      // 64-bit modules load above 4 GiB: their addresses take 16 digits.
      {AccessViolationMessage(0x3355F2468, Module, false, 0), true,
       "Invalid access to memory location in module 'FeatureResize.dll'. Read of NIL pointer."},
      {AccessViolationMessage(0x3355F2468, Module, true, 0xFFFFFFFFFFFFFFF8), true,
       "Invalid access to memory location in module 'FeatureResize.dll'. Write of NIL pointer."},
      {AccessViolationMessage(0x3355F2468, Module, true, 0x100000000), true,
       "Invalid access to memory location in module 'FeatureResize.dll': Write."},
      {AccessViolationMessage(0xFFFFFFFFFFFFFC01, Module, false, 0x10), true,
       "Invalid access to memory location in module 'FeatureResize.dll'. NIL function or method call."},
      {"Access violation at address 3355F2468 in module 'a.dll'. Read of address 0", true,
       "Access violation at address 3355F2468 in module 'a.dll'. Read of address 0."},
      // A text of another shape is kept.
      {"Access violation", true, "Access violation."},
      {"Stop!", false, "Stop!"},
      {"Invalid size (0)", false, "Invalid size (0)"},
      {"Out of memory", false, "Out of memory."},
      {"Done.", false, "Done."},
      {"", false, ""},
  };
  for (const TCase& C : Cases) {
    const std::string Shown =
        C.AccessViolation ? ReportMessage(EAccessViolation(C.Message, 0)) : ReportMessage(Exception(C.Message));
    EXPECT_EQ(Shown, C.Shown) << C.Message;
  }
  // Addresses take 8 digits, 16 only where they need more.
  EXPECT_EQ(AccessViolationMessage(0x3355F2468, "a.dll", true, 0x10),
            "Access violation at address 00000003355F2468 in module 'a.dll'. Write of address 00000010");
}

// ===== Version information =====

TEST(VersionInfo, ReadsTheProductVersionAndTheTextsOfTheFirstTranslation) {
  TReportScope Scope;
  headless::SetVersionResource("a.dll", TResourceWriter::Resource(0x00010000, 0x07D80000));
  const TVersionInfo Info = ReadVersionInfo("a.dll");
  EXPECT_EQ(VersionText(Info), "1.0.0 2008");
  EXPECT_EQ(Info.FileVersionMS, 0x00010002u);
  EXPECT_EQ(Info.FileVersionLS, 0x00030004u);
  EXPECT_EQ(Info.CompanyName, "Quenfal");
  EXPECT_EQ(Info.ProductName, "Feature resize");
  EXPECT_EQ(Info.FileDescription, "Content-aware resizing");
  EXPECT_EQ(Info.InternalName, "");
  headless::SetVersionResource("b.dll", TResourceWriter::Resource(0x00020003, 0x00050004));
  EXPECT_EQ(VersionText(ReadVersionInfo("b.dll")), "2.3.4 5");

  // The host program's version: its text, or empty when it has none.
  headless::Platform().ExecutableFileName = "b.dll";
  ReadApplicationVersion();
  EXPECT_EQ(ApplicationVersion, "2.3.4 5");
  headless::Platform().ExecutableFileName = "none.exe";
  ReadApplicationVersion();
  EXPECT_EQ(ApplicationVersion, "");
}

TEST(VersionInfo, MissingOrDamagedDataRaisesItsOwnMessage) {
  TReportScope Scope;
  headless::SetVersionResource("fixed.dll", TResourceWriter::Resource(1, 2, 48));
  headless::SetVersionResource("translation.dll", TResourceWriter::Resource(1, 2, 52, 2));
  std::vector<std::uint8_t> Cut = TResourceWriter::Resource(1, 2);
  Cut.resize(60); // the lengths inside point past the end
  headless::SetVersionResource("cut.dll", Cut);
  struct TCase {
    const char* File;
    const char* Message;
  } Cases[] = {
      {"none.dll", "No version-info was associated with the requested file \"none.dll\""},
      {"fixed.dll", "An error occurred while reading the FixedFileInfo structure from the file."},
      {"cut.dll", "An error occurred while reading the FixedFileInfo structure from the file."},
      {"translation.dll", "An error occurred while reading the language/charset description in the file."},
  };
  for (const TCase& C : Cases) {
    try {
      ReadVersionInfo(C.File);
      ADD_FAILURE() << C.File;
    } catch (const EVersionInfoError& E) {
      EXPECT_EQ(E.Message(), C.Message);
    }
  }
}

// ===== The handler =====

namespace {

struct TSender : TObject {
  const char* ClassName() const override { return "TSeamCarvingForm"; }
};

// Runs the handler for E with the user clicking the button captioned Button on the form that
// comes up (or closing it when Button is null); returns what the form showed.
TShownMessageForm Handle(const Exception& E, const char* Button, TObject* Sender = nullptr) {
  TShownMessageForm Shown;
  SetModalDriver([&](TForm& Form) {
    Shown = ReadMessageForm(Form);
    for (int I = 0; Button && I < Form.ControlCount(); ++I)
      if (Form.Controls(I)->Caption() == Button) user::Click(*Form.Controls(I));
    if (Form.ModalResult() == mrNone) Form.CloseCommand();
  });
  ExceptionReportHandler(Sender, E);
  return Shown;
}

void SetVersions() {
  StyleFormStartUp(); // reads the program's version once; set by hand below
  headless::SetVersionResource(headless::Platform().ModuleFileName, TResourceWriter::Resource(0x00010000, 0x07D80000));
  ApplicationVersion = "4.2.0 17";
}

} // namespace

TEST(ExceptionReport, OrdinaryErrorsShowAPlainErrorForm) {
  TReportScope Scope;
  const TShownMessageForm Shown = Handle(Exception("Only 8 or 24 bit images supported"), "OK");
  EXPECT_EQ(Shown.Caption, "Error");
  EXPECT_EQ(Shown.Text, "Only 8 or 24 bit images supported.");
  EXPECT_EQ(Shown.Buttons, (std::vector<std::string>{"OK"}));
}

TEST(ExceptionReport, ErrorsOfStyledFormsEventHandlersAreShownInAnErrorMessageForm) {
  TReportScope Scope;
  InstallErrorHooks();
  Application->OnException = nullptr;
  TStyleForm Form(nullptr);
  ASSERT_TRUE(Application->OnException);
  std::vector<TShownMessageForm> Shown;
  AnswerMessageForms(Shown);
  Dispatch(&Form, [] { throw Exception("Invalid bitmap size"); });
  TakeModalDriver();
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Caption, "Error");
  EXPECT_EQ(Shown[0].Text, "Invalid bitmap size.");
  EXPECT_EQ(Shown[0].Buttons, std::vector<std::string>{"OK"});
}

TEST(ExceptionReport, FaultsOfferABugReportWithIgnoreAsDefaultAndEscape) {
  TReportScope Scope;
  const EListError List("List index out of bounds (5)", 0);
  const TShownMessageForm Shown = Handle(List, "&Ignore");
  EXPECT_EQ(Shown.Caption, "Error");
  EXPECT_EQ(Shown.Text, "List index out of bounds (5)");
  EXPECT_EQ(Shown.Buttons, (std::vector<std::string>{"&Ignore", "Send bug report", "Terminate application"}));
  EXPECT_EQ(Shown.DefaultButton, "&Ignore");
  EXPECT_EQ(Shown.CancelButton, "&Ignore");
  EXPECT_TRUE(os::headless::MailSystem().Sent.empty());
  for (const auto* E : std::initializer_list<const Exception*>{
           new EPrivilege("Privileged instruction", 0), new EDivByZero("Division by zero", 0),
           new EZeroDivide("Floating point division by zero", 0), new EInvalidPointer("Invalid pointer operation", 0)}) {
    EXPECT_EQ(Handle(*E, nullptr).Buttons.size(), 3u) << E->ClassName();
    delete E;
  }
}

TEST(ExceptionReport, SendBugReportMailsEveryLineOfTheReport) {
  TReportScope Scope;
  SetVersions();
  StackTrace = {0x00402104, 0x00402910, 0};
  SampleMap().Write(MapPath("FeatureResize.map"));
  headless::Platform().ModuleFileName = MapPath("FeatureResize.dll");
  SetVersions();
  const std::uintptr_t Base = CodeSegmentTestDummyAddress() - 0x1010;
  TSender Sender;
  Handle(EAccessViolation(AccessViolationMessage(0x00401234, "FeatureResize.dll", false, 0), Base + 0x1104),
         "Send bug report", &Sender);
  ASSERT_EQ(os::headless::MailSystem().Sent.size(), 1u);
  const os::TMailMessage& Mail = os::headless::MailSystem().Sent[0];
  EXPECT_EQ(Mail.To, (std::vector<std::string>{BugReportAddress}));
  EXPECT_EQ(Mail.Subject, "Quenfal Bug report");
  const std::string SEP = "\n\r";
  EXPECT_EQ(Mail.Body,
            "Application: Host.exe 4.2.0 17" + SEP + "Module: FeatureResize.dll 1.0.0 2008" + SEP +
                "Invalid access to memory location in module 'FeatureResize.dll'. Read of NIL pointer." + SEP + SEP +
                "Please describe what you did do before the error occurred:" + SEP + SEP + SEP +
                "(You cannot expect a direct reply to this bug report, but it will be used to make the next "
                "version better!)" + SEP + SEP + SEP + "Exception address: " + AddressText(Base + 0x1104) +
                ", StyleForm, StyleForm.Paint, StyleForm line 10" + SEP + "Stack trace: " + SEP +
                AddressToText(0x00402104) + SEP + AddressToText(0x00402910) + SEP + "Caught by: TSeamCarvingForm" +
                SEP + "Windows version: 5.1");
  std::filesystem::remove(MapPath("FeatureResize.map"));
}

TEST(ExceptionReport, AFailureInsideTheReportEndsInTheExceptionBox) {
  TReportScope Scope;
  const EAccessViolation Fault(AccessViolationMessage(0x00401234, "FeatureResize.dll", false, 0), 0);
  headless::Platform().ModuleFileName = "C:\\Plugins\\Unversioned.dll";
  Handle(Fault, "Send bug report");
  SetVersions();
  os::headless::MailSystem().Available = false;
  Handle(Fault, "Send bug report");
  const auto& Boxes = headless::Platform().SystemErrorBoxes;
  ASSERT_EQ(Boxes.size(), 2u);
  for (const auto& Box : Boxes) {
    EXPECT_EQ(Box.Text, "Exception");
    EXPECT_EQ(Box.Owner, 0u);
  }
}

TEST(SendMail, FieldsBecomeRecipientSubjectBodyAndConsecutiveAttachments) {
  TReportScope Scope;
  TOpenStringList Fields;
  for (const char* Field : {"to=a@example.org", "subject=S", "body=B=1", "attachment0=C:\\x\\one.txt",
                            "attachment1=two.txt", "attachment3=skipped.txt"})
    Fields.Add(Field);
  EXPECT_EQ(SendMail(0, Fields), 0);
  const os::TMailMessage& Mail = os::headless::MailSystem().Sent.at(0);
  EXPECT_EQ(Mail.To, (std::vector<std::string>{"a@example.org"}));
  EXPECT_EQ(Mail.Subject, "S");
  EXPECT_EQ(Mail.Body, "B=1");
  EXPECT_EQ(Mail.Attachments, (std::vector<std::string>{"C:\\x\\one.txt", "two.txt"}));
  TOpenStringList Empty;
  SendMail(0, Empty);
  EXPECT_TRUE(os::headless::MailSystem().Sent.at(1).To.empty());
}

// ===== Stack trace and hooks =====

TEST(HeadlessOs, TheHookHearsRaisedExceptionsUntilRemovedAndMailIsKept) {
  TReportScope Scope;
  std::vector<std::uint32_t> Codes;
  os::InstallExceptionHook([&](const os::TOsException& E) { Codes.push_back(E.Code); });
  os::headless::RaiseOsException(0xC0000005);
  os::InstallExceptionHook(nullptr);
  os::headless::RaiseOsException(0xC0000094);
  EXPECT_EQ(Codes, (std::vector<std::uint32_t>{0xC0000005}));

  auto& Mail = os::headless::MailSystem();
  Mail.Sent.clear();
  EXPECT_EQ(os::SendMail(0, {{"bugs@example.org"}, "Bug report", "body", {}}), 0);
  ASSERT_EQ(Mail.Sent.size(), 1u);
  EXPECT_EQ(Mail.Sent[0].Subject, "Bug report");
  Mail.Available = false;
  EXPECT_THROW(os::SendMail(0, {}), os::EMailError);
}

namespace {
// A chain of fake frames: each holds the next frame's address and a return address.
struct TFakeStack {
  std::uintptr_t Frames[6][2];
  explicit TFakeStack(std::initializer_list<std::uintptr_t> Returns) {
    std::size_t I = 0;
    for (std::uintptr_t R : Returns) {
      Frames[I][0] = reinterpret_cast<std::uintptr_t>(Frames[I + 1]);
      Frames[I][1] = R;
      ++I;
    }
    Frames[I][0] = 0, Frames[I][1] = 0;
  }
  std::uintptr_t Top() const { return reinterpret_cast<std::uintptr_t>(Frames[0]); }
};
} // namespace

TEST(StackTrace, TheWalkSkipsLimitsAndStopsAtImplausibleFrames) {
  const TFakeStack Stack{0x401100, 0x401200, 0x401300, 0x401400};
  struct TCase {
    int Skip, Max;
    std::vector<std::uintptr_t> Trace;
  } Cases[] = {
      {0, 20, {0x401100, 0x401200, 0x401300, 0x401400}},
      {2, 20, {0x401300, 0x401400}},
      {1, 3, {0x401200, 0x401300}},
  };
  for (TCase& C : Cases) {
    TStackTrace Trace;
    Trace.fill(1);
    CaptureStackTraceFrom(Stack.Top(), C.Skip, C.Max, Trace);
    C.Trace.push_back(0);
    EXPECT_EQ(std::vector<std::uintptr_t>(Trace.begin(), Trace.begin() + C.Trace.size()), C.Trace) << C.Skip;
  }
  const TFakeStack Broken{0x401100, ~std::uintptr_t{15}, 0x401300};
  TStackTrace Trace;
  CaptureStackTraceFrom(Broken.Top(), 0, 20, Trace);
  EXPECT_EQ(Trace[0], 0x401100u);
  EXPECT_EQ(Trace[1], 0u);
  CaptureStackTraceFrom(0x8000, 0, 20, Trace);
  EXPECT_EQ(Trace[0], 0u);
}

__attribute__((noinline)) void CaptureTwice(TStackTrace& All, TStackTrace& Skipped) {
  CaptureStackTrace(0, 20, All);
  CaptureStackTrace(1, 20, Skipped);
  __asm__ volatile("" ::: "memory"); // keeps this frame on the stack for the second walk
}

TEST(StackTrace, TheRealStackIsWalkedFromTheCaller) {
  TStackTrace All{}, Skipped{};
  CaptureTwice(All, Skipped);
  ASSERT_NE(All[1], 0u);
  // Both walks share every frame above CaptureTwice.
  EXPECT_EQ(All[1], Skipped[0]);
  EXPECT_EQ(All[2], Skipped[1]);
}

TEST(ErrorHooks, FaultsTakeTheTraceOtherExceptionsEmptyItAndStackOverflowEndsTheApplication) {
  TReportScope Scope;
  InstallErrorHooks();
  const TFakeStack Stack{0x401100, 0x401200};
  for (std::uint32_t Code : {0xC0000005u, 0xC0000094u, 0xC0000096u}) {
    StackTrace[0] = 0;
    os::headless::RaiseOsException(Code, Stack.Top());
    EXPECT_EQ(StackTrace[0], 0x401100u) << std::hex << Code;
    EXPECT_EQ(StackTrace[2], 0u);
  }
  os::headless::RaiseOsException(0xE06D7363, Stack.Top()); // a C++ throw
  EXPECT_EQ(StackTrace[0], 0u);
  os::headless::RaiseOsException(0xC0000005); // no frame known: the hook's caller chain
  EXPECT_NE(StackTrace[0], 0u);

  EXPECT_THROW(InvalidPointerOperation(), EInvalidPointer);
  EXPECT_NE(StackTrace[0], 0u);

  Application->OwnerWindow = 0x1234;
  os::headless::RaiseOsException(0xC00000FD);
  ASSERT_EQ(headless::Platform().SystemErrorBoxes.size(), 1u);
  EXPECT_EQ(headless::Platform().SystemErrorBoxes[0].Text, "Stack overflow.\rThe application will terminate.");
  EXPECT_EQ(headless::Platform().SystemErrorBoxes[0].Owner, 0x1234u);
  EXPECT_TRUE(headless::Platform().SystemErrorBoxes[0].OwnThread);
  EXPECT_TRUE(Application->Terminated());
  Application->OwnerWindow = 0;
}
