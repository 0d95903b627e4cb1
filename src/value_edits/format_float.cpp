#include "value_edits/format_float.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace controls {

std::string FormatFloat(const std::string& Picture, long double Value, char DecimalSeparator) {
  const std::size_t Point = Picture.find('.');
  int MinInteger = 0, MinDecimals = 0, MaxDecimals = 0;
  for (std::size_t I = 0; I < Picture.size(); ++I) {
    const bool After = Point != std::string::npos && I > Point;
    if (Picture[I] == '0') ++(After ? MinDecimals : MinInteger);
    if (After && (Picture[I] == '0' || Picture[I] == '#')) ++MaxDecimals;
  }
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";

  // Decimal digits first, as 18 significant ones, so that the rounding below is decimal:
  // 2.675 shows as 2.68 although its binary value lies just below.
  char Buffer[64];
  std::snprintf(Buffer, sizeof Buffer, "%.17Le", std::fabs(Value));
  std::string Digits;
  for (const char* P = Buffer; *P && *P != 'e'; ++P)
    if (*P >= '0' && *P <= '9') Digits += *P;
  const int Exponent = std::atoi(std::strchr(Buffer, 'e') + 1);
  // Digits[k] has the place value 10^(Exponent - k); keep those down to 10^-MaxDecimals.
  int Keep = Exponent + 1 + MaxDecimals;
  bool RoundUp = false;
  if (Keep < 0) {
    Digits.clear();
  } else if (Keep < static_cast<int>(Digits.size())) {
    RoundUp = Digits[Keep] >= '5';
    Digits.resize(Keep);
  }
  // Work on a fixed-point string: Integer digits, then MaxDecimals decimals.
  int IntegerDigits = Exponent + 1;
  std::string Fixed = Digits;
  if (IntegerDigits < 0) {
    Fixed = std::string(-IntegerDigits, '0') + Fixed;
    IntegerDigits = 0;
  }
  Fixed.resize(IntegerDigits + MaxDecimals, '0');
  if (RoundUp) {
    int I = static_cast<int>(Fixed.size()) - 1;
    for (; I >= 0 && Fixed[I] == '9'; --I) Fixed[I] = '0';
    if (I >= 0) ++Fixed[I];
    else Fixed.insert(Fixed.begin(), '1'), ++IntegerDigits;
  }
  std::string Integer = Fixed.substr(0, IntegerDigits);
  std::string Decimals = Fixed.substr(IntegerDigits);
  while (Integer.size() > 1 && Integer.front() == '0') Integer.erase(Integer.begin());
  if (Integer == "0" && MinInteger == 0) Integer.clear();
  while (static_cast<int>(Integer.size()) < MinInteger) Integer.insert(Integer.begin(), '0');
  while (static_cast<int>(Decimals.size()) > MinDecimals && Decimals.back() == '0') Decimals.pop_back();

  const bool Zero = (Integer + Decimals).find_first_not_of('0') == std::string::npos;
  std::string Text = Value < 0 && !Zero ? "-" : "";
  Text += Integer;
  if (!Decimals.empty()) Text += DecimalSeparator + Decimals;
  return Text.empty() ? "0" : Text;
}

} // namespace controls
