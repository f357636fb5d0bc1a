#include "ScanFacts.h"
#include "TovalineVersion.h"

#include <ctime>

namespace tvl {

const char* ProgramVersion()
{
    return TOVALINE_VERSION;
}

std::string DescribeOptions(const ScanOptions& o)
{
    std::string text = o.bDiscUsage ? "disc usage" : "apparent sizes";
    text += o.bSkipHidden ? ", hidden folders left out" : ", hidden folders read";
    text += o.bCountLinksOnce ? ", hard links counted once" : ", every hard link counted";
    if (o.excludes.empty()) {
        text += ", no exclusions";
    } else {
        text += ", excluding ";
        for (std::size_t i = 0; i < o.excludes.size(); ++i)
            text += (i ? "; " : "") + o.excludes[i];
    }
    return text;
}

std::string OptionsDifference(const ScanOptions& a, const ScanOptions& b)
{
    auto sizes = [](bool discUsage) { return discUsage ? "disc usage" : "apparent sizes"; };
    if (a.bDiscUsage != b.bDiscUsage)
        return std::string("the first report counts ") + sizes(a.bDiscUsage) + ", the second " + sizes(b.bDiscUsage);
    if (a.bSkipHidden != b.bSkipHidden)
        return std::string("the first report ") + (a.bSkipHidden ? "leaves out" : "reads") + " hidden folders, the second " +
               (b.bSkipHidden ? "leaves them out" : "reads them");
    if (a.bCountLinksOnce != b.bCountLinksOnce)
        return std::string("the first report counts ") + (a.bCountLinksOnce ? "hard links once" : "every hard link") +
               ", the second " + (b.bCountLinksOnce ? "hard links once" : "every hard link");
    if (a.excludes != b.excludes) {
        auto list = [](const ScanOptions& o) {
            std::string s;
            for (std::size_t i = 0; i < o.excludes.size(); ++i)
                s += (i ? "; " : "") + o.excludes[i];
            return s.empty() ? std::string("nothing") : "\"" + s + "\"";
        };
        return "the first report excludes " + list(a) + ", the second " + list(b);
    }
    return std::string();
}

std::string FormatUtc(std::int64_t nSeconds)
{
    const std::time_t t = static_cast<std::time_t>(nSeconds);
    std::tm tm{};
    if (!::gmtime_r(&t, &tm))
        return std::to_string(nSeconds) + " s";
    char buf[64];
    if (std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm) == 0)
        return std::to_string(nSeconds) + " s";
    return buf;
}

std::string FormatDuration(std::int64_t nSeconds)
{
    const bool negative = nSeconds < 0;
    // The magnitude as unsigned, so that the smallest int64 does not overflow.
    std::uint64_t s = negative ? ~static_cast<std::uint64_t>(nSeconds) + 1 : static_cast<std::uint64_t>(nSeconds);
    struct Unit {
        const char* name;
        std::uint64_t seconds;
    };
    static constexpr Unit units[] = {{"day", 86400}, {"hour", 3600}, {"minute", 60}, {"second", 1}};
    std::string text;
    int parts = 0;
    for (const Unit& u : units) {
        const std::uint64_t n = s / u.seconds;
        s %= u.seconds;
        if (n == 0 || parts == 2) {
            if (parts > 0)
                ++parts; // only two neighbouring units: "3 days 4 hours"
            continue;
        }
        text += (text.empty() ? "" : " ") + std::to_string(n) + " " + u.name + (n == 1 ? "" : "s");
        ++parts;
    }
    if (text.empty())
        text = "0 seconds";
    return negative ? "minus " + text : text;
}

} // namespace tvl
