#include "progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#define FR_ISATTY _isatty
#define FR_FILENO _fileno
#else
#include <unistd.h>
#define FR_ISATTY isatty
#define FR_FILENO fileno
#endif

namespace {
constexpr int BarWidth = 40;
}

TProgressBar::TProgressBar(bool Wanted) : Enabled_(Wanted && FR_ISATTY(FR_FILENO(stderr))) {}

TProgressBar::~TProgressBar() { Finish(); }

void TProgressBar::Update(int Percent) {
  Percent = std::clamp(Percent, 0, 100);
  if (!Enabled_ || Percent == Shown_) return;
  Shown_ = Percent;
  const int Filled = Percent * BarWidth / 100;
  const std::string Bar = std::string(Filled, '#') + std::string(BarWidth - Filled, '.');
  std::fprintf(stderr, "\r[%s] %3d%%%s%s", Bar.c_str(), Percent, Status_.empty() ? "" : "  ", Status_.c_str());
  std::fflush(stderr);
  Drawn_ = true;
}

void TProgressBar::SetStatus(const std::string& Text) {
  Status_ = Text;
  const int Percent = Shown_;
  Shown_ = -1; // redrawn with the new text
  Update(std::max(Percent, 0));
}

void TProgressBar::Finish() {
  if (!Drawn_) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
  Drawn_ = false;
}
