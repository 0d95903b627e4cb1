// The styled forms in real windows (Win32 only): a message form found by its caption and
// answered with keys and clicks from another thread, and the caption a styled form paints
// on the screen on systems that get one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "equipment/shown_window_win32.h"
#include "equipment/user_input.h"
#include "styled_forms/menu_item_ex.h"
#include "styled_forms/message_form.h"
#include "toolkit/platform.h"
#include "toolkit/win32/backend_win32.h"

using namespace toolkit;

TEST(MessageFormWindow, FoundByCaptionShowsItsTextAndAnswersKeysAndClicks) {
  struct TCase {
    const char* What;
    std::function<void(HWND)> Answer;
    int Result;
  } Cases[] = {
      {"Enter", [](HWND Form) { PostKey(Form, VK_RETURN); }, mrYes},
      {"Escape", [](HWND Form) { PostKey(Form, VK_ESCAPE); }, mrCancel},
      {"a click on No", [](HWND Form) { PostClick(ChildButton(Form, "&No")); }, mrNo},
  };
  for (const TCase& C : Cases) {
    int Result = -1;
    const TShownWindow Shown = AnswerWindowDuring({"Confirm"}, C.Answer, [&] {
      Result = ShowMessageForm("Save the changes?", mkConfirmation, MessageButtons({btnYes, btnNo, btnCancel}), 0);
    });
    ASSERT_TRUE(Shown.Found) << C.What;
    EXPECT_EQ(Shown.Text, "Save the changes?");
    EXPECT_EQ(Result, C.Result) << C.What;
  }
}

namespace {
class TCaptionedForm : public TStyleForm {
public:
  TCaptionedForm() : TStyleForm(nullptr) {
    SetBorderStyle(TFormBorderStyle::bsSizeable);
    SetBounds(100, 100, 420, 160);
    SetCaption("Feature preserving resize");
  }
};

// Points across the caption as the screen shows them and as the form paints them (the
// screen's again where the form leaves the caption to the system): two in the bottom band's
// coloured part (it reaches at least a third of the way, below the text), one in the
// face-coloured part.
std::vector<std::pair<TColor, TColor>> CaptionPoints(TForm& F, bool Active) {
  win32::PumpWaiting();
  const TRect R = F.CaptionRect();
  TBitmap Painted;
  Painted.SetPixelFormat(TPixelFormat::pf32bit);
  Painted.SetSize(R.Width(), R.Height());
  const bool Own = F.PaintNonClient(Painted.Canvas(), Active);
  EXPECT_EQ(Own, UseStyle);
  HDC Dc = GetWindowDC(win32::Hwnd(F));
  std::vector<std::pair<TColor, TColor>> Seen;
  const int X = R.Width() / 3 - 10, H = R.Height();
  for (TPoint P : {TPoint{X, H - 1}, TPoint{X, H - 3}, TPoint{R.Width() - 80, 3}}) {
    const COLORREF Screen = GetPixel(Dc, R.Left + P.X, R.Top + P.Y);
    Seen.push_back({Screen & 0xFFFFFF, Own ? Painted.Pixel(P.X, P.Y) : Screen & 0xFFFFFF});
  }
  ReleaseDC(win32::Hwnd(F), Dc);
  return Seen;
}
} // namespace

TEST(StyleFormWindow, OlderSystemsShowTheFormsOwnCaptionOthersTheSystems) {
  // The Wine prefix of the "winxp" run ("winxp64" in 64-bit builds) reports Windows XP, so the
  // form's own caption is what that run checks.
  const char* WineVersion = std::getenv("FR_WINE_VERSION");
  if (WineVersion && std::string(WineVersion).starts_with("winxp")) {
    EXPECT_EQ(OsVersion().Major, 5);
  }
  TCaptionedForm Form;
  ASSERT_EQ(UseStyle, OsVersion().Major < 6);
  std::vector<std::pair<TColor, TColor>> Seen; // on screen, painted
  auto Compare = [&](TForm& F, bool Active) {
    const auto Points = CaptionPoints(F, Active);
    Seen.insert(Seen.end(), Points.begin(), Points.end());
  };
  SetModalDriver([&](TForm& F) {
    Compare(F, true);
    // Behind a message form the caption shows the inactive state.
    SetModalDriver([&](TForm&) {
      Compare(F, false);
      user::PressKey(vkReturn);
    });
    ShowMessageForm("Over the form", mkInformation, 0x20, 0);
    F.SetModalResult(mrOk);
  });
  Form.ShowModal();
  ASSERT_EQ(Seen.size(), 6u);
  for (const auto& [Screen, Painted] : Seen) EXPECT_EQ(Screen, Painted);
}

// Notes what the screen shows at a caption point each time the form starts painting its
// caption: the system's caption, if it painted one first, would show there.
class TWatchedCaptionForm : public TCaptionedForm {
public:
  bool Watching = false;
  std::vector<TColor> ShownBefore;
  TPoint Point() const { return {CaptionRect().Width() - 80, 3}; }
  bool PaintNonClient(TCanvas& Canvas, bool Active) override {
    if (Watching) {
      HDC Dc = GetWindowDC(win32::Hwnd(*this));
      ShownBefore.push_back(GetPixel(Dc, CaptionRect().Left + Point().X, CaptionRect().Top + Point().Y) & 0xFFFFFF);
      ReleaseDC(win32::Hwnd(*this), Dc);
    }
    return TCaptionedForm::PaintNonClient(Canvas, Active);
  }
};

TEST(StyleFormWindow, ActivationNeverShowsTheSystemsCaptionFirst) {
  if (!UseStyle) GTEST_SKIP() << "the system paints the caption here";
  TWatchedCaptionForm Form;
  std::vector<TColor> Ours; // the form's own painting of the point, inactive and active
  SetModalDriver([&](TForm& F) {
    win32::PumpWaiting();
    for (bool Active : {false, true}) {
      TBitmap Painted;
      Painted.SetPixelFormat(TPixelFormat::pf32bit);
      Painted.SetSize(F.CaptionRect().Width(), F.CaptionRect().Height());
      F.PaintNonClient(Painted.Canvas(), Active);
      Ours.push_back(Painted.Pixel(Form.Point().X, Form.Point().Y));
    }
    Form.Watching = true;
    SetModalDriver([&](TForm&) { user::PressKey(vkReturn); });
    ShowMessageForm("Over the form", mkInformation, 0x20, 0);
    win32::PumpWaiting();
    Form.Watching = false;
    F.SetModalResult(mrOk);
  });
  Form.ShowModal();
  ASSERT_EQ(Ours.size(), 2u);
  ASSERT_FALSE(Form.ShownBefore.empty());
  for (TColor Shown : Form.ShownBefore) EXPECT_TRUE(Shown == Ours[0] || Shown == Ours[1]) << std::hex << Shown;
}

TEST(StyleFormWindow, BarItemsBorderBandAndANewCaptionShowAsTheFormPaintsThem) {
  const TOsVersion Version = OsVersion();
  const bool StyledItems = Version.Major > 4 && Version.Minor > 0;
  constexpr TColor Band = 0x808000, Own = 0x00C000;
  TCaptionedForm Form;
  Form.SetBorderWidth(6);
  Form.SetColor(Band);
  auto* Menu = new TMainMenu(&Form);
  auto* File = new TMenuItem(&Form);
  File->SetCaption("&File");
  Menu->Items().Add(File);
  auto* Drawn = new TMenuItem(&Form);
  Drawn->SetCaption("&Own");
  Drawn->SetOnDrawItem([&](TObject*, TCanvas& Canvas, const TRect& Rect, TOwnerDrawState) {
    Canvas.BrushColor = Own;
    Canvas.FillRect(Rect);
  });
  Menu->Items().Add(Drawn);
  Form.SetMenu(Menu);
  SetModalDriver([&](TForm& F) {
    HWND Window = win32::Hwnd(F);
    // The state the system draws the styled item in, to paint it alike below.
    TOwnerDrawState FileState = 0;
    if (StyledItems) {
      const TMenuDrawItemEvent Styled = File->OnDrawItem();
      File->SetOnDrawItem([&, Styled](TObject* Sender, TCanvas& Canvas, const TRect& Rect, TOwnerDrawState State) {
        FileState = State;
        Styled(Sender, Canvas, Rect, State);
      });
      DrawMenuBar(Window);
    }
    const auto Bar = user::MenuBar(F);
    ASSERT_EQ(Bar.size(), 2u);
    EXPECT_EQ(Bar[0].OwnerDrawn, StyledItems);
    EXPECT_TRUE(Bar[1].OwnerDrawn);
    TBitmap Shown;
    user::MenuBarItemImage(F, 1, Shown);
    ASSERT_FALSE(Shown.Empty());
    EXPECT_EQ(Shown.Pixel(Shown.Width() / 2, Shown.Height() / 2), Own);
    if (StyledItems) {
      user::MenuBarItemImage(F, 0, Shown);
      TBitmap Painted;
      Painted.SetPixelFormat(TPixelFormat::pf32bit);
      Painted.SetSize(Shown.Width(), Shown.Height());
      TMenuItemEx::DrawTopLevel(*File, Painted.Canvas(), {0, 0, Shown.Width(), Shown.Height()}, FileState, false);
      int Different = 0;
      for (int Y = 0; Y < Shown.Height(); ++Y)
        for (int X = 0; X < Shown.Width(); ++X) Different += Shown.Pixel(X, Y) != Painted.Pixel(X, Y);
      EXPECT_EQ(Different, 0) << "of " << Shown.Width() << " x " << Shown.Height() << " in state " << FileState;
    }
    // The client area lies inside the band of the border width, under the bar.
    RECT Client;
    GetClientRect(Window, &Client);
    EXPECT_EQ(Client.right, F.ClientWidth());
    EXPECT_EQ(Client.bottom, F.ClientHeight());
    POINT Origin{0, 0};
    ClientToScreen(Window, &Origin);
    EXPECT_EQ(F.ClientToScreen({0, 0}), (TPoint{Origin.x, Origin.y}));
    const TRect Insets = F.FrameInsets();
    HDC Dc = GetWindowDC(Window);
    for (TPoint P : {TPoint{Insets.Left - 3, Insets.Top + 20}, TPoint{F.Width() / 2, Insets.Top - 2},
                     TPoint{F.Width() - Insets.Right + 5, F.Height() - Insets.Bottom + 5}})
      EXPECT_EQ(GetPixel(Dc, P.X, P.Y) & 0xFFFFFF, Band) << P.X << ", " << P.Y;
    ReleaseDC(Window, Dc);
    // A new caption text: no window region stays behind, and the screen shows the form's caption.
    F.SetCaption("Another caption");
    HRGN Region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(Window, Region), ERROR);
    DeleteObject(Region);
    for (const auto& [Screen, Painted] : CaptionPoints(F, true)) EXPECT_EQ(Screen, Painted);
    F.SetModalResult(mrOk);
  });
  Form.ShowModal();
}
