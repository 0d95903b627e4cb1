#include "seamcarving/simple_thread.h"

#include <new>

namespace {

// Runs Work and returns the message of what it raised, empty when nothing: an exception
// escaping a std::thread would end the process, so every error is carried home.
std::string RunCarryingErrors(const std::function<void()>& Work) {
  try {
    Work();
  } catch (const Exception& E) {
    return E.Message();
  } catch (const std::bad_alloc&) {
    return "Out of memory";
  } catch (const std::exception& E) {
    return E.what();
  } catch (...) {
    return "Unexpected error in worker thread";
  }
  return {};
}

} // namespace

// ============================================================================
// TSimpleThread
// ============================================================================

TSimpleThread::TSimpleThread(TSimpleThreadMethod Method, void* UserData)
    : Method(std::move(Method)), UserData(UserData) {
  Thread_ = std::thread(&TSimpleThread::Execute, this);
}

TSimpleThread::~TSimpleThread() {
  if (Thread_.joinable()) Thread_.join();
}

void TSimpleThread::Execute() {
  Started = true;
  ErrorMessage = RunCarryingErrors([this] { Method(*this, UserData); });
}

void TSimpleThread::Finish() {
  if (!Thread_.joinable()) return;
  Thread_.join(); // also waits for a thread that has not begun to run yet
  if (!ErrorMessage.empty()) throw Exception(ErrorMessage);
}

void RunSideBySide(const std::function<void()>& Worker, const std::function<void()>& Local) {
  TSimpleThread Thread([&Worker](TSimpleThread&, void*) { Worker(); }, nullptr);
  try {
    Local();
  } catch (...) {
    Thread.Finish(); // the worker's error, if any, replaces the local one
    throw;
  }
  Thread.Finish();
}

// ============================================================================
// TWorkerThread
// ============================================================================

TWorkerThread::~TWorkerThread() {
  if (!Thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Stop_ = true;
  }
  Wake_.notify_one();
  Thread_.join();
}

void TWorkerThread::Loop() {
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    Wake_.wait(Guard, [this] { return Pending_ || Stop_; });
    if (Stop_) return;
    const std::function<void()>* Task = Pending_;
    Pending_ = nullptr;
    Running_ = true;
    Guard.unlock();
    std::string Error = RunCarryingErrors(*Task);
    Guard.lock();
    ErrorMessage_ = std::move(Error);
    Running_ = false;
    Ended_.notify_one();
  }
}

void TWorkerThread::FinishTask() {
  std::string Error;
  std::unique_lock<std::mutex> Guard(Lock_);
  if (Pending_) {
    // The thread has not taken the task up yet (on a busy machine it may not have been
    // scheduled at all): the calling thread runs it instead of waiting for that.
    const std::function<void()>* Task = Pending_;
    Pending_ = nullptr;
    Guard.unlock();
    Error = RunCarryingErrors(*Task);
  } else {
    Ended_.wait(Guard, [this] { return !Running_; });
    Error.swap(ErrorMessage_);
    Guard.unlock();
  }
  if (!Error.empty()) throw Exception(Error);
}

void TWorkerThread::RunSideBySide(const std::function<void()>& Worker, const std::function<void()>& Local) {
  if (!Thread_.joinable()) Thread_ = std::thread(&TWorkerThread::Loop, this);
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Pending_ = &Worker;
  }
  Wake_.notify_one();
  try {
    Local();
  } catch (...) {
    FinishTask(); // the worker's error, if any, replaces the local one
    throw;
  }
  FinishTask();
}
