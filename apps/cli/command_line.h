// The command line of featureresize:
//   featureresize INPUT -o OUTPUT [--width N|P%] [--height N|P%] [--window N] [--mask MASK]
//                 [--selection ignore|protect|prefer] [--cost-map] [--quality N]
//                 [--remove MASK [--keep-size yes|no]] [--max-megapixels N] [--max-work N] [--quiet]
// "--" ends the options; "-" as INPUT, MASK or OUTPUT is standard input or output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli_error.h"
#include "image_headers.h"

// A size in pixels, or a percentage of the source size kept as the exact fraction
// Numerator / Denominator percent.
struct TSizeArgument {
  bool Given = false;
  bool Percent = false;
  std::int64_t Pixels = 0;
  std::int64_t Numerator = 0;
  std::int64_t Denominator = 1;
};

// The work limit unless --max-work says otherwise: 100 gigapixels, a few minutes.
constexpr std::int64_t DefaultMaxWork = 100'000'000'000;

enum class TSelectionChoice { Default, Ignore, Protect, Prefer };

struct TCommandLine {
  std::string Input, Output, Mask;
  std::string Remove;    // --remove: a mask of what to remove; empty when not given
  bool KeepSize = true;  // --keep-size: after a removal, insert as many seams as were removed
  TSizeArgument Width, Height;
  int WindowSize = 5;
  TSelectionChoice Selection = TSelectionChoice::Default;
  bool CostMap = false;
  int Quality = 0; // --quality, 1 to 100; 0 when not given
  std::int64_t MaxPixels = DefaultMaxPixels; // images above are refused
  std::int64_t MaxWork = DefaultMaxWork;     // jobs above are refused, in pixels visited (EstimateWork)
  bool Quiet = false;
  bool Help = false;
  bool Version = false;
};

// Parses the arguments after the program name. Raises ECommandLine (ExitRefused) with a
// one-line reason for anything malformed, missing or contradictory.
TCommandLine ParseCommandLine(const std::vector<std::string>& Args);

// The size in pixels for a source dimension: pixels as given, or round-half-to-even of
// Source x P / 100, computed exactly.
std::int64_t ResolveSize(const TSizeArgument& Size, std::int64_t Source);

const char* UsageText();
