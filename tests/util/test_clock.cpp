// Clocks: the arithmetic (white-box) and the live readings.
#include <vqx/vqx.h>

#include "util/clock_arithmetic.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ctime>

using namespace vqx::clock_arithmetic;

TEST(ClockArithmetic, TickCountsAreUnsignedAndSecondsArePacked) {
    EXPECT_DOUBLE_EQ(4294967.295, TickCountToSeconds(0xFFFFFFFFu));
    EXPECT_DOUBLE_EQ(2147483.648, TickCountToSeconds(0x80000000u));
    EXPECT_EQ(42949672950000LL, TickCountToHundredNanoseconds(0xFFFFFFFFu));
    EXPECT_EQ(0x00000001000000FAull, PackSecondsAndMilliseconds(1, 250));
    EXPECT_EQ(0x00000000000003E7ull, PackSecondsAndMilliseconds(0, 999));
    // Only the low 32 bits of the seconds survive.
    EXPECT_EQ(0x89ABCDEF00000001ull, PackSecondsAndMilliseconds(0x0123456789ABCDEFLL, 1));
    EXPECT_EQ(0xFFFFFFFF00000000ull, PackSecondsAndMilliseconds(0xFFFFFFFFLL, 0));
}

TEST(ClockArithmetic, CounterToHundredNanoseconds) {
    EXPECT_EQ(10000000, CounterToHundredNanoseconds(3579545, 3579545));
    EXPECT_EQ(3, CounterToHundredNanoseconds(1, 3000000));  // 3.33 truncated
    // 4e15 counts at 1 GHz: the integer product with 10^7 would overflow, the double one does not.
    EXPECT_EQ(40000000000000LL, CounterToHundredNanoseconds(4000000000000000LL, 1000000000LL));
    EXPECT_EQ(-3, CounterToHundredNanoseconds(-1, 3000000));  // -3.33 toward zero
}

TEST(Clocks, LiveReadingsAgree) {
    const vqx::int64 utc = vqx_get_current_utc_time();
    EXPECT_LE(std::abs(utc - static_cast<vqx::int64>(std::time(nullptr))), 2);
    const vqx::uint64 packed = get_time_in_seconds_with_fraction();
    EXPECT_LT(packed & 0xFFFFFFFFu, 1000u);
    EXPECT_LE(static_cast<vqx::uint32>(packed >> 32) - static_cast<vqx::uint32>(utc), 2u);
    EXPECT_NEAR(TickCountToSeconds(GetTickCount()), vqx_clock(), 1.0);

    const vqx::int64 first = vqx_high_precision_clock();
    const double firstTick = vqx_clock();
    Sleep(300);
    const double elapsed = static_cast<double>(vqx_high_precision_clock() - first) / 1e7;
    EXPECT_GE(elapsed, 0.25);
    EXPECT_LT(elapsed, 30.0);
    // Agrees with the millisecond clock to within the tick granularity and scheduling noise.
    EXPECT_NEAR(vqx_clock() - firstTick, elapsed, 0.2);
}
