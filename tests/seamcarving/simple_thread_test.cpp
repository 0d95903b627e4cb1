#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

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

namespace {

using TSideBySide = std::function<void(const std::function<void()>&, const std::function<void()>&)>;

// The one-shot function and a long-lived worker promise the same; the worker is used twice,
// so that its second task also sees a thread left in a clean state by the first.
std::vector<std::pair<const char*, TSideBySide>> SideBySideRunners(TWorkerThread& Worker) {
  return {{"RunSideBySide", [](auto& W, auto& L) { RunSideBySide(W, L); }},
          {"TWorkerThread", [&Worker](auto& W, auto& L) { Worker.RunSideBySide(W, L); }},
          {"TWorkerThread again", [&Worker](auto& W, auto& L) { Worker.RunSideBySide(W, L); }}};
}

} // namespace

TEST(RunSideBySideTest, WorkerErrorIsRaisedAfterTheLocalWorkFinished) {
  TWorkerThread Worker;
  for (const auto& [Name, Run] : SideBySideRunners(Worker)) {
    bool LocalFinished = false;
    EXPECT_EQ(MessageOf([&] {
                Run([] { throw Exception("M"); },
                    [&] {
                      std::this_thread::sleep_for(std::chrono::milliseconds(20));
                      LocalFinished = true;
                    });
              }),
              "M")
        << Name;
    EXPECT_TRUE(LocalFinished) << Name;
  }
}

TEST(RunSideBySideTest, WhenBothFailTheWorkersErrorWins) {
  TWorkerThread Worker;
  for (const auto& [Name, Run] : SideBySideRunners(Worker)) {
    EXPECT_EQ(MessageOf([&] { Run([] { throw Exception("worker"); }, [] { throw Exception("local"); }); }), "worker")
        << Name;
    EXPECT_EQ(MessageOf([&] { Run([] {}, [] { throw Exception("local"); }); }), "local") << Name;
  }
}

TEST(RunSideBySideTest, BothSidesEndBeforeTheCallReturns) {
  TWorkerThread Worker;
  for (const auto& [Name, Run] : SideBySideRunners(Worker)) {
    std::atomic<int> Ended{0};
    Run(
        [&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(30));
          ++Ended;
        },
        [&] { ++Ended; });
    EXPECT_EQ(Ended, 2) << Name;
  }
}

TEST(WorkerThread, KeepsOneThreadForEveryCallAndStartsItOnlyWhenUsed) {
  TWorkerThread Idle; // never used: its destruction must not wait for anything
  TWorkerThread Worker;
  std::set<std::thread::id> Seen;
  for (int Call = 0; Call < 5; ++Call) {
    std::atomic<bool> Taken{false};
    // The local side waits until the thread has taken the task up, so it does not run it.
    Worker.RunSideBySide(
        [&] {
          Taken = true;
          Seen.insert(std::this_thread::get_id());
        },
        [&] {
          while (!Taken) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
  }
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_NE(*Seen.begin(), std::this_thread::get_id());
}

TEST(WorkerThread, ATaskNotTakenUpRunsOnceOnTheCallingThread) {
  // The thread's first task arrives while the thread is still being started, and the local
  // side is empty: over many calls the calling thread takes some over; each runs exactly once.
  int Stolen = 0;
  for (int Trial = 0; Trial < 20; ++Trial) {
    TWorkerThread Worker;
    int Runs = 0;
    std::thread::id Ran;
    Worker.RunSideBySide(
        [&] {
          ++Runs;
          Ran = std::this_thread::get_id();
        },
        [] {});
    EXPECT_EQ(Runs, 1);
    Stolen += Ran == std::this_thread::get_id();
    EXPECT_EQ(MessageOf([&] { Worker.RunSideBySide([] { throw Exception("late"); }, [] {}); }), "late");
  }
  EXPECT_GT(Stolen, 0);
}
