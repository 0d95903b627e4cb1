#include "seamcarving/seam_carving_component.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "seamcarving/simple_thread.h"

// ============================================================================
// Grey levels and the gamma table
// ============================================================================

std::uint8_t GreyLevel(int Red, int Green, int Blue) {
  // Integer form of Round((2R + 3G + B) * (1/6)) with ties to even; equal to the extended-
  // precision product for every sum, and free of the FPU's precision setting.
  const int Sum = 2 * Red + 3 * Green + Blue;
  const int Quotient = Sum / 6, Remainder = Sum % 6;
  const int Level = Remainder < 3 ? Quotient : Remainder > 3 ? Quotient + 1 : Quotient + (Quotient & 1);
  return static_cast<std::uint8_t>(Level);
}

namespace {

std::int64_t Clip(std::int64_t Value, std::int64_t Low, std::int64_t High) {
  return std::max(Low, std::min(High, Value));
}

} // namespace

namespace {

// The table entry by the plain rule: powers and divisions in extended precision.
std::uint8_t GammaAverageEntry(long double Base, float InverseGamma) {
  long double V = std::nearbyint(255 * std::pow(Base, static_cast<long double>(InverseGamma)));
  // A gamma of 0 or below yields no meaningful average; keep the byte in range anyway.
  if (!(V >= 0)) V = 0;
  if (V > 255) V = 255;
  return static_cast<std::uint8_t>(V);
}

} // namespace

void TSeamCarvingComponent::BuildGammaAverageTable(float Gamma) {
  const float InverseGamma = static_cast<float>(1.0L / Gamma);
  float Linear[256];
  Linear[0] = 0;
  for (int I = 1; I < 256; ++I)
    Linear[I] = static_cast<float>(255 * std::pow(static_cast<long double>(I) / 255, Gamma));
  // The extended-precision power is slow, and 32,896 of them dominated short jobs. A Double
  // power lies within about 1e-13 of the extended one here (the sum of two floats is exact in
  // both, and each further step adds a few units of 1e-16), so wherever its value is more than
  // 1e-9 away from a rounding tie both round to the same byte; only near-ties take the
  // extended path.
  const bool Fast = std::isfinite(InverseGamma) && Gamma > 0;
  for (int A = 0; A < 256; ++A) {
    for (int B = 0; B <= A; ++B) {
      const long double Base = (static_cast<long double>(Linear[A]) + Linear[B]) / 510;
      std::uint8_t V;
      const double Y = Fast ? 255 * std::pow((double(Linear[A]) + double(Linear[B])) / 510, double(InverseGamma)) : -1;
      if (Y >= 0 && Y <= 255 && std::fabs(Y - std::floor(Y) - 0.5) > 1e-9)
        V = static_cast<std::uint8_t>(std::nearbyint(Y));
      else
        V = GammaAverageEntry(Base, InverseGamma);
      GammaAverage[A][B] = GammaAverage[B][A] = V;
    }
  }
}

// ============================================================================
// Life cycle and parameters
// ============================================================================

TSeamCarvingComponent::TSeamCarvingComponent(const TLinearBitmap& Source,
                                             const std::uint8_t* SelectionMask, float Gamma)
    : Source(&Source), SelectionMask(SelectionMask), Gamma(Gamma), Width(Source.Width), Height(Source.Height) {
  BuildGammaAverageTable(Gamma);
}

TSeamCarvingComponent::~TSeamCarvingComponent() {
  for (int Direction = sdVertical; Direction <= sdHorizontal; ++Direction) {
    SeamStep[Direction].reset();
    SeamCost[Direction].reset();
  }
  CostMap.reset();
  DiscardGreyImage();
  Image.reset();
}

void TSeamCarvingComponent::SetSelectionHandling(TSelectionHandling Mode) {
  if (Mode == SelectionHandling) return;
  CostMapValid = false;
  SelectionHandling = Mode;
}

void TSeamCarvingComponent::SetCostWindowSize(int Size) {
  if (Size < MinCostWindowSize || Size > MaxCostWindowSize) throw ESeamCarving("Invalid cost window size");
  if (Size == CostWindowSize) return;
  CostMapValid = false;
  CostWindowSize = Size;
  CostWindowRadius = Size / 2;
}

void TSeamCarvingComponent::DiscardGreyImage() {
  SeparateGreyImage_.reset();
  GreyImage = nullptr;
}

// ============================================================================
// Grey image
// ============================================================================

void TSeamCarvingComponent::MakeGreyImage() {
  if (Image->PixelFormat == lpf8Bit && IsGreyPalette(Image->Palette)) {
    GreyImage = Image.get();
    return;
  }
  if (Image->PixelFormat != lpf8Bit && Image->PixelFormat != lpf24Bit)
    throw ELinearBitmap("Unsupported pixel format");
  auto Grey = std::make_unique<TLinearBitmap>(Image->Width, Image->Height, lpf8Bit);
  *Grey->Palette = GreyPalette;
  SeparateGreyImage_ = std::move(Grey);
  GreyImage = SeparateGreyImage_.get();
  // Row by row, as UpdateGreyPixel does pixel by pixel: through a table of the palette's 256
  // grey levels, or from the three colour bytes.
  std::uint8_t PaletteGrey[256];
  if (Image->PixelFormat == lpf8Bit)
    for (int I = 0; I < 256; ++I) {
      const TColorTriple& Entry = (*Image->Palette)[I];
      PaletteGrey[I] = GreyLevel(Entry.Red, Entry.Green, Entry.Blue);
    }
  for (int Y = 0; Y < Image->Height; ++Y) {
    const std::uint8_t* Pixel = Image->ScanLine(Y);
    std::uint8_t* Out = GreyImage->ScanLine(Y);
    if (Image->PixelFormat == lpf8Bit) {
      for (int X = 0; X < Image->Width; ++X) Out[X] = PaletteGrey[Pixel[X]];
    } else {
      for (int X = 0; X < Image->Width; ++X, Pixel += 3) Out[X] = GreyLevel(Pixel[2], Pixel[1], Pixel[0]);
    }
  }
}

void TSeamCarvingComponent::UpdateGreyPixel(int X, int Y) {
  if (GreyImage == Image.get()) return;
  const std::uint8_t* Pixel = Image->PixelAddress(X, Y);
  std::uint8_t& Grey = *GreyImage->PixelAddress(X, Y);
  if (Image->PixelFormat == lpf8Bit) {
    const TColorTriple& Entry = (*Image->Palette)[*Pixel];
    Grey = GreyLevel(Entry.Red, Entry.Green, Entry.Blue);
  } else {
    Grey = GreyLevel(Pixel[2], Pixel[1], Pixel[0]);
  }
}

// ============================================================================
// Cost map
// ============================================================================

void TSeamCarvingComponent::ComputeCost(int X, int Y) {
  double& Cell = *CostMap->CellAddress(X, Y);
  if (Cell == FixedCost || Cell < 0) return;
  const std::int64_t R = CostWindowRadius;
  const int Top = static_cast<int>(Clip(Y - R, 0, INT32_MAX));
  const int Bottom = static_cast<int>(Clip(Y + R, -1, Height - 1));
  const int Left = static_cast<int>(Clip(X - R, 0, INT32_MAX));
  const int Right = static_cast<int>(Clip(X + R, -1, Width - 1));
  std::uint64_t N = 0, S = 0, Q = 0;
  for (int Row = Top; Row <= Bottom; ++Row) {
    const std::uint8_t* Line = GreyImage->ScanLine(Row);
    for (int Column = Left; Column <= Right; ++Column) {
      const std::uint32_t V = Line[Column];
      ++N;
      S += V;
      Q += V * V;
    }
  }
  Cell = WindowVariance(N, S, Q);
}

void TSeamCarvingComponent::ComputeAllCosts() {
  // Sliding window sums: per column, the sums over the window's rows are kept up to date as
  // the window moves down; per row, prefix sums over those give every window in O(1). All
  // sums are exact integers, and the variance goes through WindowVariance as in ComputeCost.
  const std::int64_t R = CostWindowRadius;
  if (R < 0 || Width <= 0 || Height <= 0) return; // every window is empty: the zeroed map stands
  const int Live = std::min(Width, GreyImage->Width);
  std::vector<std::uint64_t> ColumnS(Live, 0), ColumnQ(Live, 0);
  std::vector<std::uint64_t> PrefixS(Live + 1, 0), PrefixQ(Live + 1, 0);
  int RowsFrom = 0, RowsTo = -1; // rows currently summed into the columns
  for (int Y = 0; Y < CostMap->Height; ++Y) {
    const int Top = static_cast<int>(Clip(Y - R, 0, INT32_MAX));
    const int Bottom = static_cast<int>(Clip(Y + R, -1, Height - 1));
    if (Top > Bottom) continue;
    while (RowsTo < Bottom) {
      const std::uint8_t* Line = GreyImage->ScanLine(++RowsTo);
      for (int X = 0; X < Live; ++X) {
        ColumnS[X] += Line[X];
        ColumnQ[X] += std::uint64_t(Line[X]) * Line[X];
      }
    }
    while (RowsFrom < Top) {
      const std::uint8_t* Line = GreyImage->ScanLine(RowsFrom++);
      for (int X = 0; X < Live; ++X) {
        ColumnS[X] -= Line[X];
        ColumnQ[X] -= std::uint64_t(Line[X]) * Line[X];
      }
    }
    for (int X = 0; X < Live; ++X) {
      PrefixS[X + 1] = PrefixS[X] + ColumnS[X];
      PrefixQ[X + 1] = PrefixQ[X] + ColumnQ[X];
    }
    const std::uint64_t Rows = static_cast<std::uint64_t>(Bottom - Top + 1);
    double* Cells = CostMap->ScanLine(Y);
    for (int X = 0; X < CostMap->Width; ++X) {
      const int Left = static_cast<int>(Clip(X - R, 0, INT32_MAX));
      const int Right = static_cast<int>(Clip(X + R, -1, Live - 1));
      if (Left > Right) continue;
      const std::uint64_t N = Rows * static_cast<std::uint64_t>(Right - Left + 1);
      Cells[X] = WindowVariance(N, PrefixS[Right + 1] - PrefixS[Left], PrefixQ[Right + 1] - PrefixQ[Left]);
    }
  }
}

void TSeamCarvingComponent::UpdateCostMap() {
  if (CostMapValid) return;
  ForgetSeamMaps();
  if (!Image) {
    if (Source->PixelFormat != lpf8Bit && Source->PixelFormat != lpf24Bit)
      throw ELinearBitmap("Unsupported pixel format");
    auto Copy = std::make_unique<TLinearBitmap>();
    Copy->Assign(Source);
    Image = std::move(Copy);
    if (TrackOrigins) ResetOrigins(Image->Width, Image->Height);
  }
  if (!GreyImage) MakeGreyImage();
  if (!CostMap) CostMap = std::make_unique<TMatrix>(Image->Height, Image->Width);
  FixedCost = -1;
  CostMap->Zero();
  ComputeAllCosts();
  if (SelectionHandling == shExpensive) {
    FixedCost = CostCeiling() * 1.1;
    ApplySelectionCost(FixedCost);
  } else if (SelectionHandling == shCheap) {
    ApplySelectionCost(0.0);
  }
  CostMapValid = true;
}

void TSeamCarvingComponent::ResetOrigins(int GridWidth, int GridHeight) {
  if (!Origins) Origins = std::make_unique<TLinearBitmap>();
  Origins->New(GridWidth, GridHeight, lpf32Bit);
  Origins->Fill(0);
  Insertions.clear();
  for (int Y = 0; Y < Source->Height; ++Y) {
    auto* Row = reinterpret_cast<std::uint32_t*>(Origins->ScanLine(Y));
    for (int X = 0; X < Source->Width; ++X) Row[X] = std::uint32_t(Y) * std::uint32_t(Source->Width) + std::uint32_t(X);
  }
}

void TSeamCarvingComponent::ApplySelectionCost(double Value) {
  if (!SelectionMask || !CostMap) return;
  if (CostMap->Width != Source->Width || CostMap->Height != Source->Height) return;
  for (int I = 0; I < CostMap->Count; ++I)
    if (SelectionMask[I]) CostMap->Map[I] = Value;
}

void TSeamCarvingComponent::RenderCostMap(TLinearBitmap& Bitmap) {
  UpdateCostMap();
  CostMap->ToScaledBitmap(Bitmap, msSquareRoot, 0, CostCeiling());
}
