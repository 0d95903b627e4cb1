// The resize dialog driven through ProcessImage by a fake host and a simulated user, on the
// headless backend. Every image the host receives is compared with what the engine gives
// directly for the same operations.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "dialog/seam_carving_form.h"
#include "equipment/user_input.h"
#include "plugin/fake_host.h"
#include "plugin/plugin_entry.h"
#include "seamcarving/engine_helpers.h"
#include "seamcarving/engine_previews.h"
#include "support/progress.h"
#include "toolkit/headless/headless.h"

using namespace toolkit;
using dialog::TSeamCarvingForm;

namespace {

class ResizeDialog : public ::testing::Test {
protected:
  TFakeHost Host;
  THostPicture Picture{24, 18, 3};

  void SetUp() override {
    PluginUi() = DefaultPluginUi();
#ifndef _WIN32
    headless::ShownMessages().clear();
#endif
    ASSERT_NE(RegisterPlugin(&TFakeHost::Callback), -1);
  }
  void TearDown() override {
    HostCallback = nullptr;
    ProgressHook = nullptr;
  }
  // Runs the command with Driver acting in the dialog; returns ProcessImage's result.
  int Run(const std::function<void(TSeamCarvingForm&)>& Driver, THostRect Rect = {-1, -1, -1, -1}) {
    Host.Images = {{"C:\\photos.2026\\holiday.png", Picture.Record.Pixels, nullptr, Rect}};
    Host.Requests.clear();
    SetModalDriver([&](TForm& Form) { Driver(static_cast<TSeamCarvingForm&>(Form)); });
    return ProcessImage(1, &Picture.Record);
  }
  std::vector<std::uint8_t> HostPixels() const { return Picture.Pixels; }
  // The host's buffer (and palette) as a bitmap of its own size, to compare with engine images.
  bool HostShows(const TLinearBitmap& Expected) const {
    const auto Shown = Picture.Bitmap();
    for (int Y = 0; Y < Shown->Height; ++Y)
      if (std::memcmp(Shown->ScanLine(Y), Expected.ScanLine(Y), std::size_t(Shown->Width) * Shown->PixelSize))
        return false;
    return !Shown->Palette || std::memcmp(Shown->Palette, Expected.Palette, sizeof(TPaletteTable)) == 0;
  }
  const TFakeHost::TRequest* NewImage() const {
    for (const auto& R : Host.Requests)
      if (R.Code == hrNewImage) return &R;
    return nullptr;
  }
  int Refreshes() const {
    int N = 0;
    for (const auto& R : Host.Requests) N += R.Code == hrRefresh;
    return N;
  }
};

void Retype(TWinControl* Edit, const std::string& Text) {
  Edit->SetFocus();
  static_cast<TCustomEdit*>(Edit)->SelectAll();
  user::Paste(Text);
}

} // namespace

TEST_F(ResizeDialog, OpensWithLimitsOfTheImageAndOkWithoutWorkChangesNothing) {
  Picture = THostPicture(101, 5, 3);
  const auto Before = HostPixels();
  const int Result = Run([&](TSeamCarvingForm& F) {
    EXPECT_EQ(F.Caption(), "Feature preserving resize");
    EXPECT_EQ(F.ClientWidth(), 272);
    EXPECT_EQ(F.ClientHeight(), 364);
    EXPECT_EQ(F.NewWidthEdit->Max(), 152);
    EXPECT_EQ(F.NewWidthEdit->Value(), 101);
    EXPECT_EQ(F.NewHeightEdit->Max(), 5);
    EXPECT_FALSE(F.SelectionHandlingGroup->Enabled());
    EXPECT_EQ(F.SelectionHandlingGroup->ItemIndex(), 0);
    EXPECT_EQ(F.Engine()->SelectionHandling, shIgnore);
    EXPECT_TRUE(F.OKButton->Focused()); // first in the tab order
    user::Click(*F.OKButton);
  });
  EXPECT_EQ(Result, 1);
  EXPECT_EQ(NewImage(), nullptr);
  EXPECT_EQ(HostPixels(), Before);
}

TEST_F(ResizeDialog, ASelectionIsProtectedByDefault) {
  Run([&](TSeamCarvingForm& F) {
    EXPECT_TRUE(F.SelectionHandlingGroup->Enabled());
    EXPECT_EQ(F.SelectionHandlingGroup->ItemIndex(), 1);
    EXPECT_EQ(F.Engine()->SelectionHandling, shExpensive);
    user::Click(*F.SelectionHandlingGroup->Button(2));
    EXPECT_EQ(F.Engine()->SelectionHandling, shCheap);
    user::Click(*F.CancelButton);
  }, {2, 3, 10, 8});
}

TEST_F(ResizeDialog, ScaleThenOkSendsTheCarvedImageAndPutsTheHostImageBack) {
  const auto Before = HostPixels();
  const auto Source = Picture.Bitmap();
  auto Expected = MakeEngine(*Source, 5);
  Expected->ScaleTo(17, 13);
  Run([&](TSeamCarvingForm& F) {
    Retype(F.NewWidthPercentEdit, "70");     // 16.8 -> 17
    EXPECT_EQ(F.NewWidthEdit->Value(), 17);
    Retype(F.NewHeightEdit, "13");
    EXPECT_EQ(F.NewHeightPercentEdit->Text(), "72.22");
    user::Click(*F.ApplyButton);
    EXPECT_TRUE(HostShows(*Expected->Image));
    user::Click(*F.OKButton);
  });
  const auto* Sent = NewImage();
  ASSERT_NE(Sent, nullptr);
  EXPECT_EQ(Sent->NewImageName, "C:\\photos.2026\\holiday scaled.png");
  EXPECT_EQ(Sent->NewImage.Image.Width, 17);
  EXPECT_EQ(Sent->NewImage.Image.Height, 13);
  std::vector<std::uint8_t> Carved;
  for (int Y = 0; Y < 13; ++Y)
    Carved.insert(Carved.end(), Expected->Image->ScanLine(Y), Expected->Image->ScanLine(Y) + 17 * 3);
  EXPECT_EQ(Sent->NewImagePixels, Carved);
  EXPECT_EQ(HostPixels(), Before);
  EXPECT_EQ(Host.Requests.back().Code, hrRefresh); // the host repaints its restored image
}

TEST_F(ResizeDialog, WideningAnEightBitImageEndsTheDialogWithItsPalette) {
  Picture = THostPicture(10, 6, 1);
  const auto Source = Picture.Bitmap();
  auto Expected = MakeEngine(*Source, 5);
  Expected->EnlargeWidth(15);
  Expected->ScaleTo(15, 6);
  Run([&](TSeamCarvingForm& F) {
    Retype(F.NewWidthPercentEdit, "150");
    user::Click(*F.ApplyButton);
    EXPECT_EQ(F.ModalResult(), mrCancel);
  });
  const auto* Sent = NewImage();
  ASSERT_NE(Sent, nullptr);
  EXPECT_EQ(Sent->NewImage.Image.Width, 15);
  EXPECT_EQ(Sent->NewImage.Image.PixelSize, 1);
  ASSERT_NE(Sent->NewImage.Image.Palette, nullptr);
  std::vector<std::uint8_t> Widened;
  for (int Y = 0; Y < 6; ++Y)
    Widened.insert(Widened.end(), Expected->Image->ScanLine(Y), Expected->Image->ScanLine(Y) + 15);
  EXPECT_EQ(Sent->NewImagePixels, Widened);
}

TEST_F(ResizeDialog, DeleteBestSeamStopsAtOnePixelAndPercentRoundsHalfToEven) {
  Picture = THostPicture(5, 4, 3);
  Run([&](TSeamCarvingForm& F) {
    Retype(F.DeleteCountEdit, "999");
    user::Click(*F.DeleteBestSeamButton);
    EXPECT_EQ(F.Engine()->Width, 1);
    user::Click(*F.DirectionGroup->Button(1));
    Retype(F.DeleteCountEdit, "2");
    user::Click(*F.DeleteBestSeamButton);
    EXPECT_EQ(F.Engine()->Height, 2);
    user::Click(*F.CancelButton);
  });
  Picture = THostPicture(3, 4, 3);
  Run([&](TSeamCarvingForm& F) {
    Retype(F.NewWidthPercentEdit, "150");
    EXPECT_EQ(F.NewWidthEdit->Value(), 4); // 4.5 rounds to even
    user::Click(*F.CancelButton);
  });
}

// Every preview is the reference engine's for the same state and the typed settings, in the
// host's pixel format (with the grey palette on 8-bit images), and gives way to the image
// after 1.5 seconds; a seam is drawn over the carved image. Every field is typed into.
TEST_F(ResizeDialog, PreviewsAreTheEnginesForTheTypedSettingsAndGiveWayAfterOneAndAHalfSeconds) {
  const THostRect NoSelection{-1, -1, -1, -1};
  struct TCase {
    int PixelSize;
    const char* WindowText;
    int Window;
    TSeamDirection Removed; // item 0 "Horizontal" removes vertical seams
    THostRect Selection;
    TSelectionHandling Handling;
  };
  const TCase Cases[] = {{3, "3+4", 7, sdVertical, NoSelection, shIgnore},
                         {3, "11", 11, sdHorizontal, {2, 3, 10, 8}, shExpensive},
                         {1, "9", 9, sdVertical, {4, 2, 12, 14}, shCheap},
                         {1, "3", 3, sdHorizontal, NoSelection, shIgnore}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << Case.PixelSize << " bytes a pixel, window " << Case.WindowText
                                    << ", selection handling " << int(Case.Handling));
    Picture = THostPicture(24, 18, Case.PixelSize);
    const auto Before = HostPixels();
    const auto Source = Picture.Bitmap();
    const auto Mask = BuildSelectionMask(24, 18, Case.Selection);
    auto Expected = MakeEngine(*Source, Case.Window, Case.Handling, Case.Handling ? Mask->Map : nullptr);
    auto Remove = [&] {
      Expected->FindSeams(SeamDirectionBit(Case.Removed));
      if (Case.Removed == sdVertical) Expected->RemoveVerticalSeam(Expected->BestColumn);
      else Expected->RemoveHorizontalSeam(Expected->BestRow);
    };
    Run([&](TSeamCarvingForm& F) {
      Retype(F.CostWindowEdit, Case.WindowText);
      // After the window, whose change passes the group's choice to the engine as well.
      if (Case.Handling == shCheap) user::Click(*F.SelectionHandlingGroup->Button(2));
      user::Click(*F.ShowCostMapButton);
      EXPECT_TRUE(HostShows(*CostDisplay(*Expected, Source->PixelFormat)));
      user::Wait(1400);
      EXPECT_NE(HostPixels(), Before);
      user::Wait(200);
      EXPECT_TRUE(HostShows(*Source)); // no carved image yet: the saved one, palette and all

      user::Click(*F.DirectionGroup->Button(Case.Removed));
      Retype(F.DeleteCountEdit, "2");
      user::Click(*F.DeleteBestSeamButton);
      Remove();
      Remove();
      EXPECT_TRUE(HostShows(*Expected->Image));
      user::Click(*F.ShowBestSeamButton);
      Expected->FindSeams(SeamDirectionBit(Case.Removed));
      TLinearBitmap Seam(Expected->Image.get());
      DrawBestSeam(*Expected, Case.Removed, Seam);
      EXPECT_TRUE(HostShows(Seam));
      user::Click(*F.ShowCostMapButton);
      EXPECT_TRUE(HostShows(*CostDisplay(*Expected, Source->PixelFormat)));
      user::Wait(1600); // a real timer is never early but may be dispatched late
      EXPECT_TRUE(HostShows(*Expected->Image));

      Retype(F.NewWidthPercentEdit, "80");
      EXPECT_EQ(F.NewWidthEdit->Value(), 19); // 19.2
      Retype(F.NewWidthEdit, "20");
      Retype(F.NewHeightEdit, "12");
      EXPECT_EQ(F.NewHeightPercentEdit->Text(), "66.67");
      Retype(F.NewHeightPercentEdit, "50");
      user::Click(*F.ApplyButton);
      Expected->ScaleTo(20, 9);
      EXPECT_TRUE(HostShows(*Expected->Image));
      user::Click(*F.CancelButton);
    }, Case.Selection);
    EXPECT_EQ(HostPixels(), Before);
  }
}

TEST_F(ResizeDialog, EveryWayOutLeavesTheSavedImageEvenWithTheTimerRunning) {
  const auto Before = HostPixels();
  const std::vector<std::function<void(TSeamCarvingForm&)>> WaysOut = {
      [](TSeamCarvingForm& F) { user::Click(*F.OKButton); },
      [](TSeamCarvingForm& F) { user::Click(*F.CancelButton); },
      [](TSeamCarvingForm& F) { F.CloseCommand(); }, // the close box, Alt+F4
      [](TSeamCarvingForm&) { user::PressKey(vkEscape); },
  };
  for (std::size_t I = 0; I < WaysOut.size(); ++I) {
    SCOPED_TRACE(I);
    Run([&](TSeamCarvingForm& F) {
      user::Click(*F.DeleteBestSeamButton);
      user::Click(*F.ShowCostMapButton); // the restore timer runs
      WaysOut[I](F);
    });
    EXPECT_EQ(HostPixels(), Before);
    EXPECT_EQ(Host.Requests.back().Code, hrRefresh);
    EXPECT_EQ(NewImage() != nullptr, I == 0);
  }
}

TEST_F(ResizeDialog, TheHostStoppingAScaleKeepsTheDialogAndTheImage) {
  const auto Before = HostPixels();
  Host.ProgressAnswer = [](int Percent) { return Percent < 50 ? 1 : 0; };
  Run([&](TSeamCarvingForm& F) {
    Retype(F.NewWidthEdit, "12");
    user::Click(*F.ApplyButton);
    EXPECT_EQ(F.ModalResult(), mrNone);
    EXPECT_EQ(HostPixels(), Before);
    EXPECT_EQ(Screen->Cursor(), TCursor::crDefault);
    EXPECT_GT(F.Engine()->Width, 12); // the seams removed so far stay removed
    user::Click(*F.CancelButton);
  });
#ifndef _WIN32
  EXPECT_TRUE(headless::ShownMessages().empty()); // the abort is silent
#endif
}
