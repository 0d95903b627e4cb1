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

// Message text as printable UTF-8: control characters and bytes that are not UTF-8 as \xNN
// (byte by byte), and a backslash doubled, so that a message quoting a typed character cannot drive the terminal.
std::string Printable(const std::string& Text) {
  std::string Out;
  for (std::size_t I = 0; I < Text.size();) {
    const auto Byte = static_cast<unsigned char>(Text[I]);
    // The bytes of a well-formed sequence: no overlong forms, surrogates or values past U+10FFFF.
    std::size_t Length = Byte < 0x80 ? 1 : Byte >= 0xC2 && Byte <= 0xDF ? 2 : Byte >= 0xE0 && Byte <= 0xEF ? 3
                         : Byte >= 0xF0 && Byte <= 0xF4 ? 4 : 0;
    const unsigned char Low = Byte == 0xE0 ? 0xA0 : Byte == 0xF0 ? 0x90 : 0x80;
    const unsigned char High = Byte == 0xED ? 0x9F : Byte == 0xF4 ? 0x8F : 0xBF;
    for (std::size_t K = 1; K < Length; ++K) {
      const auto Next = I + K < Text.size() ? static_cast<unsigned char>(Text[I + K]) : 0;
      if (Next < (K == 1 ? Low : 0x80) || Next > (K == 1 ? High : 0xBF)) Length = 0;
    }
    if (Length == 2 && static_cast<unsigned char>(Text[I + 1]) < 0xA0 && Byte == 0xC2) Length = 0; // C1 controls
    if (Byte == '\\') {
      Out += "\\\\";
    } else if (Length == 0 || Byte < 0x20 || Byte == 0x7F) {
      char Escape[5];
      std::snprintf(Escape, sizeof Escape, "\\x%02x", Byte);
      Out += Escape;
      Length = 1;
    } else {
      Out.append(Text, I, Length);
    }
    I += Length;
  }
  return Out;
}

} // namespace

bool CalculateLine(const std::string& Expression, std::string& Line) {
  try {
    int End = 0;
    const long double Value = EvaluateExpression(Expression, DefaultSymbols, &End);
    // The numeric fields ignore what follows a ')' or ';' that ends the expression; typed
    // here, it is a mistake worth pointing out.
    SkipBlanks(Expression, End);
    if (End <= static_cast<int>(Expression.size())) throw EExpressionError("Text after the end of the expression", End);
    Line = FormatValue(Value);
    return true;
  } catch (const EExpressionError& E) {
    Line = "error at " + std::to_string(E.Position) + ": " + Printable(E.Message());
  } catch (const std::exception& E) {
    Line = std::string("error: ") + Printable(E.what());
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
