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
// starting a thread per call. The thread starts on the first call and sleeps between calls.
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
  // Waits until the task handed over has ended and raises its error, if any.
  void WaitForTask();

  std::mutex Lock_;
  std::condition_variable Wake_;  // a task or the request to stop has arrived
  std::condition_variable Ended_; // the task has ended
  const std::function<void()>* Task_ = nullptr; // set while a task is pending or running
  bool Stop_ = false;
  std::string ErrorMessage_;
  std::thread Thread_;
};
