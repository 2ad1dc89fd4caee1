// White-box tests of the frame pacing: the learned latency offset and the 1 ms step waits.
#include "encoder/frame_wait_helper.h"

#include <vqx/memory.h>

#include <gtest/gtest.h>

namespace vqx {
namespace {

constexpr int64 kTicksPerMs = 10000;

TEST(FrameWaitHelperTest, ALateOutputWeighsFiveSixthsAndAPromptOneDecaysTheOffsetByOnePercent) {
    FrameWaitHelper waiter(60, 1);
    waiter.Restart(1000);
    // Frame 1 is due 166666 ticks after the start (10^7 / 60, rounded down); it came 6000 late.
    waiter.OnOutputDelivered(3, 1000 + 166666 + 6000);
    EXPECT_EQ(waiter.FrameCount(), 1u);
    EXPECT_EQ(waiter.LatencyOffset(), 5000);  // (5 x 6000 + 0) / 6
    waiter.OnOutputDelivered(0, 0);
    EXPECT_EQ(waiter.LatencyOffset(), 4950);
    waiter.Restart(0);
    EXPECT_EQ(waiter.LatencyOffset(), 0);
    EXPECT_EQ(waiter.FrameCount(), 0u);
}

TEST(FrameWaitHelperTest, NegativeOffsetsTruncateTowardZero) {
    FrameWaitHelper waiter(60, 1);
    waiter.Restart(0);
    waiter.OnOutputDelivered(1, 166666 - 607);  // 607 ticks early
    EXPECT_EQ(waiter.LatencyOffset(), -505);    // -3035 / 6 = -505.8
    waiter.OnOutputDelivered(0, 0);
    EXPECT_EQ(waiter.LatencyOffset(), -499);    // -49995 / 100 = -499.95, not -500
}

TEST(FrameWaitHelperTest, TheIdealTimeUsesTheExactRate) {
    FrameWaitHelper waiter(30000, 1001);
    waiter.Restart(0);
    waiter.OnOutputDelivered(0, 0);
    waiter.OnOutputDelivered(1, 667334 + 600);  // frame 2: 2 x 1001 x 10^7 / 30000 = 667333.3
    EXPECT_EQ(waiter.LatencyOffset(), 500);  // (5 x 601) / 6
}

TEST(FrameWaitHelperTest, AZeroNumeratorNeverWaitsAndLearnsNothing) {
    FrameWaitHelper waiter(0, 1);
    waiter.Restart(vqx_high_precision_clock());
    waiter.OnOutputDelivered(0, 0);
    waiter.OnOutputDelivered(4, 123456789);
    EXPECT_EQ(waiter.FrameCount(), 2u);
    EXPECT_EQ(waiter.LatencyOffset(), 0);
    EXPECT_EQ(waiter.WaitForNextFrame(), 0);
}

TEST(FrameWaitHelperTest, WaitsUntilTheNextFrameIsDue) {
    FrameWaitHelper waiter(10, 1);  // 100 ms per frame
    const int64 start = vqx_high_precision_clock();
    waiter.Restart(start);
    EXPECT_EQ(waiter.WaitForNextFrame(), 0);  // frame 0 is due at the start
    waiter.OnOutputDelivered(0, start);
    const int64 planned = waiter.WaitForNextFrame();
    const int64 now = vqx_high_precision_clock();
    EXPECT_GT(planned, 0);
    EXPECT_LE(planned, 100 * kTicksPerMs);
    EXPECT_GE(now - start, 100 * kTicksPerMs);
}

TEST(PreciseWaiterTest, WaitsAtLeastTheDurationInMillisecondSteps) {
    VQXPreciseWaiter waiter;
    const int64 before = vqx_high_precision_clock();
    const int64 elapsed = waiter.Wait(5 * kTicksPerMs);
    EXPECT_GE(elapsed, 5 * kTicksPerMs);
    EXPECT_GE(vqx_high_precision_clock() - before, elapsed);
    EXPECT_GE(waiter.Wait(0), 0);  // one step, then the duration has passed
}

}  // namespace
}  // namespace vqx
