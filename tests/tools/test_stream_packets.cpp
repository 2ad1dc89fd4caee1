#include "output_joiner.h"
#include "packet_timing.h"
#include "parameter_sets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using vqxcap::EncodedOutput;
using vqxcap::Fraction;
using vqxcap::OutputJoiner;
using vqxcap::Packet;

namespace {

using Bytes = std::vector<uint8_t>;

// Picture n's timestamp as an encode service gives it: n frame periods in 100 ns, rounded down.
int64_t ServiceTimestamp(int64_t picture, Fraction rate) {
    return picture * rate.den * 10000000 / rate.num;
}

EncodedOutput Output(const Bytes& bytes, int32_t type, int64_t timestamp) {
    return EncodedOutput{bytes.data(), bytes.size(), type, timestamp};
}

struct RateCase {
    Fraction rate;
    Fraction timeBase;
    int64_t period;  // one frame in the time base
};

}  // namespace

TEST(VqxcapPacketTiming, ReducesFractions) {
    EXPECT_EQ(30, vqxcap::Reduced({3000000, 100000}).num);
    EXPECT_EQ(1, vqxcap::Reduced({3000000, 100000}).den);
    EXPECT_EQ(30000, vqxcap::Reduced({36720000, 1225224}).num);
    EXPECT_EQ(1001, vqxcap::Reduced({36720000, 1225224}).den);
}

TEST(VqxcapPacketTiming, ServiceTimestampsLandEvenlyOnEveryContainerClock) {
    const RateCase cases[] = {
        {{30, 1}, {1, 30}, 1},
        {{30, 1}, {1, 90000}, 3000},
        {{30000, 1001}, {1, 30000}, 1001},
        {{30000, 1001}, {1, 90000}, 3003},
        {{60, 1}, {1, 60}, 1},
        {{60000, 1001}, {1, 90000}, 1502},
    };
    for (const RateCase& c : cases) {
        EXPECT_EQ(c.period, vqxcap::FramePeriodInTimeBase(c.rate, c.timeBase)) << c.rate.num << "/" << c.rate.den;
        if (c.rate.num * c.timeBase.num * c.period != c.rate.den * c.timeBase.den) continue;  // not a whole number
        for (int64_t picture : {int64_t{0}, int64_t{1}, int64_t{2}, int64_t{999}, int64_t{107999}}) {
            EXPECT_EQ(picture * c.period, vqxcap::TimestampInTimeBase(ServiceTimestamp(picture, c.rate), c.timeBase))
                << "picture " << picture << " at " << c.rate.num << "/" << c.rate.den;
        }
    }
}

TEST(VqxcapPacketTiming, RoundsToTheNearestTick) {
    const Fraction millisecond{1, 1000};
    EXPECT_EQ(33, vqxcap::TimestampInTimeBase(ServiceTimestamp(1, {30, 1}), millisecond));
    EXPECT_EQ(67, vqxcap::TimestampInTimeBase(ServiceTimestamp(2, {30, 1}), millisecond));
    EXPECT_EQ(1, vqxcap::TimestampInTimeBase(14999, millisecond));
    EXPECT_EQ(2, vqxcap::TimestampInTimeBase(15000, millisecond)) << "halves round away from zero";
    EXPECT_EQ(-2, vqxcap::TimestampInTimeBase(-15000, millisecond));
    EXPECT_EQ(33, vqxcap::FramePeriodInTimeBase({30, 1}, millisecond));
    EXPECT_EQ(17, vqxcap::FramePeriodInTimeBase({60, 1}, millisecond));
    // A late output keeps its own time: 10 ms late at 30 frames per second is still frame 3 in
    // whole frame periods, but 0.9 frame periods late is frame 4.
    EXPECT_EQ(3, vqxcap::TimestampInTimeBase(ServiceTimestamp(3, {30, 1}) + 100000, {1, 30}));
    EXPECT_EQ(4, vqxcap::TimestampInTimeBase(ServiceTimestamp(3, {30, 1}) + 300000, {1, 30}));
}

TEST(VqxcapPacketTiming, LongRunningClocksDoNotOverflow) {
    const int64_t tenYears = int64_t{10} * 365 * 24 * 3600 * 10000000;
    EXPECT_EQ(tenYears / 10000000 * 90000, vqxcap::TimestampInTimeBase(tenYears, {1, 90000}));
    EXPECT_EQ(tenYears / 10000000 * 30000, vqxcap::TimestampInTimeBase(tenYears, {1001, 30030000}))
        << "the time base is reduced first";
}

// Keyframes, whole and split outputs joined into packets: every container test of vqxcap checks
// them (vqxcap_streams.sh: pictures, keyframes and timestamps, with "--output-type 1" as well).
TEST(VqxcapOutputJoiner, MissingOrStrayContinuationsStillGiveEveryByte) {
    OutputJoiner joiner(true);
    std::vector<Packet> ready;
    const Bytes a = {0, 0, 1, 0x65}, b = {0, 0, 1, 0x41}, c = {0, 0, 1, 0x01};
    joiner.Add(Output(a, 2, 0), ready);
    joiner.Add(Output(b, 3, 333333), ready);  // a's continuation never came
    ASSERT_EQ(1u, ready.size());
    EXPECT_EQ(a, ready[0].bytes);
    EXPECT_TRUE(ready[0].keyframe);
    joiner.Add(Output(c, -1, 999999), ready);  // not b's time: a packet of its own, after b
    ASSERT_EQ(3u, ready.size());
    EXPECT_EQ(b, ready[1].bytes);
    EXPECT_EQ(c, ready[2].bytes);
    EXPECT_FALSE(ready[2].keyframe);
    joiner.Add(Output(a, 2, 1333333), ready);
    joiner.Flush(ready);  // the end of a capture hands out the waiting part
    ASSERT_EQ(4u, ready.size());
    EXPECT_EQ(1333333, ready[3].timestamp);
}

TEST(VqxcapParameterSets, TakesSpsAndPpsOutOfAPicture) {
    const Bytes picture = {0, 0, 0, 1,    0x09, 0xF0,                    // access unit delimiter
                           0, 0, 0, 1,    0x67, 0x42, 0x00, 0x1E, 0xAB,  // SPS
                           0, 0, 1, 0x68, 0xCE, 0x3C, 0x80, 0,    0,     // PPS, 3-byte start code, trailing zeros
                           0, 0, 0, 1,    0x65, 0x88, 0x84, 0x21};       // IDR slice
    const Bytes expected = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1E, 0xAB, 0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80};
    EXPECT_EQ(expected, vqxcap::ExtractParameterSets(picture.data(), picture.size()));
    EXPECT_TRUE(vqxcap::ContainsSequenceParameterSet(picture.data(), picture.size()));

    const Bytes slices = {0, 0, 0, 1, 0x65, 0x88, 0, 0, 1, 0x65, 0x67};  // 0x67 inside a slice is no SPS
    EXPECT_TRUE(vqxcap::ExtractParameterSets(slices.data(), slices.size()).empty());
    EXPECT_FALSE(vqxcap::ContainsSequenceParameterSet(slices.data(), slices.size()));
    EXPECT_TRUE(vqxcap::ExtractParameterSets(nullptr, 0).empty());
}
