// Every wrapper's checks in their order, against the bound stand-in: refused calls never reach
// the service, accepted ones do, and the service's own results come back unchanged.
#include "bound_service.h"

using namespace zeptest;

namespace {

using WrapperChecks = BoundService;

TEST_F(WrapperChecks, BindingIsCompleteAndRepeatsAtOnce) {
    EXPECT_EQ(0u, BindEncodeService());
    for (uint32_t ordinal = 1300; ordinal <= 1309; ++ordinal) {
        EXPECT_NE(nullptr, BoundEntryPoint(ordinal)) << ordinal;
    }
    EXPECT_EQ(nullptr, BoundEntryPoint(1299));
    EXPECT_EQ(nullptr, BoundEntryPoint(1310));
    EXPECT_EQ(nullptr, BoundEntryPoint(0));
}

TEST_F(WrapperChecks, CreateChecksNullsBeforeSizes) {
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = MakeCreateResult();
    ZEPCreateParams shortParams = params;
    shortParams.size = 64;
    ZEPCreateResult shortResult = result;
    shortResult.size = 8;
    EXPECT_EQ(kNullRecord, ZEPCreate(nullptr, &shortResult));
    EXPECT_EQ(kNullRecord, ZEPCreate(&shortParams, nullptr));
    EXPECT_EQ(kWrongSize, ZEPCreate(&shortParams, &result));
    EXPECT_EQ(kWrongSize, ZEPCreate(&params, &shortResult));
    EXPECT_EQ(0u, Calls("ZEPCreate"));

    TestEncoder encoder(params);
    EXPECT_EQ(0, encoder.createResult);  // the service accepted the version and info records
    EXPECT_NE(0u, encoder.handle);
    EXPECT_EQ(1u, Calls("ZEPCreate"));
}

TEST_F(WrapperChecks, DestroyChecksNullsBeforeSizes) {
    ZEPHandleParams in = MakeHandleParams(77);
    ZEPStatus status = MakeStatus();
    ZEPHandleParams badIn = in;
    badIn.size = 12;
    ZEPStatus badStatus = status;
    badStatus.size = 4;
    EXPECT_EQ(kNullRecord, ZEPDestroy(nullptr, &status));
    EXPECT_EQ(kNullRecord, ZEPDestroy(&badIn, nullptr));
    EXPECT_EQ(kWrongSize, ZEPDestroy(&badIn, &status));
    EXPECT_EQ(kWrongSize, ZEPDestroy(&in, &badStatus));
    EXPECT_EQ(0u, Calls("ZEPDestroy"));
    EXPECT_EQ(qzt::kBadHandle, ZEPDestroy(&in, &status));  // reached the service
    EXPECT_EQ(1u, Calls("ZEPDestroy"));
}

TEST_F(WrapperChecks, SetConfigChecksTheHeaderBeforeTheConfiguration) {
    ZEPConfig config = MakeConfig();
    ZEPConfigHeader header = MakeConfigHeader(&config);
    ZEPConfigHeader noConfig = MakeConfigHeader(nullptr);
    ZEPConfigHeader badHeader = header;
    badHeader.size = 12;
    ZEPConfigHeader badHeaderNoConfig = noConfig;
    badHeaderNoConfig.size = 20;
    ZEPStatus status = MakeStatus();
    ZEPStatus badStatus = status;
    badStatus.size = 16;

    EXPECT_EQ(kNullRecord, ZEPSetConfig(1, nullptr, &status));
    EXPECT_EQ(kNullRecord, ZEPSetConfig(1, &badHeader, nullptr));
    EXPECT_EQ(kWrongSize, ZEPSetConfig(1, &badHeader, &status));
    EXPECT_EQ(kWrongSize, ZEPSetConfig(1, &badHeaderNoConfig, &status));  // header size before its pointer
    EXPECT_EQ(kWrongSize, ZEPSetConfig(1, &noConfig, &badStatus));       // status size before the pointer
    EXPECT_EQ(kNullRecord, ZEPSetConfig(1, &noConfig, &status));         // right header, no configuration
    config.size = 96;
    EXPECT_EQ(kWrongSize, ZEPSetConfig(1, &header, &status));
    EXPECT_EQ(0u, Calls("ZEPSetConfig"));
    config.size = sizeof config;
    EXPECT_EQ(qzt::kBadHandle, ZEPSetConfig(1, &header, &status));
    EXPECT_EQ(1u, Calls("ZEPSetConfig"));
}

TEST_F(WrapperChecks, StartAndStopCheckNullsBeforeSizes) {
    ZEPControlParams in = MakeControlParams();
    ZEPControlParams badIn = in;
    badIn.size = 16;
    ZEPStatus status = MakeStatus();
    ZEPStatus badStatus = status;
    badStatus.size = 0;
    for (auto* wrapper : {&ZEPStartEncode, &ZEPStopEncode}) {
        EXPECT_EQ(kNullRecord, wrapper(1, nullptr, &status));
        EXPECT_EQ(kNullRecord, wrapper(1, &badIn, nullptr));
        EXPECT_EQ(kWrongSize, wrapper(1, &badIn, &status));
        EXPECT_EQ(kWrongSize, wrapper(1, &in, &badStatus));
        EXPECT_EQ(qzt::kBadHandle, wrapper(1, &in, &status));
    }
    EXPECT_EQ(1u, Calls("ZEPStartEncode"));
    EXPECT_EQ(1u, Calls("ZEPStopEncode"));
}

TEST_F(WrapperChecks, QueryChecksRecordsThenEachRequestedEntryInOrder) {
    ZEPQueryParams one = MakeQueryParams(1);
    ZEPQueryParams two = MakeQueryParams(2);
    ZEPQueryParams badParams = two;
    badParams.size = 12;
    ZEPOutputEntry entries[2] = {MakeEntry(), MakeEntry()};
    ZEPQueryResult result{sizeof(ZEPQueryResult), 0, 0, entries};
    ZEPQueryResult badResult = result;
    badResult.size = 20;
    ZEPQueryResult noEntries{sizeof(ZEPQueryResult), 0, 0, nullptr};

    EXPECT_EQ(kNullRecord, ZEPQueryOutputs(1, nullptr, &result));
    EXPECT_EQ(kNullRecord, ZEPQueryOutputs(1, &badParams, nullptr));
    EXPECT_EQ(kWrongSize, ZEPQueryOutputs(1, &badParams, &result));
    EXPECT_EQ(kWrongSize, ZEPQueryOutputs(1, &two, &badResult));
    EXPECT_EQ(kNullRecord, ZEPQueryOutputs(1, &one, &noEntries));

    entries[1].size = 0;  // the second of two requested entries
    EXPECT_EQ(kWrongSize, ZEPQueryOutputs(1, &two, &result));
    entries[0].flags = 1;  // the first entry announces a side record it lacks
    EXPECT_EQ(kNullRecord, ZEPQueryOutputs(1, &two, &result));
    ZEPSideRecord side{8, {}};
    entries[0].sideRecord = &side;
    EXPECT_EQ(kWrongSize, ZEPQueryOutputs(1, &two, &result));
    side.size = sizeof side;
    EXPECT_EQ(kWrongSize, ZEPQueryOutputs(1, &two, &result));  // now the second entry's size
    EXPECT_EQ(0u, Calls("ZEPQueryOutputs"));

    // Only the requested entries are checked; flags with a proper side record pass.
    EXPECT_EQ(qzt::kBadHandle, ZEPQueryOutputs(1, &one, &result));
    entries[1] = MakeEntry();
    entries[1].flags = 1;
    entries[1].sideRecord = &side;
    EXPECT_EQ(qzt::kBadHandle, ZEPQueryOutputs(1, &two, &result));
    EXPECT_EQ(2u, Calls("ZEPQueryOutputs"));
}

TEST_F(WrapperChecks, ReclaimChecksNullsBeforeSizes) {
    ZEPHandleParams in = MakeHandleParams(5);
    ZEPHandleParams badIn = in;
    badIn.size = 0;
    ZEPStatus status = MakeStatus();
    ZEPStatus badStatus = status;
    badStatus.size = 12;
    EXPECT_EQ(kNullRecord, ZEPReclaimOutputResource(1, nullptr, &badStatus));
    EXPECT_EQ(kNullRecord, ZEPReclaimOutputResource(1, &in, nullptr));
    EXPECT_EQ(kWrongSize, ZEPReclaimOutputResource(1, &badIn, &status));
    EXPECT_EQ(kWrongSize, ZEPReclaimOutputResource(1, &in, &badStatus));
    EXPECT_EQ(0u, Calls("ZEPReclaimOutputResource"));
    EXPECT_EQ(qzt::kBadHandle, ZEPReclaimOutputResource(1, &in, &status));
    EXPECT_EQ(1u, Calls("ZEPReclaimOutputResource"));
}

TEST_F(WrapperChecks, GetCapsChecksNullsBeforeSizes) {
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPHandleParams badIn = in;
    badIn.size = 15;
    ZEPCaps caps = MakeCaps();
    ZEPCaps badCaps = caps;
    badCaps.size = 264;
    EXPECT_EQ(kNullRecord, ZEPGetCaps(0, nullptr, &badCaps));
    EXPECT_EQ(kNullRecord, ZEPGetCaps(0, &badIn, nullptr));
    EXPECT_EQ(kWrongSize, ZEPGetCaps(0, &badIn, &caps));
    EXPECT_EQ(kWrongSize, ZEPGetCaps(0, &in, &badCaps));
    EXPECT_EQ(0u, Calls("ZEPGetCaps"));
    EXPECT_EQ(0, ZEPGetCaps(0, &in, &caps));
    EXPECT_EQ(1u, Calls("ZEPGetCaps"));
}

// Whatever the service answers reaches the caller unchanged, even values that look like the
// wrappers' own check codes.
TEST_F(WrapperChecks, ServiceResultsPassThroughUnchanged) {
    TestEncoder encoder(MakeCreateParams());
    ASSERT_EQ(0, encoder.createResult);
    ASSERT_EQ(0, encoder.Configure(MakeConfig()));
    const int32_t codes[] = {1, -1, 0x7FFFFFFF, static_cast<int32_t>(0x80000003u), 12345};
    for (const int32_t code : codes) {
        for (const char* operation : {"ZEPCreate", "ZEPDestroy", "ZEPSetConfig", "ZEPStartEncode", "ZEPStopEncode",
                                      "ZEPQueryOutputs", "ZEPReclaimOutputResource", "ZEPGetCaps"}) {
            controls.FailOperation(operation, code, 1);
        }
        ZEPCreateParams params = MakeCreateParams();
        ZEPCreateResult created = MakeCreateResult();
        EXPECT_EQ(code, ZEPCreate(&params, &created));
        ZEPHandleParams handle = MakeHandleParams(encoder.handle);
        ZEPStatus status = MakeStatus();
        EXPECT_EQ(code, ZEPDestroy(&handle, &status));
        EXPECT_EQ(code, encoder.Configure(MakeConfig()));
        EXPECT_EQ(code, encoder.Start());
        EXPECT_EQ(code, encoder.Stop());
        std::vector<ZEPOutputEntry> entries;
        uint32_t returned = 0;
        EXPECT_EQ(code, encoder.Query(1, entries, returned));
        EXPECT_EQ(code, encoder.Reclaim(1));
        ZEPHandleParams capsIn = MakeHandleParams(0);
        ZEPCaps caps = MakeCaps();
        EXPECT_EQ(code, ZEPGetCaps(0, &capsIn, &caps));
    }
    // Each injected failure lasted one call: the encoder still exists and works.
    EXPECT_EQ(0, encoder.Start());
    EXPECT_EQ(0, encoder.Stop());
}

}  // namespace
