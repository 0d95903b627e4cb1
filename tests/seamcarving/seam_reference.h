// The seam search, removal and scaling written out step by step, straight from their rules,
// without any of the engine's shortcuts. Tests drive a second engine through these and
// compare it with the engine's own operations.
#pragma once

#include "seamcarving/seam_carving_component.h"

namespace reference {

void VerticalSeamPass(TSeamCarvingComponent& E);
void HorizontalSeamPass(TSeamCarvingComponent& E);
void FindSeams(TSeamCarvingComponent& E, TSeamDirections Directions);
void RemoveVerticalSeam(TSeamCarvingComponent& E, int X);
void RemoveHorizontalSeam(TSeamCarvingComponent& E, int Y);
void ScaleTo(TSeamCarvingComponent& E, int NewWidth, int NewHeight);
void EnlargeWidth(TSeamCarvingComponent& E, int NewWidth);

} // namespace reference
