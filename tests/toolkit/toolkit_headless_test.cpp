// What only the headless backend promises: the fake font, the fake clock, refusing to run a
// modal form nobody can close, and the in-memory platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/forms.h"
#include "toolkit/headless/headless.h"
#include "toolkit/message_box.h"
#include "toolkit/platform.h"
#include "toolkit/timer.h"
#include "equipment/user_input.h"

using namespace toolkit;

TEST(HeadlessFont, MeasuresWithTheDocumentedFakeMetrics) {
  struct TCase {
    int Height;
    unsigned Style;
    const char* Text;
    TSize Expected;
  };
  const TCase Cases[] = {
      {-11, 0, "Scale", {30, 13}},     {-11, fsBold, "Scale", {35, 13}},
      {-16, 0, "OK", {16, 18}},        {0, 0, "abc", {18, 13}},
      {-11, 0, "", {0, 13}},
  };
  TCanvas Canvas;
  for (const auto& C : Cases) {
    Canvas.Font.Height = C.Height;
    Canvas.Font.Style = C.Style;
    EXPECT_EQ(Canvas.TextExtent(C.Text), C.Expected) << C.Text << " " << C.Height;
  }
}

TEST(HeadlessFont, WrappedTextBreaksBetweenWordsAndKeepsLineBreaks) {
  TCanvas Canvas; // 6 x 13 per character
  struct TCase {
    const char* Text;
    int MaxWidth;
    TSize Expected;
  };
  const TCase Cases[] = {
      {"one two three", 1000, {78, 13}},
      {"one two three", 40, {30, 39}},      // every word on its own line
      {"one two three", 45, {42, 26}},      // "one two" fits in 42
      {"unbreakable", 10, {66, 13}},        // a long word stands alone, wider than asked
      {"a\nb\r\nc", 100, {6, 39}},
      {"a\tb", 100, {54, 13}},              // the tab reaches 8 characters (48 pixels)
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Canvas.MeasureWrapped(C.Text, C.MaxWidth), C.Expected) << C.Text << " in " << C.MaxWidth;
}

TEST(HeadlessClock, TimersFireExactlyOnTheFakeClock) {
  TComponent Owner(nullptr);
  auto* Fast = new TTimer(&Owner);
  auto* Slow = new TTimer(&Owner);
  std::vector<std::pair<std::string, long long>> Log;
  Fast->SetInterval(100);
  Slow->SetInterval(250);
  Fast->SetOnTimer([&](TObject*) { Log.push_back({"fast", headless::Clock()}); });
  Slow->SetOnTimer([&](TObject*) { Log.push_back({"slow", headless::Clock()}); });
  const long long Start = headless::Clock();
  user::Wait(300);
  for (auto& Entry : Log) Entry.second -= Start;
  EXPECT_EQ(Log, (std::vector<std::pair<std::string, long long>>{
                     {"fast", 100}, {"fast", 200}, {"slow", 250}, {"fast", 300}}));
}

TEST(HeadlessClock, HeldSpeedButtonRepeatsAt400ThenEvery100) {
  TForm Form(nullptr);
  auto* Repeat = new TTimerSpeedButton(&Form);
  Repeat->SetParent(&Form);
  std::vector<long long> At;
  Repeat->OnClick = [&](TObject*) { At.push_back(headless::Clock()); };
  SetModalDriver([&](TForm& F) {
    const long long Start = headless::Clock();
    user::Press(*Repeat);
    user::Wait(650);
    user::Release(*Repeat);
    user::Wait(500);
    for (auto& T : At) T -= Start;
    F.SetModalResult(mrOk);
  });
  Form.ShowModal();
  EXPECT_EQ(At, (std::vector<long long>{400, 500, 600, 650}));
}

TEST(HeadlessModal, RefusesAFormNoDriverCouldClose) {
  TForm Form(nullptr);
  Form.SetCaption("Lonely");
  EXPECT_THROW(Form.ShowModal(), EInvalidOperation);
  EXPECT_FALSE(Form.Visible());
  SetModalDriver([](TForm&) {});
  EXPECT_THROW(Form.ShowModal(), EInvalidOperation);
  EXPECT_FALSE(Form.Visible());
  EXPECT_EQ(Screen->ActiveForm(), nullptr);
}

TEST(HeadlessModal, AMessageBoxIsModalTimersFireInItAndTheHeldMouseIsLetGo) {
  TForm Form(nullptr);
  auto* Button = new TButton(&Form);
  Button->SetParent(&Form);
  auto* Repeat = new TTimerSpeedButton(&Form);
  Repeat->SetParent(&Form);
  auto* Timer = new TTimer(&Form);
  Timer->SetInterval(100);
  int Ticks = 0, IdleRuns = 0;
  Timer->SetOnTimer([&](TObject*) { ++Ticks; });
  Application->OnIdle = [&](TObject*, bool&) { ++IdleRuns; };
  Button->OnClick = [&](TObject*) {
    headless::SetMessageBoxDriver([&] {
      EXPECT_FALSE(Repeat->Pressed());
      user::Wait(350);
    });
    ShowMessageBox("Busy", TMessageBoxKind::Information);
  };
  SetModalDriver([&](TForm& F) {
    user::Press(*Repeat);
    Button->Click();
    F.SetModalResult(mrOk);
  });
  Form.ShowModal();
  Application->OnIdle = nullptr;
  EXPECT_EQ(Ticks, 3);
  EXPECT_GE(IdleRuns, 3); // each tick inside the box is followed by idle time
  ASSERT_FALSE(headless::ShownMessages().empty());
  EXPECT_EQ(headless::ShownMessages().back().Text, "Busy");
}

TEST(HeadlessErrors, WithoutOnExceptionTheErrorIsShownAndAbortStaysSilent) {
  TForm Form(nullptr);
  auto* Button = new TButton(&Form);
  Button->SetParent(&Form);
  headless::ShownMessages().clear();
  SetModalDriver([&](TForm& F) {
    Button->OnClick = [](TObject*) { throw Exception("Unsupported pixel format"); };
    user::Click(*Button);
    Button->OnClick = [](TObject*) { throw EAbort(); };
    user::Click(*Button);
    F.SetModalResult(mrOk);
  });
  Form.ShowModal();
  ASSERT_EQ(headless::ShownMessages().size(), 1u);
  EXPECT_EQ(headless::ShownMessages()[0].Text, "Unsupported pixel format");
  EXPECT_EQ(headless::ShownMessages()[0].Kind, TMessageBoxKind::Error);
}

TEST(HeadlessErrors, AnOnExceptionThatFailsIsShownInstead) {
  headless::ShownMessages().clear();
  Application->OnException = [](TObject*, const Exception&) { throw Exception("handler broke"); };
  Dispatch(nullptr, [] { throw Exception("first"); });
  Application->OnException = nullptr;
  ASSERT_EQ(headless::ShownMessages().size(), 1u);
  EXPECT_EQ(headless::ShownMessages()[0].Text, "handler broke");
}

TEST(HeadlessPlatform, ServesWhatTheTestsSet) {
  const auto Key = "Software\\Quenfal\\";
  EXPECT_FALSE(ReadRegistryInteger(TRegistryRoot::rrCurrentUser, Key, "UseStyleForm"));
  headless::SetRegistryInteger(TRegistryRoot::rrCurrentUser, Key, "UseStyleForm", 0);
  EXPECT_EQ(ReadRegistryInteger(TRegistryRoot::rrCurrentUser, Key, "UseStyleForm"), 0u);
  EXPECT_FALSE(ReadRegistryInteger(TRegistryRoot::rrLocalMachine, Key, "UseStyleForm"));
  headless::SetRegistryInteger(TRegistryRoot::rrCurrentUser, Key, "UseStyleForm", std::nullopt);

  headless::SetVersionResource("a.dll", {1, 2, 3});
  EXPECT_EQ(VersionResource("a.dll"), (std::vector<std::uint8_t>{1, 2, 3}));
}
