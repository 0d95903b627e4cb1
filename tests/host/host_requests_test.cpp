// The host's side of the boundary, against a fake plug-in whose commands send well-formed and
// malformed requests and log the host's answers; and the host's windows under a user's hands.
#include <windows.h>
#include <commctrl.h>

#include <regex>
#include <sstream>

#include "host_scenario.h"
#include "host_script.h"
#include "image_codec_wic.h"

namespace {

class FakePluginInHost : public HostScenario {
protected:
  void SetUp() override { Host.LoadPlugin(FR_FAKE_PLUGIN_DLL); }

  static std::string PluginLog() {
    using TLog = const char* (*)();
    auto Read = reinterpret_cast<TLog>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("fake_plugin.dll"), "FakePluginLog")));
    return Read ? Read() : "(no log)";
  }
};

std::string RectOf(const THostDocument& D) {
  const THostRect& R = D.Selection;
  return std::to_string(R.Left) + "," + std::to_string(R.Top) + "," + std::to_string(R.Right) + "," +
         std::to_string(R.Bottom);
}

bool IsWritable(const void* Address) {
  MEMORY_BASIC_INFORMATION Memory{};
  VirtualQuery(Address, &Memory, sizeof(Memory));
  return Memory.Protect & PAGE_READWRITE;
}

} // namespace

TEST_F(FakePluginInHost, MenusComeFromRegistrationAndOnlyTheGuiThreadIsServed) {
  using TItems = std::vector<std::string>;
  EXPECT_EQ(driver::MenuItems(Host.MainWindow(), "Plugins"),
            (TItems{"Progress until cancelled", "Send new images", "Invert and look around"}));
  EXPECT_EQ(driver::MenuItems(Host.MainWindow(), "Test tools"),
            (TItems{"Ask from another thread", "Wait in a message box", "Show a dialog"}));
  // The command without a caption was refused and reported, the others accepted.
  EXPECT_EQ(PluginLog(), "register answers: 1 1 1 1 1 1 0\n");
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_NE(Reports[0].find("a menu command without a menu or caption was refused"), std::string::npos);

  THostDocument& Image = OpenPattern("a.bmp", 4, 4, 3);
  EXPECT_EQ(Run("Ask from another thread", Image), 44);
  EXPECT_EQ(PluginLog(), "other thread answers 0 0\nrequest 7 answered 0\n");
  ASSERT_EQ(Reports.size(), 3u);
  EXPECT_EQ(Reports[1], "\"Ask from another thread\" made request 7, which the host does not serve; it was answered 0.");
  EXPECT_EQ(Reports[2], "\"Ask from another thread\" made 2 request(s) from a thread other than the host's window "
                        "thread; they were answered 0.");
}

TEST_F(FakePluginInHost, ProgressShowsABarAndItsCancelAnswersZeroOnce) {
  THostDocument& Image = OpenPattern("a.bmp", 4, 4, 3);
  const HWND ActiveBefore = GetActiveWindow();
  int Position = -1;
  Run("Progress until cancelled", Image, [&] {
    HWND Window = driver::WaitForTopWindow({.Caption = "Progress until cancelled - Progress", .Owner = Host.MainWindow()});
    ASSERT_NE(Window, nullptr);
    Position = int(SendMessageA(driver::FindChild(Window, PROGRESS_CLASSA, 0), PBM_GETPOS, 0, 0));
    driver::Click(driver::FindChild(Window, "Cancel"));
  });
  EXPECT_TRUE(LeftOpen.empty());
  EXPECT_GE(Position, 0);
  EXPECT_LE(Position, 100);
  const std::string Log = PluginLog();
  EXPECT_TRUE(std::regex_search(Log, std::regex("^cancelled after [0-9]+ calls\n"))) << Log;
  // Cancel stops one operation: the next answers go on, and reaching 100 % hides the window.
  EXPECT_NE(Log.find("next answer 1\nto the end: 1 1 1 1 1\n"), std::string::npos) << Log;
  EXPECT_FALSE(IsWindowVisible(Host.Progress().Window()));
  EXPECT_EQ(GetActiveWindow(), ActiveBefore) << "the progress window took the activation";
}

TEST_F(FakePluginInHost, NewImagesAreCopiedAndMalformedRecordsRefusedWithTheReason) {
  THostDocument& Image = OpenPattern("a.bmp", 4, 4, 3);
  const auto Before = PixelsOf(Image);
  EXPECT_EQ(Run("Send new images", Image), 42);
  EXPECT_EQ(PluginLog(), "answers: 1 1 0 0 0 0 0 0 0 0 0 0\n");

  ASSERT_EQ(Host.LastNewImages().size(), 2u);
  const THostDocument& Colour = *Host.LastNewImages()[0];
  EXPECT_EQ(Colour.Name, "colour.bmp");
  EXPECT_EQ(Colour.Width(), 3);
  EXPECT_EQ(Colour.Height(), 2);
  EXPECT_EQ(Colour.PixelSize(), 3);
  // The sender's padding bytes (10 to 12) are not pixels.
  EXPECT_EQ(PixelsOf(Colour), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 111, 112, 113, 114, 115, 116, 117,
                                                          118, 119}));
  const THostDocument& Indexed = *Host.LastNewImages()[1];
  EXPECT_EQ(Indexed.Name, "indexed.bmp");
  EXPECT_EQ(Indexed.PixelSize(), 1);
  EXPECT_EQ(PixelsOf(Indexed), (std::vector<std::uint8_t>{0, 1, 2, 3}));
  EXPECT_EQ(std::vector<std::uint8_t>(Indexed.Palette.begin(), Indexed.Palette.begin() + 6),
            (std::vector<std::uint8_t>{0, 255, 7, 1, 254, 7}));

  const std::string Prefix = "\"Send new images\" sent an image the host cannot take: ";
  const std::vector<std::string> Reasons = {"the record is missing",
                                            "the image has no name",
                                            "the image has no pixels",
                                            "the size 0 x 2 is empty",
                                            "the size 3 x -1 is empty",
                                            "pixel size 2 is not 1, 3 or 4 bytes",
                                            "a line of 5 bytes is shorter than a row of 9",
                                            "a line of -12 bytes is shorter than a row of 9",
                                            "the image is too large (65536 x 65536)",
                                            "the image is too large (1 x 262144)"};
  ASSERT_EQ(Reports.size(), Reasons.size() + 1); // and the refused menu command
  for (std::size_t I = 0; I < Reasons.size(); ++I) EXPECT_EQ(Reports[I + 1], Prefix + Reasons[I] + ".");
  EXPECT_EQ(Host.Documents().size(), 3u);
  EXPECT_EQ(PixelsOf(Image), Before);
  EXPECT_FALSE(Image.Unsaved);
  EXPECT_TRUE(Colour.Unsaved && Indexed.Unsaved) << "a plug-in's images exist nowhere else";
}

TEST_F(FakePluginInHost, WhileAPluginWaitsTheUserCanCloseNothingItWasGivenNorStartAnotherCommand) {
  THostDocument& Image = OpenPattern("a.bmp", 8, 6, 3);
  const auto Before = PixelsOf(Image);
  HWND View = driver::FindChild(Host.MainWindow(), "ResizeHostImage", 0);
  bool StillOpen = false;
  Run("Wait in a message box", Image, [&] {
    HWND Box = driver::WaitForTopWindow({.Text = "Waiting"});
    ASSERT_NE(Box, nullptr);
    driver::CloseWindow(View);
    driver::CloseWindow(Host.MainWindow());
    driver::ChooseMenu(Host.MainWindow(), "Plugins", "Invert and look around");
    driver::ChooseMenu(Host.MainWindow(), "File", "Close");
    StillOpen = IsWindow(View) && IsWindow(Host.MainWindow());
    driver::Click(driver::FindChild(Box, "OK"));
  });
  EXPECT_TRUE(LeftOpen.empty());
  EXPECT_TRUE(StillOpen);
  EXPECT_EQ(PluginLog(), "message box answered 1\n") << "another command ran inside the first";
  ASSERT_EQ(Host.Documents().size(), 1u);
  EXPECT_EQ(PixelsOf(Image), Before);
}

TEST_F(FakePluginInHost, APluginCanWriteOnlyTheImageItWasGiven) {
  THostDocument& Other = OpenPattern("other.bmp", 6, 5, 3, 1);
  THostDocument& Given = OpenPattern("given.bmp", 6, 5, 1, 2);
  Given.SelectEllipse({1, 1, 4, 3});
  const auto OtherBefore = PixelsOf(Other);
  auto Inverted = PixelsOf(Given);
  for (std::uint8_t& Byte : Inverted) Byte = std::uint8_t(~Byte);

  Run("Invert and look around", Given);
  // The ellipse in 4 x 3 pixels: the corners of the first and last rows are outside.
  EXPECT_EQ(PluginLog(), "image 0 other.bmp read-only rect -1,-1,-1,-1\n"
                         "image 1 given.bmp given writable rect 1,1,4,3 mask 8\n");
  EXPECT_EQ(PixelsOf(Given), Inverted);
  EXPECT_EQ(PixelsOf(Other), OtherBefore);
  EXPECT_TRUE(Given.Unsaved);
  EXPECT_FALSE(Other.Unsaved);
  EXPECT_TRUE(IsWritable(Other.Pixels())) << "the host's own image stays read-only after the run";
}

TEST_F(FakePluginInHost, AUserSelectsDropsAFileAndChoosesTheCommandFromTheMenu) {
  THostDocument& First = OpenPattern("first.bmp", 40, 30, 3);
  HWND View = driver::FindChild(Host.MainWindow(), "ResizeHostImage", 0);
  ASSERT_NE(View, nullptr);
  driver::Drag(View, {5, 4}, {12, 9});
  EXPECT_EQ(RectOf(First), "5,4,12,9");
  EXPECT_TRUE(First.Mask.empty());
  driver::Drag(View, {12, 9}, {5, 4}, MK_CONTROL); // Ctrl: the ellipse, with a mask
  EXPECT_EQ(RectOf(First), "5,4,12,9");
  EXPECT_EQ(First.Mask.size(), 40u * 30u);
  driver::ClickAt(View, 20, 20);
  EXPECT_EQ(RectOf(First), "-1,-1,-1,-1");

  // An 8-bit file dropped on the host opens as the active image.
  THostDocument Saved("dropped", 6, 4, 1);
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 6; ++X) Saved.Line(Y)[X] = std::uint8_t(X + 6 * Y);
  for (int I = 0; I < 256; ++I) {
    Saved.Palette[I * 3] = std::uint8_t(I);
    Saved.Palette[I * 3 + 1] = std::uint8_t(I * 2);
    Saved.Palette[I * 3 + 2] = std::uint8_t(255 - I);
  }
  char Folder[MAX_PATH];
  GetTempPathA(MAX_PATH, Folder);
  const std::string Path = std::string(Folder) + "dropped.bmp";
  SaveImageFile(Saved, Path);
  driver::DropFile(Host.MainWindow(), Path);
  ASSERT_EQ(Host.Documents().size(), 2u);
  ASSERT_EQ(Host.ActiveDocument()->Name, "dropped.bmp");

  ASSERT_TRUE(driver::ChooseMenu(Host.MainWindow(), "Plugins", "Invert and look around"));
  EXPECT_NE(PluginLog().find("image 1 dropped.bmp given writable"), std::string::npos) << PluginLog();
  // The window shows the inverted indices through the palette.
  const driver::TCapture Shot = driver::CaptureClient(driver::FindChild(Host.MainWindow(), "dropped.bmp  (6 x 4, 8-bit)"));
  ASSERT_GE(Shot.Width, 6);
  ASSERT_GE(Shot.Height, 4);
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 6; ++X) {
      const std::uint32_t Index = 255 - (X + 6 * Y);
      ASSERT_EQ(Shot.Pixel(X, Y), (255 - Index) << 16 | (Index * 2 & 255) << 8 | Index) << X << "," << Y;
    }
}

// The driver against a standard dialog in a plug-in's modal loop: what the resize dialog's
// scenario tests will do.
TEST_F(FakePluginInHost, TheDriverTypesClicksAndPressesKeysInAPluginDialog) {
  THostDocument& Image = OpenPattern("a.bmp", 8, 6, 3);
  const auto DialogEndsBy = [&](const std::function<void(HWND Dialog)>& Actions) {
    Run("Show a dialog", Image, [&] {
      HWND Dialog = driver::WaitForTopWindow({.Caption = "Fake resize", .Owner = Host.MainWindow()});
      ASSERT_NE(Dialog, nullptr);
      Actions(Dialog);
    });
    EXPECT_TRUE(LeftOpen.empty()) << "the dialog did not end";
    return PluginLog();
  };

  EXPECT_EQ(DialogEndsBy([](HWND Dialog) {
              HWND Width = driver::FindChild(Dialog, "Edit", 0), Height = driver::FindChild(Dialog, "Edit", 1);
              driver::ReplaceText(Width, "70");
              EXPECT_EQ(driver::TextOf(Width), "70");
              driver::Click(driver::FindChild(Dialog, "Scale"));
              driver::ReplaceText(Height, "5");
              driver::Paste(Height, "12");
              driver::Type(Height, "\b");
              EXPECT_EQ(driver::TextOf(Height), "51");
              // The OK button found by where it is.
              HWND Ok = driver::FindChild(Dialog, "OK");
              RECT Bounds;
              GetWindowRect(Ok, &Bounds);
              POINT Centre{(Bounds.left + Bounds.right) / 2, (Bounds.top + Bounds.bottom) / 2};
              ScreenToClient(Dialog, &Centre);
              EXPECT_EQ(driver::FindChildAt(Dialog, Centre.x, Centre.y), Ok);
              driver::PressKey(Width, VK_RETURN); // the default button
            }),
            "scale 70\nended 1 with 70,51\n");
  EXPECT_EQ(DialogEndsBy([](HWND Dialog) { driver::PressKey(driver::FindChild(Dialog, "Edit", 0), VK_ESCAPE); }),
            "ended 2 with 100,50\n");
  EXPECT_EQ(DialogEndsBy([](HWND Dialog) { driver::CloseWindow(Dialog); }), "ended 2 with 100,50\n");
}

TEST_F(FakePluginInHost, ScriptStepsSelectRunAndSaveInTheHost) {
  char Folder[MAX_PATH];
  GetTempPathA(MAX_PATH, Folder);
  const std::string In = std::string(Folder) + "script_in.bmp", Mask = std::string(Folder) + "script_mask.png",
                    Out = std::string(Folder) + "script_out.png";
  THostDocument Picture("in", 5, 4, 3), Selected("mask", 5, 4, 1);
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 15; ++X) Picture.Line(Y)[X] = std::uint8_t(X * 16 + Y);
  Selected.Line(1)[1] = Selected.Line(2)[2] = 200;
  SaveImageFile(Picture, In);
  SaveImageFile(Selected, Mask);

  std::ostringstream Log;
  EXPECT_TRUE(RunScript(Host,
                        ParseScriptText("open " + In + "\nmask " + Mask + "\nrun Invert and look around\nsave " + Out +
                                            "\nellipse 0,0,4,3\nselect none\nwait 10\n",
                                        "test"),
                        Log));
  EXPECT_EQ(PluginLog(), "image 0 script_in.bmp given writable rect 1,1,2,2 mask 2\n");
  auto Inverted = PixelsOf(Picture);
  for (std::uint8_t& Byte : Inverted) Byte = std::uint8_t(~Byte);
  EXPECT_EQ(PixelsOf(*LoadImageFile(Out)), Inverted);
  EXPECT_FALSE(Host.ActiveDocument()->Unsaved) << "saved after the plug-in changed it";
  EXPECT_EQ(RectOf(*Host.ActiveDocument()), "-1,-1,-1,-1");
  EXPECT_EQ(Log.str(), "opened script_in.bmp, 5 x 4, 24-bit\nselected the mask " + Mask +
                           "\nran \"Invert and look around\": result 43, 0 new image(s)\nsaved script_in.bmp, 5 x 4, "
                           "24-bit as " + Out + "\nselected the ellipse in 0,0,4,3\nselected none\nwaited 10 ms\n");

  EXPECT_FALSE(RunScript(Host, ParseScriptText("select 1,2,3\nrun Nothing\n", "test"), Log));
  EXPECT_EQ(Reports.back(), "line 1 of test: expected a rectangle LEFT,TOP,RIGHT,BOTTOM, not \"1,2,3\"");
  EXPECT_FALSE(RunScript(Host, ParseScriptText("run Nothing\n", "test"), Log));
  EXPECT_EQ(Reports.back(), "line 1 of test: no plug-in command \"Nothing\" is loaded");
}
