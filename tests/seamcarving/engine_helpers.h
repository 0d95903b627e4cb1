// Test helper: an engine over Source with both parameters set, as the dialog makes one.
#pragma once

#include <memory>

#include "seamcarving/seam_carving_component.h"

inline std::unique_ptr<TSeamCarvingComponent> MakeEngine(const TLinearBitmap& Source, int Window,
                                                         TSelectionHandling Handling = shIgnore,
                                                         const std::uint8_t* Mask = nullptr) {
  auto Engine = std::make_unique<TSeamCarvingComponent>(Source, Mask, TSeamCarvingComponent::InsertionGamma);
  Engine->SetCostWindowSize(Window);
  Engine->SetSelectionHandling(Handling);
  return Engine;
}
