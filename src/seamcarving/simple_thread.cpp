#include "seamcarving/simple_thread.h"

#include <new>

TSimpleThread::TSimpleThread(TSimpleThreadMethod Method, void* UserData)
    : Method(std::move(Method)), UserData(UserData) {
  Thread_ = std::thread(&TSimpleThread::Execute, this);
}

TSimpleThread::~TSimpleThread() {
  if (Thread_.joinable()) Thread_.join();
}

void TSimpleThread::Execute() {
  Started = true;
  // Every error is carried home: an exception escaping a std::thread would end the process.
  try {
    Method(*this, UserData);
  } catch (const Exception& E) {
    ErrorMessage = E.Message();
  } catch (const std::bad_alloc&) {
    ErrorMessage = "Out of memory";
  } catch (const std::exception& E) {
    ErrorMessage = E.what();
  } catch (...) {
    ErrorMessage = "Unexpected error in worker thread";
  }
}

void TSimpleThread::Finish() {
  if (!Thread_.joinable()) return;
  while (!Started) std::this_thread::yield();
  Thread_.join();
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
