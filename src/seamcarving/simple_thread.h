// TSimpleThread: runs one method once on a new thread and carries an error raised there back
// to the thread that waits for it, as an Exception with the same message. TWorkerThread keeps
// one such thread for many tasks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "support/object.h"

class TSimpleThread : public TObject {
public:
  using TSimpleThreadMethod = std::function<void(TSimpleThread& Thread, void* UserData)>;

  TSimpleThreadMethod Method;
  void* UserData;
  std::atomic<bool> Started{false};
  std::string ErrorMessage; // written by the worker, read only after the join

  // Starts Method(*this, UserData) on a new thread at once.
  TSimpleThread(TSimpleThreadMethod Method, void* UserData);
  // Joins the worker if Finish has not; never raises.
  ~TSimpleThread() override;
  TSimpleThread(const TSimpleThread&) = delete;
  TSimpleThread& operator=(const TSimpleThread&) = delete;

  const char* ClassName() const override { return "TSimpleThread"; }

  // Waits until the worker has returned; raises Exception with the worker's error message if
  // it failed. Later calls do nothing.
  void Finish();

private:
  void Execute();
  std::thread Thread_;
};

// Runs Worker on a TSimpleThread while the calling thread runs Local, then joins. The worker's
// error is raised after Local has finished; when both fail, the worker's error wins.
void RunSideBySide(const std::function<void()>& Worker, const std::function<void()>& Local);

// One long-lived worker thread for repeated side-by-side work: what RunSideBySide does, without
// starting a thread per call. The thread starts on the first call and sleeps between calls; a
// task it has not taken up by the time the calling thread is done runs on the calling thread.
class TWorkerThread : public TObject {
public:
  TWorkerThread() = default;
  // Stops and joins the thread; never raises.
  ~TWorkerThread() override;
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;
  const char* ClassName() const override { return "TWorkerThread"; }

  // As RunSideBySide: Worker on this object's thread, Local on the calling one; the worker's
  // error is raised once both have ended and wins over Local's. Not reentrant.
  void RunSideBySide(const std::function<void()>& Worker, const std::function<void()>& Local);

private:
  void Loop();
  // Sees the task handed over to its end, running it here if the thread has not taken it up,
  // and raises its error, if any.
  void FinishTask();

  std::mutex Lock_;
  std::condition_variable Wake_;  // a task or the request to stop has arrived
  std::condition_variable Ended_; // the thread has ended its task
  const std::function<void()>* Pending_ = nullptr; // handed over, not yet taken up
  bool Running_ = false;                           // the thread is running a task
  bool Stop_ = false;
  std::string ErrorMessage_;
  std::thread Thread_;
};
