#include "NumberFormat.h"

#include <charconv>
#include <cmath>

namespace tvl {

void GroupThousands(std::string& digits)
{
    // A sign (only a damaged report holds negative sizes) stays in front of the groups.
    const std::size_t first = (!digits.empty() && digits[0] == '-') ? 1 : 0;
    const std::size_t n = digits.size() - first;
    std::string out(digits, 0, first);
    out.reserve(digits.size() + n / 3);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += '.';
        out += digits[first + i];
    }
    digits.swap(out);
}

std::string FormatSize(std::int64_t nBytes)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, nBytes);
    std::string s(buf, r.ptr);
    GroupThousands(s);
    return s;
}

std::string FormatPercent(double dPercent)
{
    // The largest finite double has 309 integer digits; two decimals, a point and a
    // sign fit well within the buffer.
    char buf[330];
    const auto r = std::to_chars(buf, buf + sizeof buf, dPercent, std::chars_format::fixed, 2);
    if (r.ec != std::errc())
        return "nan";
    return std::string(buf, r.ptr);
}

double PrintedPercent(double dPercent)
{
    if (!std::isfinite(dPercent))
        return dPercent;
    const std::string text = FormatPercent(dPercent);
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

std::string FormatSizeChange(std::int64_t nBytes)
{
    return nBytes > 0 ? "+" + FormatSize(nBytes) : FormatSize(nBytes);
}

std::string FormatPercentChange(double dPercent)
{
    const std::string text = FormatPercent(dPercent);
    return std::signbit(dPercent) ? text : "+" + text;
}

std::string FormatHumanSize(std::int64_t nBytes)
{
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    // The magnitude as unsigned, so that the most negative count has one too.
    const std::uint64_t m = nBytes < 0 ? 0 - static_cast<std::uint64_t>(nBytes) : static_cast<std::uint64_t>(nBytes);
    const std::string sign = nBytes < 0 ? "-" : "";
    if (m < 1024)
        return sign + std::to_string(m) + " B";
    int unit = 0;
    std::uint64_t divisor = 1024;
    std::uint64_t tenths = 0;
    for (;;) {
        // Rounded tenths of m / divisor without overflow: r < divisor <= 2^60, so r * 10 fits.
        const std::uint64_t q = m / divisor, r = m % divisor;
        tenths = q * 10 + (r * 10 + divisor / 2) / divisor;
        if (tenths < 10240 || unit == 5)
            break;
        ++unit;
        divisor *= 1024;
    }
    return sign + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit];
}

} // namespace tvl
