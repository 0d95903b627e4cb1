#include "command_line.h"

#include <algorithm>
#include <cctype>

#include "seamcarving/seam_carving_component.h"

namespace {

[[noreturn]] void Usage(const std::string& Why) { throw ECommandLine(Why, ExitRefused); }

bool AllDigits(const std::string& Text) {
  if (Text.empty()) return false;
  for (unsigned char C : Text)
    if (!std::isdigit(C)) return false;
  return true;
}

// A whole number of up to MaxDigits digits, leading zeros aside; false for anything else.
bool ParseWhole(const std::string& Text, std::size_t MaxDigits, std::int64_t& Value) {
  if (!AllDigits(Text)) return false;
  const std::string Digits = Text.substr(std::min(Text.find_first_not_of('0'), Text.size()));
  if (Digits.size() > MaxDigits) return false;
  Value = Digits.empty() ? 0 : std::stoll(Digits);
  return true;
}

// A decimal number of up to WholeDigits integer and FractionDigits fraction digits (leading
// and trailing zeros aside) as the exact fraction Numerator / Denominator; false for anything
// else.
bool ParseDecimal(const std::string& Text, std::size_t WholeDigits, std::size_t FractionDigits,
                  std::int64_t& Numerator, std::int64_t& Denominator) {
  const auto Dot = Text.find('.');
  std::string Fraction = Dot == std::string::npos ? "" : Text.substr(Dot + 1);
  if (Dot != std::string::npos && !AllDigits(Fraction)) return false;
  Fraction.erase(Fraction.find_last_not_of('0') + 1);
  std::int64_t Whole = 0;
  if (!ParseWhole(Text.substr(0, Dot), WholeDigits, Whole) || Fraction.size() > FractionDigits) return false;
  Denominator = 1;
  for (std::size_t I = 0; I < Fraction.size(); ++I) Denominator *= 10;
  Numerator = Whole * Denominator + (Fraction.empty() ? 0 : std::stoll(Fraction));
  return true;
}

// N (pixels, at least 1) or P% with P a decimal number of up to four integer and four
// fraction digits.
TSizeArgument ParseSize(const std::string& Option, const std::string& Text) {
  TSizeArgument Size;
  Size.Given = true;
  const std::string Bad = Option + " takes a size in pixels (N) or a percentage (P%), not '" + Text + "'";
  if (!Text.empty() && Text.back() == '%') {
    if (!ParseDecimal(Text.substr(0, Text.size() - 1), 4, 4, Size.Numerator, Size.Denominator)) Usage(Bad);
    Size.Percent = true;
    if (Size.Numerator == 0) Usage(Option + " must be more than 0%");
    return Size;
  }
  if (!ParseWhole(Text, 9, Size.Pixels)) Usage(Bad);
  if (Size.Pixels < 1) Usage(Option + " must be at least 1 pixel");
  return Size;
}

// A decimal number (up to six integer and six fraction digits) of Unit pixels, as whole
// pixels, at least one. Unit is 10^6 or more, so the denominator divides it.
std::int64_t ParsePixels(const std::string& Option, const std::string& Text, std::int64_t Unit, const char* UnitName) {
  std::int64_t Numerator = 0, Denominator = 1;
  if (!ParseDecimal(Text, 6, 6, Numerator, Denominator) || Numerator * (Unit / Denominator) < 1)
    Usage(Option + " takes a positive number of " + UnitName + ", not '" + Text + "'");
  return Numerator * (Unit / Denominator);
}

TSelectionChoice ParseSelection(const std::string& Text) {
  if (Text == "ignore") return TSelectionChoice::Ignore;
  if (Text == "protect") return TSelectionChoice::Protect;
  if (Text == "prefer") return TSelectionChoice::Prefer;
  Usage("--selection takes ignore, protect or prefer, not '" + Text + "'");
}

int ParseWindow(const std::string& Text) {
  std::int64_t Size = 0;
  constexpr int Min = TSeamCarvingComponent::MinCostWindowSize, Max = TSeamCarvingComponent::MaxCostWindowSize;
  if (!ParseWhole(Text, 3, Size) || Size < Min || Size > Max)
    Usage("--window takes a whole number from " + std::to_string(Min) + " to " + std::to_string(Max) + ", not '" +
          Text + "'");
  return int(Size);
}

bool ParseYesNo(const std::string& Option, const std::string& Text) {
  if (Text != "yes" && Text != "no") Usage(Option + " takes yes or no, not '" + Text + "'");
  return Text == "yes";
}

int ParseQuality(const std::string& Text) {
  std::int64_t Quality = 0;
  if (!ParseWhole(Text, 3, Quality) || Quality < 1 || Quality > 100)
    Usage("--quality takes a whole number from 1 to 100, not '" + Text + "'");
  return int(Quality);
}

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& Args) {
  TCommandLine Line;
  bool KeepSizeGiven = false;
  std::vector<std::string> Inputs;
  bool OptionsEnded = false;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    std::string Name = Args[I];
    if (OptionsEnded) {
      Inputs.push_back(Name);
      continue;
    }
    std::string Value;
    bool HasValue = false;
    if (Name.size() > 2 && Name.compare(0, 2, "--") == 0) {
      // "--=x" names no option: it is not "--".
      const auto Equals = Name.find('=');
      if (Equals != std::string::npos && Equals > 2) {
        Value = Name.substr(Equals + 1);
        Name = Name.substr(0, Equals);
        HasValue = true;
      }
    }
    auto TakeValue = [&]() -> std::string {
      if (HasValue) return Value;
      if (I + 1 >= Args.size()) Usage(Name + " needs a value");
      return Args[++I];
    };
    auto NoValue = [&] {
      if (HasValue) Usage(Name + " takes no value");
    };
    if (Name == "--") OptionsEnded = true;
    else if (Name == "-o" || Name == "--output") Line.Output = TakeValue();
    else if (Name == "--width") Line.Width = ParseSize(Name, TakeValue());
    else if (Name == "--height") Line.Height = ParseSize(Name, TakeValue());
    else if (Name == "--window") Line.WindowSize = ParseWindow(TakeValue());
    else if (Name == "--mask") Line.Mask = TakeValue();
    else if (Name == "--remove") Line.Remove = TakeValue();
    else if (Name == "--keep-size") Line.KeepSize = ParseYesNo(Name, TakeValue()), KeepSizeGiven = true;
    else if (Name == "--selection") Line.Selection = ParseSelection(TakeValue());
    else if (Name == "--cost-map") NoValue(), Line.CostMap = true;
    else if (Name == "--quality") Line.Quality = ParseQuality(TakeValue());
    else if (Name == "--max-megapixels") Line.MaxPixels = ParsePixels(Name, TakeValue(), 1'000'000, "megapixels");
    else if (Name == "--max-work") Line.MaxWork = ParsePixels(Name, TakeValue(), 1'000'000'000, "gigapixels");
    else if (Name == "--quiet" || Name == "-q") NoValue(), Line.Quiet = true;
    else if (Name == "--help" || Name == "-h") NoValue(), Line.Help = true;
    else if (Name == "--version") NoValue(), Line.Version = true;
    else if (Name.size() > 1 && Name[0] == '-') Usage("unknown option '" + Name + "'");
    else Inputs.push_back(Args[I]);
  }
  if (Line.Help || Line.Version) return Line;
  if (Inputs.empty()) Usage("no input image given");
  if (Inputs.size() > 1) Usage("more than one input image given ('" + Inputs[1] + "')");
  Line.Input = Inputs[0];
  if (Line.Output.empty()) Usage("no output file given (-o OUTPUT)");
  if (Line.Mask.empty() && (Line.Selection == TSelectionChoice::Protect || Line.Selection == TSelectionChoice::Prefer))
    Usage("--selection protect and prefer need a --mask");
  if ((Line.Input == "-") + (Line.Mask == "-") + (Line.Remove == "-") > 1)
    Usage("only one of the input and the masks can be standard input");
  if (KeepSizeGiven && Line.Remove.empty()) Usage("--keep-size applies to --remove only");
  if (!Line.Remove.empty() && Line.Selection == TSelectionChoice::Prefer)
    Usage("--selection prefer does not combine with --remove: put what should go in the --remove mask");
  if (!Line.Remove.empty() && (Line.Width.Given || Line.Height.Given || Line.CostMap))
    Usage("--remove gives back the image's own size (or with --keep-size no, what is left): it takes no "
          "--width, --height or --cost-map");
  return Line;
}

std::int64_t ResolveSize(const TSizeArgument& Size, std::int64_t Source) {
  if (!Size.Given) return Source;
  if (!Size.Percent) return Size.Pixels;
  const std::int64_t Dividend = Source * Size.Numerator;
  const std::int64_t Divisor = 100 * Size.Denominator;
  std::int64_t Quotient = Dividend / Divisor;
  const std::int64_t Twice = 2 * (Dividend % Divisor);
  if (Twice > Divisor || (Twice == Divisor && Quotient % 2 != 0)) ++Quotient;
  return Quotient;
}

const char* UsageText() {
  static const std::string Text = std::string("usage: featureresize INPUT -o OUTPUT [--width N|P%] [--height N|P%] [--window N]\n"
         "                     [--mask MASK] [--selection ignore|protect|prefer] [--cost-map]\n"
         "                     [--quality N] [--remove MASK [--keep-size yes|no]]\n"
         "                     [--max-megapixels N] [--max-work N] [--quiet]\n"
         "\n"
         "Resizes an image by seam carving: removes (or, to widen, duplicates) the paths of pixels\n"
         "that cost least, so that flat areas absorb the change while edges keep their shape.\n"
         "\n"
         "  INPUT              BMP (8-bit palettised or 24-bit), PNG, JPEG, TIFF or WebP; - reads stdin\n"
         "  -o, --output FILE  the result: .bmp, .png, .jpg, .jpeg, .tif, .tiff or .webp; - writes\n"
         "                     PNG to stdout\n"
         "  --width N|P%       target width in pixels or percent of the source (up to 150%)\n"
         "  --height N|P%      target height in pixels or percent (at most the source height)\n"
         "  --window N         size of the cost window, ") +
      std::to_string(TSeamCarvingComponent::MinCostWindowSize) + " to " +
      std::to_string(TSeamCarvingComponent::MaxCostWindowSize) + " (default 5)\n" +
      "  --mask MASK        image of the same size; pixels that are not black are selected\n"
         "  --selection S      ignore, protect (default with a mask) or prefer the selection\n"
         "  --cost-map         write the cost map as a grey image instead of resizing\n"
         "  --remove MASK      remove what MASK selects (pixels that are not black), then insert\n"
         "                     as many seams to give back the original size; --mask protects\n"
         "                     as ever\n"
         "  --keep-size no     after --remove, keep the smaller image\n"
         "  --quality N        JPEG quality, 1 to 100 (default 92); lossy WebP at that quality\n"
         "                     (WebP is lossless without it)\n"
         "  --max-megapixels N refuse larger images (default 150)\n"
         "  --max-work N       refuse jobs of more than N gigapixels of work (default 100):\n"
         "                     each seam removed or inserted costs the pixels of the image\n"
         "                     it is found in (for --remove, the fewest seams it can take)\n"
         "  -q, --quiet        no progress bar\n"
         "  -h, --help         this text\n"
         "  --version          the version\n"
         "  --                 ends the options\n"
         "\n"
         "ICC profiles travel to PNG, JPEG, TIFF and WebP output, EXIF data to PNG, JPEG and WebP;\n"
         "the EXIF orientation is applied on reading (to masks too, unless they declare their own)\n"
         "and the output says upright. Alpha and 16 bits are kept in PNG and TIFF (WebP: alpha);\n"
         "an image with transparency is refused for JPEG and BMP.\n"
         "\n"
         "Exit status: 0 done, 1 failed while working, 2 refused input or arguments.\n";
  return Text.c_str();
}
