#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "expression/numeric_solvers.h"
#include "evaluator_test_support.h"

TEST(NumericSolvers, FindRootsMinimaAndSolutions) {
  ExpectValues(
      {
          {"num.root(x^2-2, x)", 1.41421356237309504880L},
          {"num.solve(x^2=2, x)", 1.41421356237309504880L},
          {"num.solve(2^x=10, x)", 3.32192809488736234787L},
          {"num.argmin((x-3)^2, x)", 3},
          {"num.min((x-3)^2+1, x)", 1},
          {"num.root(cos(x)-x, x)", 0.739085133215160641655L},
          {"num.root(ln(x), x)", 1},
          {"num.root(  x^2-2 ,  x  )", 1.41421356237309504880L},
          {":num.Guess=-2; num.root(x^2-2, x)", -1.41421356237309504880L},
          {"num.argmin((t-(1+2))^2, t)*2", 6},
      },
      1e-9L);
  // Values below 1e-100 snap to 0, so the minimum is exactly 0.
  ExpectValues({{"num.min((x-3)^2, x)", 0}, {"num.min(-x^2, x)", -std::numeric_limits<long double>::infinity()}});
}

TEST(NumericSolvers, ErrorsAndTheirPositions) {
  ExpectErrors({
      {"num.root(x^2-2)", ", expected", 15},
      {"num.root(x))", ", expected", 11},
      {"num.root(x^2-2 x)", ", expected", 17},
      {"num.root(x^2-2, 1)", "Name expected", 17},
      {"num.root (x, x)", "( expected", 9},
      {"num.root(x, x", ") expected", 14},
      {"num.solve(x^2, x)", "= not found", 14},
      {"num.solve(x=1=2, x)", "Extra = found", 18},
      {"num.root(x^2+1, x)", "No solution found, try changing starting guess", 18},
      {"num.root(x+, x)", "Unable to evaluate guess: Value expected", 13},
      {"num.root(y, x)", "Unable to evaluate guess: Undefined symbol: y", 12},
      {"num.solve(x+=1, x)", "Unable to evaluate guess: Unexpected character: )", 12},
      {":num.Guess()=1; num.root(x, x)", "Guess undefined", 30},
      {"num.root(x-inf+inf, x)", "Invalid floating point operation", 21},
  });
}

TEST(NumericSolvers, TheVariableIsShadowedAndPutBack) {
  auto Table = StrictTable();
  EXPECT_EQ(Outcome(":x=42; num.root(x-1, x)+x", *Table).Value, 43);
  EXPECT_EQ(Outcome("x", *Table).Value, 42);
  EXPECT_EQ(Outcome("num.root(q-1, q)", *Table).Value, 1);
  EXPECT_EQ(Table->FindSymbol("q"), nullptr);
  // Also after a failure, and for a variable that names a function.
  EXPECT_EQ(Outcome("num.root(x^2+1, x)", *Table).Message,
            "No solution found, try changing starting guess");
  EXPECT_EQ(Outcome("x", *Table).Value, 42);
  EXPECT_NEAR(double(Outcome("num.root(sin-2, sin)", *Table).Value), 2.0, 1e-9);
  EXPECT_NEAR(double(Outcome("sin(pi/2)", *Table).Value), 1.0, 1e-18);
  // Definitions made inside the argument stay.
  Outcome("num.root((:seen=1)x-1, x)", *Table);
  EXPECT_EQ(Outcome("seen", *Table).Value, 1);
}

TEST(NumericSolvers, DescribeThemselves) {
  struct TCase {
    TOptimizationMode Mode;
    const char* Name;
    const char* Hint;
    const char* Description;
  };
  const TCase Cases[] = {
      {omArgMin, "num.argmin", "expression,x", "Find x that minimizes expression"},
      {omMin, "num.min", "expression,x", "Minimum value for expression in x"},
      {omRoot, "num.root", "expression,x", "Root of expression in x"},
      {omSolve, "num.solve", "equation,x", "Solve equation in x"},
  };
  auto Table = StrictTable();
  for (const auto& C : Cases) {
    auto* F = dynamic_cast<TOptimizationFunction*>(Table->FindSymbol(C.Name));
    ASSERT_NE(F, nullptr) << C.Name;
    EXPECT_EQ(F->Mode, C.Mode);
    EXPECT_EQ(F->Kind, skSymbolic);
    EXPECT_EQ(F->ParameterHint(), C.Hint);
    EXPECT_EQ(F->Description(), C.Description);
  }
}
