// Outputs of the stand-in through the wrappers: order and type codes (the parameter sets travel
// with picture 0, one output per frame period), pacing from the start, split outputs, the
// resource pool, data lifetime, and the output controls.
#include "bound_service.h"

#include <algorithm>

using namespace zeptest;

namespace {

using ServiceOutputs = BoundService;

constexpr uint32_t kFastFps = 1000;  // outputs due as fast as the tests take them

int64_t NowTicks() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double SecondsSince(int64_t ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(NowTicks() - ticks) / static_cast<double>(frequency.QuadPart);
}

ZEPCreateParams FastParams(uint32_t outputType = 1) {
    ZEPCreateParams params = MakeCreateParams(64, 48, kFastFps, 1);
    params.outputType = outputType;
    return params;
}

// The byte after an access-unit delimiter's header: primary_pic_type in its top three bits.
int PrimaryPicType(const ZEPOutputEntry& entry) {
    const std::vector<uint8_t> bytes = Bytes(entry);
    for (size_t i = 0; i + 4 < bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && (bytes[i + 3] & 0x1F) == 9) {
            return bytes[i + 4] >> 5;
        }
    }
    return -1;
}

TEST_F(ServiceOutputs, TheFirstOutputIsPictureZeroWithTheParameterSetsThenOnePicturePerOutput) {
    TestEncoder encoder(FastParams());
    ASSERT_EQ(0, encoder.Configure(MakeConfig(4)));
    ASSERT_EQ(0, encoder.Start());

    // One access unit: a single delimiter (I slices only), SPS, PPS, then the IDR slice.
    const ZEPOutputEntry first = encoder.Next();
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, first.typeCode);
    EXPECT_EQ((std::vector<int>{9, 7, 8, 5}), NalTypes(first));
    EXPECT_EQ(0, PrimaryPicType(first));
    EXPECT_EQ(0, first.timestamp);
    EXPECT_NE(0u, first.resourceId);
    EXPECT_EQ(0, encoder.Reclaim(first.resourceId));

    // Output n is picture n; an IDR picture every 4, each with its own delimiter and no parameter sets.
    std::vector<uint32_t> ids{first.resourceId};
    for (uint32_t picture = 1; picture <= 10; ++picture) {
        const ZEPOutputEntry output = encoder.Next();
        const bool idr = picture % 4 == 0;
        if (idr) {
            EXPECT_EQ(qzt::kTypeIdrPicture, output.typeCode) << picture;
        } else {
            EXPECT_TRUE(output.typeCode == qzt::kTypePPicture || output.typeCode == qzt::kTypeSkippedPicture)
                << picture;
        }
        EXPECT_EQ(idr ? (std::vector<int>{9, 5}) : (std::vector<int>{9, 1}), NalTypes(output)) << picture;
        EXPECT_EQ(idr ? 0 : 1, PrimaryPicType(output)) << picture;
        EXPECT_EQ(static_cast<int64_t>(picture) * 10000000 / kFastFps, output.timestamp) << picture;
        EXPECT_EQ(std::find(ids.begin(), ids.end(), output.resourceId), ids.end());
        ids.push_back(output.resourceId);
        EXPECT_EQ(0, encoder.Reclaim(output.resourceId));
    }
}

TEST_F(ServiceOutputs, DelimitersOnlyWhenAskedAndSlicesOfTheConfiguredSize) {
    ZEPCreateParams params = FastParams();
    params.insertAud = 0;
    TestEncoder encoder(params);
    ASSERT_EQ(0, encoder.Configure(MakeConfig(0, 5)));  // 12 macroblocks in slices of 5
    ASSERT_EQ(0, encoder.Start());
    EXPECT_EQ((std::vector<int>{7, 8, 5, 5, 5}), NalTypes(encoder.Next()));  // picture 0
    EXPECT_EQ((std::vector<int>{1, 1, 1}), NalTypes(encoder.Next()));        // picture 1

    // Without its change-mask bit the slice size is not taken; the IDR period always is.
    ZEPConfig config = MakeConfig(2, 1);
    config.changeMask &= ~(1u << 8);
    ASSERT_EQ(0, encoder.Configure(config));
    const ZEPOutputEntry next = encoder.Next();
    EXPECT_EQ(qzt::kTypeIdrPicture, next.typeCode);  // picture 2: two pictures since the last IDR
    EXPECT_EQ((std::vector<int>{5, 5, 5}), NalTypes(next));
}

TEST_F(ServiceOutputs, AFieldMaskWithoutTheDelimiterBitMeansNoDelimiters) {
    ZEPCreateParams params = FastParams();
    params.optionalFieldMask = 8;  // insertAud is 1 but not valid
    TestEncoder encoder(params);
    ASSERT_EQ(0, encoder.Start());
    EXPECT_EQ((std::vector<int>{7, 8, 5}), NalTypes(encoder.Next()));
    EXPECT_EQ((std::vector<int>{1}), NalTypes(encoder.Next()));
}

TEST_F(ServiceOutputs, PictureNIsNotDeliveredBeforeStartPlusNFramePeriods) {
    TestEncoder encoder(MakeCreateParams(64, 48, 1, 2));  // one frame every two seconds
    const int64_t before = NowTicks();
    ASSERT_EQ(0, encoder.Start());
    // Picture 0 is due at the start: the very first query has it.
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    ASSERT_EQ(0, encoder.Query(1, entries, returned));
    ASSERT_EQ(1u, returned);
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, entries[0].typeCode);
    EXPECT_EQ(0, entries[0].timestamp);

    returned = 5;
    EXPECT_EQ(0, encoder.Query(1, entries, returned));
    EXPECT_EQ(0u, returned);  // picture 1 is not due yet: nothing else comes with picture 0
    EXPECT_EQ(MakeEntry().size, entries[0].size);
    EXPECT_EQ(0u, entries[0].resourceId);

    const ZEPOutputEntry second = encoder.Next();
    EXPECT_GE(SecondsSince(before), 2.0);
    EXPECT_EQ(20000000, second.timestamp);
    EXPECT_EQ(qzt::kTypePPicture, second.typeCode);
}

TEST_F(ServiceOutputs, DelayedOutputsComeThatMuchLater) {
    controls.SetOutputDelay(400);
    TestEncoder encoder(FastParams());
    const int64_t before = NowTicks();
    ASSERT_EQ(0, encoder.Start());
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, encoder.Next().typeCode);
    EXPECT_GE(SecondsSince(before), 0.4);
}

TEST_F(ServiceOutputs, HeldOutputsComeOnlyAfterRelease) {
    controls.HoldOutputs(1);
    TestEncoder encoder(FastParams());
    ASSERT_EQ(0, encoder.Start());
    Sleep(50);
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0, encoder.Query(1, entries, returned));
        EXPECT_EQ(0u, returned);
    }
    controls.HoldOutputs(0);
    const ZEPOutputEntry first = encoder.Next();
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, first.typeCode);
    EXPECT_EQ(0, first.timestamp);
    EXPECT_EQ(10000000 / kFastFps, encoder.Next().timestamp);  // then picture 1: nothing was dropped
}

TEST_F(ServiceOutputs, OutputTypeTwoSplitsEachOutputIntoTwoEntriesOfOneResource) {
    TestEncoder encoder(FastParams(2));
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> parts;
    ASSERT_TRUE(encoder.Next(2, parts));  // picture 0: the delimiter, then the rest
    EXPECT_EQ(parts[0].resourceId, parts[1].resourceId);
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, parts[0].typeCode);
    EXPECT_EQ(qzt::kTypeContinuation, parts[1].typeCode);
    EXPECT_EQ(parts[0].data + parts[0].dataSize, parts[1].data);  // contiguous
    EXPECT_EQ((std::vector<int>{9}), NalTypes(parts[0]));         // split at the second NAL unit
    EXPECT_EQ((std::vector<int>{7, 8, 5}), NalTypes(parts[1]));
    EXPECT_EQ(0, parts[0].timestamp);
    EXPECT_EQ(0, parts[1].timestamp);
    EXPECT_EQ(0, encoder.Reclaim(parts[0].resourceId));

    ASSERT_TRUE(encoder.Next(2, parts));  // picture 1
    EXPECT_EQ(qzt::kTypePPicture, parts[0].typeCode);
    EXPECT_EQ(qzt::kTypeContinuation, parts[1].typeCode);
    EXPECT_EQ((std::vector<int>{9}), NalTypes(parts[0]));
    EXPECT_EQ((std::vector<int>{1}), NalTypes(parts[1]));
    EXPECT_EQ(10000000 / kFastFps, parts[1].timestamp);
    EXPECT_EQ(0, encoder.Reclaim(parts[1].resourceId));

    // Asked for one entry, the same encoder hands out whole outputs.
    const ZEPOutputEntry whole = encoder.Next();
    EXPECT_EQ((std::vector<int>{9, 1}), NalTypes(whole));
}

TEST_F(ServiceOutputs, WithoutDelimitersPictureZeroSplitsAfterTheSpsAndAOneSliceOutputHalfway) {
    ZEPCreateParams params = FastParams(2);
    params.insertAud = 0;
    TestEncoder encoder(params);
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> parts;
    ASSERT_TRUE(encoder.Next(2, parts));
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, parts[0].typeCode);
    EXPECT_EQ((std::vector<int>{7}), NalTypes(parts[0]));
    EXPECT_EQ((std::vector<int>{8, 5}), NalTypes(parts[1]));
    EXPECT_EQ(parts[0].data + parts[0].dataSize, parts[1].data);
    EXPECT_EQ(0, encoder.Reclaim(parts[0].resourceId));

    ASSERT_TRUE(encoder.Next(2, parts));  // picture 1: a single slice, split halfway
    EXPECT_EQ(qzt::kTypePPicture, parts[0].typeCode);
    EXPECT_EQ(qzt::kTypeContinuation, parts[1].typeCode);
    EXPECT_EQ(parts[0].data + parts[0].dataSize, parts[1].data);
    EXPECT_LE(parts[0].dataSize, parts[1].dataSize);
    EXPECT_GE(parts[0].dataSize + 1, parts[1].dataSize);
}

TEST_F(ServiceOutputs, WithoutSplittingAQueryForTwoGetsTwoOutputs) {
    TestEncoder encoder(FastParams(1));
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> two;
    ASSERT_TRUE(encoder.Next(2, two));  // pictures 0 and 1
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, two[0].typeCode);
    EXPECT_EQ(qzt::kTypePPicture, two[1].typeCode);
    EXPECT_EQ(0, two[0].timestamp);
    EXPECT_EQ(10000000 / kFastFps, two[1].timestamp);
    EXPECT_NE(two[0].resourceId, two[1].resourceId);
    EXPECT_EQ(2u, controls.GetOutstandingCount());
}

TEST_F(ServiceOutputs, APartialResultDeliversNothingAndTheNextQueryGetsTheSameOutput) {
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

    ASSERT_TRUE(encoder.Next(2, parts));
    EXPECT_EQ(partialId, parts[0].resourceId);
    EXPECT_EQ(partialId, parts[1].resourceId);
    EXPECT_EQ(1u, controls.GetOutstandingCount());
}

TEST_F(ServiceOutputs, EmptyResultsReportTheFullCountWithUntouchedEntries) {
    TestEncoder encoder(FastParams(1));
    ASSERT_EQ(0, encoder.Start());
    controls.SetEmptyResults(2);
    for (int i = 0; i < 2; ++i) {
        std::vector<ZEPOutputEntry> entries;
        uint32_t returned = 0;
        ASSERT_EQ(0, encoder.Query(2, entries, returned));
        EXPECT_EQ(2u, returned);
        for (const ZEPOutputEntry& entry : entries) {
            EXPECT_FALSE(IsOutput(entry));
            EXPECT_EQ(sizeof(ZEPOutputEntry), entry.size);
        }
    }
    EXPECT_EQ(qzt::kTypeFirstIdrPicture, encoder.Next().typeCode);
}

TEST_F(ServiceOutputs, ThePoolLimitsOutstandingOutputsToTheFeedbackCount) {
    ZEPCreateParams params = FastParams();
    params.feedbacks = 3;
    TestEncoder encoder(params);
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(encoder.Next());
    }
    Sleep(20);  // many pictures are due by now
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    ASSERT_EQ(0, encoder.Query(1, entries, returned));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(3u, controls.GetOutstandingCount());

    EXPECT_EQ(0, encoder.Reclaim(held[1].resourceId));
    EXPECT_EQ(qzt::kBadResource, encoder.Reclaim(held[1].resourceId));
    const ZEPOutputEntry next = encoder.Next();
    EXPECT_EQ(3, next.timestamp / (10000000 / kFastFps));  // picture 3: no picture was dropped
    uint32_t ids[4] = {};
    ASSERT_EQ(2u, controls.GetReclaimedIds(ids, 4));
    EXPECT_EQ(held[1].resourceId, ids[0]);
    EXPECT_EQ(held[1].resourceId, ids[1]);
}

TEST_F(ServiceOutputs, DataStaysValidUntilItsResourceIsReclaimed) {
    TestEncoder encoder(FastParams());
    ASSERT_EQ(0, encoder.Start());
    const ZEPOutputEntry kept = encoder.Next();
    const std::vector<uint8_t> copy = Bytes(kept);
    for (int i = 0; i < 20; ++i) {
        const ZEPOutputEntry other = encoder.Next();
        EXPECT_EQ(0, encoder.Reclaim(other.resourceId));
    }
    EXPECT_EQ(copy, Bytes(kept));
    EXPECT_EQ(1u, controls.GetOutstandingCount());
    EXPECT_EQ(0, encoder.Reclaim(kept.resourceId));
    EXPECT_EQ(0u, controls.GetOutstandingCount());
}

TEST_F(ServiceOutputs, ReclaimedMemoryIsReused) {
    TestEncoder encoder(FastParams());
    ASSERT_EQ(0, encoder.Configure(MakeConfig(0)));
    ASSERT_EQ(0, encoder.Start());
    // Pictures 90 to 119 show a resting scene: skipped pictures of equal size.
    ZEPOutputEntry previous = MakeEntry();
    int skippedInARow = 0;
    for (int i = 0; i < 120 && skippedInARow < 2; ++i) {
        const ZEPOutputEntry output = encoder.Next();
        if (output.typeCode == qzt::kTypeSkippedPicture && previous.typeCode == qzt::kTypeSkippedPicture) {
            EXPECT_EQ(previous.data, output.data);
            EXPECT_NE(previous.resourceId, output.resourceId);
            ++skippedInARow;
        }
        previous = output;
        ASSERT_EQ(0, encoder.Reclaim(output.resourceId));
    }
    EXPECT_EQ(2, skippedInARow);
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
    EXPECT_EQ(10000000 / kFastFps, picture.timestamp);
    EXPECT_EQ(3u, controls.GetOutstandingCount());  // one, again, picture
}

TEST_F(ServiceOutputs, DestroyingAnEncoderReleasesItsOutstandingOutputs) {
    {
        TestEncoder encoder(FastParams());
        ASSERT_EQ(0, encoder.Start());
        encoder.Next();
        encoder.Next();
        EXPECT_EQ(2u, controls.GetOutstandingCount());
    }
    EXPECT_EQ(0u, controls.GetOutstandingCount());
    EXPECT_EQ(1u, Calls("ZEPDestroy"));
}

}  // namespace
