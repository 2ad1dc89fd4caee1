// White-box tests of the frame pacing and of the buffers' type codes. The video encoder itself is
// tested through vqx.dll against the stand-in service (test_component_host, test_component_states
// and the host road), whose controls fail, hold, split, shorten or empty its answers.
#include "encoder/frame_wait_helper.h"
#include "encoder/zep_buffer.h"

#include <vqx/memory.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace vqx::test {
namespace {

constexpr int64 kTicksPerMs = 10000;

TEST(ZepBufferTest, TypeCodesMapToTheDocumentedOutputTypes) {
    const std::pair<uint32, int32> types[] = {{0, -1}, {1, 0}, {2, 2}, {3, -1}, {4, 3}, {5, 4}, {0xFFFFFFFFu, -1}};
    for (const auto& [code, type] : types)
        EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(code), type) << code;
}

TEST(FrameWaitHelperTest, TheLatencyOffsetFollowsLateOutputsAndDecaysOnPromptOnes) {
    struct Delivery {
        uint64 pollCount;
        int64 pollTime;
        int64 offset;  // expected afterwards
    };
    struct Case {
        uint32 numerator, denominator;
        int64 start;
        std::vector<Delivery> deliveries;
    };
    const Case cases[] = {
        // Frame 1 is due 166666 ticks after the start; 6000 late weighs 5/6, a prompt one decays by 1 %.
        {60, 1, 1000, {{3, 1000 + 166666 + 6000, 5000}, {0, 0, 4950}}},
        // Early outputs give negative offsets that truncate toward zero (-505.8, then -499.95).
        {60, 1, 0, {{1, 166666 - 607, -505}, {0, 0, -499}}},
        // Frame 2 at 30000/1001 is due at 667333.3 ticks: the ideal time uses the exact rate.
        {30000, 1001, 0, {{0, 0, 0}, {1, 667334 + 600, 500}}},
        // A zero numerator learns nothing and never divides by it.
        {0, 1, 0, {{0, 0, 0}, {4, 123456789, 0}}},
    };
    for (const Case& c : cases) {
        FrameWaitHelper waiter(c.numerator, c.denominator);
        waiter.Restart(c.start);
        for (const Delivery& d : c.deliveries) {
            waiter.OnOutputDelivered(d.pollCount, d.pollTime);
            EXPECT_EQ(waiter.LatencyOffset(), d.offset) << c.numerator << "/" << c.denominator;
        }
        EXPECT_EQ(waiter.FrameCount(), c.deliveries.size());
        waiter.Restart(0);
        EXPECT_EQ(waiter.LatencyOffset(), 0);
        EXPECT_EQ(waiter.FrameCount(), 0u);
    }
    FrameWaitHelper unpaced(0, 1);
    unpaced.Restart(vqx_high_precision_clock());
    unpaced.OnOutputDelivered(0, 0);
    EXPECT_EQ(unpaced.WaitForNextFrame(), 0);
}

TEST(FrameWaitHelperTest, WaitsUntilTheNextFrameIsDueInMillisecondSteps) {
    FrameWaitHelper waiter(10, 1);  // 100 ms per frame
    const int64 start = vqx_high_precision_clock();
    waiter.Restart(start);
    EXPECT_EQ(waiter.WaitForNextFrame(), 0);  // frame 0 is due at the start
    waiter.OnOutputDelivered(0, start);
    const int64 planned = waiter.WaitForNextFrame();
    EXPECT_GT(planned, 0);
    EXPECT_LE(planned, 100 * kTicksPerMs);
    EXPECT_GE(vqx_high_precision_clock() - start, 100 * kTicksPerMs);

    VQXPreciseWaiter precise;
    const int64 before = vqx_high_precision_clock();
    const int64 elapsed = precise.Wait(5 * kTicksPerMs);
    EXPECT_GE(elapsed, 5 * kTicksPerMs);
    EXPECT_GE(vqx_high_precision_clock() - before, elapsed);
    EXPECT_GE(precise.Wait(0), 0);  // one step, then the duration has passed
}

}  // namespace
}  // namespace vqx::test
