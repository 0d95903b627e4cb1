// The solvers num.argmin, num.min, num.root and num.solve: symbolic functions that take an
// expression as raw text plus a variable name and search for a local minimum of the
// expression (or of its absolute value) near the start value "num.Guess".
#pragma once

#include <cstdint>
#include <string>

#include "expression/expression_evaluator.h"

enum TOptimizationMode : std::uint8_t { omArgMin = 0, omMin = 1, omRoot = 2, omSolve = 3 };

class TOptimizationFunction : public TSymbolicFunction {
public:
  explicit TOptimizationFunction(TOptimizationMode Mode) : Mode(Mode) {}
  const char* ClassName() const override { return "TOptimizationFunction"; }

  // Reads "expression, variable" (for omSolve "left = right, variable") from Text at Pos
  // and leaves Pos after the variable name. While it searches, the variable is bound in
  // Table; afterwards the table holds what it held before. Raises EExpressionError:
  // ", expected", "Name expected", "Guess undefined", "= not found", "Extra = found",
  // "Unable to evaluate guess: ..." and, for roots, "No solution found, try changing
  // starting guess". Results below 1e-100 in magnitude read as 0, beyond 1e100 as infinity.
  long double EvaluateText(const std::string& Text, int& Pos, TSymbolTable& Table) override;
  std::string ParameterHint() const override;
  std::string Description() const override;

  TOptimizationMode Mode;
};
