// Without qztrvx32.dll on the search path: the load failure, the checks that come before any
// loading, and a later binding once the library can be found. A process of its own, because
// a successful binding lasts for the life of the process.
#include "zep_test_support.h"

#include <gtest/gtest.h>

using namespace zeptest;

namespace {

class UnboundService : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(SetLibrarySearchPath(WindowsPath(ZEP_EMPTY_DIR))); }
};

TEST_F(UnboundService, WrappersThatDoNotBindReportNotBoundBeforeLookingAtTheirRecords) {
    ZEPStatus status = MakeStatus();
    ZEPHandleParams handle = MakeHandleParams(1);
    ZEPControlParams control = MakeControlParams();
    ZEPConfig config = MakeConfig();
    ZEPConfigHeader header = MakeConfigHeader(&config);
    ZEPQueryParams query = MakeQueryParams(1);
    ZEPOutputEntry entry = MakeEntry();
    ZEPQueryResult result{sizeof(ZEPQueryResult), 0, 0, &entry};

    EXPECT_EQ(kNotBound, ZEPDestroy(nullptr, nullptr));
    EXPECT_EQ(kNotBound, ZEPDestroy(&handle, &status));
    EXPECT_EQ(kNotBound, ZEPSetConfig(1, nullptr, nullptr));
    EXPECT_EQ(kNotBound, ZEPSetConfig(1, &header, &status));
    EXPECT_EQ(kNotBound, ZEPStartEncode(1, nullptr, nullptr));
    EXPECT_EQ(kNotBound, ZEPStartEncode(1, &control, &status));
    EXPECT_EQ(kNotBound, ZEPStopEncode(1, nullptr, &status));
    EXPECT_EQ(kNotBound, ZEPStopEncode(1, &control, &status));
    EXPECT_EQ(kNotBound, ZEPQueryOutputs(1, nullptr, nullptr));
    EXPECT_EQ(kNotBound, ZEPQueryOutputs(1, &query, &result));
    EXPECT_EQ(kNotBound, ZEPReclaimOutputResource(1, nullptr, nullptr));
    EXPECT_EQ(kNotBound, ZEPReclaimOutputResource(1, &handle, &status));
    EXPECT_FALSE(IsServiceLoaded());
}

TEST_F(UnboundService, CreateChecksItsRecordsBeforeLoading) {
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = MakeCreateResult();
    EXPECT_EQ(kNullRecord, ZEPCreate(nullptr, &result));
    EXPECT_EQ(kNullRecord, ZEPCreate(&params, nullptr));
    params.size = 64;
    EXPECT_EQ(kWrongSize, ZEPCreate(&params, &result));
    params.size = sizeof params;
    result.size = 12;
    EXPECT_EQ(kWrongSize, ZEPCreate(&params, &result));
    EXPECT_FALSE(IsServiceLoaded());
}

TEST_F(UnboundService, CreateReportsTheLoadFailureAndLeavesTheTableEmpty) {
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = MakeCreateResult();
    EXPECT_EQ(kLoadFailed, ZEPCreate(&params, &result));
    EXPECT_EQ(0u, result.handle);
    EXPECT_EQ(static_cast<uint32_t>(kLoadFailed), BindEncodeService());
    for (uint32_t ordinal = 1300; ordinal <= 1309; ++ordinal) {
        EXPECT_EQ(nullptr, BoundEntryPoint(ordinal)) << ordinal;
    }
    ZEPHandleParams handle = MakeHandleParams(1);
    ZEPStatus status = MakeStatus();
    EXPECT_EQ(kNotBound, ZEPDestroy(&handle, &status));
}

TEST_F(UnboundService, GetCapsChecksItsRecordsThenReportsTheFailedBindingAsNotBound) {
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = MakeCaps();
    EXPECT_EQ(kNullRecord, ZEPGetCaps(0, nullptr, &caps));
    EXPECT_EQ(kNullRecord, ZEPGetCaps(0, &in, nullptr));
    in.size = 12;
    EXPECT_EQ(kWrongSize, ZEPGetCaps(0, &in, &caps));
    in.size = sizeof in;
    caps.size = 264;
    EXPECT_EQ(kWrongSize, ZEPGetCaps(0, &in, &caps));
    caps.size = sizeof caps;
    EXPECT_EQ(kNotBound, ZEPGetCaps(0, &in, &caps));
    EXPECT_EQ(0u, caps.count);
}

// Runs last in this process: once the folder with the stand-in is on the search path, the next
// binding loads it (a failed load is not remembered).
TEST_F(UnboundService, ZZ_ALaterBindingFindsTheLibraryOnceItIsOnThePath) {
    ASSERT_EQ(static_cast<uint32_t>(kLoadFailed), BindEncodeService());
    ASSERT_TRUE(SetLibrarySearchPath(WindowsPath(ZEP_DRIVER_DIR)));
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = MakeCaps();
    EXPECT_EQ(0, ZEPGetCaps(0, &in, &caps));
    EXPECT_EQ(3u, caps.count);
    EXPECT_TRUE(IsServiceLoaded());
    for (uint32_t ordinal = 1300; ordinal <= 1309; ++ordinal) {
        EXPECT_NE(nullptr, BoundEntryPoint(ordinal)) << ordinal;
    }
}

}  // namespace
