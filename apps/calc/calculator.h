// exprcalc: evaluates expressions one after another against DefaultSymbols, so that
// definitions carry over, and prints one line per expression.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

// The line printed for one expression: the value as %.21Lg ("inf", "-inf", "nan" as such),
// "error at N: MESSAGE" for an evaluator error at position N, or "error: MESSAGE", with
// control characters, bytes that are not UTF-8 and backslashes of MESSAGE escaped as \xNN
// and \\. Text after a ')' or ';' that ends the expression is an error at its position.
// Returns true when the expression evaluated.
bool CalculateLine(const std::string& Expression, std::string& Line);

// Evaluates each of Expressions, or, when there are none, each line of Input (a trailing
// CR is dropped). Writes one line per expression to Output. Returns the exit status: 0 when
// every expression evaluated, 1 otherwise.
int RunCalculator(const std::vector<std::string>& Expressions, std::istream& Input,
                  std::ostream& Output);
