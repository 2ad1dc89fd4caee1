// Fixture of the tests against the bound stand-in (bound once per suite, controls reset around
// every test) and TestEncoder, one service encoder driven through the wrappers.
#pragma once

#include "zep_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vqx::test {

class BoundService : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(0u, BindEncodeService());
        ASSERT_TRUE(s_controls.LoadFromProcess());
    }
    void SetUp() override { s_controls.Reset(); }
    void TearDown() override { s_controls.Reset(); }

    static uint32_t Calls(const char* operation) { return s_controls.GetCallCount(operation); }

    static inline qzt::TestControls s_controls;
};

// One encoder of the stand-in, stopped and destroyed with the object.
class TestEncoder {
public:
    explicit TestEncoder(const ZEPCreateParams& params) {
        ZEPCreateResult result = Sized<ZEPCreateResult>();
        createResult = ZEPCreate(&params, &result);
        handle = createResult == 0 ? result.handle : 0;
    }
    ~TestEncoder() {
        if (handle != 0) {
            Stop();
            ZEPHandleParams in = MakeHandleParams(handle);
            ZEPStatus status = Sized<ZEPStatus>();
            ZEPDestroy(&in, &status);
        }
    }
    TestEncoder(const TestEncoder&) = delete;
    TestEncoder& operator=(const TestEncoder&) = delete;

    int32_t Configure(ZEPConfig config) {
        ZEPConfigHeader header = MakeConfigHeader(&config);
        ZEPStatus status = Sized<ZEPStatus>();
        return ZEPSetConfig(handle, &header, &status);
    }
    int32_t Start() { return Control(&ZEPStartEncode); }
    int32_t Stop() { return Control(&ZEPStopEncode); }
    // One query for `requested` entries; `entries` holds them afterwards.
    int32_t Query(uint32_t requested, std::vector<ZEPOutputEntry>& entries, uint32_t& returned) {
        entries.assign(requested, Sized<ZEPOutputEntry>());
        ZEPQueryParams in = MakeQueryParams(requested);
        ZEPQueryResult out{sizeof(ZEPQueryResult), 0, 0, entries.data()};
        const int32_t code = ZEPQueryOutputs(handle, &in, &out);
        returned = out.returnedCount;
        return code;
    }
    // Polls every millisecond until a full result arrives; false on a failure or after 20 s.
    bool Next(uint32_t requested, std::vector<ZEPOutputEntry>& entries) {
        const DWORD begin = GetTickCount();
        for (uint32_t returned = 0;; Sleep(1)) {
            if (Query(requested, entries, returned) != 0) return false;
            if (returned == requested) return true;
            if (GetTickCount() - begin > 20000) return false;
        }
    }
    // The next single output (requested count 1).
    ZEPOutputEntry Next() {
        std::vector<ZEPOutputEntry> entries;
        EXPECT_TRUE(Next(1, entries));
        return entries.empty() ? Sized<ZEPOutputEntry>() : entries[0];
    }
    int32_t Reclaim(uint32_t resourceId) {
        ZEPHandleParams in = MakeHandleParams(resourceId);
        ZEPStatus status = Sized<ZEPStatus>();
        return ZEPReclaimOutputResource(handle, &in, &status);
    }

    int32_t createResult = 0;
    uint32_t handle = 0;

private:
    int32_t Control(int32_t (*wrapper)(uint32_t, const ZEPControlParams*, ZEPStatus*)) {
        ZEPControlParams in = Sized<ZEPControlParams>();
        ZEPStatus status = Sized<ZEPStatus>();
        return wrapper(handle, &in, &status);
    }
};

inline std::vector<int> NalTypes(const ZEPOutputEntry& entry) {
    return NalTypes(entry.data, entry.dataSize);
}

inline std::vector<uint8_t> Bytes(const ZEPOutputEntry& entry) {
    return std::vector<uint8_t>(entry.data, entry.data + entry.dataSize);
}

}  // namespace vqx::test
