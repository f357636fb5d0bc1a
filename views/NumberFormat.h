// How the program writes its numbers: byte counts with a "." between groups of three
// digits ("1234567" becomes "1.234.567") and shares with two decimals and a "."
// decimal point. None of this depends on the C library's locale: the desktop program
// runs under the user's locale (a German one prints "-1,00" with printf), yet every
// view, the CLI and the tests read the same text.
#pragma once

#include <cstdint>
#include <string>

namespace tvl {

// Groups a text of decimal digits in place: a "." before every group of three digits
// counted from the right. A leading "-" stays in front; "999" and "" stay as they are.
void GroupThousands(std::string& digits);
// The decimal text of a byte count, grouped ("-1.234" for a damaged report's -1234).
std::string FormatSize(std::int64_t nBytes);
// A share with two decimals, rounded as "%.2f" rounds ("12.35", "-1.00", "100.00").
// Not-a-number and infinities come out as "nan", "-nan", "inf" and "-inf".
std::string FormatPercent(double dPercent);
// The value FormatPercent's text stands for: what the share bars draw, so a bar and
// its number always agree. Not-a-number stays not-a-number.
double PrintedPercent(double dPercent);
// A change of size, grouped, with its sign: "+1.234", "-1.234", "0".
std::string FormatSizeChange(std::int64_t nBytes);
// A change in percent with its sign, as "%+.2f": "+12.50", "-100.00", "+0.00".
std::string FormatPercentChange(double dPercent);

} // namespace tvl
