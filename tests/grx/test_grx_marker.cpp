// The marker mutex across processes and the stale-acquisition rule: a refused acquisition is
// retried after releasing everything only when no process holds the marker.
#include "grx_fixture.h"

#include <cstring>

using namespace vqx::test;

TEST_F(GrxTest, RefusedWhileAnotherProcessHoldsTheMarkerSkipsWithoutReleasingAll) {
    ScopedEnv refuse(L"GRXAPIXX_REFUSE_ACQUIRE", L"2");
    MarkerHolderProcess holder;
    ASSERT_TRUE(holder.Ready());
    ASSERT_TRUE(MarkerExists());
    EXPECT_EQ(-1, AcquireFailureCode());
    GRXTestRecord record = Record();
    EXPECT_EQ(1, record.acquire_calls);
    EXPECT_EQ(0, record.release_all_calls);
    EXPECT_EQ(0, record.release_calls);

    // The holder goes: the refusal is now taken as stale, and our marker is seen from outside.
    holder.Stop();
    ASSERT_FALSE(MarkerExists());
    EXPECT_EQ(0u, ProbeMarkerFromAnotherProcess());
    auto display = grx::AcquireRemoteDisplay();
    record = Record();
    EXPECT_EQ(3, record.acquire_calls);
    EXPECT_EQ(GRXAPIXX_E_REFUSED, record.acquires[1].result);
    EXPECT_EQ(GRXAPIXX_OK, record.acquires[2].result);
    EXPECT_EQ(1, record.release_all_calls);
    EXPECT_EQ(record.acquires[1].adapter_index, record.acquires[2].adapter_index);
    EXPECT_EQ(0, std::memcmp(record.acquires[1].display_id, record.acquires[2].display_id, 16))
        << "the retry uses the same arguments";
    EXPECT_EQ(record.acquires[2].handle, display->Handle());
    EXPECT_EQ(1u, ProbeMarkerFromAnotherProcess());
    display.reset();
    EXPECT_EQ(0u, ProbeMarkerFromAnotherProcess());
}

TEST_F(GrxTest, StaleRefusalReleasesAllThenAcquiresExactlyOnceMore) {
    struct Case {
        const wchar_t* refusals;
        const wchar_t* release_all_result;
        bool acquired;
        int32_t acquire_calls;
    };
    const Case cases[] = {
        {L"1", nullptr, true, 2},   // the retry after release-all succeeds
        {L"2", nullptr, false, 2},  // the retry is refused as well: no third attempt
        {L"1", L"9", false, 1},     // release-all fails: no retry
    };
    for (const Case& c : cases) {
        TheStandIn().Reset();
        ScopedEnv refuse(L"GRXAPIXX_REFUSE_ACQUIRE", c.refusals);
        ScopedEnv release_all(L"GRXAPIXX_FAIL_RELEASE_ALL", c.release_all_result);
        std::shared_ptr<grx::RemoteDisplay> display;
        const int32_t code = GrxErrorCode([&] { display = grx::AcquireRemoteDisplay(); });
        EXPECT_EQ(c.acquired ? 0 : -1, code) << c.refusals;
        const GRXTestRecord record = Record();
        EXPECT_EQ(c.acquire_calls, record.acquire_calls) << c.refusals;
        EXPECT_EQ(1, record.release_all_calls) << c.refusals;
        if (c.acquired) {
            EXPECT_NE(0, display->Handle());
            EXPECT_NE(nullptr, display->Marker()->Handle());
        }
    }
}

TEST_F(GrxTest, TryAcquireKeepsTheOpenedMarkerOnlyAsLongAsTheObject) {
    MarkerHolderProcess holder;
    ASSERT_TRUE(holder.Ready());
    ScopedEnv refuse(L"GRXAPIXX_REFUSE_ACQUIRE", L"all");
    const auto remote = TheStandIn().DisplayRecord(0, 2);
    grx::DisplayId id{};
    std::memcpy(&id, remote.data(), sizeof id);
    {
        AcquireFailureCode();  // binds the library if an earlier test has not
        TheStandIn().Reset();
        grx::RemoteDisplay display(1, id, L"\\\\.\\DISPLAY1");
        EXPECT_FALSE(display.TryAcquire());
        EXPECT_EQ(0, display.Handle());
        ASSERT_NE(nullptr, display.Marker());
        EXPECT_NE(nullptr, display.Marker()->Handle()) << "the holder's marker was opened";
    }
    EXPECT_EQ(0, Record().release_calls) << "an unacquired display is not released";
    holder.Stop();
    EXPECT_FALSE(MarkerExists()) << "the opened marker handle was closed with the object";
}
