// An in-process host for end-to-end tests: the host's real windows, request handling and
// plug-in loading on the test's thread, with what it would tell the user collected in Reports
// instead of shown. Plug-in windows are driven with window_driver.h from a second thread.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host.h"
#include "window_driver.h"

class HostScenario : public ::testing::Test {
protected:
  std::vector<std::string> Reports;
  THost Host{[this](const std::string& Text) { Reports.push_back(Text); }};
  // Captions of the windows the last Run's user left open (see driver::WhileRunning).
  std::vector<std::string> LeftOpen;

  // Shows a new image of distinct, deterministic bytes (8-bit ones with a palette of their own).
  THostDocument& OpenPattern(const std::string& Name, int Width, int Height, int PixelSize, int Seed = 0);
  // Runs the plug-in command with menu caption Caption on Document while User acts on a second
  // thread; returns ProcessImage's result. GraceMs as in driver::WhileRunning: give more when
  // the user's last click starts long work.
  std::int32_t Run(const std::string& Caption, THostDocument& Document, const std::function<void()>& User = {},
                   int GraceMs = 2000);
};

// The pixel bytes of Document row after row, without the padding of its lines.
std::vector<std::uint8_t> PixelsOf(const THostDocument& Document);
