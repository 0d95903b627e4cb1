#include "calculator.h"

#include <cmath>
#include <cstdio>

#include "expression/expression_evaluator.h"

namespace {

std::string FormatValue(long double Value) {
  // Spelled out: C runtimes disagree on how they print infinities and NaNs.
  if (std::isnan(Value)) return "nan";
  if (std::isinf(Value)) return Value < 0 ? "-inf" : "inf";
  char Buffer[64];
  std::snprintf(Buffer, sizeof Buffer, "%.21Lg", Value);
  return Buffer;
}

} // namespace

bool CalculateLine(const std::string& Expression, std::string& Line) {
  try {
    Line = FormatValue(EvaluateExpression(Expression, DefaultSymbols));
    return true;
  } catch (const EExpressionError& E) {
    Line = "error at " + std::to_string(E.Position) + ": " + E.Message();
  } catch (const std::exception& E) {
    Line = std::string("error: ") + E.what();
  }
  return false;
}

int RunCalculator(const std::vector<std::string>& Expressions, std::istream& Input,
                  std::ostream& Output) {
  bool AllEvaluated = true;
  auto Calculate = [&](const std::string& Expression) {
    std::string Line;
    AllEvaluated &= CalculateLine(Expression, Line);
    Output << Line << '\n';
  };
  if (!Expressions.empty()) {
    for (const std::string& Expression : Expressions) Calculate(Expression);
  } else {
    std::string Expression;
    while (std::getline(Input, Expression)) {
      if (!Expression.empty() && Expression.back() == '\r') Expression.pop_back();
      Calculate(Expression);
    }
  }
  Output.flush();
  return AllEvaluated ? 0 : 1;
}
