#include <gtest/gtest.h>

#include <functional>

#include "command_line.h"
#include "imaging/linear_bitmap.h"
#include "message_of.h"

namespace {

TCommandLine Parse(std::vector<std::string> Args) { return ParseCommandLine(Args); }

int ExitStatusOf(std::vector<std::string> Args) {
  try {
    ParseCommandLine(Args);
  } catch (const ECommandLine& E) {
    return E.ExitStatus;
  }
  return 0;
}

} // namespace

TEST(CommandLine, DefaultsAndEveryOption) {
  const TCommandLine Plain = Parse({"in.png", "-o", "out.bmp"});
  EXPECT_EQ(Plain.Input, "in.png");
  EXPECT_EQ(Plain.Output, "out.bmp");
  EXPECT_FALSE(Plain.Width.Given);
  EXPECT_FALSE(Plain.Height.Given);
  EXPECT_EQ(Plain.WindowSize, 5);
  EXPECT_EQ(Plain.Selection, TSelectionChoice::Default);
  EXPECT_FALSE(Plain.CostMap);
  EXPECT_FALSE(Plain.Quiet);

  const TCommandLine All = Parse({"--width", "70%", "--height=300", "--window", "111", "--mask", "m.bmp",
                                  "--selection", "prefer", "--cost-map", "--quiet", "--output=o.png", "in.bmp",
                                  "--quality", "100"});
  EXPECT_TRUE(All.Width.Percent);
  EXPECT_EQ(All.Width.Numerator, 70);
  EXPECT_EQ(All.Height.Pixels, 300);
  EXPECT_EQ(All.WindowSize, 111);
  EXPECT_EQ(All.Mask, "m.bmp");
  EXPECT_EQ(All.Selection, TSelectionChoice::Prefer);
  EXPECT_TRUE(All.CostMap);
  EXPECT_TRUE(All.Quiet);
  EXPECT_EQ(All.Output, "o.png");
  EXPECT_EQ(All.Quality, 100);
  EXPECT_EQ(Plain.Quality, 0);

  EXPECT_EQ(Parse({"in.png", "-o", "x.png", "--window", "0005"}).WindowSize, 5);
  EXPECT_TRUE(Parse({"--help"}).Help);
  EXPECT_TRUE(Parse({"--version"}).Version);
}

TEST(CommandLine, MistakesAreUsageErrorsWithAReason) {
  const struct {
    std::vector<std::string> Args;
    const char* Message;
  } Cases[] = {
      {{}, "no input image given"},
      {{"in.png"}, "no output file given (-o OUTPUT)"},
      {{"a.png", "b.png", "-o", "x.png"}, "more than one input image given ('b.png')"},
      {{"in.png", "-o"}, "-o needs a value"},
      {{"in.png", "-o", "x.png", "--frobnicate"}, "unknown option '--frobnicate'"},
      {{"in.png", "-o", "x.png", "--width", "0"}, "--width must be at least 1 pixel"},
      {{"in.png", "-o", "x.png", "--width", "-5"},
       "--width takes a size in pixels (N) or a percentage (P%), not '-5'"},
      {{"in.png", "-o", "x.png", "--height", "12.5"},
       "--height takes a size in pixels (N) or a percentage (P%), not '12.5'"},
      {{"in.png", "-o", "x.png", "--height", "%"}, "--height takes a size in pixels (N) or a percentage (P%), not '%'"},
      {{"in.png", "-o", "x.png", "--width", "0%"}, "--width must be more than 0%"},
      {{"in.png", "-o", "x.png", "--window", "0"}, "--window takes a whole number from 1 to 111, not '0'"},
      {{"in.png", "-o", "x.png", "--window", "112"}, "--window takes a whole number from 1 to 111, not '112'"},
      {{"in.png", "-o", "x.png", "--selection", "all"}, "--selection takes ignore, protect or prefer, not 'all'"},
      {{"in.png", "-o", "x.png", "--selection", "protect"}, "--selection protect and prefer need a --mask"},
      {{"in.png", "-o", "x.png", "--selection", "prefer"}, "--selection protect and prefer need a --mask"},
      {{"in.png", "-o", "x.png", "--quiet=yes"}, "--quiet takes no value"},
      {{"in.png", "-o", "x.png", "--max-megapixels", "0"}, "--max-megapixels takes a positive number of megapixels, not '0'"},
      {{"in.png", "-o", "x.png", "--max-megapixels", "0.0000001"},
       "--max-megapixels takes a positive number of megapixels, not '0.0000001'"},
      {{"in.png", "-o", "x.png", "--max-megapixels", "1e9"}, "--max-megapixels takes a positive number of megapixels, not '1e9'"},
      {{"in.png", "-o", "x.png", "--max-work", "0"}, "--max-work takes a positive number of gigapixels, not '0'"},
      {{"in.png", "-o", "x.jpg", "--quality", "0"}, "--quality takes a whole number from 1 to 100, not '0'"},
      {{"in.png", "-o", "x.jpg", "--quality", "101"}, "--quality takes a whole number from 1 to 100, not '101'"},
      {{"in.png", "-o", "x.png", "--keep-size", "no"}, "--keep-size applies to --remove only"},
      {{"in.png", "-o", "x.png", "--remove", "r.png", "--keep-size", "maybe"}, "--keep-size takes yes or no, not 'maybe'"},
      {{"in.png", "-o", "x.png", "--remove", "r.png", "--mask", "m.png", "--selection", "prefer"},
       "--selection prefer does not combine with --remove: put what should go in the --remove mask"},
      {{"in.png", "-o", "x.png", "--remove", "-", "--mask", "-"}, "only one of the input and the masks can be standard input"},
      {{"-", "-o", "x.png", "--mask", "-"}, "only one of the input and the masks can be standard input"},
      {{"-o", "x.png", "--", "a.png", "--width"}, "more than one input image given ('--width')"},
      {{"in.png", "-o", "x.png", "--=x"}, "unknown option '--=x'"},
      {{"in.png", "-o", "x.png", "--window", "0000112"}, "--window takes a whole number from 1 to 111, not '0000112'"},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(MessageOf([&] { ParseCommandLine(C.Args); }), C.Message);
    EXPECT_EQ(ExitStatusOf(C.Args), ExitRefused);
  }
  EXPECT_EQ(ExitStatusOf({"in.png", "-o", "x.png", "--selection", "ignore"}), 0);
}

TEST(CommandLine, PercentagesRoundHalfToEven) {
  const struct {
    const char* Text;
    std::int64_t Source, Expected;
  } Cases[] = {
      {"50%", 5, 2},      // 2.5 -> 2
      {"50%", 7, 4},      // 3.5 -> 4
      {"70%", 741, 519},  // 518.7
      {"150%", 3, 4},     // 4.5 -> 4
      {"150%", 5, 8},     // 7.5 -> 8
      {"12.5%", 4, 0},    // 0.5 -> 0
      {"12.5%", 12, 2},   // 1.5 -> 2
      {"33.3333%", 3, 1}, // 0.999999
      {"100%", 2000, 2000},
      {"640", 2000, 640},
      {"0000000640", 2000, 640}, // leading and trailing zeros change nothing
      {"050.50000%", 200, 101},
  };
  for (const auto& C : Cases) {
    const TCommandLine Line = Parse({"in.png", "-o", "x.png", "--width", C.Text});
    EXPECT_EQ(ResolveSize(Line.Width, C.Source), C.Expected) << C.Text << " of " << C.Source;
  }
  EXPECT_EQ(ResolveSize(TSizeArgument{}, 321), 321);
}

TEST(CommandLine, DashIsStandardStreamAndDoubleDashEndsOptions) {
  const TCommandLine Piped = Parse({"-", "-o", "-"});
  EXPECT_EQ(Piped.Input, "-");
  EXPECT_EQ(Piped.Output, "-");
  EXPECT_EQ(Parse({"-o", "x.png", "--", "--cost-map"}).Input, "--cost-map");
  EXPECT_FALSE(Parse({"-o", "x.png", "--", "--cost-map"}).CostMap);
  EXPECT_EQ(Parse({"-o", "x.png", "--", "-"}).Input, "-");
}

TEST(CommandLine, LimitsAreExactInPixels) {
  EXPECT_EQ(Parse({"in.png", "-o", "x.png"}).MaxPixels, 150'000'000);
  EXPECT_EQ(Parse({"in.png", "-o", "x.png"}).MaxWork, 100'000'000'000);
  EXPECT_EQ(Parse({"in.png", "-o", "x.png", "--max-work", "0.000001"}).MaxWork, 1000);
  EXPECT_EQ(Parse({"in.png", "-o", "x.png", "--max-work=999999.999999"}).MaxWork, 999'999'999'999'000);
  EXPECT_EQ(Parse({"in.png", "-o", "x.png", "--max-megapixels", "2.5"}).MaxPixels, 2'500'000);
  EXPECT_EQ(Parse({"in.png", "-o", "x.png", "--max-megapixels=0.000001"}).MaxPixels, 1);
  EXPECT_EQ(Parse({"in.png", "-o", "x.png", "--max-megapixels", "999999.999999"}).MaxPixels, 999'999'999'999);
}

TEST(CommandLine, FailuresAreReportedOneWayWhereverTheyArise) {
  const struct {
    std::function<void()> Raise;
    const char* Message;
    int Status;
  } Cases[] = {
      {[] { throw std::bad_alloc(); }, "out of memory", ExitFailure},
      {[] { throw ELinearBitmap("Out of memory"); }, "out of memory", ExitFailure}, // the engine's wording
      {[] { throw ELinearBitmap("Invalid bitmap size"); }, "Invalid bitmap size", ExitFailure},
      {[] { throw ECommandLine("x.png: refused", ExitRefused); }, "x.png: refused", ExitRefused},
  };
  for (const auto& C : Cases) {
    try {
      C.Raise();
    } catch (const std::exception& E) {
      const TFailureReport Report = DescribeFailure(E);
      EXPECT_EQ(Report.Message, C.Message);
      EXPECT_EQ(Report.ExitStatus, C.Status) << C.Message;
    }
  }
}
