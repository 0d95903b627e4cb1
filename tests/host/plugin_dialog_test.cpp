// The resize dialog of the real plug-in in the reference host, used as a user would: found by
// its caption, typed into and clicked. Every image the host ends with is compared with what
// the engine gives directly for the same operations.
#include <algorithm>
#include <cstring>
#include <memory>

#include "host_scenario.h"
#include "host_api/plugin_linear_bitmap.h"
#include "seamcarving/engine_previews.h"
#include "seamcarving/seam_carving_component.h"

namespace {

const char* const Command = "Feature preserving resize";

// The edits of the dialog in their creation order.
enum TEditIndex { CostWindow, NewWidth, NewHeight, WidthPercent, HeightPercent, DeleteCount };

class ResizeDialogInHost : public HostScenario {
protected:
  void SetUp() override { Host.LoadPlugin(FR_PLUGIN_DLL); }

  static HWND Dialog() { return driver::WaitForTopWindow({.Caption = Command}); }
  static HWND Edit(HWND Dialog, TEditIndex Index) { return driver::FindChild(Dialog, "Edit", Index); }
  static void Press(HWND Dialog, const char* Caption) { driver::Click(driver::FindChild(Dialog, Caption)); }

  // The engine over the image as the plug-in sees it, with the dialog's defaults.
  struct TDirect {
    std::unique_ptr<TLinearBitmap> Source;
    std::unique_ptr<TSeamCarvingComponent> Engine;
    explicit TDirect(THostDocument& Document, int Window = 5, const std::uint8_t* Mask = nullptr,
                     TSelectionHandling Handling = shIgnore) {
      THostImage Record = Document.Record();
      TPluginLinearBitmap Adapter(Record);
      Source = std::make_unique<TLinearBitmap>(&Adapter);
      Engine = std::make_unique<TSeamCarvingComponent>(*Source, Mask, 2.2f);
      Engine->SetCostWindowSize(Window);
      Engine->SetSelectionHandling(Handling);
    }
    // The top-left Width x Height of the engine's image, rows packed.
    std::vector<std::uint8_t> Carved() const {
      std::vector<std::uint8_t> Bytes;
      const TLinearBitmap& Image = *Engine->Image;
      for (int Y = 0; Y < Engine->Height; ++Y)
        Bytes.insert(Bytes.end(), Image.ScanLine(Y), Image.ScanLine(Y) + std::size_t(Engine->Width) * Image.PixelSize);
      return Bytes;
    }
  };

  // Whether Document holds Expected's pixels, and for 8-bit images its palette.
  static bool Shows(const THostDocument& Document, const TLinearBitmap& Expected) {
    const std::size_t Row = std::size_t(Document.Width()) * Document.PixelSize();
    for (int Y = 0; Y < Document.Height(); ++Y)
      if (std::memcmp(Document.Line(Y), Expected.ScanLine(Y), Row)) return false;
    return Document.Palette.empty() || std::memcmp(Document.Palette.data(), Expected.Palette, sizeof(TPaletteTable)) == 0;
  }
};

} // namespace

TEST_F(ResizeDialogInHost, ScalingWithTypedExpressionsSendsTheCarvedImageAndRestoresTheHosts) {
  THostDocument& Photo = OpenPattern("photo.bmp", 40, 30, 3);
  const auto Before = PixelsOf(Photo);
  TDirect Direct(Photo);
  Direct.Engine->ScaleTo(30, 25);
  bool Invalid = false;
  const int Result = Run(Command, Photo, [&] {
    HWND D = Dialog();
    ASSERT_NE(D, nullptr);
    driver::ReplaceText(Edit(D, NewWidth), "40*3/4");
    // Each typed character is evaluated on the dialog's thread; the last one gives 30 pixels.
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::TextOf(Edit(D, WidthPercent)) == "75"; }))
        << driver::TextOf(Edit(D, WidthPercent));
    driver::ReplaceText(Edit(D, NewHeight), "abc");  // unusable: the height stays
    Invalid = driver::TextOf(Edit(D, HeightPercent)) == "100";
    driver::ReplaceText(Edit(D, NewHeight), "25");
    driver::WaitUntil([&] { return driver::TextOf(Edit(D, HeightPercent)) == "83.33"; });
    Press(D, "Scale");
    driver::WaitUntil([&] { return PixelsOf(Photo) != Before; });
    Press(D, "OK");
  });
  EXPECT_EQ(Result, 1);
  EXPECT_TRUE(Invalid);
  EXPECT_TRUE(LeftOpen.empty());
  ASSERT_EQ(Host.LastNewImages().size(), 1u);
  const THostDocument& Sent = *Host.LastNewImages()[0];
  EXPECT_EQ(Sent.Name, "photo scaled.bmp");
  EXPECT_EQ(PixelsOf(Sent), Direct.Carved());
  EXPECT_EQ(PixelsOf(Photo), Before);
}

TEST_F(ResizeDialogInHost, WideningAPaletteImageEndsTheDialogWithTheImageAndItsPalette) {
  THostDocument& Photo = OpenPattern("indexed.bmp", 20, 12, 1, 3);
  const auto Before = PixelsOf(Photo);
  TDirect Direct(Photo);
  Direct.Engine->EnlargeWidth(30);
  Direct.Engine->ScaleTo(30, 12);
  Run(Command, Photo, [&] {
    HWND D = Dialog();
    driver::ReplaceText(Edit(D, WidthPercent), "150");
    Press(D, "Scale"); // closes the dialog by itself
  });
  EXPECT_TRUE(LeftOpen.empty());
  ASSERT_EQ(Host.LastNewImages().size(), 1u);
  const THostDocument& Sent = *Host.LastNewImages()[0];
  EXPECT_EQ(Sent.Width(), 30);
  EXPECT_EQ(Sent.PixelSize(), 1);
  EXPECT_EQ(PixelsOf(Sent), Direct.Carved());
  EXPECT_EQ(Sent.Palette, Photo.Palette);
  EXPECT_EQ(PixelsOf(Photo), Before);
}

// Every preview in the host's image is the reference engine's for the typed settings and the
// chosen selection handling, in the image's pixel format (with the grey palette on 8-bit
// images); a seam is drawn over the carved image. Every field is typed into; the close box
// puts the image back.
TEST_F(ResizeDialogInHost, PreviewsAreTheEnginesForTheTypedSettingsAndTheCloseBoxPutsTheImageBack) {
  struct TCase {
    const char* Name;
    int PixelSize;
    const char* WindowText;
    int Window;
    const char* Direction;  // the item: "Horizontal" removes vertical seams
    TSeamDirection Removed;
    bool CheapSelection;    // of columns 4 to 12, rows 2 to 14; none otherwise
  };
  const TCase Cases[] = {{"photo.bmp", 3, "3+4", 7, "Horizontal", sdVertical, false},
                         {"indexed.bmp", 1, "9", 9, "Vertical", sdHorizontal, true}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    THostDocument& Photo = OpenPattern(Case.Name, 30, 20, Case.PixelSize, 9);
    const auto Before = PixelsOf(Photo);
    std::vector<std::uint8_t> Mask(30 * 20);
    if (Case.CheapSelection) {
      Photo.SelectRectangle({4, 2, 12, 14});
      for (int Y = 2; Y <= 14; ++Y) std::fill_n(Mask.begin() + Y * 30 + 4, 9, 1);
    }
    TDirect Direct(Photo, Case.Window, Mask.data(), Case.CheapSelection ? shCheap : shIgnore);
    TSeamCarvingComponent& Engine = *Direct.Engine;
    const TLinearPixelFormat Format = Direct.Source->PixelFormat;
    const auto Cost = CostDisplay(Engine, Format);
    for (int I = 0; I < 2; ++I) {
      Engine.FindSeams(SeamDirectionBit(Case.Removed));
      if (Case.Removed == sdVertical) Engine.RemoveVerticalSeam(Engine.BestColumn);
      else Engine.RemoveHorizontalSeam(Engine.BestRow);
    }
    const TLinearBitmap Carved(Engine.Image.get());
    Engine.FindSeams(SeamDirectionBit(Case.Removed));
    TLinearBitmap Seam(Engine.Image.get());
    DrawBestSeam(Engine, Case.Removed, Seam);
    const auto CarvedCost = CostDisplay(Engine, Format);
    Engine.ScaleTo(24, 10);

    bool CostShown = false, Restored = false, CarvedShown = false, SeamShown = false, CarvedCostShown = false,
         CarvedRestored = false, Scaled = false;
    Run(Command, Photo, [&] {
      HWND D = Dialog();
      ASSERT_NE(D, nullptr);
      driver::ReplaceText(Edit(D, CostWindow), Case.WindowText);
      // After the window, whose change passes the group's choice to the engine as well.
      if (Case.CheapSelection) Press(D, "Selected area is cheap to contract");
      Press(D, "Show cost");
      CostShown = Shows(Photo, *Cost);
      Restored = driver::WaitUntil([&] { return Shows(Photo, *Direct.Source); }, 4000); // after 1.5 s
      driver::Click(driver::FindChild(D, Case.Direction));
      driver::ReplaceText(Edit(D, DeleteCount), "2");
      Press(D, "Delete best seam");
      CarvedShown = driver::WaitUntil([&] { return Shows(Photo, Carved); });
      Press(D, "Show best seam");
      SeamShown = Shows(Photo, Seam);
      Press(D, "Show cost");
      CarvedCostShown = Shows(Photo, *CarvedCost);
      CarvedRestored = driver::WaitUntil([&] { return Shows(Photo, Carved); }, 4000);
      driver::ReplaceText(Edit(D, WidthPercent), "80");
      driver::WaitUntil([&] { return driver::TextOf(Edit(D, NewWidth)) == "24"; });
      driver::ReplaceText(Edit(D, NewHeight), "15");
      driver::WaitUntil([&] { return driver::TextOf(Edit(D, HeightPercent)) == "75"; });
      driver::ReplaceText(Edit(D, HeightPercent), "50");
      driver::WaitUntil([&] { return driver::TextOf(Edit(D, NewHeight)) == "10"; });
      Press(D, "Scale");
      Scaled = driver::WaitUntil([&] { return Shows(Photo, *Engine.Image); });
      driver::CloseWindow(D);
    });
    EXPECT_TRUE(CostShown);
    EXPECT_TRUE(Restored);
    EXPECT_TRUE(CarvedShown);
    EXPECT_TRUE(SeamShown);
    EXPECT_TRUE(CarvedCostShown);
    EXPECT_TRUE(CarvedRestored);
    EXPECT_TRUE(Scaled);
    EXPECT_TRUE(LeftOpen.empty());
    EXPECT_TRUE(Host.LastNewImages().empty());
    EXPECT_EQ(PixelsOf(Photo), Before);
  }
}

TEST_F(ResizeDialogInHost, CancellingTheProgressKeepsTheDialogOpenAndTheImageAsItWas) {
  THostDocument& Photo = OpenPattern("large.bmp", 600, 400, 3, 1);
  const auto Before = PixelsOf(Photo);
  bool StillOpen = false, Unchanged = false;
  Run(Command, Photo, [&] {
    HWND D = Dialog();
    driver::ReplaceText(Edit(D, WidthPercent), "10");
    driver::ReplaceText(Edit(D, HeightPercent), "10");
    Press(D, "Scale");
    HWND Progress = driver::WaitForTopWindow({.Caption = Command + std::string(" - Progress")});
    ASSERT_NE(Progress, nullptr);
    driver::Click(driver::FindChild(Progress, "Cancel"));
    driver::WaitUntil([&] { return !IsWindowVisible(Progress); });
    StillOpen = driver::FindTopWindow({.Caption = Command}) == D;
    Unchanged = PixelsOf(Photo) == Before;
    Press(D, "Cancel");
  }, 10000);
  EXPECT_TRUE(StillOpen);
  EXPECT_TRUE(Unchanged);
  EXPECT_TRUE(LeftOpen.empty());
  EXPECT_TRUE(Host.LastNewImages().empty());
  EXPECT_EQ(PixelsOf(Photo), Before);
}

TEST_F(ResizeDialogInHost, RunningOutOfMemoryIsReportedAndTheImageAndTheDialogSurvive) {
  // 12000 x 12000: the dialog's copy, the engine's image and its cost map cannot all fit in a
  // 32-bit process beside the host's own image.
  if (sizeof(void*) > 4) GTEST_SKIP() << "a 64-bit process has the address space for this image";
  THostDocument& Huge = OpenPattern("huge.bmp", 12000, 12000, 3, 2);
  auto Checksum = [&] {
    std::uint64_t Sum = 0;
    for (int Y = 0; Y < Huge.Height(); Y += 97)
      for (int X = 0; X < Huge.Width() * 3; X += 89) Sum = Sum * 31 + Huge.Line(Y)[X];
    return Sum;
  };
  const std::uint64_t Before = Checksum();
  std::string Message;
  bool Usable = false;
  Run(Command, Huge, [&] {
    HWND D = driver::WaitForTopWindow({.Caption = Command}, 60000);
    ASSERT_NE(D, nullptr);
    Press(D, "Show cost");
    HWND Error = driver::WaitForTopWindow({.Caption = "Error"}, 60000);
    ASSERT_NE(Error, nullptr);
    for (HWND Child = GetWindow(Error, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT))
      if (driver::ClassOf(Child) == "Static") Message += driver::TextOf(Child);
    driver::Click(driver::FindChild(Error, "OK"));
    Usable = driver::FindTopWindow({.Caption = Command}) == D;
    Press(D, "Cancel");
  }, 20000);
  EXPECT_NE(Message.find("Out of memory"), std::string::npos) << Message;
  EXPECT_TRUE(Usable);
  EXPECT_TRUE(LeftOpen.empty());
  EXPECT_EQ(Checksum(), Before);
}
