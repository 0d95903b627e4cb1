// The styled form on the headless platform: when it paints its own caption, how its frame
// adapts, and the caption bar's bands, bevels, buttons and text pixel by pixel.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "equipment/user_input.h"
#include "styled_forms/forms_test_support.h"
#include "styled_forms/menu_item_ex.h"
#include "styled_forms/message_form.h"
#include "styled_forms/message_form_reader.h"
#include "toolkit/idle_events.h"

using namespace toolkit;

namespace {

// A designed dialog of 400 x 120 outside, as made for frames of 3 pixels.
class TDesignedDialog : public TStyleForm {
public:
  explicit TDesignedDialog(TFormBorderStyle Style = TFormBorderStyle::bsDialog, int Width = 400) : TStyleForm(nullptr) {
    SetBorderStyle(Style);
    SetBounds(10, 20, Width, 120);
    SetCaption("Resize");
  }
};

struct TCaptionColors {
  TColor Bright, Dark, Face, Shade;
};

TCaptionColors Colors(bool Active) {
  const TColor Face = ColorToRGB(clBtnFace);
  return {ColorToRGB(Active ? clGradientActiveCaption : clGradientInactiveCaption),
          ColorToRGB(Active ? clActiveCaption : clInactiveCaption), Face, BlendColor(Face, clBlack, 1, 2)};
}

} // namespace

// ===== When a form paints its own caption =====

TEST(StyleSetting, OlderSystemsOfMoreThan256ColoursOnlyAndTheRegistryCanSayNo) {
  using enum TRegistryRoot;
  struct TCase {
    const char* What;
    int Major, Bits;
    std::optional<std::uint32_t> User, Machine;
    bool Styled;
  } Cases[] = {
      {"XP, true colour, no setting", 5, 32, {}, {}, true},
      {"16-bit colour", 5, 16, {}, {}, true},
      {"256 colours", 5, 8, {}, {}, false},
      {"major version 6", 6, 32, {}, {}, false},
      {"major version 10", 10, 32, {}, {}, false},
      {"the user's setting 0", 5, 32, 0u, {}, false},
      {"the machine's setting 0", 5, 32, {}, 0u, false},
      {"both settings 1", 5, 32, 1u, 1u, true},
      {"the user's 1 cannot overrule the machine's 0", 5, 32, 1u, 0u, false},
  };
  for (const TCase& C : Cases) {
    TPlatformScope Scope;
    headless::Platform().Version.Major = C.Major;
    headless::Platform().BitsPerPixel = C.Bits;
    TPlatformScope::SetUseStyleForm(rrCurrentUser, C.User);
    TPlatformScope::SetUseStyleForm(rrLocalMachine, C.Machine);
    UseStyle = true;
    ReadStyleSetting();
    EXPECT_EQ(UseStyle, C.Styled) << C.What;
    TDesignedDialog Form;
    EXPECT_EQ(PaintedCaption(Form, true) != nullptr, C.Styled) << C.What;
  }
}

TEST(StyleSetting, OnceOffStaysOffEvenWhenTheSystemWouldAllowIt) {
  TPlatformScope Scope;
  headless::Platform().BitsPerPixel = 8;
  UseStyle = true;
  ReadStyleSetting();
  headless::Platform().BitsPerPixel = 32;
  TDesignedDialog Form;
  Form.SystemColorsChanged(); // reads the setting again
  EXPECT_FALSE(UseStyle);
}

// ===== Frame =====

TEST(StyleFrame, DesignedFormsGrowByTheSystemsExtraFrameAndCaption) {
  using enum TFormBorderStyle;
  using enum TSystemMetric;
  struct TCase {
    const char* What;
    TFormBorderStyle Style;
    std::map<TSystemMetric, int> Metrics;
    int Width, Height;
  } Cases[] = {
      {"3-pixel dialog frame", bsDialog, {}, 400, 120},
      {"4-pixel dialog frame", bsDialog, {{smCxDlgFrame, 4}, {smCyDlgFrame, 4}}, 402, 122},
      {"single form, 4-pixel dialog frame", bsSingle, {{smCxDlgFrame, 4}, {smCyDlgFrame, 4}}, 402, 122},
      {"4-pixel sizing frame, 26-pixel caption", bsSizeable, {}, 400, 120},
      {"5-pixel sizing frame, 30-pixel caption", bsSizeable, {{smCxSizeFrame, 5}, {smCySizeFrame, 5}, {smCyCaption, 30}},
       402, 126},
      {"sizeable tool window, 20-pixel small caption", bsSizeToolWin, {{smCySmCaption, 20}}, 400, 122},
      {"no border", bsNone, {{smCxDlgFrame, 4}, {smCyDlgFrame, 4}}, 400, 120},
  };
  for (const TCase& C : Cases) {
    TPlatformScope Scope;
    headless::Platform().SystemMetrics = C.Metrics;
    TDesignedDialog Form(C.Style);
    Form.HandleNeeded();
    EXPECT_EQ(Form.Width(), C.Width) << C.What;
    EXPECT_EQ(Form.Height(), C.Height) << C.What;
    EXPECT_EQ(Form.Left(), 10) << C.What;
    Form.RecreateWnd(); // the adjustment happens once
    EXPECT_EQ(Form.Width(), C.Width) << C.What;
  }
}

TEST(StyleFrame, CentredFormStaysCentredAfterGrowing) {
  TPlatformScope Scope;
  headless::Platform().SystemMetrics = {{TSystemMetric::smCxDlgFrame, 4}, {TSystemMetric::smCyDlgFrame, 4}};
  TDesignedDialog Form;
  Form.Position = TPosition::poScreenCenter;
  SetModalDriver([](TForm& F) { F.SetModalResult(mrOk); });
  Form.ShowModal();
  EXPECT_EQ(Form.BoundsRect(), (TRect{(1024 - 402) / 2, (768 - 122) / 2, (1024 + 402) / 2, (768 + 122) / 2}));
}

TEST(StyleFrame, FormsPlacedByTheSystemOrBuiltOnTheFlyKeepTheirSize) {
  TPlatformScope Scope;
  headless::Platform().SystemMetrics = {{TSystemMetric::smCxDlgFrame, 4}, {TSystemMetric::smCyDlgFrame, 4}};
  TDesignedDialog Placed;
  Placed.Position = TPosition::poDefault;
  Placed.HandleNeeded();
  EXPECT_EQ(Placed.Width(), 400);
  TStyleForm OnTheFly(nullptr, TStyleForm::TBuiltOnTheFly{});
  OnTheFly.SetBounds(0, 0, 200, 100);
  OnTheFly.HandleNeeded();
  EXPECT_EQ(OnTheFly.Width(), 200);
}

TEST(StyleFrame, UnscaledFormOnAScreenOtherThan96DpiFallsBackToArial) {
  struct TCase {
    int Dpi;
    bool Scaled;
    int Charset;
    const char* Font;
  } Cases[] = {{120, false, 1, "Arial"}, {96, false, 1, "MS Sans Serif"},
               {120, true, 1, "MS Sans Serif"}, {120, false, 0, "MS Sans Serif"}};
  for (const TCase& C : Cases) {
    TPlatformScope Scope;
    headless::Platform().PixelsPerInch = C.Dpi;
    TDesignedDialog Form;
    TFont Font = Form.Font();
    Font.Charset = C.Charset;
    Form.SetFont(Font);
    Form.Scaled = C.Scaled;
    Form.HandleNeeded();
    EXPECT_EQ(Form.Font().Name, C.Font) << C.Dpi << " " << C.Scaled << " " << C.Charset;
  }
}

// ===== Caption colours and the plain caption bar =====

TEST(StyleCaption, BlendRoundsHalvesToEvenAndShadeIsHalfTheFace) {
  EXPECT_EQ(BlendColor(0x0000FF, 0, 1, 2), 0x000080u); // 127.5
  EXPECT_EQ(BlendColor(0x0000FD, 0, 1, 2), 0x00007Eu); // 126.5
  EXPECT_EQ(BlendColor(0x102030, 0x302010, 0, 25), 0x302010u);
  EXPECT_EQ(BlendColor(0x102030, 0x302010, 25, 25), 0x102030u);
  EXPECT_EQ(Brightness(0x0A246A), 2 * 0x6A + 3 * 0x24 + 0x0A);
}

TEST(StyleCaption, BandsStepDownToTheLeftWithBevelledSquaresBeyondEachStep) {
  TPlatformScope Scope;
  TDesignedDialog Form;
  for (bool Active : {true, false}) {
    const auto Bitmap = PaintedCaption(Form, Active);
    ASSERT_TRUE(Bitmap);
    const TCaptionColors C = Colors(Active);
    // A 394 x 26 caption of a dialog: bands of S = 7 rows; the bottom band is coloured up to
    // A = max(text 42 + 21, 394 div 3) = 131, each band above 7 pixels less.
    ASSERT_EQ(Bitmap->Width(), 394);
    ASSERT_EQ(Bitmap->Height(), 26);
    auto Band = [&](int Y) { return BlendColor(C.Dark, C.Bright, Y, 25); };
    auto Face = [&](int Y) { return BlendColor(C.Shade, C.Face, Y, 25); };
    EXPECT_EQ(Bitmap->Pixel(100, 25), C.Dark);
    EXPECT_EQ(Bitmap->Pixel(100, 22), Band(22));
    EXPECT_EQ(Bitmap->Pixel(131, 22), Face(22));
    EXPECT_EQ(Bitmap->Pixel(129, 22), Band(22));
    EXPECT_EQ(Bitmap->Pixel(130, 22), C.Dark);   // the step's right edge
    EXPECT_EQ(Bitmap->Pixel(126, 19), C.Bright); // the step's top edge
    EXPECT_EQ(Bitmap->Pixel(124, 15), Face(15)); // one band up ends 7 pixels earlier
    EXPECT_EQ(Bitmap->Pixel(123, 15), C.Dark);
    EXPECT_EQ(Bitmap->Pixel(60, 0), C.Bright);
    // Squares of the bottom band at A + S and A + 3S, of the next band at its own A + S.
    const TColor Fill = BlendColor(C.Dark, C.Bright, 22, 25);
    for (int X : {138, 152}) {
      EXPECT_EQ(Bitmap->Pixel(X, 19), C.Bright) << X;
      EXPECT_EQ(Bitmap->Pixel(X + 3, 22), Fill) << X;
      EXPECT_EQ(Bitmap->Pixel(X + 6, 25), C.Dark) << X;
    }
    EXPECT_EQ(Bitmap->Pixel(148, 22), Face(22));
    EXPECT_EQ(Bitmap->Pixel(131, 12), C.Bright);
    EXPECT_EQ(Bitmap->Pixel(134, 15), BlendColor(C.Dark, C.Bright, 15, 25));
    EXPECT_EQ(Bitmap->Pixel(145, 15), Face(15)); // the upper bands get one square only
    // The clipped top band (rows 0 to 4) has no square.
    EXPECT_EQ(Bitmap->Pixel(120, 2), Face(2));
  }
}

TEST(StyleCaption, TextSitsAfterTheIconInTheCaptionTextColourAndButtonsAtTheRight) {
  TPlatformScope Scope;
  for (bool Active : {true, false}) {
    for (TFormBorderStyle Style : {TFormBorderStyle::bsDialog, TFormBorderStyle::bsSizeable}) {
      TDesignedDialog Form(Style);
      const auto Bitmap = PaintedCaption(Form, Active);
      ASSERT_TRUE(Bitmap);
      const int H = Bitmap->Height(), W = Bitmap->Width();
      const bool Icon = Style == TFormBorderStyle::bsSizeable;
      // Text: the bold caption font's 7 x 13 cells, centred vertically, 2 pixels after the
      // icon (H - 2 square at 1, 1) or after the edge.
      const int TextLeft = Icon ? H + 1 : 2;
      const TColor TextColor = ColorToRGB(Active ? clCaptionText : clInactiveCaptionText);
      EXPECT_EQ(Bitmap->Pixel(TextLeft, 6), TextColor);
      EXPECT_EQ(Bitmap->Pixel(TextLeft + 5, 17), TextColor);
      EXPECT_NE(Bitmap->Pixel(TextLeft + 5, 18), TextColor);
      EXPECT_NE(Bitmap->Pixel(TextLeft + 6 * 7 + 1, 12), TextColor); // six letters only
      if (Icon) {
        EXPECT_EQ(Bitmap->Pixel(H / 2, H / 2), 0x808080u); // the headless application icon
      }
      // Buttons of 16 x 16 from 2 pixels off the right edge: close only on a dialog; close,
      // maximize and minimize on a sizeable form.
      const int Count = Icon ? 3 : 1;
      std::vector<int> Lefts = {W - 18};
      if (Icon) Lefts.push_back(W - 36), Lefts.push_back(W - 52);
      ASSERT_EQ(static_cast<int>(Lefts.size()), Count);
      for (int I = 0; I < Count; ++I) {
        EXPECT_EQ(Bitmap->Pixel(Lefts[I] + 8, 5 + 8), clBlack) << I;
        EXPECT_EQ(Bitmap->Pixel(Lefts[I] + 2, 7), clBlack) << I; // the headless button marker
      }
    }
  }
}

TEST(StyleCaption, LongCaptionIsCutWithAnEllipsisBeforeTheButtons) {
  TPlatformScope Scope;
  TDesignedDialog Form(TFormBorderStyle::bsDialog, 200);
  Form.SetCaption(std::string(40, 'W'));
  const auto Bitmap = PaintedCaption(Form, true);
  ASSERT_TRUE(Bitmap);
  // Text may run to 2 pixels before the close button at W - 18 = 176: 174 - 2 = 172 pixels,
  // 24 cells; "..." takes three of them.
  const TColor Text = ColorToRGB(clCaptionText);
  EXPECT_EQ(Bitmap->Pixel(2 + 23 * 7, 10), Text);
  EXPECT_NE(Bitmap->Pixel(2 + 24 * 7 + 2, 10), Text);
}

TEST(StyleCaption, NarrowCaptionIsColouredAcrossTheWholeWidth) {
  TPlatformScope Scope;
  // The text is 42 pixels wide; a caption narrower than 42 + 81 has no face-coloured part
  // in the bottom band.
  for (int Width : {128, 120}) {
    TDesignedDialog Form(TFormBorderStyle::bsDialog, Width);
    const auto Bitmap = PaintedCaption(Form, true);
    ASSERT_TRUE(Bitmap);
    const TCaptionColors C = Colors(true);
    const bool Narrow = Bitmap->Width() < 42 + 81;
    EXPECT_EQ(Bitmap->Pixel(70, 24) == BlendColor(C.Dark, C.Bright, 24, 25), Narrow) << Width;
  }
}

TEST(StyleCaption, SystemColourChangeReloadsTheColoursBrightFirst) {
  TPlatformScope Scope;
  TDesignedDialog Form;
  // A gradient end darker than the caption colour: the two are swapped, bright on top.
  headless::Platform().SystemColors = {{27, 0x200000}, {2, 0x00F0F0}};
  Form.SystemColorsChanged();
  const auto Bitmap = PaintedCaption(Form, true);
  ASSERT_TRUE(Bitmap);
  EXPECT_EQ(Bitmap->Pixel(60, 0), 0x00F0F0u);
  EXPECT_EQ(Bitmap->Pixel(60, 25), 0x200000u);
}

// ===== Themed caption =====

TEST(StyleCaption, ThemedCaptionOnlyWithRoomAndNeverForToolWindows) {
  TPlatformScope Scope;
  headless::Platform().VisualStyles = true;
  DropCaptionTexture();
  TDesignedDialog Wide;
  const auto Bitmap = PaintedCaption(Wide, true);
  ASSERT_TRUE(Bitmap);
  EXPECT_FALSE(BrightTheme());
  // Headless theme parts are fills; the texture's grey comes from the inactive caption,
  // (2 x 40 + 3 x 120 + 128 + 3) div 5 = 114; the decorated part darkens the active caption.
  const TColor Element = 40 | 60 << 8 | 0x80 << 16;
  EXPECT_EQ(Bitmap->Pixel(Bitmap->Width() - 40, 2), (40 * 114 / 255) | (60 * 114 / 255) << 8 | (128 * 114 / 255) << 16);
  EXPECT_EQ(Bitmap->Pixel(Bitmap->Width() / 3 - 1, 1), Element);
  TDesignedDialog Narrow(TFormBorderStyle::bsDialog, 130); // room 124 - 2 x 29 - 18 < 42 + 21
  EXPECT_FALSE(PaintedCaption(Narrow, true));
  TDesignedDialog Tool(TFormBorderStyle::bsToolWindow);
  EXPECT_FALSE(PaintedCaption(Tool, true));
  DropCaptionTexture();
}

// ===== Behaviour =====

TEST(StyleBehaviour, CursorsOverBordersWithStyleAndTheScreensCursorOverTheCaption) {
  TPlatformScope Scope;
  TDesignedDialog Form;
  struct TCase {
    int HitTest;
    bool Chosen;
    TCursor Cursor;
  } Cases[] = {{htLeft, true, TCursor::crSizeWE},        {htBottom, true, TCursor::crSizeNS},
               {htTopLeft, true, TCursor::crSizeNWSE},   {htBottomLeft, true, TCursor::crSizeNESW},
               {htCaption, true, TCursor::crHourGlass}, {htClose, true, TCursor::crHourGlass},
               {htClient, false, TCursor::crDefault}};
  const TBusyCursor Busy;
  for (bool Styled : {true, false}) {
    UseStyle = Styled;
    for (const TCase& C : Cases) {
      TCursor Cursor = TCursor::crDefault;
      const bool Border = C.HitTest >= htLeft && C.HitTest <= htBottomRight;
      const bool Expected = C.Chosen && (Styled || !Border);
      EXPECT_EQ(Form.CursorAt(C.HitTest, Cursor), Expected) << C.HitTest << " styled " << Styled;
      if (Expected) {
        EXPECT_EQ(Cursor, C.Cursor) << C.HitTest;
      }
    }
  }
}

TEST(StyleBehaviour, MinimizingASecondaryFormMinimizesTheApplication) {
  TPlatformScope Scope;
  TDesignedDialog Main, Other;
  Main.HandleNeeded();
  EXPECT_FALSE(Other.SystemCommand(scMinimize)); // no main form: the system minimizes it
  Application->MainForm = &Main;
  EXPECT_FALSE(Main.SystemCommand(scMinimize));
  EXPECT_FALSE(Other.SystemCommand(scClose));
  EXPECT_TRUE(headless::Platform().Minimized.empty());
  EXPECT_TRUE(Other.SystemCommand(scMinimize));
  EXPECT_EQ(headless::Platform().Minimized, std::vector<const TControl*>{&Main});
  Application->MainForm = nullptr;
}

TEST(StyleBehaviour, KeyboardCueChangeRepaintsTheButtonsAtIdleOnNewerSystemsOnly) {
  TPlatformScope Scope;
  for (int Major : {5, 6}) {
    headless::Platform().Version.Major = Major;
    TDesignedDialog Form;
    Form.KeyboardCuesChanged();
    EXPECT_EQ(IdleMulticast() != nullptr, Major >= 6) << Major;
    Application->DoIdle(); // the one-shot action runs and goes
    EXPECT_EQ(IdleMulticast(), nullptr);
  }
}

TEST(StyleBehaviour, EveryFormMadePutsBackTheReportsErrorEvent) {
  TPlatformScope Scope;
  std::vector<std::string> Reported;
  SetStyleFormReport({nullptr, [&](TObject*, const Exception& E) { Reported.push_back(E.Message()); }});
  Application->OnException = nullptr;
  TDesignedDialog Form;
  Dispatch(&Form, [] { throw Exception("Invalid bitmap size"); });
  SetStyleFormReport({});
  Application->OnException = nullptr;
  EXPECT_EQ(Reported, std::vector<std::string>{"Invalid bitmap size"});
}

// ===== Main menu =====

namespace {

constexpr TColor OwnColor = 0x808000;

// A styled form whose bar holds "&File" (with "&Open" in its menu), "&Own", which draws
// itself in one colour, and "&Help"; every click is logged.
struct TMenuForm {
  TDesignedDialog Form{TFormBorderStyle::bsSizeable};
  TMainMenu* Menu = new TMainMenu(&Form);
  std::vector<std::string> Clicks;
  int OwnDraws = 0;
  TMenuItem* Add(TMenuItem& Parent, const std::string& Caption) {
    auto* Item = new TMenuItem(&Form);
    Item->SetCaption(Caption);
    Item->OnClick = [this, Caption](TObject*) { Clicks.push_back(Caption); };
    Parent.Add(Item);
    return Item;
  }
  TMenuItem* File = Add(Menu->Items(), "&File");
  TMenuItem* Open = Add(*File, "&Open");
  TMenuItem* Own = Add(Menu->Items(), "&Own");
  TMenuItem* Help = Add(Menu->Items(), "&Help");

  explicit TMenuForm(bool RightToLeft = false) {
    Menu->SetRightToLeft(RightToLeft);
    Own->SetOnDrawItem([this](TObject*, TCanvas& Canvas, const TRect& Rect, TOwnerDrawState) {
      ++OwnDraws;
      Canvas.BrushColor = OwnColor;
      Canvas.FillRect(Rect);
    });
    Form.SetMenu(Menu);
    Form.HandleNeeded();
  }
};

} // namespace

TEST(StyleMenu, PlainBarItemsGetTheStyledDrawingOnVersion51AndTheLikeItemsWithTheirOwnKeepIt) {
  struct TCase {
    int Major, Minor;
    bool Styled;
  } Cases[] = {{4, 10, false}, {5, 0, false}, {5, 1, true}, {5, 2, true}, {6, 0, false}, {6, 1, true}};
  for (const TCase& C : Cases) {
    TPlatformScope Scope;
    headless::Platform().Version = {C.Major, C.Minor, 0};
    TMenuForm M;
    const auto& Bar = headless::MenuBar(M.Form);
    ASSERT_EQ(Bar.size(), 3u);
    EXPECT_EQ(Bar[0].OwnerDraw, C.Styled) << C.Major << "." << C.Minor;
    EXPECT_TRUE(Bar[1].OwnerDraw);
    EXPECT_EQ(Bar[2].OwnerDraw, C.Styled) << C.Major << "." << C.Minor;
    EXPECT_FALSE(Bar[0].Items.at(0).OwnerDraw); // items in the bar's menus keep the system's look
    TBitmap Image;
    ASSERT_TRUE(headless::DrawMenuBarItem(M.Form, 1, odSelected, Image));
    EXPECT_EQ(Image.Pixel(1, 1), OwnColor);
    EXPECT_EQ(M.OwnDraws, 1);
    EXPECT_EQ(headless::DrawMenuBarItem(M.Form, 0, odSelected, Image), C.Styled);
    if (C.Styled) {
      EXPECT_EQ(Image.Pixel(1, 1), ColorToRGB(clHighlight));
    }
  }
}

TEST(StyleMenu, StyledBarItemShowsItsStateMirrorsRightToLeftAndIsChosenAsAnyItem) {
  TPlatformScope Scope;
  const TColor Menu = ColorToRGB(clMenu), Highlight = ColorToRGB(clHighlight), White = ColorToRGB(clHighlightText),
               Grey = ColorToRGB(clGrayText), Light = ColorToRGB(clBtnHighlight), Shadow = ColorToRGB(clBtnShadow);
  // "File" in the menu font's 6 x 13 cells, centred in an item of 24 + 8 by 19 pixels: the
  // F's box from (4, 3), its underline on row 15; (0, 9) and (31, 9) are the side edges.
  struct TCase {
    const char* What;
    bool RightToLeft;
    TOwnerDrawState State;
    TColor Back, Text, Underline, Left, Right;
  } Cases[] = {
      {"plain", false, 0, Menu, clBlack, clBlack, Menu, Menu},
      {"selected", false, odSelected, Highlight, White, White, Highlight, Highlight},
      {"accelerators hidden", false, odNoAccel, Menu, clBlack, Menu, Menu, Menu},
      {"greyed", false, odGrayed | odDisabled, Menu, Grey, Grey, Menu, Menu},
      {"hot", false, odHotLight, Menu, clBlack, clBlack, Light, Shadow},
      {"hot, right to left", true, odHotLight, Menu, clBlack, clBlack, Shadow, Light},
  };
  for (const TCase& C : Cases) {
    TMenuForm M(C.RightToLeft);
    TBitmap Image;
    ASSERT_TRUE(headless::DrawMenuBarItem(M.Form, 0, C.State, Image)) << C.What;
    ASSERT_EQ(Image.Width(), 32);
    ASSERT_EQ(Image.Height(), 19);
    EXPECT_EQ(Image.Pixel(2, 1), C.Back) << C.What;
    EXPECT_EQ(Image.Pixel(5, 5), C.Text) << C.What;
    EXPECT_EQ(Image.Pixel(6, 15), C.Underline) << C.What;
    EXPECT_EQ(Image.Pixel(0, 9), C.Left) << C.What;
    EXPECT_EQ(Image.Pixel(31, 9), C.Right) << C.What;
  }
  // A caption wider than its item keeps its start in view: the left end, or right to left the
  // right end. In 21 pixels the four 6-pixel cells stand from 0, or from 21 - 24 = -3.
  TMenuForm M;
  for (bool RightToLeft : {false, true}) {
    TBitmap Narrow;
    Narrow.SetPixelFormat(TPixelFormat::pf32bit);
    Narrow.SetSize(21, 19);
    TMenuItemEx::DrawTopLevel(*M.File, Narrow.Canvas(), {0, 0, 21, 19}, 0, RightToLeft);
    EXPECT_EQ(Narrow.Pixel(2, 5), RightToLeft ? Menu : clBlack) << RightToLeft;
    EXPECT_EQ(Narrow.Pixel(20, 5), RightToLeft ? Menu : clBlack) << RightToLeft;
    EXPECT_EQ(Narrow.Pixel(19, 5), clBlack) << RightToLeft;
  }
  for (TMenuItem* Item : {M.File, M.Open, M.Own, M.Help}) user::ChooseMenuItem(*Item);
  EXPECT_EQ(M.Clicks, (std::vector<std::string>{"&Open", "&Own", "&Help"}));
}
