// How the desktop program shows a modification time: its date, in local time and in the
// user's short date format; nothing when the time is not known.
#pragma once

#include <QString>

#include <cstdint>

class QFontMetrics;

namespace datetext {

// The date of a time in seconds since 1970-01-01 UTC; "" for kNoTime and for times
// outside the years 1 to 9999 (only a damaged report holds those).
QString Date(std::int64_t nTime);
// Date and time to the minute, for a tool tip; "" as above.
QString DateTime(std::int64_t nTime);
// The widest text Date gives in this font: every month's date with each digit taken
// as the widest digit, so that no date of the years 1000 to 9999 is wider.
int WidestDate(const QFontMetrics& fm);

} // namespace datetext
