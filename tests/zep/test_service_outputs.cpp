// Outputs of the stand-in through the wrappers beyond what the stream tests check end to end
// (layout, type codes, timestamps and split outputs of every picture, in check_stream.sh): the
// record bits, pacing from the start, the resource pool and data lifetime. The output controls
// (hold, short and empty answers) are exercised by the encoder's host tests that rely on them.
#include "bound_service.h"

#include <set>

using namespace vqx::test;

namespace {

using ServiceOutputs = BoundService;

constexpr uint32_t kFastFps = 1000;  // outputs due as fast as the tests take them
constexpr int64_t kFastPeriod = 10000000 / kFastFps;

ZEPCreateParams FastParams(uint32_t outputType = 1, uint32_t insertAud = 1) {
    ZEPCreateParams params = MakeCreateParams(64, 48, kFastFps, 1);
    params.outputType = outputType;
    params.insertAud = insertAud;
    return params;
}

double SecondsSince(DWORD tick) {
    return (GetTickCount() - tick) / 1000.0;
}

// The layout of every output, delimiters, slice sizes and IDR periods are checked end to end by
// the stream tests (zep_stream_writer); here the two record bits those streams always set.
TEST_F(ServiceOutputs, DelimitersNeedTheirFieldBitAndSliceSizesTheirChangeMaskBit) {
    ZEPCreateParams params = FastParams(1, 1);
    params.optionalFieldMask = 8;  // the delimiter field is not valid
    TestEncoder encoder(params);
    ZEPConfig config = MakeConfig(0, 1);
    config.changeMask &= ~(1u << 8);  // nor is the slice size
    ASSERT_EQ(0, encoder.Configure(config));
    ASSERT_EQ(0, encoder.Start());
    EXPECT_EQ((std::vector<int>{7, 8, 5}), NalTypes(encoder.Next()));
    EXPECT_EQ((std::vector<int>{1}), NalTypes(encoder.Next()));
}

TEST_F(ServiceOutputs, PictureNIsNotDeliveredBeforeStartPlusNFramePeriods) {
    TestEncoder encoder(MakeCreateParams(64, 48, 1, 1));  // one frame a second
    const DWORD before = GetTickCount();
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    ASSERT_EQ(0, encoder.Query(1, entries, returned));  // picture 0 is due at the start
    ASSERT_EQ(1u, returned);
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, entries[0].typeCode);
    ASSERT_EQ(0, encoder.Query(1, entries, returned));
    EXPECT_EQ(0u, returned);  // picture 1 is not due yet: nothing else comes with picture 0
    EXPECT_EQ(0u, entries[0].resourceId);
    const ZEPOutputEntry second = encoder.Next();
    EXPECT_GE(SecondsSince(before), 0.95);  // tick granularity
    EXPECT_EQ(10000000, second.timestamp);
    EXPECT_EQ(qzt::kTypePPicture, second.typeCode);
}

TEST_F(ServiceOutputs, ThePoolLimitsOutstandingOutputsToTheFeedbackCount) {
    ZEPCreateParams params = FastParams();
    params.feedbacks = 3;
    TestEncoder encoder(params);
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(encoder.Next());
    Sleep(20);  // many pictures are due by now
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    ASSERT_EQ(0, encoder.Query(1, entries, returned));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(3u, s_controls.GetOutstandingCount());

    EXPECT_EQ(0, encoder.Reclaim(held[1].resourceId));
    EXPECT_EQ(qzt::kBadResource, encoder.Reclaim(held[1].resourceId));
    EXPECT_EQ(3 * kFastPeriod, encoder.Next().timestamp);  // picture 3: no picture was dropped
    uint32_t ids[4] = {};
    ASSERT_EQ(2u, s_controls.GetReclaimedIds(ids, 4));
    EXPECT_EQ(held[1].resourceId, ids[0]);
    EXPECT_EQ(held[1].resourceId, ids[1]);
}

TEST_F(ServiceOutputs, DataStaysValidUntilReclaimedAndReclaimedMemoryIsReused) {
    {
        TestEncoder encoder(FastParams());
        ZEPConfig config = MakeConfig(0);
        config.skippedPicPeriod = 7;
        ASSERT_EQ(0, encoder.Configure(config));
        ASSERT_EQ(0, encoder.Start());
        const ZEPOutputEntry kept = encoder.Next();
        const std::vector<uint8_t> copy = Bytes(kept);
        // Seven skipped pictures follow each coded one. Reclaimed memory is reused: the skipped
        // outputs of many frame periods live in the few resources the service codes ahead into.
        std::set<const uint8_t*> addresses;
        int skipped = 0;
        for (int i = 0; i < 40; ++i) {
            const ZEPOutputEntry output = encoder.Next();
            if (output.typeCode == qzt::kTypeSkippedPicture) {
                addresses.insert(output.data);
                ++skipped;
            }
            ASSERT_EQ(0, encoder.Reclaim(output.resourceId));
        }
        EXPECT_EQ(35, skipped);
        EXPECT_LE(addresses.size(), 5u);  // a resource grows when a larger picture needs it
        EXPECT_EQ(copy, Bytes(kept));
        EXPECT_EQ(1u, s_controls.GetOutstandingCount());
    }
    EXPECT_EQ(0u, s_controls.GetOutstandingCount()) << "destroying an encoder releases its outputs";
}

TEST_F(ServiceOutputs, StopDropsUndeliveredOutputsAndARestartBeginsAnew) {
    TestEncoder encoder(FastParams());
    ASSERT_EQ(0, encoder.Start());
    const ZEPOutputEntry zero = encoder.Next();
    const std::vector<uint8_t> zeroBytes = Bytes(zero);
    const ZEPOutputEntry one = encoder.Next();
    ASSERT_EQ(0, encoder.Stop());
    EXPECT_EQ(0, encoder.Reclaim(zero.resourceId));  // still possible after the stop
    ASSERT_EQ(0, encoder.Start());
    // The stream begins anew: the same first output, byte for byte, with timestamp 0.
    const ZEPOutputEntry again = encoder.Next();
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, again.typeCode);
    EXPECT_EQ(0, again.timestamp);
    EXPECT_EQ(zeroBytes, Bytes(again));
    EXPECT_GT(again.resourceId, one.resourceId);
    const ZEPOutputEntry picture = encoder.Next();
    EXPECT_EQ(qzt::kTypePPicture, picture.typeCode);
    EXPECT_EQ(kFastPeriod, picture.timestamp);
    EXPECT_EQ(3u, s_controls.GetOutstandingCount());  // one, again, picture
}

}  // namespace
