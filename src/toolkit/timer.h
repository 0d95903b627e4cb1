// TTimer: calls OnTimer every Interval milliseconds on the GUI thread while enabled.
#pragma once

#include "toolkit/component.h"
#include "toolkit/types.h"

namespace toolkit {

class TTimer : public TComponent {
public:
  explicit TTimer(TComponent* Owner) : TComponent(Owner) {}
  // Stops the timer.
  ~TTimer() override;
  const char* ClassName() const override { return "TTimer"; }

  bool Enabled() const { return Enabled_; }
  // Starts or stops the timer; switching it off and on again restarts the interval.
  void SetEnabled(bool Enabled);
  int Interval() const { return Interval_; }
  // Sets the period in milliseconds and restarts the interval; 0 stops the timer.
  void SetInterval(int Milliseconds);
  // Sets the handler; the timer only runs while it has one.
  void SetOnTimer(TNotifyEvent Handler);
  const TNotifyEvent& OnTimer() const { return OnTimer_; }

  // Backend use only: the interval elapsed.
  void Tick();
  // Backend use only: the backend's identifier of the running timer, 0 while stopped.
  std::uintptr_t Id = 0;

private:
  void Update();
  bool Enabled_ = true;
  int Interval_ = 1000;
  TNotifyEvent OnTimer_;
};

} // namespace toolkit
