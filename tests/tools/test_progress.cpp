#include "error_report.h"
#include "progress.h"

#include <vqx/encoder.h>

#include <gtest/gtest.h>

TEST(VqxcapProgress, RatesAndDelays) {
    vqxcap::CaptureStats stats;
    stats.AddOutput(1000, 1, 4.0);
    stats.AddOutput(3000, 1, 10.0);
    stats.AddOutput(0, 0, 1.0);
    stats.elapsedSeconds = 2.0;
    EXPECT_EQ(2u, stats.pictures);
    EXPECT_DOUBLE_EQ(1.0, stats.FramesPerSecond());
    EXPECT_DOUBLE_EQ(16.0, stats.KilobitsPerSecond());
    EXPECT_DOUBLE_EQ(5.0, stats.AverageDelayMs());
    EXPECT_DOUBLE_EQ(10.0, stats.delayWorstMs);
    EXPECT_EQ(L"frames 2 | 1.0 fps | 16 kbit/s | delay avg 5.0 ms, worst 10.0 ms", vqxcap::FormatProgress(stats));
}

TEST(VqxcapProgress, NothingYetMeansZeroNotNan) {
    const vqxcap::CaptureStats stats;
    EXPECT_EQ(L"frames 0 | 0.0 fps | 0 kbit/s | delay avg 0.0 ms, worst 0.0 ms", vqxcap::FormatProgress(stats));
}

TEST(VqxcapProgress, DeliveryDelayComparesArrivalWithTimestamps) {
    vqxcap::DeliveryClock clock;
    EXPECT_DOUBLE_EQ(0.0, clock.DelayMs(10.000, 5000000));      // first output: the reference so far
    EXPECT_NEAR(2.0, clock.DelayMs(10.0186667, 5166667), 1e-3);  // 16.67 ms later in the stream, 18.67 ms here
    EXPECT_DOUBLE_EQ(0.0, clock.DelayMs(10.030, 5333333)) << "the promptest output becomes the reference";
    EXPECT_NEAR(3.333, clock.DelayMs(10.050, 5500000), 1e-3);   // measured against the new reference
}

TEST(VqxcapErrors, EncoderCodesGetTheirNames) {
    EXPECT_EQ(L"vqxcap: StartEncode failed: error 303 VQX_ZEP_START_FAILED (VQX Error)",
              vqxcap::FailureMessage(L"StartEncode", static_cast<vqx::VQX_ERROR>(vqx::VQX_ZEP_START_FAILED)));
    EXPECT_EQ(L"Wrong state", vqxcap::DescribeResult(vqx::VQX_WRONG_STATE));
}
