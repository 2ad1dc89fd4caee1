// Fixture and helpers of the tests that run against the bound stand-in: the suite binds the
// library once, every test starts with the stand-in's controls reset, and TestEncoder drives one
// service encoder through the wrappers and tears it down again.
#pragma once

#include "zep_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zeptest {

class BoundService : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(0u, BindEncodeService());
        ASSERT_TRUE(controls.LoadFromProcess());
    }
    void SetUp() override { controls.Reset(); }
    void TearDown() override { controls.Reset(); }

    static uint32_t Calls(const char* operation) { return controls.GetCallCount(operation); }

    static inline qzt::TestControls controls;
};

// One encoder of the stand-in, destroyed with the object.
class TestEncoder {
public:
    explicit TestEncoder(const ZEPCreateParams& params) {
        ZEPCreateResult result = MakeCreateResult();
        createResult = ZEPCreate(&params, &result);
        handle = createResult == 0 ? result.handle : 0;
    }
    ~TestEncoder() {
        if (handle != 0) {
            Stop();
            ZEPHandleParams in = MakeHandleParams(handle);
            ZEPStatus status = MakeStatus();
            ZEPDestroy(&in, &status);
        }
    }
    TestEncoder(const TestEncoder&) = delete;
    TestEncoder& operator=(const TestEncoder&) = delete;

    int32_t Configure(ZEPConfig config) {
        ZEPConfigHeader header = MakeConfigHeader(&config);
        ZEPStatus status = MakeStatus();
        return ZEPSetConfig(handle, &header, &status);
    }
    int32_t Start() {
        ZEPControlParams in = MakeControlParams();
        ZEPStatus status = MakeStatus();
        return ZEPStartEncode(handle, &in, &status);
    }
    int32_t Stop() {
        ZEPControlParams in = MakeControlParams();
        ZEPStatus status = MakeStatus();
        return ZEPStopEncode(handle, &in, &status);
    }
    // One query for `requested` entries; `entries` holds them afterwards.
    int32_t Query(uint32_t requested, std::vector<ZEPOutputEntry>& entries, uint32_t& returned) {
        entries.assign(requested, MakeEntry());
        ZEPQueryParams in = MakeQueryParams(requested);
        ZEPQueryResult out{sizeof(ZEPQueryResult), 0, 0, entries.data()};
        const int32_t code = ZEPQueryOutputs(handle, &in, &out);
        returned = out.returnedCount;
        return code;
    }
    // Polls every millisecond until a full result arrives; false on a failure or after `timeoutMs`.
    bool Next(uint32_t requested, std::vector<ZEPOutputEntry>& entries, DWORD timeoutMs = 20000) {
        const DWORD begin = GetTickCount();
        for (;;) {
            uint32_t returned = 0;
            if (Query(requested, entries, returned) != 0) {
                return false;
            }
            if (returned == requested) {
                return true;
            }
            if (GetTickCount() - begin > timeoutMs) {
                return false;
            }
            Sleep(1);
        }
    }
    // The next single output (requested count 1).
    ZEPOutputEntry Next() {
        std::vector<ZEPOutputEntry> entries;
        EXPECT_TRUE(Next(1, entries));
        return entries.empty() ? MakeEntry() : entries[0];
    }
    int32_t Reclaim(uint32_t resourceId) {
        ZEPHandleParams in = MakeHandleParams(resourceId);
        ZEPStatus status = MakeStatus();
        return ZEPReclaimOutputResource(handle, &in, &status);
    }

    int32_t createResult = 0;
    uint32_t handle = 0;
};

// The nal_unit_type of every NAL unit in Annex-B bytes, in order.
inline std::vector<int> NalTypes(const uint8_t* data, size_t size) {
    std::vector<int> types;
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            types.push_back(data[i + 3] & 0x1F);
            i += 3;
        }
    }
    return types;
}

inline std::vector<int> NalTypes(const ZEPOutputEntry& entry) { return NalTypes(entry.data, entry.dataSize); }

inline std::vector<uint8_t> Bytes(const ZEPOutputEntry& entry) {
    return std::vector<uint8_t>(entry.data, entry.data + entry.dataSize);
}

}  // namespace zeptest
