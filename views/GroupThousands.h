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
// "%.2f" of a share (the decimal point stays ".").
std::string FormatPercent(double dPercent);

} // namespace tvl
