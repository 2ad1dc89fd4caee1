// The marker mutex across processes and the stale-acquisition rule: a refused acquisition is
// retried after releasing everything only when no process holds the marker.
#include "grx_fixture.h"

#include <algorithm>
#include <cstring>

using namespace grxtest;

TEST_F(GrxTest, OurMarkerIsVisibleToAnotherProcessWhileHeld) {
    EXPECT_EQ(0u, ProbeMarkerFromAnotherProcess());
    auto display = grx::AcquireRemoteDisplay();
    ASSERT_NE(nullptr, display->Marker());
    EXPECT_NE(nullptr, display->Marker()->Handle());
    EXPECT_EQ(1u, ProbeMarkerFromAnotherProcess());
    display.reset();
    EXPECT_EQ(0u, ProbeMarkerFromAnotherProcess());
}

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

    // The holder goes: the refusal is now taken as stale.
    holder.Stop();
    ASSERT_FALSE(MarkerExists());
    auto display = grx::AcquireRemoteDisplay();
    record = Record();
    EXPECT_EQ(3, record.acquire_calls);
    EXPECT_EQ(GRXAPIXX_E_REFUSED, record.acquires[1].result);
    EXPECT_EQ(GRXAPIXX_OK, record.acquires[2].result);
    EXPECT_EQ(1, record.release_all_calls);
    EXPECT_TRUE(record.acquires[2].adapter_index == record.acquires[1].adapter_index &&
                std::equal(record.acquires[1].display_id, record.acquires[1].display_id + 4,
                           record.acquires[2].display_id))
        << "the retry uses the same arguments";
    EXPECT_EQ(record.acquires[2].handle, display->Handle());
    EXPECT_TRUE(MarkerExists());
    EXPECT_EQ(1u, ProbeMarkerFromAnotherProcess());
}

TEST_F(GrxTest, StaleRefusalReleasesAllThenAcquiresExactlyOnceMore) {
    ScopedEnv refuse(L"GRXAPIXX_REFUSE_ACQUIRE", L"2");
    EXPECT_EQ(-1, AcquireFailureCode()) << "the retry is refused as well";
    GRXTestRecord record = Record();
    EXPECT_EQ(2, record.acquire_calls);
    EXPECT_EQ(1, record.release_all_calls);

    // One refusal left: the retry after release-all succeeds.
    TheStandIn().Reset();
    ScopedEnv once(L"GRXAPIXX_REFUSE_ACQUIRE", L"1");
    auto display = grx::AcquireRemoteDisplay();
    record = Record();
    EXPECT_EQ(2, record.acquire_calls);
    EXPECT_EQ(1, record.release_all_calls);
    EXPECT_NE(0, display->Handle());
    EXPECT_NE(nullptr, display->Marker()->Handle());
}

TEST_F(GrxTest, FailingReleaseAllGivesUpWithoutAnotherAcquire) {
    ScopedEnv refuse(L"GRXAPIXX_REFUSE_ACQUIRE", L"1");
    ScopedEnv release_all(L"GRXAPIXX_FAIL_RELEASE_ALL", L"9");
    EXPECT_EQ(-1, AcquireFailureCode());
    const GRXTestRecord record = Record();
    EXPECT_EQ(1, record.acquire_calls);
    EXPECT_EQ(1, record.release_all_calls);
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
