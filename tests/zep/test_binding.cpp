// Binding through the life of one process, in order: without qztrvx32.dll on the search path
// (load failure, checks made before any loading), then a build without ordinal 1300 (refused and
// unloaded), then the complete library (bound once, never searched for or loaded again).
#include "zep_test_support.h"

#include <gtest/gtest.h>

using namespace vqx::test;

namespace {

void ExpectTableEmpty() {
    for (uint32_t ordinal = 1300; ordinal <= 1309; ++ordinal) {
        EXPECT_EQ(nullptr, BoundEntryPoint(ordinal)) << ordinal;
    }
}

TEST(Binding, A_WithoutTheLibraryWrappersThatDoNotBindReportNotBoundBeforeLookingAtTheirRecords) {
    ASSERT_TRUE(SetLibrarySearchPath(ZEP_EMPTY_DIR));
    ZEPStatus status = Sized<ZEPStatus>();
    ZEPHandleParams handle = MakeHandleParams(1);
    ZEPControlParams control = Sized<ZEPControlParams>();
    ZEPConfig config = MakeConfig();
    ZEPConfigHeader header = MakeConfigHeader(&config);
    ZEPQueryParams query = MakeQueryParams(1);
    ZEPOutputEntry entry = Sized<ZEPOutputEntry>();
    ZEPQueryResult result{sizeof(ZEPQueryResult), 0, 0, &entry};
    for (const bool null : {true, false}) {
        EXPECT_EQ(kNotBound, ZEPDestroy(null ? nullptr : &handle, null ? nullptr : &status));
        EXPECT_EQ(kNotBound, ZEPSetConfig(1, null ? nullptr : &header, null ? nullptr : &status));
        EXPECT_EQ(kNotBound, ZEPStartEncode(1, null ? nullptr : &control, null ? nullptr : &status));
        EXPECT_EQ(kNotBound, ZEPStopEncode(1, null ? nullptr : &control, null ? nullptr : &status));
        EXPECT_EQ(kNotBound, ZEPQueryOutputs(1, null ? nullptr : &query, null ? nullptr : &result));
        EXPECT_EQ(kNotBound, ZEPReclaimOutputResource(1, null ? nullptr : &handle, null ? nullptr : &status));
    }
    EXPECT_FALSE(IsServiceLoaded());
}

TEST(Binding, B_WithoutTheLibraryCreateAndGetCapsCheckTheirRecordsThenReportTheFailure) {
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = Sized<ZEPCreateResult>();
    EXPECT_EQ(kNullRecord, ZEPCreate(nullptr, &result));
    params.size = 64;
    EXPECT_EQ(kWrongSize, ZEPCreate(&params, &result));
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = Sized<ZEPCaps>();
    EXPECT_EQ(kNullRecord, ZEPGetCaps(0, &in, nullptr));
    caps.size = 264;
    EXPECT_EQ(kWrongSize, ZEPGetCaps(0, &in, &caps));
    EXPECT_FALSE(IsServiceLoaded());

    params.size = sizeof params;
    EXPECT_EQ(kLoadFailed, ZEPCreate(&params, &result));
    EXPECT_EQ(0u, result.handle);
    caps.size = sizeof caps;
    EXPECT_EQ(kNotBound, ZEPGetCaps(0, &in, &caps));  // a failed binding reads as not bound here
    EXPECT_EQ(0u, caps.count);
    EXPECT_EQ(static_cast<uint32_t>(kLoadFailed), BindEncodeService());
    ExpectTableEmpty();
    ZEPStatus status = Sized<ZEPStatus>();
    EXPECT_EQ(kNotBound, ZEPDestroy(&in, &status));
}

TEST(Binding, C_ALibraryWithoutOrdinal1300IsRefusedUnloadedAndLeavesNothingCallable) {
    ASSERT_TRUE(SetLibrarySearchPath(ZEP_NO1300_DIR));
    const HMODULE module = LoadLibraryW(L"qztrvx32.dll");  // the test build lacks only 1300
    ASSERT_NE(nullptr, module);
    ASSERT_EQ(nullptr, GetProcAddress(module, MAKEINTRESOURCEA(1300)));
    ASSERT_NE(nullptr, GetProcAddress(module, MAKEINTRESOURCEA(1301)));
    FreeLibrary(module);

    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = Sized<ZEPCreateResult>();
    EXPECT_EQ(kNotBound, ZEPCreate(&params, &result));
    EXPECT_EQ(0u, result.handle);
    EXPECT_FALSE(IsServiceLoaded());
    EXPECT_EQ(static_cast<uint32_t>(kNotBound), BindEncodeService());
    ExpectTableEmpty();
    ZEPHandleParams handle = MakeHandleParams(0);
    ZEPStatus status = Sized<ZEPStatus>();
    ZEPCaps caps = Sized<ZEPCaps>();
    EXPECT_EQ(kNotBound, ZEPDestroy(&handle, &status));
    EXPECT_EQ(kNotBound, ZEPGetCaps(0, &handle, &caps));  // loads and looks up again, and fails again
    EXPECT_FALSE(IsServiceLoaded());
}

// Failed bindings are not remembered: once the library is found it binds, and from then on
// binding returns 0 at once without searching or loading it again (one load reference).
TEST(Binding, D_TheCompleteLibraryBindsOnceFoundAndIsNeverLoadedAgain) {
    ASSERT_TRUE(SetLibrarySearchPath(ZEP_DRIVER_DIR));
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = Sized<ZEPCaps>();
    ASSERT_EQ(0, ZEPGetCaps(0, &in, &caps));
    EXPECT_EQ(3u, caps.count);
    for (uint32_t ordinal = 1300; ordinal <= 1309; ++ordinal) {
        EXPECT_NE(nullptr, BoundEntryPoint(ordinal)) << ordinal;
    }
    EXPECT_EQ(nullptr, BoundEntryPoint(1299));
    EXPECT_EQ(nullptr, BoundEntryPoint(1310));
    const HMODULE module = GetModuleHandleW(L"qztrvx32.dll");
    ASSERT_NE(nullptr, module);

    ASSERT_TRUE(SetLibrarySearchPath(ZEP_EMPTY_DIR));  // the library can no longer be found
    EXPECT_EQ(0u, BindEncodeService());
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = Sized<ZEPCreateResult>();
    ASSERT_EQ(0, ZEPCreate(&params, &result));
    ZEPHandleParams handle = MakeHandleParams(result.handle);
    ZEPStatus status = Sized<ZEPStatus>();
    EXPECT_EQ(0, ZEPDestroy(&handle, &status));

    ASSERT_TRUE(FreeLibrary(module));  // the one load reference
    EXPECT_FALSE(IsServiceLoaded());
}

}  // namespace
