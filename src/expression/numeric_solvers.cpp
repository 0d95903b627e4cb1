#include "expression/numeric_solvers.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int IterationBudget = 5000;

// One-dimensional pattern search for a local minimum of the expression near the variable's
// current value: steps grow by 10 % while they succeed, reverse direction when only the
// backward trial succeeds, and halve when neither improves.
class TPatternSearch {
public:
  TPatternSearch(const std::string& Expression, TSymbolValue& Variable, TSymbolTable& Table,
                 bool Absolute)
      : Expression_(Expression), Variable_(Variable), Table_(Table), Absolute_(Absolute) {}

  // Runs the search; ArgumentStart places errors of the first evaluation in the whole text.
  void Run(int ArgumentStart) {
    X = Variable_.Value;
    try {
      Best = F();
    } catch (const EExpressionError& E) {
      throw EExpressionError("Unable to evaluate guess: " + E.Message(), ArgumentStart + E.Position);
    }
    long double Step = 1.0L;
    for (int Iteration = 0; Iteration < IterationBudget; ++Iteration) {
      Variable_.Value = X + Step;
      if (Variable_.Value == X) break; // the step no longer moves x
      long double Trial = TrialF();
      if (Trial < Best) {
        X = Variable_.Value;
        Step *= 1.1L;
        Best = Trial;
        continue;
      }
      Variable_.Value = X - Step;
      Trial = TrialF();
      if (Trial < Best) {
        X = Variable_.Value;
        Step *= -1.1L;
        Best = Trial;
      } else {
        Step /= 2.0L;
      }
    }
  }

  long double X = 0.0L;
  long double Best = 0.0L;

private:
  long double F() {
    long double R = EvaluateExpression(Expression_, &Table_);
    return Absolute_ ? std::fabs(R) : R;
  }
  // A trial point where the expression fails is no improvement.
  long double TrialF() {
    try {
      return F();
    } catch (const Exception&) {
      return Best;
    }
  }

  const std::string& Expression_;
  TSymbolValue& Variable_;
  TSymbolTable& Table_;
  bool Absolute_;
};

long double Snap(long double R) {
  constexpr long double Infinity = std::numeric_limits<long double>::infinity();
  if (std::fabs(R) < 1e-100L) return 0.0L;
  if (!(R <= 1e100L)) return Infinity;
  if (R < -1e100L) return -Infinity;
  return R;
}

} // namespace

long double TOptimizationFunction::EvaluateText(const std::string& Text, int& Pos,
                                                TSymbolTable& Table) {
  // The first argument runs up to the ',' outside parentheses.
  int Start = Pos;
  int Length = static_cast<int>(Text.size());
  int Depth = 0;
  while (Pos <= Length && !(Depth == 0 && Text[Pos - 1] == ',')) {
    char C = Text[Pos - 1];
    if (C == '(') ++Depth;
    if (C == ')' && --Depth < 0) throw EExpressionError(Expected(','), Pos);
    ++Pos;
  }
  if (Pos > Length) throw EExpressionError(Expected(','), Pos);
  std::string Argument = Text.substr(Start - 1, Pos - Start);

  ++Pos;
  SkipBlanks(Text, Pos);
  if (!IsNameStart(CharAt(Text, Pos))) throw EExpressionError("Name expected", Pos);
  int NameStart = Pos;
  std::string Name = TakeName(Text, Pos);

  auto* Guess = dynamic_cast<TSymbolValue*>(Table.FindSymbol("num.Guess"));
  if (!Guess) throw EExpressionError("Guess undefined", Pos);

  long double Result = 0.0L;
  {
    TSymbolBinding Binding(Table, Name, Guess->Value);
    // The expression may redefine the variable; its value must stay valid until the end.
    TSymbolHold Hold(Binding.Variable());
    bool Absolute = Mode == omRoot || Mode == omSolve;
    if (Mode == omSolve) {
      std::size_t Equals = Argument.find('=');
      if (Equals == std::string::npos) throw EExpressionError("= not found", NameStart - 2);
      std::string Difference = "(";
      Difference.append(Argument, 0, Equals).append(")-(");
      Difference.append(Argument, Equals + 1).append(")");
      Argument = std::move(Difference);
      std::size_t Extra = Argument.find('=');
      if (Extra != std::string::npos)
        throw EExpressionError("Extra = found", Start + static_cast<int>(Extra) + 1);
      Start -= 3;
    }
    TPatternSearch Search(Argument, *Binding.Variable(), Table, Absolute);
    Search.Run(Start);
    if (Mode == omMin) {
      Result = Search.Best;
    } else {
      if (Absolute && !(Search.Best <= 1e-5L))
        throw EExpressionError("No solution found, try changing starting guess", Pos);
      Result = Search.X;
    }
  }
  return Snap(Result);
}

std::string TOptimizationFunction::ParameterHint() const {
  return Mode == omSolve ? "equation,x" : "expression,x";
}

std::string TOptimizationFunction::Description() const {
  switch (Mode) {
  case omArgMin: return "Find x that minimizes expression";
  case omMin: return "Minimum value for expression in x";
  case omRoot: return "Root of expression in x";
  case omSolve: return "Solve equation in x";
  }
  return "";
}
