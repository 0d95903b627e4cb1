#include <gtest/gtest.h>

#include <sstream>

#include "calculator.h"
#include "expression/expression_evaluator.h"

namespace {

struct TRun {
  int Status;
  std::string Output;
};

TRun RunWith(const std::vector<std::string>& Arguments, const std::string& Input = "") {
  std::istringstream In(Input);
  std::ostringstream Out;
  int Status = RunCalculator(Arguments, In, Out);
  return {Status, Out.str()};
}

} // namespace

TEST(Calculator, PrintsOneLinePerExpression) {
  struct TCase {
    std::string Expression;
    const char* Line;
  };
  const TCase Cases[] = {
      {"2+3*4", "14"},
      {"1/3", "0.333333333333333333342"},
      {"1/0", "inf"},
      {"-1/0", "-inf"},
      {"0/0", "error at 4: Invalid floating point operation"},
      {"inf-inf", "error: Invalid floating point operation"},
      {"", "error at 0: Expression is empty"},
      {"1e-5", "9.99999999999999999995e-06"},
      // What the numeric fields would leave unread.
      {"(1+2))*3", "error at 7: Text after the end of the expression"},
      {"1; 2", "error at 4: Text after the end of the expression"},
      {"1; ", "1"},
      // Quoted bytes come out escaped: a terminal control, NUL, a byte that is not UTF-8, a backslash.
      {"2*\x1b[2J", "error at 3: Unexpected character: \\x1b"},
      {std::string("2*\0", 3), "error at 3: Unexpected character: \\x00"},
      {"2*\xff", "error at 3: Unexpected character: \\xff"},
      {"2*\\", "error at 3: Unexpected character: \\\\"},
  };
  for (const auto& C : Cases) {
    std::string Line;
    CalculateLine(C.Expression, Line);
    EXPECT_EQ(Line, C.Line) << C.Expression;
  }
}

TEST(Calculator, ArgumentsShareDefinitionsAndSetTheStatus) {
  TRun R = RunWith({":calc_r=2; calc_r", "calc_r*3"});
  EXPECT_EQ(R.Output, "2\n6\n");
  EXPECT_EQ(R.Status, 0);
  R = RunWith({"1", "2 3", "4"});
  EXPECT_EQ(R.Output, "1\nerror at 3: Operator expected\n4\n");
  EXPECT_EQ(R.Status, 1);
  DefaultSymbols->RemoveSymbol("calc_r");
}

TEST(Calculator, ReadsLinesWhenThereAreNoArguments) {
  TRun R = RunWith({}, "1+1\r\n:calc_s=5;calc_s\nsqrt(calc_s^2)\n");
  EXPECT_EQ(R.Output, "2\n5\n5\n");
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(RunWith({}, "").Output, "");
  DefaultSymbols->RemoveSymbol("calc_s");
}
