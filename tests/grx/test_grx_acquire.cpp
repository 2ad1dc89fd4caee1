// The adapter and display search, the presented record, release, and failures of the adapter
// and display calls, against the stand-in.
#include "grx_fixture.h"

#include "bindings/grx_edid.h"

#include <cstring>

using namespace vqx::test;

// The search tries only the display of kind 17, presents the built-in EDID, and skips the display
// while it is held; the last owner releases it once with the acquired handle, before the marker goes.
TEST_F(GrxTest, AcquiresTheDisplayOfKind17AndReleasesItOnceBeforeTheMarkerCloses) {
    const int32_t kinds[] = {16, 19, 17};
    for (int position = 0; position < 3; ++position) {
        ASSERT_EQ(kinds[position], grx::ReadInt32(TheStandIn().DisplayRecord(0, position).data(), 540));
    }
    const auto remote = TheStandIn().DisplayRecord(0, 2);
    ScopedEnv probe(L"GRXAPIXX_PROBE_MUTEX", grx::kAcquisitionMarkerName);

    auto display = grx::AcquireRemoteDisplay();
    ASSERT_NE(nullptr, display);
    GRXTestRecord record = Record();
    ASSERT_EQ(1, record.acquire_calls);
    EXPECT_EQ(0, std::memcmp(record.acquires[0].display_id, remote.data(), 16));
    EXPECT_EQ(0, std::memcmp(&display->Id(), remote.data(), 16));
    EXPECT_EQ(1, display->AdapterIndex());
    EXPECT_EQ(L"\\\\.\\DISPLAY1", display->Name());
    EXPECT_NE(0, display->Handle());
    EXPECT_EQ(record.acquires[0].handle, display->Handle());
    EXPECT_EQ(1572, record.adapter_info_size);
    EXPECT_EQ(0, record.display_info_flags);
    EXPECT_TRUE(MarkerExists());
    const std::vector<uint8_t> received = TheStandIn().LastAcquireRecord();
    const grx::AcquireRecord expected = grx::BuildAcquireRecord();
    ASSERT_EQ(expected.size(), received.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), received.begin()));

    EXPECT_EQ(-1, AcquireFailureCode()) << "held by this process";
    record = Record();
    EXPECT_EQ(2, record.acquire_calls);
    EXPECT_EQ(GRXAPIXX_E_BUSY, record.acquires[1].result);
    EXPECT_EQ(0, record.release_all_calls);
    EXPECT_TRUE(MarkerExists()) << "the failed attempt must not close the holder's marker";

    auto second_owner = display;
    display.reset();
    EXPECT_EQ(0, Record().release_calls);
    second_owner.reset();
    record = Record();
    ASSERT_EQ(1, record.release_calls);
    EXPECT_EQ(record.acquires[0].handle, record.releases[0].handle);
    EXPECT_EQ(1, record.releases[0].adapter_index);
    EXPECT_EQ(0, std::memcmp(record.releases[0].display_id, remote.data(), 16));
    EXPECT_EQ(1, record.probe_at_last_release) << "the marker must still exist while releasing";
    EXPECT_FALSE(MarkerExists());
}

TEST_F(GrxTest, AdaptersAreSearchedInOrderAndSelectedByTheirExactName) {
    ScopedEnv adapters(L"GRXAPIXX_ADAPTERS", L"3");
    auto first = grx::AcquireRemoteDisplay();
    EXPECT_EQ(3 * 1572, Record().adapter_info_size);
    EXPECT_EQ(1, first->AdapterIndex());
    first.reset();

    TheStandIn().Reset();
    auto named = grx::AcquireRemoteDisplay(L"\\\\.\\DISPLAY2");
    EXPECT_EQ(2, named->AdapterIndex());
    EXPECT_EQ(L"\\\\.\\DISPLAY2", named->Name());
    EXPECT_EQ(1, Record().acquire_calls);
    EXPECT_EQ(2, Record().acquires[0].adapter_index);
    named.reset();

    TheStandIn().Reset();
    {
        ScopedEnv failure(L"GRXAPIXX_FAIL_DISPLAY_INFO", L"0x321");  // skips only the first adapter
        auto second = grx::AcquireRemoteDisplay();
        EXPECT_EQ(2, second->AdapterIndex());
        EXPECT_EQ(2, Record().display_info_calls);
        EXPECT_EQ(1, Record().acquire_calls);
    }

    TheStandIn().Reset();
    EXPECT_EQ(-1, AcquireFailureCode(L"\\\\.\\DISPLAY9"));
    EXPECT_EQ(-1, AcquireFailureCode(L"\\\\.\\display1")) << "names compare exactly";
    EXPECT_EQ(6, Record().display_info_calls) << "every adapter was queried";
    EXPECT_EQ(0, Record().acquire_calls);
}

TEST_F(GrxTest, AdapterNameBytesAreWidenedBySignExtension) {
    ScopedEnv name(L"GRXAPIXX_ADAPTER_NAME", L"Caf\u00e9 \u00fc");
    char bytes[64];
    const DWORD length = GetEnvironmentVariableA("GRXAPIXX_ADAPTER_NAME", bytes, sizeof bytes);
    ASSERT_GT(length, 3u);
    ASSERT_GE(static_cast<unsigned char>(bytes[3]), 0x80) << "the ANSI form of the name has no high byte";
    std::wstring expected;
    for (DWORD i = 0; i < length; ++i)
        expected.push_back(static_cast<wchar_t>(static_cast<signed char>(bytes[i])));

    auto display = grx::AcquireRemoteDisplay(expected);
    EXPECT_EQ(expected, display->Name());
    EXPECT_EQ(0xFF00, display->Name()[3] & 0xFF00) << "a high byte becomes 0xFFxx";
    display.reset();
    EXPECT_EQ(-1, AcquireFailureCode(L"Caf\u00e9 \u00fc"));
}

TEST_F(GrxTest, AdapterCallFailuresCarryTheirResultAndStopTheSearch) {
    struct Case {
        const wchar_t* variable;
        const wchar_t* value;
        int32_t code;
        int32_t adapter_info_calls;
    };
    const Case cases[] = {
        {L"GRXAPIXX_FAIL_ADAPTER_COUNT", L"0x1234", 0x1234, 0},
        {L"GRXAPIXX_FAIL_ADAPTER_INFO", L"-77", -77, 1},
        {L"GRXAPIXX_ADAPTERS", L"0", -1, 0},  // no adapters
    };
    for (const Case& c : cases) {
        TheStandIn().Reset();
        ScopedEnv setting(c.variable, c.value);
        EXPECT_EQ(c.code, AcquireFailureCode()) << c.variable;
        const GRXTestRecord record = Record();
        EXPECT_EQ(1, record.adapter_count_calls) << c.variable;
        EXPECT_EQ(c.adapter_info_calls, record.adapter_info_calls) << c.variable;
        EXPECT_EQ(0, record.display_info_calls) << c.variable;
    }
}
