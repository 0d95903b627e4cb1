// Object removal: seams drawn through a selection until none of it is left, then (to keep the
// size) as many seams inserted again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "photo.h"

struct TObjectRemoval {
  const std::vector<std::uint8_t>* Remove = nullptr;  // one byte per pixel, nonzero: remove
  const std::vector<std::uint8_t>* Protect = nullptr; // the same, nonzero: keep; may be null
  int WindowSize = 5;
  bool KeepSize = true;
};

struct TRemovalCounts {
  bool Vertical = true; // the direction of the seams
  int Removed = 0, Inserted = 0;
};

// What a removal of Remove (one byte per pixel of a Width x Height image) sets out to do: its
// direction and the fewest seams it takes (the most selected pixels in a row for vertical
// seams, in a column for horizontal ones; vertical on a tie), as many inserted with KeepSize.
// Refuses (exit 2) a selection that spans the image both ways (it cannot be removed) and an
// empty one.
TRemovalCounts PlanRemoval(const std::vector<std::uint8_t>& Remove, int Width, int Height, bool KeepSize);

// The seam counts as the progress line shows them.
std::string RemovalStatus(const TRemovalCounts& Counts);

// Removes the selection from Photo: in the direction PlanRemoval gives, removes one seam at a
// time, each through as many selected pixels as any seam can pass (protected pixels only
// decide between such seams), until no selected pixel is left; with KeepSize then inserts as
// many seams. Alpha and 16-bit samples follow their pixels. Progress receives 0..100, Status
// the counts so far. Refuses (exit 2) what PlanRemoval refuses, and a removal that leaves a
// single pixel across when the size is to be kept: no seam can be inserted into it.
TPhoto RemoveObject(const TPhoto& Photo, const TObjectRemoval& Removal, const std::function<void(int)>& Progress,
                    const std::function<void(const TRemovalCounts&)>& Status, TRemovalCounts* Counts = nullptr);
