// One run of featureresize: read the image (and mask), resize it or render its cost map, and
// write the result.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "command_line.h"
#include "imaging/linear_bitmap.h"
#include "object_removal.h"

// Carries out Line. Progress receives 0..100 over the whole run, Status a line of what is
// done where there is more to say (the seam counts of an object removal). Raises
// ECommandLine for refused input or failed files, and passes on the engine's errors.
void RunResizeJob(const TCommandLine& Line, const std::function<void(int Percent)>& Progress,
                  const std::function<void(const std::string&)>& Status = nullptr);

// The work of resizing a SourceWidth x SourceHeight image to Width x Height, in pixels
// visited: each seam is found by passes over the whole image as it is then, so a phase of
// S seams costs S times the mean of the image's pixels at its start and at its end. Widening
// chooses its seams on a narrowing copy of the source, then the height is lowered at the new
// width.
double EstimateWork(std::int64_t SourceWidth, std::int64_t SourceHeight, std::int64_t Width, std::int64_t Height);

// The work of an object removal of Plan (object_removal.h) from a Width x Height image:
// its seams removed, then inserted back in rounds of fewer seams than the image is across.
double EstimateRemovalWork(const TRemovalCounts& Plan, std::int64_t Width, std::int64_t Height);

// The selection of a mask image: one byte per pixel of Source, rows back to back, 1 where the
// mask's pixel is not black (for an 8-bit mask, where its palette colour is not). Raises ECommandLine (ExitRefused, naming Name) when the sizes differ.
std::vector<std::uint8_t> SelectionFromMask(const TLinearBitmap& Mask, const TLinearBitmap& Source,
                                            const std::string& Name);
