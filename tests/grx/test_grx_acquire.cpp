// The adapter and display search, the presented record, release, and failures of the adapter
// and display calls, against the stand-in.
#include "grx_fixture.h"

#include "bindings/grx_edid.h"

#include <cstring>

using namespace grxtest;

namespace {

grx::DisplayId IdOf(const std::vector<std::uint8_t>& display_record) {
    grx::DisplayId id{};
    std::memcpy(&id, display_record.data(), sizeof id);
    return id;
}

grx::DisplayId IdOf(const GRXTestDisplayCall& call) {
    grx::DisplayId id{};
    std::memcpy(&id, call.display_id, sizeof id);
    return id;
}

std::int32_t KindOf(const std::vector<std::uint8_t>& display_record) { return grx::ReadInt32(display_record.data(), 540); }

}  // namespace

TEST_F(GrxTest, OnlyTheDisplayOfKind17IsTried) {
    const auto local = TheStandIn().DisplayRecord(0, 0);
    const auto other = TheStandIn().DisplayRecord(0, 1);
    const auto remote = TheStandIn().DisplayRecord(0, 2);
    ASSERT_EQ(552u, remote.size());
    ASSERT_EQ(16, KindOf(local));
    ASSERT_EQ(19, KindOf(other));
    ASSERT_EQ(17, KindOf(remote));

    auto display = grx::AcquireRemoteDisplay();
    ASSERT_NE(nullptr, display);
    const GRXTestRecord record = Record();
    ASSERT_EQ(1, record.acquire_calls);
    EXPECT_TRUE(IdOf(record.acquires[0]) == IdOf(remote));
    EXPECT_TRUE(display->Id() == IdOf(remote));
    EXPECT_EQ(1, display->AdapterIndex());
    EXPECT_EQ(L"\\\\.\\DISPLAY1", display->Name());
    EXPECT_EQ(record.acquires[0].handle, display->Handle());
    EXPECT_NE(0, display->Handle());
    EXPECT_EQ(0, record.release_all_calls);
    EXPECT_EQ(1572, record.adapter_info_size);
    EXPECT_EQ(0, record.display_info_flags);
    EXPECT_TRUE(MarkerExists());
    EXPECT_EQ(1, Record().acquired_now);
}

TEST_F(GrxTest, PresentsTheBuiltInEdidInTheAcquireRecord) {
    auto display = grx::AcquireRemoteDisplay();
    const std::vector<std::uint8_t> received = TheStandIn().LastAcquireRecord();
    const grx::AcquireRecord expected = grx::BuildAcquireRecord();
    ASSERT_EQ(expected.size(), received.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), received.begin()));
}

TEST_F(GrxTest, ReleaseOnceWithTheAcquiredHandleBeforeTheMarkerCloses) {
    ScopedEnv probe(L"GRXAPIXX_PROBE_MUTEX", grx::kAcquisitionMarkerName);
    auto display = grx::AcquireRemoteDisplay();
    const std::int32_t handle = display->Handle();
    const grx::DisplayId id = display->Id();
    EXPECT_EQ(0, Record().release_calls);
    display.reset();

    const GRXTestRecord record = Record();
    ASSERT_EQ(1, record.release_calls);
    EXPECT_EQ(handle, record.releases[0].handle);
    EXPECT_EQ(1, record.releases[0].adapter_index);
    EXPECT_TRUE(IdOf(record.releases[0]) == id);
    EXPECT_EQ(GRXAPIXX_OK, record.releases[0].result);
    EXPECT_EQ(1, record.probe_at_last_release) << "the marker must still exist while releasing";
    EXPECT_FALSE(MarkerExists());
}

TEST_F(GrxTest, SharedOwnersReleaseOnlyWhenTheLastGoes) {
    auto first = grx::AcquireRemoteDisplay();
    auto second = first;
    first.reset();
    EXPECT_EQ(0, Record().release_calls);
    EXPECT_TRUE(MarkerExists());
    second.reset();
    EXPECT_EQ(1, Record().release_calls);
}

TEST_F(GrxTest, SecondAcquisitionInTheSameProcessIsSkippedWhileTheFirstHoldsTheMarker) {
    auto held = grx::AcquireRemoteDisplay();
    EXPECT_EQ(-1, AcquireFailureCode());
    const GRXTestRecord record = Record();
    EXPECT_EQ(2, record.acquire_calls);
    EXPECT_EQ(GRXAPIXX_E_BUSY, record.acquires[1].result);
    EXPECT_EQ(0, record.release_all_calls);
    EXPECT_EQ(1, record.acquired_now);
    EXPECT_TRUE(MarkerExists()) << "the failed attempt must not close the holder's marker";
    held.reset();
}

TEST_F(GrxTest, AdapterNameSelectsTheAdapter) {
    ScopedEnv adapters(L"GRXAPIXX_ADAPTERS", L"2");
    auto display = grx::AcquireRemoteDisplay(L"\\\\.\\DISPLAY2");
    EXPECT_EQ(2, display->AdapterIndex());
    EXPECT_EQ(L"\\\\.\\DISPLAY2", display->Name());
    EXPECT_EQ(1, Record().acquire_calls);
    EXPECT_EQ(2, Record().acquires[0].adapter_index);
}

TEST_F(GrxTest, UnknownAdapterNameFailsAfterQueryingEveryAdapter) {
    ScopedEnv adapters(L"GRXAPIXX_ADAPTERS", L"3");
    EXPECT_EQ(-1, AcquireFailureCode(L"\\\\.\\DISPLAY9"));
    EXPECT_EQ(-1, AcquireFailureCode(L"\\\\.\\display1")) << "names compare exactly";
    const GRXTestRecord record = Record();
    EXPECT_EQ(6, record.display_info_calls);
    EXPECT_EQ(0, record.acquire_calls);
}

TEST_F(GrxTest, AdapterNameBytesAreWidenedBySignExtension) {
    ScopedEnv name(L"GRXAPIXX_ADAPTER_NAME", L"Caf\u00e9 \u00fc");
    char bytes[64];
    const DWORD length = GetEnvironmentVariableA("GRXAPIXX_ADAPTER_NAME", bytes, sizeof bytes);
    ASSERT_GT(length, 0u);
    std::wstring expected;
    bool high_byte = false;
    for (DWORD i = 0; i < length; ++i) {
        expected.push_back(static_cast<wchar_t>(static_cast<signed char>(bytes[i])));
        high_byte = high_byte || static_cast<unsigned char>(bytes[i]) >= 0x80;
    }
    ASSERT_TRUE(high_byte) << "the ANSI form of the name has no byte above 0x7F";

    auto display = grx::AcquireRemoteDisplay(expected);
    EXPECT_EQ(expected, display->Name());
    EXPECT_EQ(0xFF00, display->Name()[3] & 0xFF00) << "a high byte becomes 0xFFxx";
    display.reset();
    EXPECT_EQ(-1, AcquireFailureCode(L"Caf\u00e9 \u00fc"));
}

TEST_F(GrxTest, FailingDisplayQuerySkipsOnlyThatAdapter) {
    ScopedEnv adapters(L"GRXAPIXX_ADAPTERS", L"2");
    ScopedEnv failure(L"GRXAPIXX_FAIL_DISPLAY_INFO", L"0x321");
    auto display = grx::AcquireRemoteDisplay();
    EXPECT_EQ(2, display->AdapterIndex());
    EXPECT_EQ(2, Record().display_info_calls);
    EXPECT_EQ(1, Record().acquire_calls);
}

TEST_F(GrxTest, AdapterCallFailuresCarryTheirResult) {
    {
        ScopedEnv failure(L"GRXAPIXX_FAIL_ADAPTER_COUNT", L"0x1234");
        EXPECT_EQ(0x1234, AcquireFailureCode());
        EXPECT_EQ(0, Record().adapter_info_calls);
    }
    {
        ScopedEnv failure(L"GRXAPIXX_FAIL_ADAPTER_INFO", L"-77");
        EXPECT_EQ(-77, AcquireFailureCode());
        EXPECT_EQ(0, Record().display_info_calls);
    }
    EXPECT_EQ(0, Record().acquire_calls);
}

TEST_F(GrxTest, ZeroAdaptersFailWithoutQueryingDisplays) {
    ScopedEnv adapters(L"GRXAPIXX_ADAPTERS", L"0");
    EXPECT_EQ(-1, AcquireFailureCode());
    const GRXTestRecord record = Record();
    EXPECT_EQ(1, record.adapter_count_calls);
    EXPECT_EQ(0, record.adapter_info_calls);
    EXPECT_EQ(0, record.display_info_calls);
}

TEST_F(GrxTest, AdapterArrayIsSizedForEveryAdapter) {
    ScopedEnv adapters(L"GRXAPIXX_ADAPTERS", L"3");
    auto display = grx::AcquireRemoteDisplay();
    EXPECT_EQ(3 * 1572, Record().adapter_info_size);
    EXPECT_EQ(1, display->AdapterIndex()) << "adapters are searched in array order";
}
