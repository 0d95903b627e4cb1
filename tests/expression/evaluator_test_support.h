// Helpers shared by the evaluator and solver tests: run a text and describe the outcome.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "expression/expression_evaluator.h"

// A table like DefaultSymbols but private to one test.
inline std::unique_ptr<TSymbolTable> StrictTable() {
  auto Table = std::make_unique<TSymbolTable>();
  Table->UndefinedIsError = true;
  return Table;
}

struct TOutcome {
  bool Evaluated = false;
  long double Value = 0.0L;
  // "EExpressionError" or "Exception" when the evaluation failed.
  std::string ErrorClass;
  std::string Message;
  int Position = -1;
};

inline TOutcome Outcome(const std::string& Text, TSymbolTable& Table) {
  TOutcome Result;
  try {
    Result.Value = EvaluateExpression(Text, &Table);
    Result.Evaluated = true;
  } catch (const EExpressionError& E) {
    Result.ErrorClass = "EExpressionError";
    Result.Message = E.Message();
    Result.Position = E.Position;
  } catch (const Exception& E) {
    Result.ErrorClass = "Exception";
    Result.Message = E.Message();
  }
  return Result;
}

struct TValueCase {
  const char* Text;
  long double Expected;
};

// Each text must evaluate to its value within a relative tolerance (exact when 0).
inline void ExpectValues(std::initializer_list<TValueCase> Cases, long double Tolerance = 0.0L) {
  for (const auto& C : Cases) {
    auto Table = StrictTable();
    TOutcome R = Outcome(C.Text, *Table);
    ASSERT_TRUE(R.Evaluated) << C.Text << ": " << R.Message;
    if (Tolerance == 0.0L)
      EXPECT_EQ(R.Value, C.Expected) << C.Text;
    else
      EXPECT_LE(std::fabs(R.Value - C.Expected), Tolerance * std::fabs(C.Expected)) << C.Text;
  }
}

struct TErrorCase {
  const char* Text;
  const char* Message;
  int Position;
};

// Each text must fail with an EExpressionError of that message at that position.
inline void ExpectErrors(std::initializer_list<TErrorCase> Cases) {
  for (const auto& C : Cases) {
    auto Table = StrictTable();
    TOutcome R = Outcome(C.Text, *Table);
    EXPECT_EQ(R.ErrorClass, "EExpressionError") << C.Text;
    EXPECT_EQ(R.Message, C.Message) << C.Text;
    EXPECT_EQ(R.Position, C.Position) << C.Text;
  }
}
