#include "GroupThousands.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>

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
    char buf[32];
    std::snprintf(buf, sizeof buf, "%" PRId64, nBytes);
    std::string s(buf);
    GroupThousands(s);
    return s;
}

std::string FormatPercent(double dPercent)
{
    // to_chars, unlike printf, ignores the locale: the decimal point stays ".".
    char buf[400];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, dPercent, std::chars_format::fixed, 2);
    return ec == std::errc() ? std::string(buf, p) : std::string("nan");
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

double ParsePercent(const std::string& text)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    double v = 0;
    std::from_chars(first, last, v);
    return v;
}

} // namespace tvl
