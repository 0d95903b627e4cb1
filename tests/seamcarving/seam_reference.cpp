#include "seamcarving/seam_reference.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <vector>

#include "support/progress.h"

namespace reference {

namespace {

int StepAt(const TLinearBitmap& Steps, int X, int Y) { return static_cast<std::int8_t>(*Steps.PixelAddress(X, Y)); }

void SetStep(TLinearBitmap& Steps, int X, int Y, int Step) { *Steps.PixelAddress(X, Y) = static_cast<std::uint8_t>(Step); }

void PrepareSeamPass(TSeamCarvingComponent& E, TSeamDirection D) {
  if (!E.SeamCost[D]) E.SeamCost[D] = std::make_unique<TFloatMap>();
  E.SeamCost[D]->Assign(E.CostMap.get());
  if (!E.SeamStep[D]) E.SeamStep[D] = std::make_unique<TLinearBitmap>(E.CostMap->Width, E.CostMap->Height, lpf8Bit);
  E.SeamStep[D]->Fill(0);
}

// Cumulative costs along one line of cells: Cell(i, k) is cell i of line k, Step likewise.
template <typename TCell, typename TStepWrite>
void Accumulate(int Lines, int Length, TCell Cell, TStepWrite Step) {
  for (int K = 1; K < Lines; ++K) {
    auto P = [&](int I) { return Cell(I, K - 1); };
    if (Length == 1) {
      Cell(0, K) += P(0);
      continue;
    }
    if (P(1) < P(0)) {
      Step(0, K, 1);
      Cell(0, K) += P(1);
    } else {
      Cell(0, K) += P(0);
    }
    for (int I = 1; I <= Length - 2; ++I) {
      if (P(I - 1) < P(I) && P(I - 1) < P(I + 1)) {
        Step(I, K, -1);
        Cell(I, K) += P(I - 1);
      } else if (P(I + 1) < P(I) && P(I + 1) < P(I - 1)) {
        Step(I, K, 1);
        Cell(I, K) += P(I + 1);
      } else {
        Cell(I, K) += P(I);
      }
    }
    if (P(Length - 2) < P(Length - 1)) {
      Step(Length - 1, K, -1);
      Cell(Length - 1, K) += P(Length - 2);
    } else {
      Cell(Length - 1, K) += P(Length - 1);
    }
  }
}

} // namespace

void VerticalSeamPass(TSeamCarvingComponent& E) {
  PrepareSeamPass(E, sdVertical);
  TFloatMap& C = *E.SeamCost[sdVertical];
  TLinearBitmap& S = *E.SeamStep[sdVertical];
  Accumulate(
      E.Height, E.Width, [&](int X, int Y) -> double& { return *C.CellAddress(X, Y); },
      [&](int X, int Y, int Step) { SetStep(S, X, Y, Step); });
  E.BestColumn = 0;
  double Best = *C.CellAddress(0, E.Height - 1);
  for (int X = 1; X < E.Width; ++X)
    if (*C.CellAddress(X, E.Height - 1) < Best) {
      Best = *C.CellAddress(X, E.Height - 1);
      E.BestColumn = X;
    }
}

void HorizontalSeamPass(TSeamCarvingComponent& E) {
  PrepareSeamPass(E, sdHorizontal);
  TFloatMap& C = *E.SeamCost[sdHorizontal];
  TLinearBitmap& S = *E.SeamStep[sdHorizontal];
  Accumulate(
      E.Width, E.Height, [&](int Y, int X) -> double& { return *C.CellAddress(X, Y); },
      [&](int Y, int X, int Step) { SetStep(S, X, Y, Step); });
  E.BestRow = 0;
  double Best = *C.CellAddress(E.Width - 1, 0);
  for (int Y = 1; Y < E.Height; ++Y)
    if (*C.CellAddress(E.Width - 1, Y) < Best) {
      Best = *C.CellAddress(E.Width - 1, Y);
      E.BestRow = Y;
    }
}

void FindSeams(TSeamCarvingComponent& E, TSeamDirections Directions) {
  E.UpdateCostMap();
  if (Directions & SeamDirectionBit(sdVertical)) VerticalSeamPass(E);
  if (Directions & SeamDirectionBit(sdHorizontal)) HorizontalSeamPass(E);
}

void RemoveVerticalSeam(TSeamCarvingComponent& E, int X) {
  const int NewWidth = --E.Width;
  const int PixelSize = E.Image->PixelSize;
  const bool Separate = E.GreyImage != E.Image.get();
  const TLinearBitmap& Steps = *E.SeamStep[sdVertical];
  int Column = X;
  for (int Y = E.Height - 1; Y >= 0; --Y) {
    std::memmove(E.Image->PixelAddress(Column, Y), E.Image->PixelAddress(Column + 1, Y),
                 std::size_t(NewWidth - Column) * PixelSize);
    if (Separate)
      std::memmove(E.GreyImage->PixelAddress(Column, Y), E.GreyImage->PixelAddress(Column + 1, Y), NewWidth - Column);
    E.Image->SetPixelValue(NewWidth, Y, 0);
    for (int C = Column; C < NewWidth; ++C) *E.CostMap->CellAddress(C, Y) = *E.CostMap->CellAddress(C + 1, Y);
    *E.CostMap->CellAddress(NewWidth, Y) = 0.0;
    Column += StepAt(Steps, Column, Y);
  }
  const int R = E.CostWindowRadius;
  Column = X;
  for (int Y = E.Height - 1; Y >= 0; --Y) {
    for (int C = std::max(0, Column - R); C <= std::min(NewWidth - 1, Column + R); ++C) E.ComputeCost(C, Y);
    Column += StepAt(Steps, Column, Y);
  }
}

void RemoveHorizontalSeam(TSeamCarvingComponent& E, int Y) {
  const int NewHeight = --E.Height;
  const int PixelSize = E.Image->PixelSize;
  const bool Separate = E.GreyImage != E.Image.get();
  const TLinearBitmap& Steps = *E.SeamStep[sdHorizontal];
  int Row = Y;
  for (int X = E.Width - 1; X >= 0; --X) {
    for (int K = Row; K < NewHeight; ++K) {
      std::memcpy(E.Image->PixelAddress(X, K), E.Image->PixelAddress(X, K + 1), PixelSize);
      if (Separate) *E.GreyImage->PixelAddress(X, K) = *E.GreyImage->PixelAddress(X, K + 1);
      *E.CostMap->CellAddress(X, K) = *E.CostMap->CellAddress(X, K + 1);
    }
    E.Image->SetPixelValue(X, NewHeight, 0);
    *E.CostMap->CellAddress(X, NewHeight) = 0.0;
    Row += StepAt(Steps, X, Row);
  }
  const int R = E.CostWindowRadius;
  Row = Y;
  for (int X = E.Width - 1; X >= 0; --X) {
    for (int C = std::max(0, Row - R); C <= std::min(NewHeight - 1, Row + R); ++C) E.ComputeCost(X, C);
    Row += StepAt(Steps, X, Row);
  }
}

void ScaleTo(TSeamCarvingComponent& E, int NewWidth, int NewHeight) {
  const int Total = std::max(0, E.Width - NewWidth) + std::max(0, E.Height - NewHeight);
  for (int Step = 1; Step <= Total; ++Step) {
    TSeamDirections D = 0;
    if (E.Width > NewWidth) D |= SeamDirectionBit(sdVertical);
    if (E.Height > NewHeight) D |= SeamDirectionBit(sdHorizontal);
    FindSeams(E, D);
    const double Inf = std::numeric_limits<double>::infinity();
    const double CostV = (D & 1) ? *E.SeamCost[sdVertical]->CellAddress(E.BestColumn, E.Height - 1) / E.Height : Inf;
    const double CostH = (D & 2) ? *E.SeamCost[sdHorizontal]->CellAddress(E.Width - 1, E.BestRow) / E.Width : Inf;
    if (CostV < CostH)
      RemoveVerticalSeam(E, E.BestColumn);
    else
      RemoveHorizontalSeam(E, E.BestRow);
  }
}

void EnlargeWidth(TSeamCarvingComponent& E, int NewWidth) {
  const int W0 = E.Source->Width, H0 = E.Source->Height;
  if (E.Width != W0 || E.Height != H0) {
    E.DiscardGreyImage();
    E.Image.reset();
    E.Width = W0;
    E.Height = H0;
    E.CostMapValid = false;
  }
  const int N = NewWidth - W0;
  std::vector<std::vector<int>> Seams(N);
  auto Report = [](int Percent) {
    if (ProgressHook) ProgressHook(Percent);
  };
  for (int I = 0; I < N; ++I) {
    Report(I * 90 / N);
    FindSeams(E, SeamDirectionBit(sdVertical));
    Seams[I].resize(E.Height);
    int X = E.BestColumn;
    for (int Y = E.Height - 1; Y >= 0; --Y) {
      Seams[I][Y] = X;
      for (int J = 0; J < I; ++J)
        if (Seams[I][Y] >= Seams[J][Y]) ++Seams[I][Y];
      X += StepAt(*E.SeamStep[sdVertical], X, Y);
    }
    RemoveVerticalSeam(E, E.BestColumn);
  }
  E.CostMapValid = false;
  E.DiscardGreyImage();
  E.CostMap.reset();
  for (auto& S : E.SeamStep) S.reset();
  for (auto& S : E.SeamCost) S.reset();
  E.Image->New(NewWidth, H0, E.Source->PixelFormat);
  E.Image->PasteImage(*E.Source, 0, 0, INT_MAX, INT_MAX);
  E.Width = W0;
  const int PixelSize = E.Image->PixelSize;
  for (int I = 0; I < N; ++I) {
    Report(90 + I * 10 / N);
    for (int Y = 0; Y < E.Height; ++Y) {
      const int X = Seams[I][Y];
      for (int C = E.Width - 1; C >= X + 1; --C)
        std::memcpy(E.Image->PixelAddress(C + 1, Y), E.Image->PixelAddress(C, Y), PixelSize);
      const int Right = X + 2 <= E.Width ? X + 2 : X;
      for (int B = 0; B < PixelSize; ++B)
        E.Image->PixelAddress(X + 1, Y)[B] =
            E.GammaAverage[E.Image->PixelAddress(X, Y)[B]][E.Image->PixelAddress(Right, Y)[B]];
      for (int J = I + 1; J < N; ++J)
        if (Seams[J][Y] >= X) ++Seams[J][Y];
    }
    ++E.Width;
  }
  Report(100);
}

} // namespace reference
