#include "MessagePump.h"
#include "Progress.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(ComputePercent, TruncatesAndFormatsWithALineBreak)
{
    struct {
        int pos, total, bar;
        const char* text;
    } cases[] = {
        {0, 7, 0, "0%\n"},
        {6, 7, 85, "85%\n"},     // 85.7 truncated
        {7, 7, 100, "100%\n"},
        {1, 1, 100, "100%\n"},
        {-1, 0, 0, ""},          // clears the display
        {3, 0, 0, "0%\n"},       // a total of 0 shows 0%
        {9, 8, 100, "100%\n"},   // never more than 100%
        {30000000, 30000000, 100, "100%\n"}, // pos x 100 beyond 32 bits
        {29999999, 30000000, 99, "99%\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.pos) + "/" + std::to_string(c.total));
        const tvl::PercentDisplay d = tvl::ComputePercent(c.pos, c.total);
        EXPECT_EQ(d.barPos, c.bar);
        EXPECT_EQ(d.text, c.text);
    }
}

TEST(MessagePump, PumpsAtMostOnceASecondAndTheFirstCallOnlyStartsTheClock)
{
    tvl::test::ManualClock clock;
    tvl::test::CountingPump hook;
    tvl::MessagePump pump(clock, &hook);

    clock.now = 5000;
    pump.PumpMessages();
    EXPECT_EQ(hook.calls, 0);
    clock.now = 5999;
    pump.PumpMessages();
    EXPECT_EQ(hook.calls, 0);
    clock.now = 6000;
    pump.PumpMessages();
    EXPECT_EQ(hook.calls, 1);
    pump.PumpMessages();
    EXPECT_EQ(hook.calls, 1);

    // The counter wraps: the unsigned difference still measures 1000 ms.
    clock.now = 0xFFFFFF00u;
    pump.PumpMessages();
    EXPECT_EQ(hook.calls, 2);
    clock.now = 0xFFFFFF00u + 999u; // wrapped past zero
    pump.PumpMessages();
    EXPECT_EQ(hook.calls, 2);
    clock.now = 0xFFFFFF00u + 1000u;
    pump.PumpMessages();
    EXPECT_EQ(hook.calls, 3);
}

} // namespace
