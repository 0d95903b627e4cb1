// The built-in symbols every symbol table starts with.
#include <cmath>
#include <cstdint>
#include <limits>

#include "expression/expression_evaluator.h"
#include "expression/float_ops.h"
#include "expression/numeric_solvers.h"

std::uint32_t RandSeed = 0;

namespace {

constexpr long double Infinity = std::numeric_limits<long double>::infinity();

// The next number of the linear congruential generator, uniform in [0, 1).
long double NextUniform() {
  RandSeed = RandSeed * 134775813u + 1u;
  return RandSeed / 4294967296.0L;
}

// A whole number that must fit the integer type the result is declared as; a conversion
// out of range is an invalid operation, as it is for the hardware's integer store.
long double WholeInRange(long double R, long double Low, long double High) {
  if (!(R >= Low && R <= High)) RaiseInvalidOperation();
  return R;
}

long double Factorial(long double X) {
  if (std::isnan(X)) return X;
  if (X < 0.0L) throw Exception("Undefined");
  if (std::isinf(X)) RaiseInvalidOperation();
  long double N = std::nearbyint(X);
  if (std::fabs(N - X) > 1e-6L) throw Exception("Undefined");
  long double Product = 1.0L;
  // Stopping at infinity keeps huge arguments from looping for ages.
  for (long double I = 2.0L; I <= N && !std::isinf(Product); I += 1.0L) Product *= I;
  return Product;
}

long double Binary(long double X) {
  long double R = std::nearbyint(X) + 0.0L; // + 0 turns -0 into 0
  if (std::isnan(R) || std::isinf(R)) throw Exception("Invalid binary number");
  if (std::fabs(R) >= 1e17L) throw Exception("Max 16 bits in binary number");
  std::string Digits = std::to_string(static_cast<long long>(R));
  if (Digits.size() > 16) throw Exception("Max 16 bits in binary number");
  long double Value = 0.0L;
  for (char C : Digits) {
    if (C != '0' && C != '1') throw Exception("Invalid binary number");
    Value = Value * 2.0L + (C - '0');
  }
  return Value;
}

long double GaussianRandom(long double X) {
  long double U, V, W;
  do {
    U = 2.0L * NextUniform() - 1.0L;
    V = 2.0L * NextUniform() - 1.0L;
    W = U * U + V * V;
  } while (W >= 1.0L || W == 0.0L); // W = 0 would divide 0 by 0 below
  return FMul(X, U * std::sqrt(-2.0L * std::log(W) / W));
}

struct TBuiltIn {
  const char* Name;
  TStandardFunc Func;
  const char* Description;
};

const TBuiltIn BuiltIns[] = {
    {"sin", [](long double X) { return CheckedResult(std::sin(X), X); }, ""},
    {"cos", [](long double X) { return CheckedResult(std::cos(X), X); }, ""},
    {"arctan", [](long double X) { return CheckedResult(std::atan(X), X); }, ""},
    {"arccos", [](long double X) { return CheckedResult(std::acos(X), X); }, ""},
    {"arcsin", [](long double X) { return CheckedResult(std::asin(X), X); }, ""},
    {"tan", [](long double X) { return CheckedResult(std::tan(X), X); }, ""},
    {"cot", [](long double X) { return FDiv(1.0L, CheckedResult(std::tan(X), X)); }, ""},
    {"sinh", [](long double X) { return CheckedResult(std::sinh(X), X); }, ""},
    {"cosh", [](long double X) { return CheckedResult(std::cosh(X), X); }, ""},
    {"tanh", [](long double X) { return CheckedResult(std::tanh(X), X); }, ""},
    {"arccosh", [](long double X) { return CheckedResult(std::acosh(X), X); }, ""},
    {"arcsinh", [](long double X) { return CheckedResult(std::asinh(X), X); }, ""},
    {"arctanh", [](long double X) { return CheckedResult(std::atanh(X), X); }, ""},
    {"log10", [](long double X) { return CheckedResult(std::log10(X), X); }, "Base 10 logarithm"},
    {"log2", [](long double X) { return CheckedResult(std::log2(X), X); }, "Base 2 logarithm"},
    {"ln", FLn, "Base e logarithm"},
    {"sqrt", [](long double X) { return CheckedResult(std::sqrt(X), X); }, "Square root"},
    {"exp", [](long double X) { return CheckedResult(std::exp(X), X); }, "e^x"},
    {"fac", Factorial, "x!"},
    {"abs", [](long double X) { return std::fabs(X); }, "|x|"},
    {"ceil", [](long double X) { return WholeInRange(std::ceil(X), -2147483648.0L, 2147483647.0L); },
     "Rounds up toward positive infinity"},
    {"floor",
     [](long double X) { return WholeInRange(std::floor(X), -2147483648.0L, 2147483647.0L); },
     "Rounds toward negative infinity"},
    {"round",
     [](long double X) {
       return WholeInRange(std::nearbyint(X), -9223372036854775808.0L, 9223372036854775807.0L);
     },
     "Round to nearest integer"},
    {"frac", FFrac, "Fractional part of real number"},
    {"rand", [](long double X) { return FMul(X, NextUniform()); }, "Random number in [0;x["},
    {"randn", GaussianRandom, "Gaussian random number, StdDev=x"},
    {"bin", Binary, "Convert binary number"},
};

} // namespace

void TSymbolTable::AddDefaults() {
  Define("pi", new TSymbolValue(3.14159265358979323846264338327950288L));
  Define("e", new TSymbolValue(2.71828182845904523536028747135266250L));
  Define("inf", new TSymbolValue(Infinity));
  Define("kb", new TSymbolValue(1024.0L));
  Define("Mb", new TSymbolValue(1048576.0L));
  Define("Gb", new TSymbolValue(1073741824.0L));
  for (const TBuiltIn& B : BuiltIns) Define(B.Name, new TStandardFunction(B.Func, B.Description));
  Define("num.argmin", new TOptimizationFunction(omArgMin));
  Define("num.min", new TOptimizationFunction(omMin));
  Define("num.root", new TOptimizationFunction(omRoot));
  Define("num.solve", new TOptimizationFunction(omSolve));
  Define("num.Guess", new TParameterValue(0.500000001L));
}
