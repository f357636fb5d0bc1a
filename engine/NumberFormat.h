// How the program writes its numbers: byte counts with a "." between groups of three
// digits ("1234567" becomes "1.234.567"), shares with two decimals and a "." decimal
// point, and sizes in binary units for people at a terminal ("1.5 GiB"). The one place
// for them: the views and tovaline-cli both use these (no Qt). None of this depends on the C library's locale: the desktop program
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
// "0 B" .. "1023 B" below 1 KiB; above, the value in the largest unit of KiB, MiB, GiB,
// TiB, PiB, EiB (powers of 1024) that keeps it at 1.0 or more, rounded half up to one
// decimal: 1024 is "1.0 KiB", 1048524 is "1023.9 KiB", 1048525 rounds up to "1.0 MiB"
// (never "1024.0 KiB"). Negative counts (only a damaged report holds them) get a "-".
// The decimal point is always "." whatever the locale.
std::string FormatHumanSize(std::int64_t nBytes);

} // namespace tvl
