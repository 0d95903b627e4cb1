// Full cost-map computation on photograph-sized 24-bit images, and the direct per-cell
// summation it replaces, for comparison.
#include <benchmark/benchmark.h>

#include "bench_images.h"
#include "seamcarving/seam_carving_component.h"

namespace {

void FullCostMap(benchmark::State& State) {
  const int Width = static_cast<int>(State.range(0)), Height = static_cast<int>(State.range(1));
  const int Window = static_cast<int>(State.range(2));
  auto Source = BenchImage(Width, Height);
  TSeamCarvingComponent Engine(*Source, nullptr, TSeamCarvingComponent::InsertionGamma);
  Engine.SetCostWindowSize(Window);
  Engine.UpdateCostMap(); // working and grey images exist from here on, as in the dialog
  for (auto _ : State) {
    Engine.CostMapValid = false;
    Engine.SetCostWindowSize(Window);
    Engine.UpdateCostMap();
    benchmark::DoNotOptimize(Engine.CostMap->Map);
  }
  State.SetItemsProcessed(State.iterations() * Width * Height);
}

void DirectSummation(benchmark::State& State) {
  const int Width = static_cast<int>(State.range(0)), Height = static_cast<int>(State.range(1));
  auto Source = BenchImage(Width, Height);
  TSeamCarvingComponent Engine(*Source, nullptr, TSeamCarvingComponent::InsertionGamma);
  Engine.SetCostWindowSize(static_cast<int>(State.range(2)));
  Engine.UpdateCostMap();
  for (auto _ : State) {
    for (int Y = 0; Y < Height; ++Y)
      for (int X = 0; X < Width; ++X) Engine.ComputeCost(X, Y);
    benchmark::DoNotOptimize(Engine.CostMap->Map);
  }
  State.SetItemsProcessed(State.iterations() * Width * Height);
}

} // namespace

BENCHMARK(FullCostMap)
    ->ArgNames({"width", "height", "window"})
    ->Args({1024, 768, 5})
    ->Args({1024, 768, 111})
    ->Args({2000, 1500, 5})
    ->Args({2000, 1500, 111})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(DirectSummation)
    ->ArgNames({"width", "height", "window"})
    ->Args({1024, 768, 5})
    ->Unit(benchmark::kMillisecond);
