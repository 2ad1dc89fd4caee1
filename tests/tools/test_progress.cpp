#include "progress.h"

#include <gtest/gtest.h>

TEST(VqxcapProgress, RatesAndDelays) {
    // Three pictures at 30 fps (timestamps in 100 ns), the second split over two outputs.
    vqxcap::CaptureStats stats;
    stats.AddOutput(1000, 1, 0, 4.0);
    stats.AddOutput(1500, 1, 333333, 10.0);
    stats.AddOutput(1500, 0, 333333, 1.0);
    stats.AddOutput(1000, 1, 666666, 5.0);
    stats.elapsedSeconds = 2.0;
    EXPECT_EQ(3u, stats.pictures);
    EXPECT_DOUBLE_EQ(1.5, stats.FramesPerSecond());
    EXPECT_NEAR(0.0333333, stats.FramePeriodSeconds(), 1e-7);
    EXPECT_NEAR(400.0, stats.KilobitsPerSecond(), 1e-3) << "5000 bytes over 3 frame periods (0.1 s)";
    EXPECT_DOUBLE_EQ(5.0, stats.AverageDelayMs());
    EXPECT_DOUBLE_EQ(10.0, stats.delayWorstMs);
    EXPECT_EQ(L"frames 3 | 1.5 fps | 400 kbit/s | delay avg 5.0 ms, worst 10.0 ms", vqxcap::FormatProgress(stats));

    stats.elapsedSeconds = 20.0;
    EXPECT_NEAR(400.0, stats.KilobitsPerSecond(), 1e-3) << "a slow delivery does not change the stream's bitrate";
}

TEST(VqxcapProgress, BitrateStartsAtTheFirstTimestamp) {
    // A capture need not start at timestamp 0; one picture alone has no period yet.
    vqxcap::CaptureStats stats;
    stats.AddOutput(2000, 1, 50000000, 0.0);
    EXPECT_DOUBLE_EQ(0.0, stats.KilobitsPerSecond());
    stats.AddOutput(2000, 1, 50200000, 0.0);
    EXPECT_DOUBLE_EQ(0.02, stats.FramePeriodSeconds());
    EXPECT_NEAR(800.0, stats.KilobitsPerSecond(), 1e-9) << "4000 bytes over 2 frame periods (0.04 s)";
}

TEST(VqxcapProgress, DeliveryDelayComparesArrivalWithTimestamps) {
    vqxcap::DeliveryClock clock;
    EXPECT_DOUBLE_EQ(0.0, clock.DelayMs(10.000, 5000000));       // first output: the reference so far
    EXPECT_NEAR(2.0, clock.DelayMs(10.0186667, 5166667), 1e-3);  // 16.67 ms later in the stream, 18.67 ms here
    EXPECT_DOUBLE_EQ(0.0, clock.DelayMs(10.030, 5333333)) << "the promptest output becomes the reference";
    EXPECT_NEAR(3.333, clock.DelayMs(10.050, 5500000), 1e-3);  // measured against the new reference
}
