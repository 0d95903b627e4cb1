// A one-line progress bar on stderr, drawn only when stderr is a terminal.
#pragma once

#include <string>

class TProgressBar {
public:
  // Enabled only when Wanted and stderr is a terminal.
  explicit TProgressBar(bool Wanted);
  ~TProgressBar();
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  bool Enabled() const { return Enabled_; }
  // Redraws the bar for Percent (0 to 100) when it changed.
  void Update(int Percent);
  // Shows Text after the percentage from now on.
  void SetStatus(const std::string& Text);
  // Ends the bar's line so that later output starts on a fresh one.
  void Finish();

private:
  bool Enabled_;
  bool Drawn_ = false;
  int Shown_ = -1;
  std::string Status_;
};
