#include "toolkit/timer.h"

#include "toolkit/backend.h"

namespace toolkit {

TTimer::~TTimer() {
  if (Id) backend::StopTimer(*this);
}

void TTimer::SetEnabled(bool Enabled) {
  if (Enabled == Enabled_) return;
  Enabled_ = Enabled;
  Update();
}

void TTimer::SetInterval(int Milliseconds) {
  if (Milliseconds == Interval_) return;
  Interval_ = Milliseconds;
  Update();
}

void TTimer::SetOnTimer(TNotifyEvent Handler) {
  OnTimer_ = std::move(Handler);
  Update();
}

void TTimer::Update() {
  if (Id) backend::StopTimer(*this);
  if (Enabled_ && Interval_ > 0 && OnTimer_) backend::StartTimer(*this);
}

void TTimer::Tick() {
  if (OnTimer_) OnTimer_(this);
}

} // namespace toolkit
