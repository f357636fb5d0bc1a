// The number formatters: grouping, sizes and shares, and that none of them follows
// the C library's locale.
#include "NumberFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(NumberFormat, GroupThousandsTable)
{
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"", ""},
        {"0", "0"},
        {"999", "999"},
        {"1000", "1.000"},
        {"123456", "123.456"},
        {"1234567", "1.234.567"},
        {"1234567890", "1.234.567.890"},
        {"9223372036854775807", "9.223.372.036.854.775.807"},
        {"-1", "-1"},
        {"-1234", "-1.234"},
        {"-123456", "-123.456"},
    };
    for (const auto& r : rows) {
        std::string s = r.in;
        tvl::GroupThousands(s);
        EXPECT_EQ(s, r.out) << "input " << r.in;
    }
}

TEST(NumberFormat, SizesTable)
{
    EXPECT_EQ(tvl::FormatSize(0), "0");
    EXPECT_EQ(tvl::FormatSize(7), "7");
    EXPECT_EQ(tvl::FormatSize(1000), "1.000");
    EXPECT_EQ(tvl::FormatSize(4889508115), "4.889.508.115");
    EXPECT_EQ(tvl::FormatSize(-1234), "-1.234");
    EXPECT_EQ(tvl::FormatSize(std::numeric_limits<std::int64_t>::max()), "9.223.372.036.854.775.807");
    EXPECT_EQ(tvl::FormatSize(std::numeric_limits<std::int64_t>::min()), "-9.223.372.036.854.775.808");
}

TEST(NumberFormat, SharesTable)
{
    const struct {
        double in;
        const char* out;
    } rows[] = {
        {-1.0, "-1.00"},   {0.0, "0.00"},       {100.0, "100.00"},
        {50.0, "50.00"},   {12.345678, "12.35"}, {0.004, "0.00"},
        {99.999, "100.00"}, {1e6, "1000000.00"}, {0.125, "0.12"}, // exact tie: to even, as "%.2f"
    };
    for (const auto& r : rows)
        EXPECT_EQ(tvl::FormatPercent(r.in), r.out) << "value " << r.in;
    EXPECT_EQ(tvl::FormatPercent(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(tvl::FormatPercent(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(tvl::FormatPercent(std::numeric_limits<double>::quiet_NaN()), "nan");
    // The largest double still comes out whole (309 digits and two decimals).
    EXPECT_EQ(tvl::FormatPercent(std::numeric_limits<double>::max()).size(), 309u + 3u);
}

TEST(NumberFormat, PrintedPercentIsTheValueOfTheText)
{
    EXPECT_DOUBLE_EQ(tvl::PrintedPercent(12.345678), 12.35);
    EXPECT_DOUBLE_EQ(tvl::PrintedPercent(99.999), 100.0);
    EXPECT_DOUBLE_EQ(tvl::PrintedPercent(-1.0), -1.0);
    EXPECT_DOUBLE_EQ(tvl::PrintedPercent(0.004), 0.0);
    EXPECT_TRUE(std::isnan(tvl::PrintedPercent(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isinf(tvl::PrintedPercent(std::numeric_limits<double>::infinity())));
}

// Under a locale with a decimal comma (the desktop program takes the user's locale)
// the texts stay the same. Skipped where no such locale is installed.
TEST(NumberFormat, IgnoresTheCLibraryLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    const std::string share = tvl::FormatPercent(-1.0);
    const std::string size = tvl::FormatSize(1234567);
    const double printed = tvl::PrintedPercent(12.345);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(share, "-1.00");
    EXPECT_EQ(size, "1.234.567");
    EXPECT_NEAR(printed, 12.35, 0.011);
}

TEST(HumanSize, BinaryUnitsWithOneDecimal)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0 B"},
        {1, "1 B"},
        {1023, "1023 B"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {1048524, "1023.9 KiB"},   // just below the rounding edge
        {1048525, "1.0 MiB"},      // rounds to 1024.0 KiB, so the next unit
        {1048576, "1.0 MiB"},
        {1610612736, "1.5 GiB"},
        {(1LL << 40) - 1, "1.0 TiB"},
        {1LL << 50, "1.0 PiB"},
        {7LL << 60, "7.0 EiB"},
        {INT64_MAX, "8.0 EiB"},
        {-1536, "-1.5 KiB"},
        {INT64_MIN, "-8.0 EiB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(tvl::FormatHumanSize(bytes), text) << bytes;
}

} // namespace
