// Outputs of the stand-in through the wrappers: order and type codes (the parameter sets travel
// with picture 0, one output per frame period), pacing from the start, split outputs, the
// resource pool, data lifetime, and the output controls.
#include "bound_service.h"

#include <algorithm>
#include <set>

using namespace zeptest;

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

// The byte after an access-unit delimiter's header: primary_pic_type in its top three bits.
int PrimaryPicType(const ZEPOutputEntry& entry) {
    for (uint32_t i = 0; i + 4 < entry.dataSize; ++i) {
        const uint8_t* p = entry.data + i;
        if (p[0] == 0 && p[1] == 0 && p[2] == 1 && (p[3] & 0x1F) == 9) return p[4] >> 5;
    }
    return -1;
}

double SecondsSince(DWORD tick) { return (GetTickCount() - tick) / 1000.0; }

// Output n is picture n; picture 0 is one access unit: a single delimiter (I slices only), SPS,
// PPS, IDR slice. An IDR picture every 4 after it, with its own delimiter and no parameter sets.
TEST_F(ServiceOutputs, TheFirstOutputIsPictureZeroWithTheParameterSetsThenOnePicturePerOutput) {
    TestEncoder encoder(FastParams());
    ASSERT_EQ(0, encoder.Configure(MakeConfig(4)));
    ASSERT_EQ(0, encoder.Start());
    std::vector<uint32_t> ids{0};
    for (uint32_t picture = 0; picture <= 10; ++picture) {
        const ZEPOutputEntry output = encoder.Next();
        const bool idr = picture % 4 == 0;
        if (picture == 0 || idr) {
            EXPECT_EQ(picture == 0 ? qzt::kTypeFirstIdrPicture : qzt::kTypeIdrPicture, output.typeCode) << picture;
        } else {
            EXPECT_TRUE(output.typeCode == qzt::kTypePPicture || output.typeCode == qzt::kTypeSkippedPicture);
        }
        const std::vector<int> nal = picture == 0 ? std::vector<int>{9, 7, 8, 5} : std::vector<int>{9, idr ? 5 : 1};
        EXPECT_EQ(nal, NalTypes(output)) << picture;
        EXPECT_EQ(idr ? 0 : 1, PrimaryPicType(output)) << picture;
        EXPECT_EQ(picture * kFastPeriod, output.timestamp) << picture;
        EXPECT_EQ(std::find(ids.begin(), ids.end(), output.resourceId), ids.end());  // new and non-zero
        ids.push_back(output.resourceId);
        EXPECT_EQ(0, encoder.Reclaim(output.resourceId));
    }
}

TEST_F(ServiceOutputs, DelimitersOnlyWhenValidAndAskedAndSlicesOfTheConfiguredSize) {
    struct Case {
        uint32_t fieldMask, insertAud, mbsPerSlice, sliceMaskBit;
        std::vector<int> picture0, picture1;
    };
    const Case cases[] = {
        {24, 0, 5, 1, {7, 8, 5, 5, 5}, {1, 1, 1}},  // 12 macroblocks in slices of 5
        {8, 1, 0, 1, {7, 8, 5}, {1}},               // the delimiter field is not valid
        {24, 1, 7, 1, {9, 7, 8, 5, 5}, {9, 1, 1}},
        {24, 0, 1, 0, {7, 8, 5}, {1}},  // without its change-mask bit the slice size is not taken
    };
    for (const Case& c : cases) {
        ZEPCreateParams params = FastParams(1, c.insertAud);
        params.optionalFieldMask = c.fieldMask;
        TestEncoder encoder(params);
        ZEPConfig config = MakeConfig(0, c.mbsPerSlice);
        config.changeMask = c.sliceMaskBit ? config.changeMask | (1u << 8) : config.changeMask & ~(1u << 8);
        ASSERT_EQ(0, encoder.Configure(config));
        ASSERT_EQ(0, encoder.Start());
        EXPECT_EQ(c.picture0, NalTypes(encoder.Next())) << c.mbsPerSlice;
        EXPECT_EQ(c.picture1, NalTypes(encoder.Next())) << c.mbsPerSlice;
    }
    // The IDR period applies from the next picture, without a restart.
    TestEncoder encoder(FastParams(1, 0));
    ASSERT_EQ(0, encoder.Start());
    encoder.Next();
    encoder.Next();
    ASSERT_EQ(0, encoder.Configure(MakeConfig(2)));
    EXPECT_EQ(qzt::kTypeIdrPicture, encoder.Next().typeCode);  // picture 2: two pictures since the last IDR
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

TEST_F(ServiceOutputs, HeldAndDelayedOutputsComeLaterWithNothingDropped) {
    controls.HoldOutputs(1);
    TestEncoder encoder(FastParams());
    const DWORD start = GetTickCount();
    ASSERT_EQ(0, encoder.Start());
    Sleep(50);
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    EXPECT_EQ(0, encoder.Query(1, entries, returned));
    EXPECT_EQ(0u, returned);
    controls.HoldOutputs(0);
    EXPECT_EQ(0, encoder.Next().timestamp);
    EXPECT_EQ(kFastPeriod, encoder.Next().timestamp);
    controls.SetOutputDelay(400);
    EXPECT_EQ(2 * kFastPeriod, encoder.Next().timestamp);
    EXPECT_GE(SecondsSince(start), 0.37);
}

TEST_F(ServiceOutputs, OutputTypeTwoSplitsEachOutputIntoTwoEntriesOfOneResource) {
    struct Case {
        uint32_t insertAud;
        std::vector<int> parts[2][2];  // NAL units of picture 0 and picture 1, first and second part
    };
    // Split at the second NAL unit; a picture of one slice without a delimiter splits halfway.
    const Case cases[] = {{1, {{{9}, {7, 8, 5}}, {{9}, {1}}}}, {0, {{{7}, {8, 5}}, {{1}, {}}}}};
    for (const Case& c : cases) {
        TestEncoder encoder(FastParams(2, c.insertAud));
        ASSERT_EQ(0, encoder.Start());
        std::vector<ZEPOutputEntry> parts;
        for (uint32_t picture = 0; picture < 2; ++picture) {
            ASSERT_TRUE(encoder.Next(2, parts));
            EXPECT_EQ(picture == 0 ? qzt::kTypeFirstIdrPicture : qzt::kTypePPicture, parts[0].typeCode);
            EXPECT_EQ(qzt::kTypeContinuation, parts[1].typeCode);
            EXPECT_EQ(parts[0].resourceId, parts[1].resourceId);
            EXPECT_EQ(parts[0].data + parts[0].dataSize, parts[1].data);  // contiguous
            EXPECT_EQ(picture * kFastPeriod, parts[0].timestamp);
            EXPECT_EQ(parts[0].timestamp, parts[1].timestamp);
            EXPECT_EQ(c.parts[picture][0], NalTypes(parts[0])) << c.insertAud << picture;
            EXPECT_EQ(c.parts[picture][1], NalTypes(parts[1])) << c.insertAud << picture;
            EXPECT_EQ(0, encoder.Reclaim(parts[0].resourceId));
        }
        if (c.insertAud == 0) {
            EXPECT_LE(parts[0].dataSize, parts[1].dataSize);
            EXPECT_GE(parts[0].dataSize + 1, parts[1].dataSize);
        }
        EXPECT_EQ(c.insertAud ? (std::vector<int>{9, 1}) : (std::vector<int>{1}), NalTypes(encoder.Next()))
            << "asked for one entry, the same encoder hands out whole outputs";
    }
}

TEST_F(ServiceOutputs, WithoutSplittingAQueryForTwoGetsTwoOutputs) {
    TestEncoder encoder(FastParams(1));
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> two;
    ASSERT_TRUE(encoder.Next(2, two));  // pictures 0 and 1
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, two[0].typeCode);
    EXPECT_EQ(qzt::kTypePPicture, two[1].typeCode);
    EXPECT_EQ(kFastPeriod, two[1].timestamp);
    EXPECT_NE(two[0].resourceId, two[1].resourceId);
    EXPECT_EQ(2u, controls.GetOutstandingCount());
}

TEST_F(ServiceOutputs, PartialAndEmptyResultsDeliverNothing) {
    TestEncoder encoder(FastParams(2));
    ASSERT_EQ(0, encoder.Start());
    Sleep(5);
    controls.SetPartialResults(1);
    std::vector<ZEPOutputEntry> parts;
    uint32_t returned = 0;
    for (int i = 0; i < 1000 && returned == 0; ++i) {
        ASSERT_EQ(0, encoder.Query(2, parts, returned));
    }
    ASSERT_EQ(1u, returned);
    const uint32_t partialId = parts[0].resourceId;
    EXPECT_NE(0u, partialId);
    EXPECT_EQ(0u, parts[1].resourceId);
    EXPECT_EQ(0u, controls.GetOutstandingCount());

    controls.SetEmptyResults(2);  // the full count with untouched entries
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(0, encoder.Query(2, parts, returned));
        EXPECT_EQ(2u, returned);
        EXPECT_FALSE(IsOutput(parts[0]) || IsOutput(parts[1]));
        EXPECT_EQ(sizeof(ZEPOutputEntry), parts[1].size);
    }
    ASSERT_TRUE(encoder.Next(2, parts));  // the same output as the partial one
    EXPECT_EQ(partialId, parts[0].resourceId);
    EXPECT_EQ(partialId, parts[1].resourceId);
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, parts[0].typeCode);
    EXPECT_EQ(1u, controls.GetOutstandingCount());
}

TEST_F(ServiceOutputs, ThePoolLimitsOutstandingOutputsToTheFeedbackCount) {
    ZEPCreateParams params = FastParams();
    params.feedbacks = 3;
    TestEncoder encoder(params);
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> held;
    for (int i = 0; i < 3; ++i) held.push_back(encoder.Next());
    Sleep(20);  // many pictures are due by now
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    ASSERT_EQ(0, encoder.Query(1, entries, returned));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(3u, controls.GetOutstandingCount());

    EXPECT_EQ(0, encoder.Reclaim(held[1].resourceId));
    EXPECT_EQ(qzt::kBadResource, encoder.Reclaim(held[1].resourceId));
    EXPECT_EQ(3 * kFastPeriod, encoder.Next().timestamp);  // picture 3: no picture was dropped
    uint32_t ids[4] = {};
    ASSERT_EQ(2u, controls.GetReclaimedIds(ids, 4));
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
        EXPECT_EQ(1u, controls.GetOutstandingCount());
    }
    EXPECT_EQ(0u, controls.GetOutstandingCount()) << "destroying an encoder releases its outputs";
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
    EXPECT_EQ(3u, controls.GetOutstandingCount());  // one, again, picture
}

}  // namespace
