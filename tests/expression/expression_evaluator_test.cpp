#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "evaluator_test_support.h"

namespace {
constexpr long double Inf = std::numeric_limits<long double>::infinity();
const char* const Invalid = "Invalid floating point operation";
} // namespace

TEST(EvaluatorPrecedence, OperatorsBindAndAssociateByLevel) {
  ExpectValues({
      {"2+3*4", 14},      {"(2+3)*4", 20},  {"2^3^2", 64},   {"-2^2", -4},
      {"2*-3", -6},       {"2--3", 5},      {"10-4-3", 3},   {"100/10/5", 2},
      {"2*3^2", 18},      {"1+2=3", 1},     {"1+1=3|1", 1},  {"0&1|1", 1},
      {"2<3=1", 1},       {"6/2*3", 9},     {"7%4*2", 6},    {"1|0&0", 0},
      {"((((1))))+1", 2}, {"2 * ( 3 + 4 )", 14},
  });
}

TEST(EvaluatorPrecedence, TerminatorsEndTheExpression) {
  ExpectValues({{"1+2)*5", 3}, {"4;5", 4}, {"(1+2", 3}, {"  7  ", 7}, {"\t1\r\n+\n2", 3}});
}

TEST(EvaluatorNumbers, DecimalHexAndComma) {
  ExpectValues({
      {"1,5", 1.5L},  {"1.5", 1.5L},      {",5", 0.5L},      {"1.", 1},
      {"1e3", 1000},  {"1E+3", 1000},     {"25e-1", 2.5L},   {"-.5e1", -5},
      {"$10", 16},    {"$FFFFFFFF", -1},  {"$7fffffff", 2147483647}, {"$000000001", 1},
      {"1,5*2", 3},   {"0.1", 0.1L},      {"1e5000", Inf},   {"1e-5000", 0},
  });
}

TEST(EvaluatorNumbers, MalformedTokensReportTheEndOfTheToken) {
  ExpectErrors({
      {"2e", "Invalid number format", 3},
      {"1.2.3", "Invalid number format", 6},
      {"2*-x", "Invalid number format", 4},
      {"1e+", "Invalid number format", 4},
      {"$", "Invalid number format", 2},
      {"$123456789", "Invalid number format", 11},
      {".", "Invalid number format", 2},
      {"1,5,5", "Invalid number format", 6},
      {"------1", "Invalid number format", 3},
  });
}

TEST(EvaluatorComparisons, EqualityAllowsRelativeTolerance) {
  ExpectValues({
      {"0.1+0.2=0.3", 1}, {"1<1+1e-17", 0}, {"1<1+1e-15", 1}, {"1=1+1e-17", 1},
      {"1#1+1e-15", 1},   {"3>2&2>1", 1},   {"0|0", 0},       {"inf>1", 1},
      {"1e30=1e30*(1+1e-17)", 1}, {"1e30=1e30*(1+1e-15)", 0}, {"0=1e-17", 1},
      {"-1<0", 1}, {"2>2", 0}, {"2<2", 0},
  });
}

TEST(EvaluatorFloatingPoint, MaskedFaultsGiveInfinitiesAndZero) {
  ExpectValues({
      {"1/0", Inf},       {"-1/0", -Inf},   {"1/-0", -Inf}, {"10^5000", Inf},
      {"10^-5000", 0},    {"1e4000*1e4000", Inf}, {"0^-1", Inf}, {"(-2)^-2", 0.25L},
      {"(-2)^3", -8},     {"10%4", 2},      {"-7%4", -3},     {"2^0", 1},
      {"0^2", 0},         {"inf^0", 1},     {"2^-1", 0.5L},   {"(-0)^-1", Inf},
  });
}

TEST(EvaluatorFloatingPoint, InvalidOperationsAreConvertedWhereTheOperatorSays) {
  auto Table = StrictTable();
  struct TCase {
    const char* Text;
    const char* ErrorClass;
    int Position;
  };
  const TCase Cases[] = {
      {"0/0", "EExpressionError", 4},      {"5%0", "EExpressionError", 4},
      {"inf/inf", "EExpressionError", 8},  {"0*inf", "EExpressionError", 6},
      {"inf=inf", "EExpressionError", 8},  {"(-8)^(1/3)", "EExpressionError", 11},
      {"1^inf", "EExpressionError", 6},    {"0/0+1", "EExpressionError", 6},
      {"inf-inf", "Exception", -1},        {"inf+(0-inf)", "Exception", -1},
      {"sqrt(-1)", "EExpressionError", 8}, {"sqrt(inf-inf)", "EExpressionError", 12},
  };
  for (const auto& C : Cases) {
    TOutcome R = Outcome(C.Text, *Table);
    EXPECT_EQ(R.ErrorClass, C.ErrorClass) << C.Text;
    EXPECT_EQ(R.Message, Invalid) << C.Text;
    EXPECT_EQ(R.Position, C.Position) << C.Text;
  }
}

TEST(EvaluatorFloatingPoint, PowersOfHugeExponentsAreQuickAndExact) {
  ExpectValues({{"1^2147483647", 1}, {"(-1)^2147483647", -1}, {"2^-2147483647", 0},
                {"0.5^2147483647", 0}, {"2^64", 18446744073709551616.0L}, {"(-1)^-2147483647", -1}});
}

TEST(EvaluatorErrors, MessagesAndPositions) {
  ExpectErrors({
      {"", "Expression is empty", 0},
      {"   ", "Value expected", 4},
      {"2+", "Value expected", 3},
      {"()", "Unexpected character: )", 2},
      {"*2", "Unexpected character: *", 1},
      {"2+*3", "Unexpected character: *", 3},
      {"2 3", "Operator expected", 3},
      {"2(3)", "Operator expected", 2},
      {"2@3", "Operator expected", 2},
      {"@", "Unexpected character: @", 1},
      {"foo+1", "Undefined symbol: foo", 4},
      {"mb", "Undefined symbol: mb", 3},
      {"sin (0)", "( expected", 4},
      {"sin", "( expected", 4},
      {"sin()", "Unexpected character: )", 4},
      {":", "Name expected", 2},
      {":1=2", "Name expected", 2},
      {":a", "= or ( expected", 3},
      {":a+1", "= or ( expected", 3},
      {":f(1)=2", "Name expected", 4},
      {":f(x=2", ") expected", 5},
      {":f(x)2", "= expected", 6},
      {":f()", "= expected", 5},
      {":f()=", "Expression is empty", 6},
      {":f(x)=   ", "Expression is empty", 10},
      {":a=5;", "Value expected", 6},
  });
}

TEST(EvaluatorErrors, ErrorsInsideFunctionsMoveToTheCall) {
  ExpectErrors({
      {"sin(foo)", "Undefined symbol: foo", 7},
      {"fac(2.5)", "Undefined", 8},
      {"1+fac(-1)*2", "Undefined", 9},
      {"abs(inf-inf)", "Invalid floating point operation", 11},
      {"sin(cos(x))", "Undefined symbol: x", 9},
  });
}

TEST(EvaluatorDefinitions, ValuesExpressionsAndFunctions) {
  auto Table = StrictTable();
  struct TCase {
    const char* Text;
    long double Expected;
  };
  const TCase Cases[] = {
      {":a=5; a*2", 10},
      {"a", 5}, // definitions persist in the table
      {":r=2; pi*r^2", 3.14159265358979323846264338327950288L * 4},
      {":f(x)=x^2+1; f(3)", 10},
      {":f(x)=x*2; f(f(3))", 12},
      {":sq(v) = v * v ; sq(a)+1", 26},
      {":c()=a+1; c", 6},
      {":a=10; c", 11}, // a stored expression reads the current value
      {":h(x)=\tx\n+\r1; h(1)", 2},
      {"1 :b=2; +b", 3},
      {":x=100; :f(x)=x+1; f(1)+x", 102}, // the parameter shadows x only during the call
  };
  for (const auto& C : Cases) {
    TOutcome R = Outcome(C.Text, *Table);
    ASSERT_TRUE(R.Evaluated) << C.Text << ": " << R.Message;
    EXPECT_EQ(R.Value, C.Expected) << C.Text;
  }
  EXPECT_EQ(Outcome("x", *Table).Value, 100);
  EXPECT_EQ(Table->FindSymbol("y"), nullptr);
  Outcome(":g(y)=y; g(2)", *Table);
  EXPECT_EQ(Table->FindSymbol("y"), nullptr); // an unbound parameter leaves no trace
}

TEST(EvaluatorDefinitions, RecursionIsRefusedAndUndone) {
  auto Table = StrictTable();
  ExpectErrors({{":g(x)=g(x); g(1)", "Recursive reference", 16}});
  TOutcome R = Outcome(":t()=t+1; t", *Table);
  EXPECT_EQ(R.Message, "Recursive reference");
  EXPECT_EQ(R.Position, 0);
  // Busy flags and bindings are undone after the failure.
  Outcome(":p(x)=x/0*0; p(1)", *Table);
  EXPECT_EQ(Outcome(":p(x)=x*2; p(4)", *Table).Value, 8);
  EXPECT_EQ(Table->FindSymbol("x"), nullptr);
  TOutcome Mutual = Outcome(":m(x)=n(x); :n(x)=m(x); m(1)", *Table);
  EXPECT_EQ(Mutual.Message, "Recursive reference");
}

TEST(EvaluatorDefinitions, RedefiningASymbolWhileItRunsIsSafe) {
  // Each text replaces a symbol that is being evaluated at that moment; the old one must
  // stay alive until it returns (AddressSanitizer catches any use after free).
  auto Table = StrictTable();
  EXPECT_EQ(Outcome(":f(x)=:f(y)=7; f(1)", *Table).Message, "Value expected");
  EXPECT_EQ(Outcome("f(5)", *Table).Value, 7);
  EXPECT_EQ(Outcome(":t()=:t()=5; t", *Table).Message, "Value expected");
  EXPECT_EQ(Outcome("t", *Table).Value, 5);
  EXPECT_EQ(Outcome("sin(:sin=4; 0)+sin", *Table).Value, 4);
  EXPECT_EQ(Outcome(":g(x)=:x=9)x; g(1)", *Table).Value, 9);
  EXPECT_EQ(Table->FindSymbol("x"), nullptr);
  EXPECT_EQ(Outcome("num.root(((:x=3)x)-2, x)", *Table).Message,
            "No solution found, try changing starting guess");
  EXPECT_EQ(Table->FindSymbol("x"), nullptr);
  EXPECT_EQ(Outcome("num.root(((:num.root=3)x)-2, x)", *Table).Value, 2);
  EXPECT_EQ(Outcome("num.root", *Table).Value, 3);
}

TEST(EvaluatorLimits, DeepNestingIsAnErrorNotACrash) {
  auto Table = StrictTable();
  struct TCase {
    std::string Text;
    const char* Message;
  };
  const TCase Cases[] = {
      {std::string(100000, '('), "Expression nested too deeply"},
      {std::string(100000, '(') + "1" + std::string(100000, ')'), "Expression nested too deeply"},
      {[] {
         std::string S;
         for (int I = 0; I < 20000; ++I) S += "sin(";
         return S + "0";
       }(),
       "Expression nested too deeply"},
      {std::string(100000, '-') + "1", "Invalid number format"},
      {std::string(100000, '+') + "1", "Unexpected character: +"},
  };
  for (const auto& C : Cases) {
    TOutcome R = Outcome(C.Text, *Table);
    EXPECT_EQ(R.ErrorClass, "EExpressionError");
    EXPECT_EQ(R.Message, C.Message);
    EXPECT_GT(R.Position, 0);
    EXPECT_LT(R.Position, 500);
  }
  ExpectValues({{"((((((((((((((((((((((((((((((((((((((((1))))))))))))))))))))))))))))))))))))))))", 1}});
}

TEST(EvaluatorLimits, RunawayWorkIsCutShort) {
  // Each definition doubles the calls of the one before: 2^40 evaluations unchecked.
  std::string Text = ":f0(x)=x;";
  for (int I = 1; I <= 40; ++I)
    Text += ":f" + std::to_string(I) + "(x)=f" + std::to_string(I - 1) + "(x)+f" +
            std::to_string(I - 1) + "(x);";
  Text += "f40(1)";
  auto Table = StrictTable();
  TOutcome R = Outcome(Text, *Table);
  EXPECT_EQ(R.Message, "Expression too complex");
  EXPECT_EQ(R.Position, 0);
  // Solvers nested in solvers hide failed trials; the cut must still be reported.
  R = Outcome("num.min(num.min(num.min((x-y-z)^2, x), y), z)", *Table);
  EXPECT_EQ(R.Message, "Expression too complex");
  // The next text starts with a fresh budget.
  EXPECT_EQ(Outcome("f3(1)", *Table).Value, 8);
}

TEST(EvaluatorLimits, DefinitionsPayForTheNamesTheyShift) {
  // Each new name sorts first and shifts every name before it: quadratic work unless charged.
  auto Definitions = [](bool Descending) {
    std::string Text;
    for (int I = 0; I < 60000; ++I) {
      const std::string Number = std::to_string(Descending ? 999999 - I : 100000 + I);
      Text += ":z" + Number + "=1;";
    }
    return Text + "7";
  };
  auto Table = StrictTable();
  TOutcome R = Outcome(Definitions(true), *Table);
  EXPECT_EQ(R.Message, "Expression too complex");
  Table = StrictTable();
  EXPECT_EQ(Outcome(Definitions(false), *Table).Value, 7); // appended names move nothing
  // A solver's variable, bound and removed on every trial, is charged for the names it
  // shifts as well: alone this text is cheap (see the first line).
  EXPECT_EQ(Outcome("num.min(num.min((a-b)^2+b^2, a), b)", *StrictTable()).Value, 0);
  R = Outcome("num.min(num.min((a-b)^2+b^2, a), b)", *Table);
  EXPECT_EQ(R.Message, "Expression too complex");
}

TEST(EvaluatorBuiltIns, FunctionsAndConstants) {
  ExpectValues({
      {"pi", 3.14159265358979323846264338327950288L},
      {"e", 2.71828182845904523536028747135266250L},
      {"kb", 1024}, {"Mb", 1048576}, {"Gb", 1073741824}, {"inf", Inf},
      {"num.Guess", 0.500000001L},
      {"ln(0)", -Inf}, {"cot(0)", Inf}, {"exp(20000)", Inf}, {"abs(-3)", 3},
      {"ceil(2.1)", 3}, {"ceil(-2.9)", -2}, {"floor(-2.1)", -3}, {"floor(2.9)", 2},
      {"round(2.5)", 2}, {"round(3.5)", 4}, {"round(-2.5)", -2}, {"round(1e18)", 1e18L},
      {"frac(-1.25)", -0.25L}, {"frac(3)", 0},
      {"fac(0)", 1}, {"fac(1)", 1}, {"fac(5)", 120}, {"fac(5.0000001)", 120},
      {"fac(20)", 2432902008176640000.0L}, {"fac(1755)", Inf}, {"fac(1e30)", Inf},
      {"bin(101)", 5}, {"bin(1011)", 11}, {"bin(0)", 0}, {"bin(0.4)", 0}, {"bin(-0.4)", 0},
      {"bin(1111111111111111)", 65535},
  });
  ExpectValues(
      {
          {"sin(pi/6)", 0.5L}, {"cos(0)", 1}, {"tan(pi/4)", 1}, {"cot(pi/4)", 1},
          {"arctan(1)", 0.785398163397448309616L}, {"arccos(0)", 1.57079632679489661923L},
          {"arcsin(1)", 1.57079632679489661923L}, {"sinh(1)", 1.17520119364380145688L},
          {"cosh(1)", 1.54308063481524377848L}, {"tanh(1)", 0.761594155955764888119L},
          {"arccosh(2)", 1.31695789692481670862L}, {"arcsinh(1)", 0.881373587019543025232L},
          {"arctanh(0.5)", 0.549306144334054845698L}, {"log10(1000)", 3}, {"log2(8)", 3},
          {"ln(e)", 1}, {"sqrt(2)^2", 2}, {"2^0.5", 1.41421356237309504880L}, {"exp(1)", 2.71828182845904523536L},
          {"fac(170)", 7.25741561530799896739672821112926311e306L},
      },
      1e-16L);
}

TEST(EvaluatorBuiltIns, DomainAndRangeErrors) {
  ExpectErrors({
      {"ln(-1)", "Invalid floating point operation", 6},
      {"arccos(2)", "Invalid floating point operation", 9},
      {"arccosh(0.5)", "Invalid floating point operation", 12},
      {"sin(inf)", "Invalid floating point operation", 8},
      {"ceil(1e10)", "Invalid floating point operation", 10},
      {"floor(-3e9)", "Invalid floating point operation", 11},
      {"round(1e19)", "Invalid floating point operation", 11},
      {"frac(inf)", "Invalid floating point operation", 9},
      {"fac(inf)", "Invalid floating point operation", 8},
      {"fac(2.5)", "Undefined", 8},
      {"fac(-1)", "Undefined", 7},
      {"bin(2)", "Invalid binary number", 6},
      {"bin(-1)", "Invalid binary number", 7},
      {"bin(inf)", "Invalid binary number", 8},
      {"bin(12345678901234567)", "Max 16 bits in binary number", 22},
      {"bin(10000000000000000)", "Max 16 bits in binary number", 22},
  });
}

TEST(EvaluatorBuiltIns, DescriptionsTravelWithTheFunctions) {
  auto Table = StrictTable();
  struct TCase {
    const char* Name;
    const char* Description;
  };
  const TCase Cases[] = {
      {"log10", "Base 10 logarithm"}, {"log2", "Base 2 logarithm"}, {"ln", "Base e logarithm"},
      {"sqrt", "Square root"}, {"exp", "e^x"}, {"fac", "x!"}, {"abs", "|x|"},
      {"ceil", "Rounds up toward positive infinity"}, {"floor", "Rounds toward negative infinity"},
      {"round", "Round to nearest integer"}, {"frac", "Fractional part of real number"},
      {"rand", "Random number in [0;x["}, {"randn", "Gaussian random number, StdDev=x"},
      {"bin", "Convert binary number"}, {"sin", ""}, {"arctanh", ""},
  };
  for (const auto& C : Cases) {
    auto* F = dynamic_cast<TStandardFunction*>(Table->FindSymbol(C.Name));
    ASSERT_NE(F, nullptr) << C.Name;
    EXPECT_EQ(F->Description, C.Description) << C.Name;
  }
  EXPECT_EQ(Table->Count, 38);
  EXPECT_NE(dynamic_cast<TParameterValue*>(Table->FindSymbol("num.Guess")), nullptr);
}

TEST(EvaluatorBuiltIns, RandomGeneratorIsTheDocumentedSequence) {
  auto Table = StrictTable();
  RandSeed = 0;
  EXPECT_EQ(Outcome("rand(1)", *Table).Value, 1.0L / 4294967296.0L);
  EXPECT_EQ(RandSeed, 1u);
  EXPECT_EQ(Outcome("rand(4294967296)", *Table).Value, 134775814.0L);
  RandSeed = 0;
  long double Sum = 0, SumSquares = 0;
  for (int I = 0; I < 2000; ++I) {
    long double X = Outcome("randn(2)", *Table).Value;
    Sum += X;
    SumSquares += X * X;
  }
  EXPECT_NEAR(double(Sum / 2000), 0.0, 0.15);
  EXPECT_NEAR(double(std::sqrt(SumSquares / 2000)), 2.0, 0.15);
  RandSeed = 0;
  TOutcome Two = Outcome(":t()=rand(1); t-t", *Table);
  EXPECT_NE(Two.Value, 0); // a stored expression draws afresh at every use
}

TEST(SymbolTable, DefineFindAndRemove) {
  auto Table = StrictTable();
  EXPECT_EQ(Table->FindSymbol("mb"), nullptr);
  ASSERT_NE(Table->FindSymbol("Mb"), nullptr);
  auto* V = new TSymbolValue(3);
  EXPECT_EQ(Table->Define("three", V), V);
  EXPECT_EQ(Table->FindSymbol("three"), V);
  Table->Define("three", new TSymbolValue(33));
  EXPECT_EQ(Outcome("three", *Table).Value, 33);
  Table->RemoveSymbol("three");
  EXPECT_EQ(Table->FindSymbol("three"), nullptr);
  TOutcome R;
  try {
    Table->RemoveSymbol("three");
  } catch (const EExpressionError&) {
    R.ErrorClass = "EExpressionError";
  } catch (const Exception& E) {
    R.Message = E.Message();
  }
  EXPECT_EQ(R.ErrorClass, "");
  EXPECT_EQ(R.Message, "Symbol not found");
}

TEST(SymbolTable, UndefinedNamesReadAsZeroWhenAllowed) {
  TSymbolTable Lenient;
  EXPECT_FALSE(Lenient.UndefinedIsError);
  EXPECT_EQ(Outcome("foo+1", Lenient).Value, 1);
  EXPECT_TRUE(DefaultSymbols->UndefinedIsError);
  TOutcome R = Outcome("foo+1", *DefaultSymbols);
  EXPECT_EQ(R.Message, "Undefined symbol: foo");
}

TEST(SymbolTable, DefaultSymbolsKeepDefinitionsAndTheNullTableUsesThem) {
  EXPECT_EQ(EvaluateExpression(":kept_by_default=41;kept_by_default+1"), 42);
  EXPECT_EQ(EvaluateExpression("kept_by_default", nullptr), 41);
  DefaultSymbols->RemoveSymbol("kept_by_default");
}
