// Seam passes and removal with band repair on photograph-sized 24-bit images; the memory-traffic
// floor of a removal; the dialog's "Delete best seam" on a large photo.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_images.h"
#include "seamcarving/seam_carving_component.h"

namespace {

std::unique_ptr<TSeamCarvingComponent> Engine(const TLinearBitmap& Source) {
  auto E = std::make_unique<TSeamCarvingComponent>(Source, nullptr, TSeamCarvingComponent::InsertionGamma);
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

// Bytes the plain rule moves to remove the best seam of direction D, one map after the other:
// every cell beyond the seam pixel in its row (column) moves by one cell, in the working image,
// the separate grey image, the cost map and the seam maps of D.
std::vector<std::size_t> PlainRemovalBytes(const TSeamCarvingComponent& E, TSeamDirection D) {
  std::size_t Cells = 0;
  const TLinearBitmap& Steps = *E.SeamStep[D];
  if (D == sdVertical) {
    for (int Y = E.Height - 1, X = E.BestColumn; Y >= 0; --Y) {
      Cells += std::size_t(E.Width - 1 - X);
      X += static_cast<std::int8_t>(*Steps.PixelAddress(X, Y));
    }
  } else {
    for (int X = E.Width - 1, Y = E.BestRow; X >= 0; --X) {
      Cells += std::size_t(E.Height - 1 - Y);
      Y += static_cast<std::int8_t>(*Steps.PixelAddress(X, Y));
    }
  }
  const std::size_t GreyBytes = E.GreyImage != E.Image.get() ? 1 : 0;
  return {Cells * E.Image->PixelSize, Cells * GreyBytes, Cells * sizeof(double), Cells * sizeof(double), Cells};
}

void RemoveBest(TSeamCarvingComponent& E, TSeamDirection D) {
  if (D == sdVertical)
    E.RemoveVerticalSeam(E.BestColumn);
  else
    E.RemoveHorizontalSeam(E.BestRow);
}

// A fresh engine when the last one has lost a quarter of its size in direction D.
void RenewWhenShrunk(std::unique_ptr<TSeamCarvingComponent>& E, const TLinearBitmap& Source, TSeamDirection D) {
  if (D == sdVertical ? E->Width < Source.Width * 3 / 4 : E->Height < Source.Height * 3 / 4) E = Engine(Source);
}

// One removal with its band repair; the pass before it is not timed. Bytes processed are what
// the plain rule moves, the same measure as the floor's.
template <TSeamDirection D>
void RemovalWithRepair(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  std::size_t Bytes = 0;
  for (auto _ : State) {
    State.PauseTiming();
    RenewWhenShrunk(E, *Source, D);
    E->FindSeams(SeamDirectionBit(D));
    for (std::size_t Map : PlainRemovalBytes(*E, D)) Bytes += Map;
    State.ResumeTiming();
    RemoveBest(*E, D);
  }
  State.SetBytesProcessed(std::int64_t(Bytes));
}

// The floor beside it: each map's bytes that the plain rule would move for the same seam, moved
// by one cell within a buffer of that map's size as a single in-place block, in the same run.
template <TSeamDirection D>
void RemovalFloor(benchmark::State& State) {
  auto Source = BenchImage(int(State.range(0)), int(State.range(1)));
  auto E = Engine(*Source);
  const std::size_t Count = std::size_t(Source->Width) * Source->Height;
  const std::size_t CellSize[] = {std::size_t(E->Image->PixelSize), 1, sizeof(double), sizeof(double), 1};
  std::vector<std::vector<std::uint8_t>> Maps;
  for (std::size_t Size : CellSize) Maps.emplace_back(Count * Size + 16, 1);
  std::size_t Bytes = 0;
  for (auto _ : State) {
    State.PauseTiming();
    RenewWhenShrunk(E, *Source, D);
    E->FindSeams(SeamDirectionBit(D));
    const std::vector<std::size_t> Moved = PlainRemovalBytes(*E, D);
    RemoveBest(*E, D);
    State.ResumeTiming();
    for (std::size_t M = 0; M < Maps.size(); ++M) {
      std::memmove(Maps[M].data(), Maps[M].data() + CellSize[M], Moved[M]);
      Bytes += Moved[M];
    }
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(std::int64_t(Bytes));
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
FR_SEAM_BENCH(RemovalWithRepair<sdVertical>);
FR_SEAM_BENCH(RemovalFloor<sdVertical>);
FR_SEAM_BENCH(RemovalWithRepair<sdHorizontal>);
FR_SEAM_BENCH(RemovalFloor<sdHorizontal>);

namespace {

// The dialog's "Delete best seam", one seam per click: FindSeams for one direction and the
// removal at its best end, on a 4000 x 3000 photo. The maps persist between clicks as in the
// dialog; the first click, which computes the cost map, is not timed.
void DeleteBestSeam(benchmark::State& State) {
  const auto D = static_cast<TSeamDirection>(State.range(0));
  auto Source = BenchImage(4000, 3000);
  auto E = Engine(*Source);
  E->FindSeams(SeamDirectionBit(D));
  RemoveBest(*E, D);
  for (auto _ : State) {
    E->FindSeams(SeamDirectionBit(D));
    RemoveBest(*E, D);
  }
}

} // namespace

BENCHMARK(DeleteBestSeam)->ArgNames({"direction"})->Arg(sdVertical)->Arg(sdHorizontal)->Unit(benchmark::kMillisecond);
