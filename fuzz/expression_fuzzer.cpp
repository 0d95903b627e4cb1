// libFuzzer target: any text given to EvaluateExpression must come back as a value or an
// exception, without crashing, hanging, leaking or reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "expression/expression_evaluator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  // A fresh table per input keeps runs independent; the first byte picks how unknown
  // names behave.
  TSymbolTable Table;
  Table.UndefinedIsError = Size > 0 && (Data[0] & 1);
  RandSeed = 0;
  std::string Text(reinterpret_cast<const char*>(Data), Size);
  try {
    EvaluateExpression(Text, &Table);
  } catch (const Exception&) {
  }
  return 0;
}
