// One run of featureresize: read the image (and mask), resize it or render its cost map, and
// write the result.
#pragma once

#include <functional>

#include "command_line.h"

// Carries out Line. Progress receives 0..100 over the whole run. Raises ECommandLine for
// refused input or failed files, and passes on the engine's errors.
void RunResizeJob(const TCommandLine& Line, const std::function<void(int Percent)>& Progress);
