// One suite for both backends: built natively against the headless backend and in the win32
// preset against real windows under Wine. Everything here must hold on both.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/forms.h"
#include "toolkit/platform.h"
#include "toolkit/timer.h"
#include "equipment/user_input.h"

using namespace toolkit;

namespace {

// A component that writes its name into a log when it is freed.
template <typename Base> class TLogged : public Base {
public:
  TLogged(TComponent* Owner, std::vector<std::string>& Log, std::string Name)
      : Base(Owner), Log_(Log), LogName_(std::move(Name)) {}
  ~TLogged() override { Log_.push_back(LogName_); }

private:
  std::vector<std::string>& Log_;
  std::string LogName_;
};

// The dialog most tests drive: an edit, OK (default), Cancel (cancel) and Retry buttons.
struct TDialog {
  std::unique_ptr<TForm> Form = std::make_unique<TForm>(nullptr);
  TEdit* Edit = new TEdit(Form.get());
  TButton* Ok = new TButton(Form.get());
  TButton* Cancel = new TButton(Form.get());
  TButton* Retry = new TButton(Form.get());

  TDialog() {
    Form->SetCaption("Conformance");
    Form->SetBorderStyle(TFormBorderStyle::bsDialog);
    Form->Position = TPosition::poScreenCenter;
    Form->SetClientWidth(300);
    Form->SetClientHeight(120);
    Place(Edit, 10, 10, "text");
    Place(Ok, 10, 80, "OK");
    Place(Cancel, 100, 80, "Cancel");
    Place(Retry, 190, 80, "Retry");
    Ok->Default = true;
    Ok->ModalResult = mrOk;
    Cancel->Cancel = true;
    Cancel->ModalResult = mrCancel;
    Retry->ModalResult = mrRetry;
  }
  // A repeating speed button beside the edit, running OnClick on each click.
  TTimerSpeedButton* AddRepeatButton(std::function<void()> OnClick) {
    auto* Repeat = new TTimerSpeedButton(Form.get());
    Repeat->SetParent(Form.get());
    Repeat->SetBounds(280, 10, 15, 17);
    Repeat->OnClick = [OnClick](TObject*) { OnClick(); };
    return Repeat;
  }
  void Place(TControl* C, int X, int Y, const std::string& Text) {
    C->SetParent(Form.get());
    C->SetBounds(X, Y, 80, 24);
    C->SetText(Text);
  }
  // Shows the form modally with Driver acting inside the loop; a driver that leaves the form
  // open has it closed with mrNone's neighbour mrAbort, so a wrong expectation fails fast.
  TModalResult Run(const std::function<void(TForm&)>& Driver) {
    SetModalDriver([Driver](TForm& F) {
      Driver(F);
      if (F.ModalResult() == mrNone) F.SetModalResult(mrAbort);
    });
    return Form->ShowModal();
  }
};

} // namespace

// ===== Ownership =====

TEST(Ownership, OwnerFreesWhatItOwnsNewestFirst) {
  std::vector<std::string> Log;
  auto* Owner = new TComponent(nullptr);
  new TLogged<TComponent>(Owner, Log, "a");
  new TLogged<TComponent>(Owner, Log, "b");
  new TLogged<TComponent>(Owner, Log, "c");
  delete Owner;
  EXPECT_EQ(Log, (std::vector<std::string>{"c", "b", "a"}));
}

TEST(Ownership, FreedComponentLeavesItsOwner) {
  std::vector<std::string> Log;
  TComponent Owner(nullptr);
  auto* A = new TLogged<TComponent>(&Owner, Log, "a");
  TComponent* B = new TLogged<TComponent>(&Owner, Log, "b");
  FreeAndNil(B);
  EXPECT_EQ(B, nullptr);
  ASSERT_EQ(Owner.ComponentCount(), 1);
  EXPECT_EQ(Owner.Components(0), A);
  TComponent* Null = nullptr;
  FreeAndNil(Null);
  EXPECT_EQ(Log, (std::vector<std::string>{"b"}));
}

TEST(Ownership, ChildCreatedBeforeItsParentIsFreedOnce) {
  // The edit is older than the group box it sits in: the form frees the box first, the box
  // takes the edit with it, and the form must not free the edit again.
  std::vector<std::string> Log;
  {
    TForm Form(nullptr);
    auto* Edit = new TLogged<TEdit>(&Form, Log, "edit");
    auto* Box = new TLogged<TGroupBox>(&Form, Log, "box");
    Box->SetParent(&Form);
    Edit->SetParent(Box);
    Form.HandleNeeded();
    EXPECT_TRUE(Edit->HandleAllocated());
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"box", "edit"}));
}

TEST(Ownership, FormFiresOnDestroyBeforeItsComponentsGo) {
  std::vector<std::string> Log;
  {
    auto Form = std::make_unique<TForm>(nullptr);
    new TLogged<TButton>(Form.get(), Log, "button");
    Form->OnDestroy = [&](TObject*) { Log.push_back("OnDestroy"); };
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"OnDestroy", "button"}));
}

TEST(Ownership, ParentCannotBeItsOwnDescendant) {
  TForm Form(nullptr);
  auto* Box = new TGroupBox(&Form);
  Box->SetParent(&Form);
  EXPECT_THROW(Form.SetParent(Box), EInvalidOperation);
}

// ===== Modal results =====

struct TModalCase {
  const char* Name;
  std::function<void(TDialog&)> Act;
  TModalResult Expected;
};

TEST(ModalResult, ComesFromTheButtonOrKeyTheUserUsed) {
  const std::vector<TModalCase> Cases = {
      {"click OK", [](TDialog& D) { user::Click(*D.Ok); }, mrOk},
      {"click Cancel", [](TDialog& D) { user::Click(*D.Cancel); }, mrCancel},
      {"Escape presses the cancel button", [](TDialog&) { user::PressKey(vkEscape); }, mrCancel},
      {"Enter in the edit presses the default button", [](TDialog&) { user::PressKey(vkReturn); }, mrOk},
      {"Enter presses the focused button, not the default",
       [](TDialog& D) {
         D.Retry->SetFocus();
         user::PressKey(vkReturn);
       },
       mrRetry},
      {"a disabled default button ignores Enter",
       [](TDialog& D) {
         D.Ok->SetEnabled(false);
         user::PressKey(vkReturn);
       },
       mrAbort},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TDialog D;
    EXPECT_EQ(D.Run([&](TForm&) { Case.Act(D); }), Case.Expected);
    EXPECT_FALSE(D.Form->Visible());
  }
}

TEST(ModalResult, OnCloseCanRefuseAndTheLoopGoesOn) {
  TDialog D;
  int Refusals = 0;
  std::vector<std::string> Log;
  D.Form->OnShow = [&](TObject*) { Log.push_back("show"); };
  D.Form->OnClose = [&](TObject*, TCloseAction& Action) {
    Log.push_back("close " + std::to_string(D.Form->ModalResult()));
    if (Refusals++ == 0) Action = TCloseAction::caNone;
  };
  // The loop decides after the driver returns; once refused, idle time presses OK.
  Application->OnIdle = [&](TObject*, bool&) {
    if (Refusals == 1 && D.Form->ModalResult() == mrNone) D.Ok->Click();
  };
  SetModalDriver([&](TForm&) {
    Log.push_back("driver");
    user::Click(*D.Cancel);
  });
  const TModalResult Result = D.Form->ShowModal();
  Application->OnIdle = nullptr;
  EXPECT_EQ(Result, mrOk);
  EXPECT_EQ(Log, (std::vector<std::string>{"show", "driver", "close 2", "close 1"}));
}

TEST(ModalResult, VisibleFormCannotGoModal) {
  TDialog D;
  D.Run([&](TForm& F) {
    EXPECT_THROW(F.ShowModal(), EInvalidOperation);
    user::Click(*D.Ok);
  });
}

TEST(ModalResult, ShowModalCanRunAgainAfterClosing) {
  TDialog D;
  EXPECT_EQ(D.Run([&](TForm&) { user::Click(*D.Ok); }), mrOk);
  EXPECT_EQ(D.Run([&](TForm&) { user::Click(*D.Retry); }), mrRetry);
}

// ===== Radio groups =====

TEST(RadioGroup, SettingItemIndexClicksOnlyOnARealChange) {
  TDialog D;
  auto* Group = new TRadioGroup(D.Form.get());
  Group->SetParent(D.Form.get());
  Group->SetBounds(10, 40, 200, 80);
  Group->SetItems({"One", "Two", "Three"});
  std::vector<int> Clicks;
  Group->OnClick = [&](TObject* Sender) {
    EXPECT_EQ(Sender, Group);
    Clicks.push_back(Group->ItemIndex());
  };
  Group->SetItemIndex(1);
  Group->SetItemIndex(1);
  Group->SetItemIndex(7);  // clamped to the last item
  Group->SetItemIndex(-1); // nothing checked: no click
  EXPECT_EQ(Clicks, (std::vector<int>{1, 2}));
  EXPECT_EQ(Group->ItemIndex(), -1);
}

TEST(RadioGroup, UserClickOnAnItemSetsItemIndexAndClicks) {
  TDialog D;
  auto* Group = new TRadioGroup(D.Form.get());
  Group->SetParent(D.Form.get());
  Group->SetBounds(10, 40, 200, 80);
  Group->SetItems({"One", "Two"});
  Group->SetItemIndex(0);
  int Clicks = 0;
  Group->OnClick = [&](TObject*) { ++Clicks; };
  D.Run([&](TForm&) {
    user::Click(*Group->Button(1));
    EXPECT_EQ(Group->ItemIndex(), 1);
    user::Click(*Group->Button(1)); // already checked
    Group->SetEnabled(false);
    user::Click(*Group->Button(0)); // disabled
    user::Click(*D.Ok);
  });
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(Group->ItemIndex(), 1);
}

// ===== Timers =====

TEST(Timer, FiresWhileEnabledAndNotAfterDisabling) {
  TComponent Owner(nullptr);
  auto* Timer = new TTimer(&Owner);
  int Ticks = 0;
  Timer->SetInterval(100);
  Timer->SetOnTimer([&](TObject* Sender) {
    EXPECT_EQ(Sender, Timer);
    ++Ticks;
  });
  user::Wait(350);
  EXPECT_GE(Ticks, 1);
  Timer->SetEnabled(false);
  const int Before = Ticks;
  user::Wait(250);
  EXPECT_EQ(Ticks, Before);
}

TEST(Timer, ReenablingRestartsTheInterval) {
  TComponent Owner(nullptr);
  auto* Timer = new TTimer(&Owner);
  int Ticks = 0;
  Timer->SetEnabled(false);
  Timer->SetInterval(400);
  Timer->SetOnTimer([&](TObject*) { ++Ticks; });
  Timer->SetEnabled(true);
  user::Wait(250);
  Timer->SetEnabled(false);
  Timer->SetEnabled(true);
  user::Wait(250); // 500 ms since the first start, 250 since the restart
  EXPECT_EQ(Ticks, 0);
  user::Wait(300);
  EXPECT_GE(Ticks, 1);
}

TEST(Timer, NeverFiresAfterItsOwnerIsGone) {
  int Ticks = 0;
  {
    TComponent Owner(nullptr);
    auto* Timer = new TTimer(&Owner);
    Timer->SetInterval(50);
    Timer->SetOnTimer([&](TObject*) { ++Ticks; });
  }
  user::Wait(200);
  EXPECT_EQ(Ticks, 0);
}

// ===== Errors in event handlers =====

TEST(Errors, HandlerErrorReachesOnExceptionAndTheLoopGoesOn) {
  TDialog D;
  std::vector<std::string> Reported;
  Application->OnException = [&](TObject* Sender, const Exception& E) {
    EXPECT_EQ(Sender, D.Retry);
    Reported.push_back(E.Message());
  };
  D.Retry->ModalResult = mrNone;
  D.Retry->OnClick = [](TObject*) { throw Exception("Invalid bitmap size"); };
  const TModalResult Result = D.Run([&](TForm&) {
    user::Click(*D.Retry);
    D.Retry->OnClick = [](TObject*) { throw EAbort(); }; // silent: never reported
    user::Click(*D.Retry);
    user::Click(*D.Ok);
  });
  Application->OnException = nullptr;
  EXPECT_EQ(Result, mrOk);
  EXPECT_EQ(Reported, (std::vector<std::string>{"Invalid bitmap size"}));
}

// ===== Idle =====

TEST(Idle, RunsWhenTheLoopRunsOutOfMessages) {
  TDialog D;
  bool Clicked = false;
  D.Retry->ModalResult = mrNone;
  D.Retry->OnClick = [&](TObject*) { Clicked = true; };
  int IdleAfterClick = 0;
  Application->OnIdle = [&](TObject* Sender, bool& Done) {
    EXPECT_EQ(Sender, Application);
    EXPECT_TRUE(Done);
    if (Clicked && IdleAfterClick++ == 0) D.Form->SetModalResult(mrYes);
  };
  // The driver returns with the form still open; only idle time can close it.
  SetModalDriver([&](TForm&) { user::Click(*D.Retry); });
  const TModalResult Result = D.Form->ShowModal();
  Application->OnIdle = nullptr;
  EXPECT_EQ(Result, mrYes);
  EXPECT_EQ(IdleAfterClick, 1);
}

// ===== Focus and tab order =====

TEST(Focus, TabFollowsTabOrderAndSkipsWhatCannotTakeFocus) {
  TDialog D;
  auto* Second = new TEdit(D.Form.get());
  D.Place(Second, 100, 10, "second");
  auto* Third = new TEdit(D.Form.get());
  D.Place(Third, 190, 10, "third");
  Third->SetTabOrder(0);
  D.Cancel->TabStop = false;
  D.Retry->SetVisible(false);
  std::vector<TWinControl*> Seen;
  D.Run([&](TForm& F) {
    Seen.push_back(F.ActiveControl());
    for (int I = 0; I < 3; ++I) {
      user::PressKey(vkTab);
      Seen.push_back(F.ActiveControl());
    }
    user::PressKey(vkTab, ssShift);
    Seen.push_back(F.ActiveControl());
    Second->SetEnabled(false);
    user::PressKey(vkTab);
    Seen.push_back(F.ActiveControl());
    EXPECT_TRUE(Seen.back()->Focused());
    F.SetModalResult(mrOk);
  });
  // Third (tab 0), Edit, OK, Second (added last), back to OK; with Second disabled OK wraps
  // round to Third.
  EXPECT_EQ(Seen, (std::vector<TWinControl*>{Third, D.Edit, D.Ok, Second, D.Ok, Third}));
}

TEST(Focus, ActiveControlIsFocusedOnShowAndHiddenControlsRefuseFocus) {
  TDialog D;
  D.Form->SetActiveControl(D.Cancel);
  D.Run([&](TForm& F) {
    EXPECT_TRUE(D.Cancel->Focused());
    EXPECT_EQ(Screen->ActiveForm(), &F);
    D.Retry->SetVisible(false);
    EXPECT_FALSE(D.Retry->CanFocus());
    EXPECT_THROW(D.Retry->SetFocus(), EInvalidOperation);
    EXPECT_TRUE(D.Cancel->Focused());
    F.SetModalResult(mrOk);
  });
}

TEST(Focus, TabIntoAnEditSelectsItsText) {
  TDialog D;
  D.Form->SetActiveControl(D.Ok);
  D.Run([&](TForm&) {
    user::PressKey(vkTab, ssShift);
    EXPECT_TRUE(D.Edit->Focused());
    EXPECT_EQ(D.Edit->SelStart(), 0);
    EXPECT_EQ(D.Edit->SelLength(), 4);
    D.Form->SetModalResult(mrOk);
  });
}

// ===== Edits =====

TEST(Edit, ChangeFiresForCodeAndForTypingButNotForTheSameText) {
  TDialog D;
  std::vector<std::string> Changes;
  D.Edit->OnChange = [&](TObject*) { Changes.push_back(D.Edit->Text()); };
  D.Edit->SetText("12");
  D.Edit->SetText("12");
  D.Run([&](TForm&) {
    D.Edit->SetFocus();
    D.Edit->SetSelection(2, 0);
    user::Type("5x");
    D.Form->SetModalResult(mrOk);
  });
  EXPECT_EQ(Changes, (std::vector<std::string>{"12", "125", "125x"}));
}

TEST(Edit, KeyHooksSeeKeysAndCanEatCharacters) {
  TDialog D;
  std::vector<int> Keys;
  D.Edit->OnKeyDown = [&](TObject*, int& Key, TShiftState) { Keys.push_back(Key); };
  D.Edit->OnKeyPress = [&](TObject*, char& Key) {
    if (Key == 'x') Key = 0;
  };
  D.Edit->SetText("");
  D.Run([&](TForm&) {
    D.Edit->SetFocus();
    user::PressKey(vkUp);
    user::Type("axb");
    user::PressKey(vkEscape);
  });
  EXPECT_EQ(D.Edit->Text(), "ab");
  EXPECT_EQ(Keys, (std::vector<int>{vkUp, vkEscape}));
}

TEST(Edit, KeysSelectionAndPasteEditTheTextAsAnEditWindowDoes) {
  TDialog D;
  int Changes = 0;
  D.Edit->OnChange = [&](TObject*) { ++Changes; };
  D.Edit->SetText("hello");
  struct TStep {
    std::function<void()> Act;
    std::string Text;
    int SelStart, SelLength;
  };
  const std::vector<TStep> Steps = {
      {[] { user::PressKey(vkEnd); }, "hello", 5, 0},
      {[] { user::Type("!"); }, "hello!", 6, 0},
      {[] { user::PressKey(vkHome); }, "hello!", 0, 0},
      {[] { user::PressKey(vkDelete); }, "ello!", 0, 0},
      {[] { user::PressKey(vkRight); user::PressKey(vkRight, ssShift); }, "ello!", 1, 1},
      {[] { user::Type("X"); }, "eXlo!", 2, 0},
      {[] { user::PressKey(vkEnd); user::Type("\b\b"); }, "eXl", 3, 0},
      {[] { user::PressKey(vkHome, ssShift); user::Paste("12.5"); }, "12.5", 4, 0},
      {[] { user::PressKey(vkLeft); user::PressKey(vkLeft); user::PressKey(vkBack); }, "1.5", 1, 0},
  };
  std::vector<std::string> Failures;
  D.Run([&](TForm&) {
    D.Edit->SetFocus();
    for (std::size_t I = 0; I < Steps.size(); ++I) {
      Steps[I].Act();
      if (D.Edit->Text() != Steps[I].Text || D.Edit->SelStart() != Steps[I].SelStart ||
          D.Edit->SelLength() != Steps[I].SelLength)
        Failures.push_back("step " + std::to_string(I) + ": \"" + D.Edit->Text() + "\" " +
                           std::to_string(D.Edit->SelStart()) + "+" + std::to_string(D.Edit->SelLength()));
    }
    D.Form->SetModalResult(mrOk);
  });
  EXPECT_EQ(Failures, std::vector<std::string>{});
  // One change per edit: the set text, "!", Delete, "X", two Backs, the paste, one Back.
  EXPECT_EQ(Changes, 8);
}

TEST(Edit, RecreatingTheWindowKeepsTextAndFocus) {
  TDialog D;
  D.Run([&](TForm&) {
    D.Edit->SetFocus();
    const auto Old = D.Edit->Handle();
    D.Edit->RecreateWnd();
    EXPECT_NE(D.Edit->Handle(), 0u);
    EXPECT_NE(D.Edit->Handle(), Old);
    EXPECT_EQ(D.Edit->Text(), "text");
    EXPECT_TRUE(D.Edit->Focused());
    D.Form->SetModalResult(mrOk);
  });
}

// ===== Mouse wheel, speed buttons, geometry =====

TEST(MouseWheel, UnhandledWheelBubblesToTheFormsEvent) {
  TDialog D;
  std::vector<int> Deltas;
  D.Form->OnMouseWheel = [&](TObject* Sender, TShiftState, int Delta, TPoint, bool& Handled) {
    EXPECT_EQ(Sender, D.Form.get());
    Deltas.push_back(Delta);
    Handled = true;
  };
  D.Run([&](TForm&) {
    D.Edit->SetFocus();
    user::TurnWheel(120, D.Edit->ClientToScreen({5, 5}));
    user::TurnWheel(-120, D.Edit->ClientToScreen({5, 5}));
    D.Form->SetModalResult(mrOk);
  });
  EXPECT_EQ(Deltas, (std::vector<int>{120, -120}));
}

TEST(SpeedButton, PressAndReleaseOverTheButtonClicks) {
  TDialog D;
  auto* Speed = new TSpeedButton(D.Form.get());
  Speed->SetParent(D.Form.get());
  Speed->SetBounds(280, 10, 15, 17);
  std::vector<std::string> Log;
  Speed->OnMouseDown = [&](TObject*, TPoint) { Log.push_back("down"); };
  Speed->OnMouseUp = [&](TObject*, TPoint) { Log.push_back("up"); };
  Speed->OnClick = [&](TObject*) { Log.push_back("click"); };
  D.Run([&](TForm&) {
    user::Click(*Speed);
    EXPECT_FALSE(Speed->Down());
    EXPECT_TRUE(D.Edit->Focused()); // a speed button never takes the focus
    D.Form->SetModalResult(mrOk);
  });
  EXPECT_EQ(Log, (std::vector<std::string>{"down", "up", "click"}));
}

TEST(SpeedButton, HoldingRepeatsTheClickUntilTheRelease) {
  TDialog D;
  int Clicks = 0;
  auto* Repeat = D.AddRepeatButton([&] { ++Clicks; });
  int WhileHeld = 0, AfterRelease = 0;
  D.Run([&](TForm&) {
    user::Press(*Repeat);
    user::Wait(300);
    EXPECT_EQ(Clicks, 0); // the first repeat waits 400 ms
    user::Wait(350);
    WhileHeld = Clicks;
    user::Release(*Repeat);
    AfterRelease = Clicks;
    user::Wait(300);
    D.Form->SetModalResult(mrOk);
  });
  // Nominally 400, 500 and 600 ms; real timers may run late but never early.
  EXPECT_GE(WhileHeld, 1);
  EXPECT_LE(WhileHeld, 3);
  EXPECT_EQ(AfterRelease, WhileHeld + 1);
  EXPECT_EQ(Clicks, AfterRelease);
}

TEST(SpeedButton, AnotherWindowTakingTheMouseEndsTheRepeat) {
  TDialog D;
  int Clicks = 0;
  auto* Repeat = D.AddRepeatButton([&] { ++Clicks; });
  D.Run([&](TForm&) {
    user::Press(*Repeat);
    EXPECT_TRUE(Repeat->Pressed());
    user::Click(*D.Retry); // the button captures the mouse while it is pressed
    D.Form->SetModalResult(mrNone);
    EXPECT_FALSE(Repeat->Pressed());
    user::Wait(700);
    D.Form->SetModalResult(mrOk);
  });
  EXPECT_EQ(Clicks, 0);
}

TEST(Geometry, ControlAtPosAndCoordinatesAgree) {
  TDialog D;
  auto* Label = new TLabel(D.Form.get());
  D.Place(Label, 10, 50, "label");
  Label->SetEnabled(false);
  EXPECT_EQ(D.Form->ControlAtPos({15, 85}, false, true), D.Ok);
  EXPECT_EQ(D.Form->ControlAtPos({15, 85}, false, false), nullptr);
  EXPECT_EQ(D.Form->ControlAtPos({15, 55}, false, false), nullptr);
  EXPECT_EQ(D.Form->ControlAtPos({15, 55}, true, false), Label);
  EXPECT_EQ(D.Form->ClientWidth(), 300);
  const TPoint Screen = D.Ok->ClientToScreen({3, 4});
  EXPECT_EQ(D.Form->ScreenToClient(Screen), (TPoint{13, 84}));
}

// ===== Resources =====

TEST(Resources, SpinGlyphsAreOliveWithABlackTriangle) {
  TBitmap Up, Down;
  Up.LoadFromResourceName("SpinUp");
  Down.LoadFromResourceName("SpinDown");
  ASSERT_EQ(Up.Width(), 9);
  ASSERT_EQ(Up.Height(), 6);
  EXPECT_EQ(Up.PixelFormat(), TPixelFormat::pf4bit);
  const char* Rows[] = {".........", "....#....", "...###...", "..#####..", ".#######.", "........."};
  for (int Y = 0; Y < 6; ++Y)
    for (int X = 0; X < 9; ++X) {
      const TColor Expected = Rows[Y][X] == '#' ? clBlack : clOlive;
      EXPECT_EQ(Up.Pixel(X, Y), Expected) << X << "," << Y;
      EXPECT_EQ(Down.Pixel(X, 5 - Y), Expected) << X << "," << Y;
    }
  TBitmap Missing;
  EXPECT_THROW(Missing.LoadFromResourceName("NoSuchGlyph"), EResNotFound);
}

// ===== Platform services =====

TEST(Platform, FileNamesVersionAndRegistryAnswerWithoutFailing) {
  EXPECT_GE(OsVersion().Major, 4);
  const std::string Program = ExecutableFileName();
  ASSERT_GT(Program.size(), 4u);
  EXPECT_EQ(Program.find_first_of("\\"), 2u) << Program; // a full name, C:\...
  EXPECT_FALSE(ModuleFileName().empty());
  EXPECT_TRUE(VersionResource("C:\\no\\such\\file.dll").empty());
  EXPECT_FALSE(ReadRegistryInteger(TRegistryRoot::rrCurrentUser, "Software\\No\\Such\\Key\\", "UseStyleForm"));
  EXPECT_TRUE(DecimalSeparator() == '.' || DecimalSeparator() == ',');
  DisableWindowGhosting();
}

// ===== Bitmaps and canvas =====

TEST(Bitmap, EveryFormatStoresTheColoursItCanHold) {
  struct TCase {
    TPixelFormat Format;
    int RowBytesFor9;
    TColor Colour; // exactly representable in the format (or its default palette)
  };
  const TCase Cases[] = {
      {TPixelFormat::pf1bit, 4, clWhite},     {TPixelFormat::pf4bit, 8, clOlive},
      {TPixelFormat::pf8bit, 12, 0x808080},   {TPixelFormat::pf15bit, 20, 0xFF0000},
      {TPixelFormat::pf16bit, 20, 0x00FF00},  {TPixelFormat::pf24bit, 28, 0x123456},
      {TPixelFormat::pf32bit, 36, 0xABCDEF},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(static_cast<int>(C.Format));
    TBitmap B;
    B.SetPixelFormat(C.Format);
    B.SetSize(9, 2);
    EXPECT_EQ(B.RowBytes(), C.RowBytesFor9);
    B.SetPixel(8, 1, C.Colour);
    EXPECT_EQ(B.Pixel(8, 1), C.Colour);
    EXPECT_EQ(B.Pixel(7, 1), clBlack); // neighbours untouched
    EXPECT_EQ(B.Pixel(9, 1), 0u);      // outside reads 0
  }
}

TEST(Bitmap, ConversionAndResizeKeepThePixels) {
  TBitmap B;
  B.SetPixelFormat(TPixelFormat::pf8bit);
  B.SetPalette({{0, 0, 0, 0}, {255, 0, 255, 0}, {10, 20, 30, 0}});
  B.SetSize(3, 2);
  B.ScanLine(0)[1] = 1;
  B.ScanLine(1)[2] = 2;
  B.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(B.Pixel(1, 0), 0xFF00FFu);
  EXPECT_EQ(B.Pixel(2, 1), 0x1E140Au);
  EXPECT_TRUE(B.Palette().empty());
  B.SetSize(2, 1);
  B.SetSize(4, 2);
  EXPECT_EQ(B.Pixel(1, 0), 0xFF00FFu);
  EXPECT_EQ(B.Pixel(2, 1), 0u); // cut away and grown back: zero
  B.SetPixelFormat(TPixelFormat::pf8bit); // into the grey palette: nearest grey
  EXPECT_EQ(B.Pixel(1, 0), 0xAAAAAAu);
}

TEST(Bitmap, BadSizesAndRowsAreRefusedAndTheBitmapIsKept) {
  TBitmap B;
  B.SetPixelFormat(TPixelFormat::pf24bit);
  B.SetSize(2, 2);
  B.SetPixel(1, 1, 0x010203);
  EXPECT_THROW(B.SetSize(-1, 5), EInvalidGraphic);
  EXPECT_THROW(B.SetSize(70000, 70000), EInvalidGraphic);
  EXPECT_EQ(B.Width(), 2);
  EXPECT_EQ(B.Pixel(1, 1), 0x010203u);
  EXPECT_THROW(B.ScanLine(2), EInvalidGraphic);
  EXPECT_THROW(B.ScanLine(-1), EInvalidGraphic);
  TIcon Icon;
  EXPECT_THROW(B.Assign(&Icon), Exception);
}

TEST(Canvas, LinesLeaveOutTheirEndAndFillsClip) {
  TBitmap B;
  B.SetPixelFormat(TPixelFormat::pf24bit);
  B.SetSize(5, 5);
  TCanvas& C = B.Canvas();
  C.BrushColor = clWhite;
  C.FillRect({-3, -3, 2, 2});
  EXPECT_EQ(B.Pixel(1, 1), clWhite);
  EXPECT_EQ(B.Pixel(2, 2), clBlack);
  C.PenColor = clMaroon;
  C.MoveTo(0, 4);
  C.LineTo(4, 4);
  EXPECT_EQ(B.Pixel(3, 4), clMaroon);
  EXPECT_EQ(B.Pixel(4, 4), clBlack);
}

// ===== Menus =====

TEST(MainMenu, BarShowsTheItemsDrawsOwnerDrawnOnesThroughTheirHandlerAndChoosingClicks) {
  TDialog D;
  auto* Menu = new TMainMenu(D.Form.get());
  std::vector<std::string> Chosen;
  auto Add = [&](TMenuItem& Parent, const std::string& Caption) {
    auto* Item = new TMenuItem(D.Form.get());
    Item->SetCaption(Caption);
    Item->OnClick = [&Chosen, Caption](TObject*) { Chosen.push_back(Caption); };
    Parent.Add(Item);
    return Item;
  };
  TMenuItem* File = Add(Menu->Items(), "&File");
  TMenuItem* Open = Add(*File, "&Open");
  TMenuItem* Tools = Add(Menu->Items(), "&Tools");
  TMenuItem* Help = Add(Menu->Items(), "&Help");
  Help->SetEnabled(false);
  int Draws = 0;
  Tools->SetOnDrawItem([&](TObject*, TCanvas& Canvas, const TRect& Rect, TOwnerDrawState) {
    ++Draws;
    Canvas.BrushColor = 0x00C000;
    Canvas.FillRect(Rect);
  });
  const int ClientHeight = D.Form->ClientHeight();
  D.Form->SetMenu(Menu);
  EXPECT_EQ(D.Form->ClientHeight(), ClientHeight - Screen->SystemMetric(TSystemMetric::smCyMenu));
  D.Run([&](TForm& F) {
    using TShown = user::TShownMenuItem;
    EXPECT_EQ(user::MenuBar(F), (std::vector<TShown>{{"&File", false, true, 1}, {"&Tools", true, true, 0},
                                                     {"&Help", false, false, 0}}));
    TBitmap Image;
    user::MenuBarItemImage(F, 1, Image);
    ASSERT_FALSE(Image.Empty());
    EXPECT_EQ(Image.Pixel(Image.Width() / 2, Image.Height() / 2), 0x00C000u);
    EXPECT_GT(Draws, 0);
    // Items with a menu of their own and disabled ones cannot be chosen.
    for (TMenuItem* Item : {Open, Tools, Help, File}) user::ChooseMenuItem(*Item);
    EXPECT_EQ(Chosen, (std::vector<std::string>{"&Open", "&Tools"}));
    // Changes reach the bar while it is shown.
    Help->SetEnabled(true);
    Tools->SetOnDrawItem(nullptr);
    Open->SetCaption("&Open...");
    delete File;
    EXPECT_EQ(user::MenuBar(F), (std::vector<TShown>{{"&Tools", false, true, 0}, {"&Help", false, true, 0}}));
    user::ChooseMenuItem(*Help);
    EXPECT_EQ(Chosen.back(), "&Help");
    F.SetModalResult(mrOk);
  });
  delete Menu; // the bar goes with its menu
  EXPECT_EQ(D.Form->Menu(), nullptr);
  EXPECT_EQ(D.Form->ClientHeight(), ClientHeight);
}
