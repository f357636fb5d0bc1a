// Digit grouping of byte counts: a "." before every group of three digits counted
// from the right ("1234567" becomes "1.234.567"; "999" and "" stay as they are).
// Every view and the CLI format sizes with it.
#pragma once

#include <cstdint>
#include <string>

namespace tvl {

// Groups a text of decimal digits in place.
void GroupThousands(std::string& digits);
// "%I64d" of the value, grouped.
std::string FormatSize(std::int64_t nBytes);
// "%.2f" of a share; the decimal point stays "." in every locale.
std::string FormatPercent(double dPercent);
// A change of size, grouped, with its sign: "+1.234", "-1.234", "0".
std::string FormatSizeChange(std::int64_t nBytes);
// A change in percent, "%+.2f": "+12.50", "-100.00", "+0.00".
std::string FormatPercentChange(double dPercent);
// The value of a text made by FormatPercent or FormatPercentChange, in every locale
// (0 for anything else).
double ParsePercent(const std::string& text);

} // namespace tvl
