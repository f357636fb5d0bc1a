// Byte counts for people at a terminal: binary units with one decimal ("1.5 GiB").
#pragma once

#include <cstdint>
#include <string>

namespace tvl {

// "0 B" .. "1023 B" below 1 KiB; above, the value in the largest unit of KiB, MiB, GiB,
// TiB, PiB, EiB (powers of 1024) that keeps it at 1.0 or more, rounded half up to one
// decimal: 1024 is "1.0 KiB", 1048524 is "1023.9 KiB", 1048525 rounds up to "1.0 MiB"
// (never "1024.0 KiB"). Negative counts (only a damaged report holds them) get a "-".
// The decimal point is always "." whatever the locale.
std::string FormatHumanSize(std::int64_t nBytes);

} // namespace tvl
