// Seam passes and removal with band repair on photograph-sized 24-bit images.
#include <benchmark/benchmark.h>

#include "bench_images.h"
#include "seamcarving/seam_carving_component.h"

namespace {

std::unique_ptr<TSeamCarvingComponent> Engine(const TLinearBitmap& Source) {
  auto E = std::make_unique<TSeamCarvingComponent>(Source, nullptr, 2.2f);
  E->SetCostWindowSize(5);
  E->UpdateCostMap();
  return E;
}

void VerticalPass(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  for (auto _ : State) E->VerticalSeamPass();
  State.SetItemsProcessed(State.iterations() * State.range(0) * State.range(1));
}

void HorizontalPass(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  for (auto _ : State) E->HorizontalSeamPass();
  State.SetItemsProcessed(State.iterations() * State.range(0) * State.range(1));
}

void BothPasses(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  for (auto _ : State) E->FindSeams(SeamDirectionBit(sdVertical) | SeamDirectionBit(sdHorizontal));
  State.SetItemsProcessed(State.iterations() * State.range(0) * State.range(1));
}

// One vertical removal with its band repair; the pass before it is not timed.
void RemovalWithRepair(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  for (auto _ : State) {
    State.PauseTiming();
    if (E->Width < Source->Width * 3 / 4) E = Engine(*Source);
    E->VerticalSeamPass();
    State.ResumeTiming();
    E->RemoveVerticalSeam(E->BestColumn);
  }
}

void HorizontalRemovalWithRepair(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  for (auto _ : State) {
    State.PauseTiming();
    if (E->Height < Source->Height * 3 / 4) E = Engine(*Source);
    E->HorizontalSeamPass();
    State.ResumeTiming();
    E->RemoveHorizontalSeam(E->BestRow);
  }
}

// The vertical pass right after a vertical removal: the map is brought up to date from the
// removal rather than recomputed. The removal before it is not timed.
void VerticalPassAfterRemoval(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  E->VerticalSeamPass();
  for (auto _ : State) {
    State.PauseTiming();
    if (E->Width < Source->Width * 3 / 4) {
      E = Engine(*Source);
      E->VerticalSeamPass();
    }
    E->RemoveVerticalSeam(E->BestColumn);
    State.ResumeTiming();
    E->VerticalSeamPass();
  }
}

} // namespace

#define FR_SEAM_BENCH(Name) \
  BENCHMARK(Name)->ArgNames({"width", "height"})->Args({1024, 768})->Args({2000, 1500})->Unit(benchmark::kMicrosecond)

FR_SEAM_BENCH(VerticalPass);
FR_SEAM_BENCH(HorizontalPass);
FR_SEAM_BENCH(BothPasses);
FR_SEAM_BENCH(VerticalPassAfterRemoval);
FR_SEAM_BENCH(RemovalWithRepair);
FR_SEAM_BENCH(HorizontalRemovalWithRepair);
