// The C interface of the synchronization layer.
#include <vqx/sync.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace vqx;

namespace {
std::wstring UniqueName(const wchar_t* tag) {
    return std::wstring(L"vqx-test-") + tag + L"-" + std::to_wstring(GetCurrentProcessId());
}
}  // namespace

TEST(SyncFunctions, AtomicIncrementAndDecrementReturnTheNewValue) {
    int32 value = 0x7FFFFFFE;
    EXPECT_EQ(vqx_atomic_inc(&value), 0x7FFFFFFF);
    EXPECT_EQ(vqx_atomic_inc(&value), static_cast<int32>(0x80000000u));  // wraps like the kernel's
    EXPECT_EQ(vqx_atomic_dec(&value), 0x7FFFFFFF);

    int32 shared = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared] {
            for (int i = 0; i < 5000; ++i) {
                vqx_atomic_inc(&shared);
                vqx_atomic_inc(&shared);
                vqx_atomic_dec(&shared);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(shared, 4 * 5000);
}

TEST(SyncFunctions, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
    vqx_handle cs = vqx_create_critical_section();
    ASSERT_NE(cs, nullptr);
    EXPECT_TRUE(vqx_enter_critical_section(cs));
    EXPECT_TRUE(vqx_enter_critical_section(cs));  // same thread again
    std::atomic<bool> entered{false};
    std::thread other([&] {
        vqx_enter_critical_section(cs);
        entered = true;
        vqx_leave_critical_section(cs);
    });
    Sleep(50);
    EXPECT_FALSE(entered.load());
    EXPECT_TRUE(vqx_leave_critical_section(cs));
    Sleep(20);
    EXPECT_FALSE(entered.load());  // still held once
    EXPECT_TRUE(vqx_leave_critical_section(cs));
    other.join();
    EXPECT_TRUE(entered.load());
    EXPECT_TRUE(vqx_delete_critical_section(cs));
}

TEST(SyncFunctions, NullCriticalSectionIsIgnored) {
    EXPECT_TRUE(vqx_enter_critical_section(nullptr));
    EXPECT_TRUE(vqx_leave_critical_section(nullptr));
    EXPECT_TRUE(vqx_delete_critical_section(nullptr));
}

TEST(SyncFunctions, WaitReportsSignalledWhileTimeoutVariantAlsoAcceptsTimeouts) {
    vqx_handle event = vqx_create_event(false, false, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(vqx_wait_for_event(event, 0));
    EXPECT_TRUE(vqx_wait_for_event_timeout(event, 0));
    EXPECT_TRUE(vqx_set_event(event));
    EXPECT_TRUE(vqx_wait_for_event(event, 0));
    EXPECT_FALSE(vqx_wait_for_event(event, 0));  // auto-reset: one wait per set
    EXPECT_TRUE(vqx_delete_event(event));

    EXPECT_FALSE(vqx_wait_for_event(nullptr, 0));
    EXPECT_FALSE(vqx_wait_for_event_timeout(nullptr, 0));  // a failed wait is not a timeout
    EXPECT_FALSE(vqx_set_event(nullptr));
    EXPECT_FALSE(vqx_delete_event(nullptr));
}

TEST(SyncFunctions, ManualResetEventSatisfiesEveryWaitUntilReset) {
    vqx_handle event = vqx_create_event(true, true, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(vqx_wait_for_event(event, 0));
    EXPECT_TRUE(vqx_reset_event(event));
    EXPECT_FALSE(vqx_wait_for_event(event, 10));
    vqx_delete_event(event);
}

TEST(SyncFunctions, SetEventWakesAWaitingThread) {
    vqx_handle event = vqx_create_event(false, false, nullptr);
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = vqx_wait_for_event(event, VQX_INFINITE); });
    Sleep(30);
    EXPECT_FALSE(woke.load());
    vqx_set_event(event);
    waiter.join();
    EXPECT_TRUE(woke.load());
    vqx_delete_event(event);
}

TEST(SyncFunctions, NamedEventsAreShared) {
    const std::wstring name = UniqueName(L"event");
    vqx_handle first = vqx_create_event(false, true, name.c_str());
    vqx_handle second = vqx_create_event(false, true, name.c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    vqx_set_event(first);
    EXPECT_TRUE(vqx_wait_for_event(second, 0));
    vqx_delete_event(first);
    vqx_delete_event(second);
}

TEST(SyncFunctions, MutexOwnershipAndOpeningByName) {
    const std::wstring name = UniqueName(L"mutex");
    EXPECT_EQ(vqx_open_mutex(name.c_str()), nullptr);
    vqx_handle mutex = vqx_create_mutex(true, name.c_str());
    ASSERT_NE(mutex, nullptr);
    vqx_handle opened = vqx_open_mutex(name.c_str());
    ASSERT_NE(opened, nullptr);

    std::atomic<int> otherResult{-1};
    std::thread other([&] {
        otherResult = vqx_wait_for_mutex(opened, 0) ? 1 : 0;
        otherResult = otherResult * 10 + (vqx_release_mutex(opened) ? 1 : 0);  // not the owner
    });
    other.join();
    EXPECT_EQ(otherResult.load(), 0);  // neither waited successfully nor released

    EXPECT_TRUE(vqx_wait_for_mutex(mutex, 0));  // recursive for the owner
    EXPECT_TRUE(vqx_release_mutex(mutex));
    EXPECT_TRUE(vqx_release_mutex(mutex));
    EXPECT_FALSE(vqx_release_mutex(mutex));  // no longer owned
    EXPECT_TRUE(vqx_delete_mutex(opened));
    EXPECT_TRUE(vqx_delete_mutex(mutex));
}

TEST(SyncFunctions, AbandonedMutexIsAFailedWaitButNotATimeout) {
    vqx_handle mutex = vqx_create_mutex(false, nullptr);
    std::thread owner([&] { vqx_wait_for_mutex(mutex, 0); });  // ends without releasing
    owner.join();
    EXPECT_FALSE(vqx_wait_for_event_timeout(mutex, 0));  // abandoned: reported as failure
    // The abandoned wait made this thread the owner.
    EXPECT_TRUE(vqx_release_mutex(mutex));
    EXPECT_TRUE(vqx_delete_mutex(mutex));
}

TEST(SyncFunctions, SemaphoreWithoutMaximumSetsNoLimit) {
    vqx_handle none = vqx_create_semaphore(0, 0, nullptr);
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(vqx_wait_for_semaphore(nullptr, VQX_INFINITE));
    EXPECT_TRUE(vqx_release_semaphore(nullptr, 1, nullptr));
    EXPECT_TRUE(vqx_delete_semaphore(nullptr));
}

TEST(SyncFunctions, SemaphoreCountsAndReportsThePreviousCount) {
    vqx_handle semaphore = vqx_create_semaphore(1, 2, nullptr);
    ASSERT_NE(semaphore, nullptr);
    EXPECT_TRUE(vqx_wait_for_semaphore(semaphore, 0));
    EXPECT_FALSE(vqx_wait_for_semaphore(semaphore, 0));
    int32 previous = -1;
    EXPECT_TRUE(vqx_release_semaphore(semaphore, 2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(vqx_release_semaphore(semaphore, 1, &previous));  // above the maximum
    EXPECT_TRUE(vqx_wait_for_semaphore(semaphore, 0));
    EXPECT_TRUE(vqx_wait_for_semaphore(semaphore, 0));
    EXPECT_FALSE(vqx_wait_for_semaphore(semaphore, 0));
    EXPECT_TRUE(vqx_delete_semaphore(semaphore));
    // A negative maximum goes to the kernel, which refuses it.
    EXPECT_EQ(vqx_create_semaphore(0, -1, nullptr), nullptr);
}

TEST(SyncFunctions, SleepWaitsAtLeastRoughlyTheTime) {
    const DWORD before = GetTickCount();
    vqx_sleep(30);
    EXPECT_GE(GetTickCount() - before, 15u);  // loose: tick granularity
}

// The two mutex names are the event functions under another name: same address in the DLL.
TEST(SyncExports, MutexNamesAliasTheEventFunctions) {
    HMODULE library = GetModuleHandleW(L"vqx.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, "vqx_wait_for_mutex")),
              reinterpret_cast<void*>(GetProcAddress(library, "vqx_wait_for_event")));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, "vqx_delete_mutex")),
              reinterpret_cast<void*>(GetProcAddress(library, "vqx_delete_event")));
    EXPECT_NE(GetProcAddress(library, "vqx_wait_for_mutex"), nullptr);
    EXPECT_NE(GetProcAddress(library, "vqx_delete_mutex"), nullptr);
}
