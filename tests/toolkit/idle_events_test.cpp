#include "toolkit/idle_events.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "equipment/user_input.h"

using namespace toolkit;

namespace {

// Every test starts and must end without a multicast, so no state leaks between them.
class IdleEvents : public ::testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(IdleMulticast(), nullptr);
    Application->OnIdle = nullptr;
  }
  static TIdleEvent Record(std::vector<std::string>& Log, std::string Name) {
    return [&Log, Name](TObject*, bool&) { Log.push_back(Name); };
  }
};

class TCountingButton : public TButton {
public:
  using TButton::TButton;
  void Repaint() override { ++Repaints; }
  int Repaints = 0;
};

} // namespace

TEST_F(IdleEvents, HandlersRunLastRegisteredFirstWithOneSharedDoneFlag) {
  std::vector<std::string> Log;
  int A, B, C;
  AddIdleHandler(&A, Record(Log, "a"));
  AddIdleHandler(&B, [&](TObject* Sender, bool& Done) {
    EXPECT_EQ(Sender, Application);
    Done = false;
    Log.push_back("b");
  });
  AddIdleHandler(&C, Record(Log, "c"));
  bool SeenByA = true;
  AddIdleHandler(&A, [&](TObject*, bool& Done) { SeenByA = Done; });
  Application->DoIdle();
  EXPECT_EQ(Log, (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_TRUE(SeenByA); // the last registered runs first, before b cleared the flag
  for (const void* Owner : {&A, &B, &C, &A}) RemoveIdleHandler(Owner);
}

TEST_F(IdleEvents, RemovingEveryHandlerClearsTheIdleEventAndRaisesTheGeneration) {
  int A, B;
  const std::uint32_t Before = IdleGeneration();
  AddIdleHandler(&A, [](TObject*, bool&) {});
  AddIdleHandler(&B, [](TObject*, bool&) {});
  ASSERT_NE(IdleMulticast(), nullptr);
  EXPECT_EQ(IdleMulticast()->Generation, Before);
  RemoveIdleHandler(&A);
  EXPECT_TRUE(static_cast<bool>(Application->OnIdle));
  RemoveIdleHandler(&B);
  EXPECT_EQ(IdleMulticast(), nullptr);
  EXPECT_FALSE(static_cast<bool>(Application->OnIdle));
  EXPECT_EQ(IdleGeneration(), Before + 1);
  RemoveIdleHandler(&A); // nothing left: ignored
}

TEST_F(IdleEvents, SameOwnerTwiceNeedsTwoRemovalsLaterOneFirst) {
  std::vector<std::string> Log;
  int Owner, Other;
  AddIdleHandler(&Owner, Record(Log, "first"));
  AddIdleHandler(&Owner, Record(Log, "second"));
  AddIdleHandler(&Other, Record(Log, "other"));
  RemoveIdleHandler(&Owner);
  Application->DoIdle();
  EXPECT_EQ(Log, (std::vector<std::string>{"other", "first"})); // "other" took the freed slot
  RemoveIdleHandler(&Owner);
  Log.clear();
  Application->DoIdle();
  EXPECT_EQ(Log, (std::vector<std::string>{"other"}));
  RemoveIdleHandler(&Other);
}

TEST_F(IdleEvents, EarlierIdleHandlerIsDroppedAndNotRestored) {
  int Earlier = 0;
  Application->OnIdle = [&](TObject*, bool&) { ++Earlier; };
  int Owner;
  AddIdleHandler(&Owner, [](TObject*, bool&) {});
  Application->DoIdle();
  RemoveIdleHandler(&Owner);
  Application->DoIdle();
  EXPECT_EQ(Earlier, 0);
  EXPECT_FALSE(static_cast<bool>(Application->OnIdle));
}

TEST_F(IdleEvents, HandlerFreeingItsActionLeavesTheOthersDispatched) {
  std::vector<std::string> Log;
  TComponent Owner(nullptr);
  int Early, Late;
  AddIdleHandler(&Early, Record(Log, "early"));
  auto* Action = new TActionOnIdle(&Owner);
  AddIdleHandler(Action, [&, Action](TObject*, bool&) {
    Log.push_back("action");
    delete Action;
  });
  AddIdleHandler(&Late, Record(Log, "late"));
  Application->DoIdle();
  EXPECT_EQ(Log, (std::vector<std::string>{"late", "action", "early"}));
  EXPECT_EQ(Owner.ComponentCount(), 0);
  RemoveIdleHandler(&Early);
  RemoveIdleHandler(&Late);
}

TEST_F(IdleEvents, LastHandlerFreeingItsActionEndsTheDispatchCleanly) {
  // The multicast dies inside its own dispatch; the sanitizers watch that nothing touches it.
  TComponent Owner(nullptr);
  auto* Action = new TActionOnIdle(&Owner);
  int Runs = 0;
  AddIdleHandler(Action, [&, Action](TObject*, bool&) {
    ++Runs;
    delete Action;
  });
  Application->DoIdle();
  Application->DoIdle();
  EXPECT_EQ(Runs, 1);
  EXPECT_EQ(IdleMulticast(), nullptr);
}

TEST_F(IdleEvents, OwnerFreedFirstCancelsTheAction) {
  auto Form = std::make_unique<TForm>(nullptr);
  auto* Button = new TCountingButton(Form.get());
  Button->SetParent(Form.get());
  RepaintButtonsWhenIdle(Form.get());
  ASSERT_NE(IdleMulticast(), nullptr);
  Form.reset();
  EXPECT_EQ(IdleMulticast(), nullptr);
  Application->DoIdle();
}

// The form the repaint tests show: visible buttons at several depths, and hidden ones.
struct TButtonForm {
  std::unique_ptr<TForm> Form = std::make_unique<TForm>(nullptr);
  TCountingButton* Direct = Add(Form.get());
  TGroupBox* Box = Container(Form.get(), true);
  TCountingButton* InBox = Add(Box);
  TCountingButton* Hidden = Add(Form.get());
  TGroupBox* HiddenBox = Container(Form.get(), false);
  TCountingButton* InHiddenBox = Add(HiddenBox);

  TButtonForm() { Hidden->SetVisible(false); }
  TCountingButton* Add(TWinControl* Parent) {
    auto* B = new TCountingButton(Form.get());
    B->SetParent(Parent);
    return B;
  }
  TGroupBox* Container(TWinControl* Parent, bool Visible) {
    auto* G = new TGroupBox(Form.get());
    G->SetParent(Parent);
    G->SetVisible(Visible);
    return G;
  }
  // Shows the form; Act runs inside the modal loop, and the form closes in the first idle
  // turn that finds no component added since Act.
  void Show(const std::function<void()>& Act) {
    const int Baseline = Form->ComponentCount();
    int Closer;
    SetModalDriver([&](TForm&) {
      // Registered first, so it runs after the action in the same idle turn.
      AddIdleHandler(&Closer, [&, Baseline](TObject*, bool&) {
        if (Form->ComponentCount() > Baseline) return;
        RemoveIdleHandler(&Closer);
        Form->SetModalResult(mrOk);
      });
      Act();
    });
    Form->ShowModal();
  }
};

TEST_F(IdleEvents, RepaintButtonsWhenIdleRepaintsVisibleButtonsOnceThenGoes) {
  TButtonForm F;
  const int Components = F.Form->ComponentCount();
  F.Show([&] {
    RepaintButtonsWhenIdle(F.Form.get());
    EXPECT_EQ(F.Form->ComponentCount(), Components + 1);
  });
  EXPECT_EQ(F.Direct->Repaints, 1);
  EXPECT_EQ(F.InBox->Repaints, 1);
  EXPECT_EQ(F.Hidden->Repaints, 0);
  EXPECT_EQ(F.InHiddenBox->Repaints, 0);
  EXPECT_EQ(F.Form->ComponentCount(), Components);
}

TEST_F(IdleEvents, FailingHandlerIsReportedAndTheOthersStillRun) {
  std::vector<std::string> Log, Errors;
  Application->OnException = [&](TObject* Sender, const Exception& E) {
    EXPECT_EQ(Sender, Application);
    Errors.push_back(E.Message());
  };
  int A, B;
  AddIdleHandler(&A, Record(Log, "a"));
  AddIdleHandler(&B, [](TObject*, bool&) { throw Exception("Out of memory"); });
  Application->DoIdle();
  Application->OnException = nullptr;
  EXPECT_EQ(Log, (std::vector<std::string>{"a"}));
  EXPECT_EQ(Errors, (std::vector<std::string>{"Out of memory"}));
  RemoveIdleHandler(&A);
  RemoveIdleHandler(&B);
}

TEST_F(IdleEvents, FailingRepaintStillFreesTheActionAndReportsTheError) {
  struct TFailingButton : TCountingButton {
    using TCountingButton::TCountingButton;
    void Repaint() override { throw Exception("Canvas does not allow drawing"); }
  };
  TButtonForm F;
  (new TFailingButton(F.Form.get()))->SetParent(F.Form.get());
  std::vector<std::string> Errors;
  Application->OnException = [&](TObject*, const Exception& E) { Errors.push_back(E.Message()); };
  const int Components = F.Form->ComponentCount();
  F.Show([&] { RepaintButtonsWhenIdle(F.Form.get()); });
  Application->OnException = nullptr;
  EXPECT_EQ(Errors, (std::vector<std::string>{"Canvas does not allow drawing"}));
  EXPECT_EQ(F.Form->ComponentCount(), Components);
}
