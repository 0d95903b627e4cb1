// Numbers shown through a format picture such as "0.##".
#pragma once

#include <string>

namespace controls {

// Formats Value by Picture: each '0' before the point is a digit always shown (the integer
// part grows as needed), each '0' after it a decimal always shown, each '#' after it a decimal
// shown only when not a trailing zero; the point is written as DecimalSeparator. The value is
// rounded half away from zero at the last decimal, on its 18 significant digits. Other
// picture characters are not supported and count as nothing.
std::string FormatFloat(const std::string& Picture, long double Value, char DecimalSeparator);

} // namespace controls
