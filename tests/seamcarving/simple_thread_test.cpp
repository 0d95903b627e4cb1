#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "message_of.h"
#include "seamcarving/simple_thread.h"

TEST(SimpleThread, RunsTheMethodOnceWithItsUserData) {
  int Calls = 0;
  int Data = 7;
  void* Seen = nullptr;
  std::thread::id WorkerId;
  {
    TSimpleThread T(
        [&](TSimpleThread& Self, void* UserData) {
          ++Calls;
          Seen = UserData;
          WorkerId = std::this_thread::get_id();
          EXPECT_TRUE(Self.Started);
        },
        &Data);
    T.Finish();
    EXPECT_TRUE(T.Started);
    EXPECT_TRUE(T.ErrorMessage.empty());
  }
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(Seen, &Data);
  EXPECT_NE(WorkerId, std::this_thread::get_id());
}

TEST(SimpleThread, FinishWaitsForASlowWorker) {
  std::atomic<bool> Done{false};
  TSimpleThread T(
      [&](TSimpleThread&, void*) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Done = true;
      },
      nullptr);
  T.Finish();
  EXPECT_TRUE(Done);
  EXPECT_NO_THROW(T.Finish());
}

TEST(SimpleThread, WorkerErrorsComeBackWithTheirMessage) {
  TSimpleThread A([](TSimpleThread&, void*) { throw Exception("Pass failed"); }, nullptr);
  EXPECT_EQ(MessageOf([&] { A.Finish(); }), "Pass failed");
  TSimpleThread B([](TSimpleThread&, void*) { throw std::bad_alloc(); }, nullptr);
  EXPECT_EQ(MessageOf([&] { B.Finish(); }), "Out of memory");
  TSimpleThread C([](TSimpleThread&, void*) { throw 1; }, nullptr);
  EXPECT_EQ(MessageOf([&] { C.Finish(); }), "Unexpected error in worker thread");
}

TEST(RunSideBySideTest, WorkerErrorIsRaisedAfterTheLocalWorkFinished) {
  bool LocalFinished = false;
  EXPECT_EQ(MessageOf([&] {
              RunSideBySide([] { throw Exception("M"); },
                            [&] {
                              std::this_thread::sleep_for(std::chrono::milliseconds(20));
                              LocalFinished = true;
                            });
            }),
            "M");
  EXPECT_TRUE(LocalFinished);
}

TEST(RunSideBySideTest, WhenBothFailTheWorkersErrorWins) {
  EXPECT_EQ(MessageOf([] {
              RunSideBySide([] { throw Exception("worker"); }, [] { throw Exception("local"); });
            }),
            "worker");
  EXPECT_EQ(MessageOf([] { RunSideBySide([] {}, [] { throw Exception("local"); }); }), "local");
}
