#include "expression/float_ops.h"

#include <cstdint>
#include <limits>

#include "expression/expression_evaluator.h"

const char* const InvalidOperationMessage = "Invalid floating point operation";

void RaiseInvalidOperation() { throw Exception(InvalidOperationMessage); }

long double FDiv(long double A, long double B) {
  if (B == 0.0L && !std::isnan(A)) {
    if (A == 0.0L) RaiseInvalidOperation();
    bool Negative = std::signbit(A) != std::signbit(B);
    return Negative ? -std::numeric_limits<long double>::infinity()
                    : std::numeric_limits<long double>::infinity();
  }
  return CheckedResult(A / B, A, B);
}

long double FFrac(long double T) { return FSub(T, std::trunc(T)); }

long double FLn(long double X) { return CheckedResult(std::log(X), X); }

namespace {

// Squaring keeps the work logarithmic in the exponent. For |A| > 1 every factor is large
// and for |A| < 1 every factor is small, so the product never meets 0 times infinity.
long double IntPower(long double A, std::int64_t N) {
  std::uint64_t E = static_cast<std::uint64_t>(N < 0 ? -N : N);
  long double Result = 1.0L, Base = A;
  while (E) {
    if (E & 1) Result = FMul(Result, Base);
    E >>= 1;
    if (E) Base = FMul(Base, Base);
  }
  return N < 0 ? FDiv(1.0L, Result) : Result;
}

} // namespace

long double FPower(long double A, long double B) {
  if (B == 0.0L) return 1.0L;
  if (A == 0.0L && B > 0.0L) return 0.0L;
  if (B == std::trunc(B) && std::fabs(B) <= 2147483647.0L)
    return IntPower(A, static_cast<std::int64_t>(B));
  return CheckedResult(std::exp(FMul(B, FLn(A))), A, B);
}
