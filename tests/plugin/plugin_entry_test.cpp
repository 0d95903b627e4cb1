#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "dialog/seam_carving_form.h"
#include "styled_forms/message_form_reader.h"
#include "plugin/fake_host.h"
#include "plugin/plugin_entry.h"
#include "support/progress.h"
#include "toolkit/message_box.h"

namespace {

class PluginEntry : public ::testing::Test {
protected:
  TFakeHost Host;
  std::vector<const std::uint8_t*> DialogMasks;
  int DialogModalResult = 2;
  // The message forms the plug-in showed, each answered with Enter.
  std::vector<TShownMessageForm> Shown;

  void SetUp() override {
    HostCallback = nullptr;
    ProgressHook = nullptr;
    AnswerMessageForms(Shown);
    PluginUi() = DefaultPluginUi();
    PluginUi().RunDialog = [this](TPluginLinearBitmap&, const std::uint8_t* Mask) {
      DialogMasks.push_back(Mask);
      return DialogModalResult;
    };
  }
  void TearDown() override {
    toolkit::TakeModalDriver();
    HostCallback = nullptr;
    ProgressHook = nullptr;
    PluginUi() = DefaultPluginUi();
  }

  void Register() {
    ASSERT_EQ(RegisterPlugin(&TFakeHost::Callback), Host.MenuAnswer);
    Host.Requests.clear();
  }

  void ListImage(THostPicture& Picture, THostRect Rect = {-1, -1, -1, -1}, std::uint8_t* Mask = nullptr) {
    Host.Images.push_back({"holiday.png", Picture.Record.Pixels, Mask, Rect});
  }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Registration and progress
// ---------------------------------------------------------------------------------------------

TEST_F(PluginEntry, RegisterWithNullCallbackSendsNothing) {
  EXPECT_EQ(RegisterPlugin(nullptr), 0);
  EXPECT_TRUE(Host.Requests.empty());
  EXPECT_FALSE(ProgressHook);
}

TEST_F(PluginEntry, RegisterAddsTheMenuCommandAndSetsTheProgressHook) {
  EXPECT_EQ(RegisterPlugin(&TFakeHost::Callback), 17);
  ASSERT_EQ(Host.Codes(), std::vector<std::int32_t>{hrAddMenuCommand});
  const auto& R = Host.Requests[0];
  EXPECT_EQ(R.Menu, "Plugins");
  EXPECT_EQ(R.Caption, "Feature preserving resize");
  EXPECT_EQ(R.Text, "");
  EXPECT_EQ(R.MenuCommand.Command, 1);
  EXPECT_TRUE(ProgressHook);
}

TEST_F(PluginEntry, ProgressForwardsThePercentAndAnswerZeroAborts) {
  Register();
  Host.ProgressAnswer = [](int Percent) { return Percent < 50 ? 1 : 0; };
  EXPECT_NO_THROW(ProgressHook(10));
  EXPECT_THROW(ProgressHook(50), EAbort);
  ASSERT_EQ(Host.Requests.size(), 2u);
  EXPECT_EQ(Host.Requests[0].Percent, 10);
  EXPECT_EQ(Host.Requests[1].Percent, 50);
}

TEST_F(PluginEntry, AbortDuringTheDialogIsSilent) {
  Register();
  THostPicture Picture(4, 4, 3);
  ListImage(Picture);
  Host.ProgressAnswer = [](int) { return 0; };
  PluginUi().RunDialog = [](TPluginLinearBitmap&, const std::uint8_t*) {
    ProgressHook(30);
    return 1;
  };
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  EXPECT_TRUE(Shown.empty());
}

// ---------------------------------------------------------------------------------------------
// ProcessImage flow
// ---------------------------------------------------------------------------------------------

TEST_F(PluginEntry, OtherCommandsOnlyAskForTheMainWindow) {
  Register();
  THostPicture Picture(4, 4, 3);
  EXPECT_EQ(ProcessImage(2, &Picture.Record), 1);
  EXPECT_EQ(Host.Codes(), std::vector<std::int32_t>{hrGetMainWindow});
  EXPECT_TRUE(DialogMasks.empty());
  EXPECT_EQ(toolkit::ApplicationOwnerWindow(), 0x1234u);
}

TEST_F(PluginEntry, UnsupportedDepthsGetTheMessageAndNothingElse) {
  Register();
  for (int PixelSize : {4, 2, 0}) {
    Shown.clear();
    Host.Requests.clear();
    THostPicture Picture(4, 4, PixelSize == 0 ? 1 : PixelSize);
    Picture.Record.PixelSize = PixelSize;
    EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Text, "Only 8 or 24 bit images supported");
    EXPECT_EQ(Shown[0].Caption, "Information");
    EXPECT_EQ(Shown[0].Buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(Shown[0].OwnerWindow, 0x1234u);
    EXPECT_EQ(Host.Codes(), std::vector<std::int32_t>{hrGetMainWindow});
  }
  EXPECT_TRUE(DialogMasks.empty());
}

TEST_F(PluginEntry, OnlyModalResultOkGivesZero) {
  Register();
  THostPicture Picture(4, 4, 3);
  ListImage(Picture);
  DialogModalResult = 1;
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 0);
  DialogModalResult = 2;
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
}

// ProcessImage follows the given dialog: OK hands the carved image to the host with NewImage
// and, like every button of the dialog, ends it with the cancel result, so the host hears 1.
TEST_F(PluginEntry, OkInTheResizeDialogSendsTheNewImageAndGivesOne) {
  Register();
  THostPicture Picture(12, 8, 3);
  ListImage(Picture);
  PluginUi() = DefaultPluginUi();
  toolkit::SetModalDriver([](toolkit::TForm& Form) {
    auto& Dialog = dynamic_cast<dialog::TSeamCarvingForm&>(Form);
    toolkit::user::Click(*Dialog.DeleteBestSeamButton);
    toolkit::user::Click(*Dialog.OKButton);
  });
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  const auto Codes = Host.Codes();
  EXPECT_EQ(std::count(Codes.begin(), Codes.end(), hrNewImage), 1);
  EXPECT_TRUE(Shown.empty());
}

TEST_F(PluginEntry, InvalidRecordsAreReportedAndGiveOne) {
  Register();
  THostPicture Picture(4, 4, 3);
  Picture.Record.Width = 0;
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  Picture.Record.Width = 4;
  Picture.Record.Pixels = nullptr;
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  Picture.Record.Pixels = Picture.Pixels.data();
  Picture.Record.BytesPerLine = 11; // shorter than a row
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  EXPECT_EQ(ProcessImage(1, nullptr), 1);
  ASSERT_EQ(Shown.size(), 4u);
  for (const auto& M : Shown) {
    EXPECT_EQ(M.Text, "Invalid bitmap size");
    EXPECT_EQ(M.Caption, "Error");
    EXPECT_EQ(M.Buttons, std::vector<std::string>{"OK"});
  }
  EXPECT_TRUE(DialogMasks.empty());
}

TEST_F(PluginEntry, ErrorsFromTheDialogNeverCrossTheBoundary) {
  Register();
  THostPicture Picture(4, 4, 3);
  ListImage(Picture);
  PluginUi().RunDialog = [](TPluginLinearBitmap&, const std::uint8_t*) -> int {
    throw Exception("Something broke");
  };
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  PluginUi().RunDialog = [](TPluginLinearBitmap&, const std::uint8_t*) -> int { throw 42; };
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[0].Text, "Something broke");
  EXPECT_EQ(Shown[1].Caption, "Error");
}

TEST_F(PluginEntry, WorksBeforeRegistration) {
  THostPicture Picture(4, 4, 3);
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  ASSERT_EQ(DialogMasks.size(), 1u);
  EXPECT_EQ(DialogMasks[0], nullptr);
}

TEST_F(PluginEntry, EightBitWithoutPaletteIsShownWithTheGreyRamp) {
  Register();
  THostPicture Picture(3, 2, 1, 4);
  Picture.Record.Palette = nullptr; // a host that gives no palette
  const auto Before = Picture.Pixels;
  ListImage(Picture);
  PluginUi().RunDialog = [&](TPluginLinearBitmap& Bitmap, const std::uint8_t*) {
    EXPECT_EQ(Bitmap.Map, Picture.Pixels.data());
    EXPECT_EQ(Bitmap.BytesPerLine, 4);
    EXPECT_EQ(Bitmap.PixelFormat, lpf8Bit);
    EXPECT_NE(Bitmap.Palette, nullptr);
    EXPECT_EQ(std::memcmp(Bitmap.Palette, &GreyPalette, sizeof(TPaletteTable)), 0);
    return 2;
  };
  EXPECT_EQ(ProcessImage(1, &Picture.Record), 1);
  // The host's buffer survives the adapter (the sanitizer would catch a free of it).
  EXPECT_EQ(Picture.Pixels, Before);
}

// ---------------------------------------------------------------------------------------------
// Selection
// ---------------------------------------------------------------------------------------------

TEST_F(PluginEntry, RectangleBecomesAMaskOfExactlyItsPixels) {
  Register();
  THostPicture Picture(6, 5, 3);
  ListImage(Picture, {2, 3, 4, 3});
  std::vector<std::uint8_t> Seen;
  PluginUi().RunDialog = [&](TPluginLinearBitmap&, const std::uint8_t* Mask) {
    Seen.assign(Mask, Mask + 30);
    return 2;
  };
  ProcessImage(1, &Picture.Record);
  ASSERT_EQ(Seen.size(), 30u);
  for (int I = 0; I < 30; ++I) EXPECT_EQ(Seen[I], (I == 20 || I == 21 || I == 22) ? 255 : 0) << I;
}

TEST_F(PluginEntry, NoRectangleNoMask) {
  Register();
  THostPicture Picture(6, 5, 3);
  ListImage(Picture, {-1, 0, 3, 3});
  ProcessImage(1, &Picture.Record);
  ASSERT_EQ(DialogMasks.size(), 1u);
  EXPECT_EQ(DialogMasks[0], nullptr);
}

TEST_F(PluginEntry, HostMaskTakesPrecedenceOverTheRectangle) {
  Register();
  THostPicture Picture(3, 3, 1);
  std::vector<std::uint8_t> Mask(9, 1);
  ListImage(Picture, {0, 0, 1, 1}, Mask.data());
  ProcessImage(1, &Picture.Record);
  ASSERT_EQ(DialogMasks.size(), 1u);
  EXPECT_EQ(DialogMasks[0], Mask.data());
}

TEST_F(PluginEntry, RectangleOutsideTheImageIsClipped) {
  Register();
  THostPicture Picture(4, 3, 3);
  ListImage(Picture, {2, -7, 100, 1});
  std::vector<std::uint8_t> Seen;
  PluginUi().RunDialog = [&](TPluginLinearBitmap&, const std::uint8_t* Mask) {
    Seen.assign(Mask, Mask + 12);
    return 2;
  };
  ProcessImage(1, &Picture.Record);
  const std::vector<std::uint8_t> Expected = {0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 0, 0};
  EXPECT_EQ(Seen, Expected);

  auto Outside = BuildSelectionMask(4, 3, {10, 10, 20, 20});
  for (int I = 0; I < 12; ++I) EXPECT_EQ(Outside->Map[I], 0);
}

TEST_F(PluginEntry, LookUpsWalkTheImagesUntilTheBufferMatches) {
  Register();
  THostPicture Other1(2, 2, 3), Other2(2, 2, 3), Mine(2, 2, 3);
  ListImage(Other1, {0, 0, 0, 0});
  ListImage(Other2, {0, 0, 0, 0});
  Host.Images.push_back({"mine.bmp", Mine.Record.Pixels, nullptr, {1, 1, 1, 1}});
  EXPECT_EQ(FindHostImageName(Mine.Record), "mine.bmp");
  std::vector<std::int32_t> Indices;
  for (const auto& R : Host.Requests) Indices.push_back(R.Index);
  EXPECT_EQ(Indices, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(FindHostSelectionRect(Mine.Record).Left, 1);

  THostPicture Stranger(2, 2, 3);
  EXPECT_EQ(FindHostImageName(Stranger.Record), "");
  const THostRect None = FindHostSelectionRect(Stranger.Record);
  EXPECT_EQ(None.Left, -1);
  EXPECT_EQ(None.Top, -1);
  EXPECT_EQ(None.Right, -1);
  EXPECT_EQ(None.Bottom, -1);
  EXPECT_EQ(FindHostSelectionMask(Stranger.Record), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Floating point
// ---------------------------------------------------------------------------------------------

namespace {
std::uint16_t ControlWord() {
  std::uint16_t Word = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(Word));
  return Word;
}
void SetControlWord(std::uint16_t Word) { __asm__ __volatile__("fldcw %0" : : "m"(Word)); }
} // namespace

TEST_F(PluginEntry, WorksInExtendedPrecisionWhateverTheHostSet) {
  THostPicture Picture(4, 4, 3);
  ListImage(Picture);
  const std::uint16_t HostWord = std::uint16_t((ControlWord() & ~0x0300) | 0x0200); // 53-bit mantissas
  SetControlWord(HostWord);
  bool Extended = false;
  PluginUi().RunDialog = [&](TPluginLinearBitmap&, const std::uint8_t*) {
    volatile long double One = 1, Tiny = 0x1p-60L;
    Extended = One + Tiny != One;
    return 2;
  };
  ProcessImage(1, &Picture.Record);
  const std::uint16_t After = ControlWord();
  SetControlWord(std::uint16_t(HostWord | 0x0300));
  EXPECT_TRUE(Extended);
  EXPECT_EQ(After, HostWord); // the host's setting is back
}
