// Value edits on both backends: headless natively, real EDIT windows under Wine.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "value_edits/format_float.h"
#include "value_edits/value_edit.h"
#include "equipment/user_input.h"

using namespace controls;

namespace {

// A form with two integer edits with spin buttons (Min 3, Max 111, step 2 as the dialog's
// window size; 0..100 step 1), a plain integer edit and a float edit, and an OK button.
struct TValueForm {
  std::unique_ptr<TForm> Form = std::make_unique<TForm>(nullptr);
  TIntegerEdit* Window = new TIntegerEdit(Form.get());
  TIntegerEdit* Percent = new TIntegerEdit(Form.get());
  TIntegerEdit* Plain = new TIntegerEdit(Form.get());
  TFloatEdit* Float = new TFloatEdit(Form.get());
  TButton* Ok = new TButton(Form.get());
  std::vector<std::string> Fired; // "name=value" per OnChangeValue

  TValueForm() {
    Form->SetCaption("Values");
    Form->SetBorderStyle(TFormBorderStyle::bsDialog);
    Form->Position = TPosition::poScreenCenter;
    Form->SetClientWidth(300);
    Form->SetClientHeight(140);
    Place(Window, "window", 10);
    Place(Percent, "percent", 40);
    Place(Plain, "plain", 70);
    Place(Float, "float", 100);
    Window->SetMax(111);
    Window->SetMin(3);
    Window->SetSpinIncrement(2);
    Window->SetValue(5);
    Percent->SetSpinIncrement(1);
    Ok->SetParent(Form.get());
    Ok->SetBounds(200, 100, 75, 25);
    Ok->ModalResult = mrOk;
    Ok->Default = true;
  }
  void Place(TValueEdit* Edit, const std::string& Name, int Top) {
    Edit->SetParent(Form.get());
    Edit->SetBounds(10, Top, 80, 21);
    Edit->OnChangeValue = [this, Edit, Name](TObject*) {
      const std::string V = Edit == Float ? std::to_string(static_cast<double>(Float->Value()))
                                          : std::to_string(static_cast<TIntegerEdit*>(Edit)->Value());
      Fired.push_back(Name + "=" + V);
    };
  }
  void Run(const std::function<void()>& Driver) {
    SetModalDriver([Driver](TForm& F) {
      Driver();
      F.SetModalResult(mrOk);
    });
    Form->ShowModal();
  }
};

// Replaces the whole text of an edit as the user would: focus, select all, paste.
void Retype(TValueEdit* Edit, const std::string& Text) {
  Edit->SetFocus();
  Edit->SelectAll();
  user::Paste(Text);
}

} // namespace

// ===== Typed text =====

TEST(ValueEdit, TypedTextFiresExactlyAsTheValueChanges) {
  struct TCase {
    int Start;
    const char* Typed; // typed key by key after selecting all
    bool Paste;
    int Value;
    bool Valid;
    std::vector<std::string> Fired;
  };
  const std::vector<TCase> Cases = {
      {100, "150", true, 100, false, {}},                                       // clamp, same value
      {50, "150", true, 100, false, {"plain=100"}},                             // clamp, new value
      {50, "150", false, 100, false, {"plain=1", "plain=15", "plain=100"}},     // key by key
      {50, "abc", false, 50, false, {"plain=50"}},                              // once on going bad
      {50, "12", true, 12, true, {"plain=12"}},                                 // in range: fires
      {12, "6*2", true, 12, true, {"plain=12"}},                                // even when equal
      {50, "10/4*2", true, 5, true, {"plain=5"}},
      {50, "10/4", true, 50, false, {"plain=50"}},                              // not an integer
      {50, "2^31", true, 50, false, {"plain=50"}},                              // beyond 32 bits
      {50, "7.00005", true, 7, true, {"plain=7"}},
      {50, "$1F", true, 31, true, {"plain=31"}},
  };
  for (const TCase& C : Cases) {
    TValueForm F;
    F.Plain->SetValue(C.Start);
    F.Run([&] {
      F.Plain->SetFocus();
      F.Plain->SelectAll();
      if (C.Paste) user::Paste(C.Typed);
      else user::Type(C.Typed);
    });
    SCOPED_TRACE(C.Typed);
    EXPECT_EQ(F.Plain->Text(), C.Typed);
    EXPECT_EQ(F.Plain->Value(), C.Value);
    EXPECT_EQ(F.Plain->TextValid(), C.Valid);
    EXPECT_EQ(F.Plain->Font().Color, C.Valid ? clWindowText : TColor{0x000080});
    EXPECT_EQ(F.Fired, C.Fired);
  }
}

TEST(ValueEdit, UnusableTextStaysUntilEditedAndValueSettersRewriteIt) {
  TValueForm F;
  F.Run([&] {
    Retype(F.Plain, "abc");
    user::Type("d");                  // still unusable: nothing more fires
    user::PressKey(vkTab);            // leaving does not rewrite the text
    EXPECT_EQ(F.Plain->Text(), "abcd");
    Retype(F.Float, "10/4");
    F.Float->SetValue(2.5L);          // same value, valid text: left as typed
    EXPECT_EQ(F.Float->Text(), "10/4");
    Retype(F.Float, "x");
    F.Float->SetValue(2.5L);          // invalid text: rewritten in the normal colour
    EXPECT_EQ(F.Float->Text(), "2.5");
    EXPECT_TRUE(F.Float->TextValid());
    F.Plain->SetValue(7);
  });
  EXPECT_EQ(F.Plain->Text(), "7");
  EXPECT_EQ(F.Plain->Font().Color, clWindowText);
  EXPECT_EQ(F.Fired, (std::vector<std::string>{"plain=0", "float=2.500000", "float=2.500000"}));
}

TEST(ValueEdit, FloatTextReadsBothSeparatorsAndShowsThePicture) {
  TValueForm F;
  F.Float->SetValue(33.3333L);
  EXPECT_EQ(F.Float->Text(), "33.33");
  F.Run([&] {
    Retype(F.Float, "12,5");
    EXPECT_EQ(F.Float->Value(), 12.5L);
    Retype(F.Float, "12.5");
    EXPECT_EQ(F.Float->Value(), 12.5L);
  });
  const struct {
    const char* Picture;
    long double Value;
    const char* Text;
  } Pictures[] = {{"0.##", 100, "100"}, {"0.##", 12.5L, "12.5"}, {"0.##", 2.675L, "2.68"},
                  {"0.##", -0.001L, "0"}, {"0.00", 3, "3.00"},  {"0.##", 99.999L, "100"},
                  {"0.##", 1e-7L, "0"},   {"#.##", 0.5L, ".5"}};
  for (const auto& P : Pictures) EXPECT_EQ(FormatFloat(P.Picture, P.Value, '.'), P.Text) << P.Picture;
  EXPECT_EQ(FormatFloat("0.##", 12.5L, ','), "12,5");
}

TEST(ValueEdit, SimpleValueReadsOnlyPlainNumbers) {
  const struct {
    const char* Text;
    bool Ok;
    int Value;
  } Integers[] = {{"  -42", true, -42}, {"$FF", true, 255}, {"0x10", true, 16}, {"X1f", true, 31},
                  {"$FFFFFFFF", true, -1}, {"2147483648", false, 0}, {"-2147483648", true, INT_MIN},
                  {"1+1", false, 0}, {"", false, 0}, {"12 ", false, 0}, {"$", false, 0}};
  for (const auto& C : Integers) {
    int V = 0;
    EXPECT_EQ(ReadSimpleInteger(C.Text, V), C.Ok) << C.Text;
    if (C.Ok) {
      EXPECT_EQ(V, C.Value) << C.Text;
    }
  }
  long double F = 0;
  EXPECT_TRUE(ReadSimpleFloat("1,5e2", F));
  EXPECT_EQ(F, 150.0L);
  for (const char* Bad : {"pi", "1.2.3", "0x10", "inf", "e5", "1e", ""}) EXPECT_FALSE(ReadSimpleFloat(Bad, F)) << Bad;
}

// ===== Stepping =====

TEST(ValueEdit, StepsByKeysButtonsAndWheelClampAndAlwaysFire) {
  TValueForm F;
  F.Run([&] {
    F.Window->SetFocus();
    user::PressKey(vkUp);                                  // 5 -> 7
    user::Click(*F.Window->UpButton());                    // 9
    user::Click(*F.Window->DownButton());                  // 7
    user::TurnWheel(120, F.Window->ClientToScreen({5, 5})); // 9
    F.Window->SetValue(111);
    user::PressKey(vkUp);                                  // clamped, still fires
    EXPECT_EQ(F.Window->SelStart(), 3);                    // caret at the end
    F.Plain->SetFocus();
    user::PressKey(vkUp);                                  // no spin button: no step
  });
  EXPECT_EQ(F.Fired, (std::vector<std::string>{"window=7", "window=9", "window=7", "window=9", "window=111"}));
  EXPECT_EQ(F.Plain->Value(), 0);
  EXPECT_EQ(F.Plain->SpinButton(), nullptr);
  EXPECT_FALSE(F.Plain->MultiLine());
  EXPECT_TRUE(F.Window->MultiLine());

  // Negative increments multiply and divide; integer division truncates.
  TValueForm G;
  G.Float->SetSpinIncrement(-2);
  G.Float->SetValue(3);
  G.Float->StepUp();
  EXPECT_EQ(G.Float->Value(), 6);
  G.Float->StepDown();
  EXPECT_EQ(G.Float->Value(), 3);
  G.Plain->SetSpinIncrement(-2);
  G.Plain->SetValue(7);
  G.Plain->StepDown();
  EXPECT_EQ(G.Plain->Value(), 3);
  // A step past the 32-bit range clamps instead of wrapping around to the minimum.
  G.Plain->SetMin(INT_MIN);
  G.Plain->SetMax(INT_MAX);
  G.Plain->SetValue(INT_MAX - 1);
  G.Plain->SetSpinIncrement(5);
  G.Plain->StepUp();
  EXPECT_EQ(G.Plain->Value(), INT_MAX);
}

TEST(ValueEdit, HoldingASpinHalfRepeatsAndFocusesTheEdit) {
  TValueForm F;
  F.Form->SetActiveControl(F.Ok);
  F.Run([&] {
    user::Press(*F.Percent->UpButton());
    EXPECT_TRUE(F.Percent->Focused());
    user::Wait(650); // 400 ms, then every 100 ms
    user::Release(*F.Percent->UpButton());
  });
  // Nominally 400, 500 and 600 ms plus the release; real timers may run late, never early.
  EXPECT_GE(F.Percent->Value(), 2);
  EXPECT_LE(F.Percent->Value(), 4);
}

TEST(ValueEdit, WheelStepsTheEditUnderThePointerOrElseTheFocusedOne) {
  TValueForm F;
  F.Run([&] {
    F.Plain->SetFocus();
    user::TurnWheel(120, F.Percent->ClientToScreen({5, 5}));   // focuses Percent, steps it
    EXPECT_TRUE(F.Percent->Focused());
    user::TurnWheel(-120, F.Window->ClientToScreen({5, 5}));   // Window: 5 -> 3
    F.Percent->SetEnabled(false);
    user::TurnWheel(120, F.Percent->ClientToScreen({5, 5}));   // disabled: Window steps itself
  });
  EXPECT_EQ(F.Fired, (std::vector<std::string>{"percent=1", "window=3", "window=5"}));
  EXPECT_TRUE(F.Percent->UpButton()->Enabled() == false);
}

// ===== Spin button =====

TEST(ValueEdit, SpinHalvesOverlapInsideTheBorderWithTheTextKeptOffThem) {
  TValueForm F;
  F.Window->SetBounds(10, 10, 57, 21);
  const TSpinButton* Spin = F.Window->SpinButton();
  ASSERT_NE(Spin, nullptr);
  EXPECT_EQ(Spin->BoundsRect(), (TRect{57 - 15 - 4, 0, 57 - 4, 17}));
  EXPECT_EQ(F.Window->UpButton()->BoundsRect(), (TRect{0, 0, 15, 9}));
  EXPECT_EQ(F.Window->DownButton()->BoundsRect(), (TRect{0, 8, 15, 17}));
  EXPECT_EQ(F.Window->EditRect(), (TRect{0, 0, 53 - 15 - 1, 18}));
  // The glyph strip: the top row dropped, a greyed copy beside the normal image.
  const TBitmap& Glyph = F.Window->UpButton()->Glyph();
  ASSERT_EQ(Glyph.Width(), 18);
  ASSERT_EQ(Glyph.Height(), 5);
  EXPECT_EQ(Glyph.Pixel(4, 0), clBlack);       // the triangle's tip, now on row 0
  EXPECT_EQ(Glyph.Pixel(9 + 4, 0), 0x808080u); // greyed in the copy ...
  EXPECT_EQ(Glyph.Pixel(9 + 5, 0), clWhite);   // ... with a white pixel to its right
  EXPECT_EQ(Glyph.Pixel(9, 4), clOlive);
  F.Window->SetSpinIncrement(0);
  EXPECT_EQ(F.Window->SpinButton(), nullptr);
}

TEST(ValueEdit, RightAlignmentFallsBackWhileTheTextTakesMoreThanOneLine) {
  TValueForm F;
  F.Window->SetAlignment(TAlignment::taRightJustify);
  F.Run([&] {
    F.Window->SetFocus();
    F.Window->SelectAll();
    user::Paste("1\r\n2");
    EXPECT_EQ(F.Window->Alignment(), TAlignment::taLeftJustify);
    F.Window->SelectAll();
    user::Type("9");
    EXPECT_EQ(F.Window->Alignment(), TAlignment::taRightJustify);
    EXPECT_EQ(F.Window->Text(), "9");
  });
  EXPECT_EQ(F.Window->Value(), 9);
}
