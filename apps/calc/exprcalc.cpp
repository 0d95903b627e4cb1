// exprcalc [EXPR ...]: a calculator for the expressions the numeric fields accept.
#include <iostream>

#include "calculator.h"

int main(int argc, char** argv) {
  std::vector<std::string> Expressions(argv + 1, argv + argc);
  return RunCalculator(Expressions, std::cin, std::cout);
}
