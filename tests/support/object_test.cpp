#include <gtest/gtest.h>

#include <functional>

#include "message_of.h"
#include "support/object.h"

namespace {

// TReader reads TWriter sources; TWriter writes into TSink; TPlain handles nothing.
class TPlain : public TAssignObject {
public:
  const char* ClassName() const override { return "TPlain"; }
};

class TWriter : public TAssignObject {
public:
  int Value = 0;
  const char* ClassName() const override { return "TWriter"; }
};

class TReader : public TAssignObject {
public:
  int Value = 0;
  const char* ClassName() const override { return "TReader"; }
  void Assign(const TObject* Source) override {
    if (auto* W = dynamic_cast<const TWriter*>(Source)) {
      Value = W->Value;
      return;
    }
    TAssignObject::Assign(Source);
  }
};

class TSink : public TAssignObject {
public:
  int Value = 0;
  const char* ClassName() const override { return "TSink"; }
};

class TSinkWriter : public TAssignObject {
public:
  int Value = 0;
  const char* ClassName() const override { return "TSinkWriter"; }
  void AssignTo(TObject* Dest) const override {
    if (auto* S = dynamic_cast<TSink*>(Dest)) {
      S->Value = Value;
      return;
    }
    TAssignObject::AssignTo(Dest);
  }
};

} // namespace

TEST(AssignHandOver, ReaderOverrideHandlesAssignAndAssignTo) {
  TWriter W;
  W.Value = 42;
  TReader R;
  R.Assign(&W);
  EXPECT_EQ(R.Value, 42);
  W.Value = 7;
  W.AssignTo(&R); // base AssignTo hands over to R.Assign
  EXPECT_EQ(R.Value, 7);
}

TEST(AssignHandOver, WriterOverrideServesTheTargetsAssign) {
  TSinkWriter W;
  W.Value = 5;
  TSink S;
  S.Assign(&W); // base Assign hands over to W.AssignTo
  EXPECT_EQ(S.Value, 5);
}

TEST(AssignHandOver, UnhandledPairingNamesSourceThenTarget) {
  TPlain P;
  TWriter W;
  EXPECT_EQ(MessageOf([&] { P.Assign(&W); }), "Cannot assign TWriter to TPlain");
  EXPECT_EQ(MessageOf([&] { P.AssignTo(&W); }), "Cannot assign TPlain to TWriter");
  TReader R;
  EXPECT_EQ(MessageOf([&] { R.AssignTo(&P); }), "Cannot assign TReader to TPlain");
}

TEST(AssignHandOver, NonAssignableAndNullObjectsAreRefused) {
  TObject Bare;
  TPlain P;
  EXPECT_EQ(MessageOf([&] { P.Assign(&Bare); }), "Cannot assign TObject to TPlain");
  EXPECT_EQ(MessageOf([&] { P.AssignTo(&Bare); }), "Cannot assign TPlain to TObject");
  EXPECT_EQ(MessageOf([&] { P.Assign(nullptr); }), "Cannot assign nil to TPlain");
  EXPECT_EQ(MessageOf([&] { P.AssignTo(nullptr); }), "Cannot assign TPlain to nil");
}

TEST(AssignHandOver, AFailedPairingDoesNotPoisonTheNext) {
  TPlain P;
  TWriter W;
  TReader R;
  EXPECT_THROW(P.Assign(&W), Exception);
  W.Value = 3;
  R.Assign(&W);
  EXPECT_EQ(R.Value, 3);
}

TEST(MemoryRoutines, FreeMemAndNilClearsThePointerAndIgnoresNull) {
  auto* Block = static_cast<int*>(AllocMem(16));
  FreeMemAndNil(Block);
  EXPECT_EQ(Block, nullptr);
  FreeMemAndNil(Block);
  EXPECT_EQ(Block, nullptr);

  unsigned char Bytes[6] = {1, 2, 3, 4, 5, 6};
  ZeroMem(Bytes + 1, 4);
  EXPECT_EQ(Bytes[0], 1);
  EXPECT_EQ(Bytes[1] | Bytes[2] | Bytes[3] | Bytes[4], 0);
  EXPECT_EQ(Bytes[5], 6);

  std::int32_t A = -1, B = 2;
  SwapDWord(A, B);
  EXPECT_EQ(A, 2);
  EXPECT_EQ(B, -1);
}
