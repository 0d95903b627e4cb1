// Routes the engine's progress (ProgressHook) into part of a run's whole progress.
#pragma once

#include <algorithm>
#include <functional>

#include "support/progress.h"

// While alive, the engine's 0..100 arrive at Progress mapped into [From, From + Span].
class TProgressPhase {
public:
  TProgressPhase(const std::function<void(int)>& Progress, int From, int Span) {
    ProgressHook = [&Progress, From, Span](int Percent) { Progress(From + std::clamp(Percent, 0, 100) * Span / 100); };
  }
  ~TProgressPhase() { ProgressHook = nullptr; }
  TProgressPhase(const TProgressPhase&) = delete;
  TProgressPhase& operator=(const TProgressPhase&) = delete;
};
