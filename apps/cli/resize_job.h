// One run of featureresize: read the image (and mask), resize it or render its cost map, and
// write the result.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "command_line.h"
#include "imaging/linear_bitmap.h"

// Carries out Line. Progress receives 0..100 over the whole run, Status a line of what is
// done where there is more to say (the seam counts of an object removal). Raises
// ECommandLine for refused input or failed files, and passes on the engine's errors.
void RunResizeJob(const TCommandLine& Line, const std::function<void(int Percent)>& Progress,
                  const std::function<void(const std::string&)>& Status = nullptr);

// The selection of a mask image: one byte per pixel of Source, rows back to back, 1 where the
// mask is nonzero. Raises ECommandLine (ExitRefused, naming Name) when the sizes differ.
std::vector<std::uint8_t> SelectionFromMask(const TLinearBitmap& Mask, const TLinearBitmap& Source,
                                            const std::string& Name);
