// Every wrapper's checks in their order, against the bound stand-in: refused calls never reach
// the service, accepted ones do, and the service's own results come back unchanged.
#include "bound_service.h"

using namespace vqx::test;

namespace {

class WrapperChecks : public BoundService {
protected:
    // Null records before wrong sizes, `in` before `out`; nothing reaches the service until
    // the records are well formed, and then the service's answer comes back.
    template <class In, class Out, class Call>
    static void ExpectChecksInOrder(const char* operation, In in, Out out, Call call, int32_t serviceResult) {
        SCOPED_TRACE(operation);
        s_controls.Reset();
        In badIn = in;
        badIn.size -= 4;
        Out badOut = out;
        badOut.size -= 4;
        EXPECT_EQ(kNullRecord, call(nullptr, &badOut));
        EXPECT_EQ(kNullRecord, call(&badIn, nullptr));
        EXPECT_EQ(kWrongSize, call(&badIn, &out));
        EXPECT_EQ(kWrongSize, call(&in, &badOut));
        EXPECT_EQ(0u, Calls(operation));
        EXPECT_EQ(serviceResult, call(&in, &out));
        EXPECT_EQ(1u, Calls(operation));
    }
};

TEST_F(WrapperChecks, SimpleWrappersCheckNullsThenSizes) {
    ExpectChecksInOrder(
        "ZEPCreate", MakeCreateParams(), Sized<ZEPCreateResult>(),
        [](const ZEPCreateParams* in, ZEPCreateResult* out) {
            const int32_t code = ZEPCreate(in, out);
            if (code != 0) return code;
            ZEPHandleParams destroy = MakeHandleParams(out->handle);  // the encoder goes again
            ZEPStatus status = Sized<ZEPStatus>();
            return out->handle != 0 ? ZEPDestroy(&destroy, &status) : -1;
        },
        0);
    ExpectChecksInOrder("ZEPDestroy", MakeHandleParams(77), Sized<ZEPStatus>(), &ZEPDestroy, qzt::kBadHandle);
    ExpectChecksInOrder(
        "ZEPStartEncode", Sized<ZEPControlParams>(), Sized<ZEPStatus>(),
        [](const ZEPControlParams* in, ZEPStatus* out) { return ZEPStartEncode(1, in, out); }, qzt::kBadHandle);
    ExpectChecksInOrder(
        "ZEPStopEncode", Sized<ZEPControlParams>(), Sized<ZEPStatus>(),
        [](const ZEPControlParams* in, ZEPStatus* out) { return ZEPStopEncode(1, in, out); }, qzt::kBadHandle);
    ExpectChecksInOrder(
        "ZEPReclaimOutputResource", MakeHandleParams(5), Sized<ZEPStatus>(),
        [](const ZEPHandleParams* in, ZEPStatus* out) { return ZEPReclaimOutputResource(1, in, out); },
        qzt::kBadHandle);
    ExpectChecksInOrder(
        "ZEPGetCaps", MakeHandleParams(0), Sized<ZEPCaps>(),
        [](const ZEPHandleParams* in, ZEPCaps* out) { return ZEPGetCaps(0, in, out); }, 0);
}

TEST_F(WrapperChecks, SetConfigChecksTheHeaderBeforeTheConfiguration) {
    ZEPConfig config = MakeConfig();
    ZEPConfigHeader noConfig = MakeConfigHeader(nullptr);
    ZEPConfigHeader badHeaderNoConfig = noConfig;
    badHeaderNoConfig.size = 20;
    ZEPStatus status = Sized<ZEPStatus>();
    ZEPStatus badStatus = status;
    badStatus.size = 16;
    EXPECT_EQ(kWrongSize, ZEPSetConfig(1, &badHeaderNoConfig, &status));  // header size before its pointer
    EXPECT_EQ(kWrongSize, ZEPSetConfig(1, &noConfig, &badStatus));        // status size before the pointer
    EXPECT_EQ(kNullRecord, ZEPSetConfig(1, &noConfig, &status));          // right header, no configuration
    config.size = 96;
    ZEPConfigHeader header = MakeConfigHeader(&config);
    EXPECT_EQ(kWrongSize, ZEPSetConfig(1, &header, &status));
    config.size = sizeof config;
    ExpectChecksInOrder(
        "ZEPSetConfig", header, status,
        [](const ZEPConfigHeader* in, ZEPStatus* out) { return ZEPSetConfig(1, in, out); }, qzt::kBadHandle);
}

TEST_F(WrapperChecks, QueryChecksRecordsThenEachRequestedEntryInOrder) {
    ZEPQueryParams one = MakeQueryParams(1);
    ZEPQueryParams two = MakeQueryParams(2);
    ZEPOutputEntry entries[2] = {Sized<ZEPOutputEntry>(), Sized<ZEPOutputEntry>()};
    ZEPQueryResult result{sizeof(ZEPQueryResult), 0, 0, entries};
    ZEPQueryResult noEntries{sizeof(ZEPQueryResult), 0, 0, nullptr};
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
    // Only the requested entries are checked; flags with a proper side record pass.
    ExpectChecksInOrder(
        "ZEPQueryOutputs", one, result,
        [](const ZEPQueryParams* in, ZEPQueryResult* out) { return ZEPQueryOutputs(1, in, out); }, qzt::kBadHandle);
    entries[1] = entries[0];
    EXPECT_EQ(qzt::kBadHandle, ZEPQueryOutputs(1, &two, &result));
}

// Whatever the service answers reaches the caller unchanged, even a wrapper's own check code.
TEST_F(WrapperChecks, ServiceResultsPassThroughUnchanged) {
    TestEncoder encoder(MakeCreateParams());
    ASSERT_EQ(0, encoder.createResult);
    for (const int32_t code : {1, -1, 0x7FFFFFFF, static_cast<int32_t>(0x80000003u)}) {
        for (const char* operation : {"ZEPCreate", "ZEPDestroy", "ZEPSetConfig", "ZEPStartEncode", "ZEPStopEncode",
                                      "ZEPQueryOutputs", "ZEPReclaimOutputResource", "ZEPGetCaps"}) {
            s_controls.FailOperation(operation, code, 1);
        }
        ZEPCreateParams params = MakeCreateParams();
        ZEPCreateResult created = Sized<ZEPCreateResult>();
        EXPECT_EQ(code, ZEPCreate(&params, &created));
        ZEPHandleParams handle = MakeHandleParams(encoder.handle);
        ZEPStatus status = Sized<ZEPStatus>();
        EXPECT_EQ(code, ZEPDestroy(&handle, &status));
        EXPECT_EQ(code, encoder.Configure(MakeConfig()));
        EXPECT_EQ(code, encoder.Start());
        EXPECT_EQ(code, encoder.Stop());
        std::vector<ZEPOutputEntry> entries;
        uint32_t returned = 0;
        EXPECT_EQ(code, encoder.Query(1, entries, returned));
        EXPECT_EQ(code, encoder.Reclaim(1));
        ZEPHandleParams capsIn = MakeHandleParams(0);
        ZEPCaps caps = Sized<ZEPCaps>();
        EXPECT_EQ(code, ZEPGetCaps(0, &capsIn, &caps));
    }
    EXPECT_EQ(0, encoder.Start());  // each injected failure lasted one call
}

}  // namespace
