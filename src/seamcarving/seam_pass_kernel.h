// The inner loops of the seam passes: the choice of predecessor, and one line of cumulative
// costs from the line before it. Internal to the engine.
#pragma once

#include <emmintrin.h>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define FR_SEAM_KERNEL_AVX2 1
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace seam_kernel {

// Steps are signed bytes stored as 255 (-1), 0 and 1.
constexpr std::uint8_t StepLeft = 255;
constexpr std::uint8_t StepRight = 1;

// A diagonal predecessor wins only when strictly lower than both other candidates, so the
// straight one wins every tie it is part of, and also two equal diagonals below it.
inline void Choose(double Left, double Straight, double Right, double Own, double& Sum, std::uint8_t& Step) {
  const bool TakeLeft = Left < Straight && Left < Right;
  const bool TakeRight = Right < Straight && Right < Left;
  Sum = Own + (TakeLeft ? Left : TakeRight ? Right : Straight);
  Step = TakeLeft ? StepLeft : TakeRight ? StepRight : 0;
}

// A border cell has one diagonal, taken only when strictly lower than the straight one.
inline void ChooseAtBorder(double Straight, double Diagonal, std::uint8_t DiagonalStep, double Own, double& Sum,
                           std::uint8_t& Step) {
  const bool TakeDiagonal = Diagonal < Straight;
  Sum = Own + (TakeDiagonal ? Diagonal : Straight);
  Step = TakeDiagonal ? DiagonalStep : 0;
}

// Choose for two cells at once: the SSE2 compares and adds are the scalar IEEE operations two
// at a time, and selecting by mask avoids the branches a noisy map would mispredict. Returns
// the two sums.
inline __m128d ChooseTwo(__m128d Left, __m128d Straight, __m128d Right, __m128d Own, std::uint8_t* Step0,
                         std::uint8_t* Step1) {
  const __m128d TakeL = _mm_and_pd(_mm_cmplt_pd(Left, Straight), _mm_cmplt_pd(Left, Right));
  const __m128d TakeR = _mm_and_pd(_mm_cmplt_pd(Right, Straight), _mm_cmplt_pd(Right, Left));
  const __m128d Chosen = _mm_or_pd(_mm_and_pd(TakeL, Left),
                                   _mm_andnot_pd(TakeL, _mm_or_pd(_mm_and_pd(TakeR, Right), _mm_andnot_pd(TakeR, Straight))));
  // Index bit 0: left taken, bit 1: right taken.
  static constexpr std::uint8_t Steps[4] = {0, StepLeft, StepRight, 0};
  const int L = _mm_movemask_pd(TakeL), R = _mm_movemask_pd(TakeR);
  *Step0 = Steps[(L & 1) | (R & 1) << 1];
  *Step1 = Steps[(L >> 1) | (R >> 1) << 1];
  return _mm_add_pd(Own, Chosen);
}

// The positions of the first and last cell a sweep changed; First > Last when none changed.
struct TChangedRange {
  int First;
  int Last;
};

#ifdef FR_SEAM_KERNEL_AVX2
// Four cells at once where the processor has AVX2 (64-bit builds only; the 32-bit build keeps
// to SSE2). The same IEEE compares and adds as Choose, four at a time, so the sums and steps
// are identical; the four steps come from one table indexed by the two compare masks.
inline bool HasAvx2() {
  static const bool Has = __builtin_cpu_supports("avx2");
  return Has;
}

struct TStepTable {
  std::uint32_t Steps[256]; // index: left-taken bits 0..3, right-taken bits 4..7
  constexpr TStepTable() : Steps() {
    for (int I = 0; I < 256; ++I)
      for (int K = 0; K < 4; ++K)
        Steps[I] |= std::uint32_t(I >> K & 1 ? StepLeft : I >> (K + 4) & 1 ? StepRight : 0) << (8 * K);
  }
};
inline constexpr TStepTable StepTable;

// Returns the four sums; stores the four steps at Step.
__attribute__((target("avx2"))) inline __m256d ChooseFour(__m256d Left, __m256d Straight, __m256d Right, __m256d Own,
                                                            std::uint8_t* Step) {
  const __m256d TakeL = _mm256_and_pd(_mm256_cmp_pd(Left, Straight, _CMP_LT_OQ), _mm256_cmp_pd(Left, Right, _CMP_LT_OQ));
  const __m256d TakeR = _mm256_and_pd(_mm256_cmp_pd(Right, Straight, _CMP_LT_OQ), _mm256_cmp_pd(Right, Left, _CMP_LT_OQ));
  const __m256d Chosen = _mm256_blendv_pd(_mm256_blendv_pd(Straight, Right, TakeR), Left, TakeL);
  const std::uint32_t Steps = StepTable.Steps[_mm256_movemask_pd(TakeL) | _mm256_movemask_pd(TakeR) << 4];
  std::memcpy(Step, &Steps, 4);
  return _mm256_add_pd(Own, Chosen);
}

// The interior cells X, X + 1, ... of AccumulateLine four at a time while X + 3 <= Last;
// returns the first cell not done.
__attribute__((target("avx2"))) inline int AccumulateFours(const double* P, const double* Own, double* R,
                                                             std::uint8_t* S, int X, int Last) {
  for (; X + 3 <= Last; X += 4)
    _mm256_storeu_pd(R + X, ChooseFour(_mm256_loadu_pd(P + X - 1), _mm256_loadu_pd(P + X), _mm256_loadu_pd(P + X + 1),
                                       _mm256_loadu_pd(Own + X), S + X));
  return X;
}

// UpdateLine's interior cells X, X + 1, ... four at a time while X + 3 <= Last, for a line
// whose cells lie together; its plain costs lie OwnStride apart when OwnStrided. Returns the
// first cell not done.
template <bool OwnStrided>
__attribute__((target("avx2"))) inline int UpdateFours(const double* P, const double* Own, std::ptrdiff_t OwnStride,
                                                         double* R, std::uint8_t* S, int X, int Last,
                                                         TChangedRange& Changed) {
  for (; X + 3 <= Last; X += 4) {
    const double* O = Own + X * OwnStride;
    const __m256d OwnCosts = OwnStrided ? _mm256_set_pd(O[3 * OwnStride], O[2 * OwnStride], O[OwnStride], O[0])
                                        : _mm256_loadu_pd(Own + X);
    const __m256d Old = _mm256_loadu_pd(R + X);
    const __m256d New =
        ChooseFour(_mm256_loadu_pd(P + X - 1), _mm256_loadu_pd(P + X), _mm256_loadu_pd(P + X + 1), OwnCosts, S + X);
    _mm256_storeu_pd(R + X, New);
    const int Differs = _mm256_movemask_pd(_mm256_cmp_pd(New, Old, _CMP_NEQ_UQ));
    if (Differs) {
      Changed.First = std::min(Changed.First, X + __builtin_ctz(unsigned(Differs)));
      Changed.Last = X + 31 - __builtin_clz(unsigned(Differs));
    }
  }
  return X;
}
#endif

// Cells First..Last of line R = Own + chosen predecessor in the previous cumulative line P,
// for a line of Length cells. R may be Own. A line of one cell takes its one predecessor.
inline void AccumulateLine(const double* P, const double* Own, double* R, std::uint8_t* S, int Length, int First,
                           int Last) {
  if (Length == 1) {
    R[0] = Own[0] + P[0];
    S[0] = 0;
    return;
  }
  if (First == 0) ChooseAtBorder(P[0], P[1], StepRight, Own[0], R[0], S[0]);
  int X = std::max(First, 1);
  const int InteriorLast = std::min(Last, Length - 2);
#ifdef FR_SEAM_KERNEL_AVX2
  if (HasAvx2()) X = AccumulateFours(P, Own, R, S, X, InteriorLast);
#endif
  for (; X + 1 <= InteriorLast; X += 2)
    _mm_storeu_pd(R + X, ChooseTwo(_mm_loadu_pd(P + X - 1), _mm_loadu_pd(P + X), _mm_loadu_pd(P + X + 1),
                                   _mm_loadu_pd(Own + X), S + X, S + X + 1));
  for (; X <= InteriorLast; ++X) Choose(P[X - 1], P[X], P[X + 1], Own[X], R[X], S[X]);
  if (Last >= Length - 1) ChooseAtBorder(P[Length - 1], P[Length - 2], StepLeft, Own[Length - 1], R[Length - 1], S[Length - 1]);
}

// Brings cells First..Last of line R up to date from the previous line P, in place, and
// reports which of them changed, all in one sweep. The cells of P, R and S lie Stride apart,
// those of Own OwnStride apart (1 along a row; the row length down a column). Line 0 (P
// null) takes the plain costs. The same choices as AccumulateLine; equal sums compare equal,
// so a cell reported unchanged holds exactly the value it held.
template <bool Strided, bool OwnStrided = Strided>
inline TChangedRange UpdateLine(const double* P, const double* Own, double* R, std::uint8_t* S,
                                std::ptrdiff_t Stride, std::ptrdiff_t OwnStride, int Length, int First, int Last) {
  const std::ptrdiff_t D = Strided ? Stride : 1;
  const std::ptrdiff_t E = OwnStrided ? OwnStride : 1;
  TChangedRange Changed{Last + 1, First - 1};
  auto Note = [&Changed](int X) {
    if (Changed.First > X) Changed.First = X;
    Changed.Last = X;
  };
  auto Single = [&](int X) {
    double& Sum = R[X * D];
    std::uint8_t& Step = S[X * D];
    const double Old = Sum;
    const double OwnCost = Own[X * E];
    if (!P) {
      Sum = OwnCost;
      Step = 0;
      if (Sum != Old) Note(X);
      return;
    }
    const double* Q = P + X * D;
    if (Length == 1) {
      Sum = OwnCost + Q[0];
      Step = 0;
    } else if (X == 0) {
      ChooseAtBorder(Q[0], Q[D], StepRight, OwnCost, Sum, Step);
    } else if (X == Length - 1) {
      ChooseAtBorder(Q[0], Q[-D], StepLeft, OwnCost, Sum, Step);
    } else {
      Choose(Q[-D], Q[0], Q[D], OwnCost, Sum, Step);
    }
    if (Sum != Old) Note(X);
  };
  auto Pair = [&](const double* V, int X) {
    return Strided ? _mm_set_pd(V[(X + 1) * D], V[X * D]) : _mm_loadu_pd(V + X);
  };
  auto OwnPair = [&](int X) {
    return OwnStrided ? _mm_set_pd(Own[(X + 1) * E], Own[X * E]) : _mm_loadu_pd(Own + X);
  };
  int X = First;
  if (X == 0 && X <= Last) Single(X++);
#ifdef FR_SEAM_KERNEL_AVX2
  if constexpr (!Strided)
    if (P && HasAvx2()) X = UpdateFours<OwnStrided>(P, Own, E, R, S, X, std::min(Last, Length - 2), Changed);
#endif
  for (; P && X + 1 <= Last && X + 1 <= Length - 2; X += 2) {
    const __m128d Old = Pair(R, X);
    const __m128d New = ChooseTwo(Pair(P, X - 1), Pair(P, X), Pair(P, X + 1), OwnPair(X), S + X * D, S + (X + 1) * D);
    if constexpr (Strided) {
      _mm_storel_pd(R + X * D, New);
      _mm_storeh_pd(R + (X + 1) * D, New);
    } else {
      _mm_storeu_pd(R + X, New);
    }
    const int Differs = _mm_movemask_pd(_mm_cmpneq_pd(New, Old));
    if (Differs & 1) Note(X);
    if (Differs & 2) Note(X + 1);
  }
  for (; X <= Last; ++X) Single(X);
  return Changed;
}

} // namespace seam_kernel
