// Extended-precision arithmetic with the evaluator's floating-point rules applied in
// software, so that every build gives the same results without touching the FPU control
// word: division by zero gives a signed infinity, overflow an infinity, underflow 0, and an
// invalid operation raises the general Exception "Invalid floating point operation".
// An operand that already is a NaN passes through quietly, as it does in hardware.
#pragma once

#include <cmath>

#include "support/object.h"

[[noreturn]] void RaiseInvalidOperation();

// R, unless it is a NaN made from operands that were not.
inline long double CheckedResult(long double R, long double A, long double B = 0.0L) {
  if (std::isnan(R) && !std::isnan(A) && !std::isnan(B)) RaiseInvalidOperation();
  return R;
}

inline long double FAdd(long double A, long double B) { return CheckedResult(A + B, A, B); }
inline long double FSub(long double A, long double B) { return CheckedResult(A - B, A, B); }
inline long double FMul(long double A, long double B) { return CheckedResult(A * B, A, B); }
long double FDiv(long double A, long double B);
// T - trunc(T): the fractional part with the sign of T; invalid for an infinity.
long double FFrac(long double T);
// A raised to B: 1 for B = 0, 0 for A = 0 with B > 0, repeated multiplication for a whole
// B of at most 2^31 - 1 in magnitude (so negative bases work), exp(B ln A) otherwise.
long double FPower(long double A, long double B);
// Natural logarithm: -inf at 0, invalid below 0.
long double FLn(long double X);
