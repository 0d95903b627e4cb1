// TSimpleThread: runs one method once on a new thread and carries an error raised there back
// to the thread that waits for it, as an Exception with the same message.
#pragma once

#include <atomic>
#include <functional>
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

  // Waits until the worker has started and then until it has returned; raises Exception with
  // the worker's error message if it failed. Later calls do nothing.
  void Finish();

private:
  void Execute();
  std::thread Thread_;
};

// Runs Worker on a TSimpleThread while the calling thread runs Local, then joins. The worker's
// error is raised after Local has finished; when both fail, the worker's error wins.
void RunSideBySide(const std::function<void()>& Worker, const std::function<void()>& Local);
