// The styled forms in real windows (Win32 only): a message form found by its caption and
// answered with keys and clicks from another thread, and the caption a styled form paints
// on the screen on systems that get one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "equipment/shown_window_win32.h"
#include "equipment/user_input.h"
#include "forms/message_form.h"
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
} // namespace

TEST(StyleFormWindow, OlderSystemsShowTheFormsOwnCaptionOthersTheSystems) {
  // The Wine prefix of the "winxp" run reports Windows XP, so the form's own caption is what
  // that run checks.
  const char* WineVersion = std::getenv("FR_WINE_VERSION");
  if (WineVersion && std::string(WineVersion) == "winxp") {
    EXPECT_EQ(OsVersion().Major, 5);
  }
  TCaptionedForm Form;
  ASSERT_EQ(UseStyle, OsVersion().Major < 6);
  std::vector<std::pair<TColor, TColor>> Seen; // on screen, painted
  // Records points across the caption as the screen shows them and as the form paints them.
  auto Compare = [&](TForm& F, bool Active) {
    win32::PumpWaiting();
    const TRect R = F.CaptionRect();
    TBitmap Painted;
    Painted.SetPixelFormat(TPixelFormat::pf32bit);
    Painted.SetSize(R.Width(), R.Height());
    const bool Own = F.PaintNonClient(Painted.Canvas(), Active);
    EXPECT_EQ(Own, UseStyle);
    HDC Dc = GetWindowDC(win32::Hwnd(F));
    // Two points in the bottom band's coloured part (it reaches at least a third of the way,
    // below the text), one in the face-coloured part.
    const int X = R.Width() / 3 - 10, H = R.Height();
    for (TPoint P : {TPoint{X, H - 1}, TPoint{X, H - 3}, TPoint{R.Width() - 80, 3}}) {
      const COLORREF Screen = GetPixel(Dc, R.Left + P.X, R.Top + P.Y);
      Seen.push_back({Screen & 0xFFFFFF, Own ? Painted.Pixel(P.X, P.Y) : Screen & 0xFFFFFF});
    }
    ReleaseDC(win32::Hwnd(F), Dc);
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
