// The synchronization classes and the scoped lock.
#include <vqx/sync.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

using namespace vqx;

namespace {

// Counts calls and answers as told, to see exactly what VQXLock does with its object.
class ScriptedSync : public VQXSyncBase {
public:
    bool Lock(uint32 timeout) override {
        ++locks;
        lastTimeout = timeout;
        return lockResult;
    }
    bool Unlock() override {
        ++unlocks;
        return unlockResult;
    }
    int locks = 0;
    int unlocks = 0;
    uint32 lastTimeout = 0;
    bool lockResult = true;
    bool unlockResult = true;
};

}  // namespace

TEST(VQXEventTest, DefaultIsUnnamedAutoResetAndNonSignalled) {
    VQXEvent event;
    ASSERT_NE(event.Handle(), nullptr);
    EXPECT_FALSE(event.Lock(0));
    EXPECT_TRUE(event.LockTimeout(0));
    EXPECT_TRUE(event.SetEvent());
    EXPECT_TRUE(event.Lock(0));
    EXPECT_FALSE(event.Lock(0));
    EXPECT_TRUE(event.Unlock());  // does nothing
    EXPECT_FALSE(event.Lock(0));
}

TEST(VQXEventTest, ManualResetSignalledUntilReset) {
    VQXEvent event(true, true);
    EXPECT_TRUE(event.Lock(0));
    EXPECT_TRUE(event.Lock(0));
    EXPECT_TRUE(event.ResetEvent());
    EXPECT_FALSE(event.Lock(0));
}

TEST(VQXMutexTest, OpeningAMissingNameGivesANullObjectThatFails) {
    const std::wstring name = L"vqx-test-missing-" + std::to_wstring(GetCurrentProcessId());
    VQXMutex missing(true, name.c_str(), true);
    EXPECT_EQ(missing.Handle(), nullptr);
    EXPECT_FALSE(missing.Lock(0));
    EXPECT_FALSE(missing.Unlock());
}

TEST(VQXMutexTest, CreatedNamedMutexCanBeOpenedAndExcludesOtherThreads) {
    const std::wstring name = L"vqx-test-mutex-class-" + std::to_wstring(GetCurrentProcessId());
    VQXMutex created(false, name.c_str());
    VQXMutex opened(true, name.c_str(), true);  // initially_owned is ignored when opening
    ASSERT_NE(opened.Handle(), nullptr);
    std::atomic<bool> otherGot{true};
    std::thread([&] { otherGot = created.Lock(0); if (otherGot) created.Unlock(); }).join();
    EXPECT_TRUE(otherGot.load());  // so the opening did not take ownership

    EXPECT_TRUE(opened.Lock(0));
    std::thread([&] { otherGot = created.Lock(0); }).join();
    EXPECT_FALSE(otherGot.load());
    EXPECT_TRUE(opened.Unlock());
    EXPECT_FALSE(opened.Unlock());
}

TEST(VQXCriticalSectionTest, LockIgnoresTheTimeoutAndIsRecursive) {
    VQXCriticalSection section;
    EXPECT_TRUE(section.Lock(0));
    EXPECT_TRUE(section.Lock(0));
    std::atomic<bool> entered{false};
    std::thread other([&] {
        section.Lock(0);  // waits without limit despite the 0
        entered = true;
        section.Unlock();
    });
    Sleep(40);
    EXPECT_FALSE(entered.load());
    EXPECT_TRUE(section.Unlock());
    EXPECT_TRUE(section.Unlock());
    other.join();
    EXPECT_TRUE(entered.load());
}

TEST(VQXSemaphoreTest, SingleSlot) {
    VQXSemaphore semaphore(1, 1, nullptr);
    EXPECT_TRUE(semaphore.Lock(0));
    EXPECT_FALSE(semaphore.Lock(0));
    EXPECT_TRUE(semaphore.Unlock());
    EXPECT_TRUE(semaphore.Lock(0));
    EXPECT_TRUE(semaphore.Unlock());
    EXPECT_FALSE(semaphore.Unlock());  // above the maximum
}

TEST(VQXSemaphoreTest, MaximumBelowOneSetsNoLimit) {
    for (int32 maximum : {0, -3}) {
        VQXSemaphore semaphore(0, maximum, nullptr);
        EXPECT_TRUE(semaphore.Lock(VQX_INFINITE));
        EXPECT_TRUE(semaphore.Lock(0));
        EXPECT_TRUE(semaphore.Unlock());
    }
}

TEST(VQXSemaphoreTest, CreateReplacesTheSemaphoreAndAlwaysReportsTrue) {
    VQXSemaphore semaphore(0, 1, nullptr);
    EXPECT_FALSE(semaphore.Lock(0));
    EXPECT_TRUE(semaphore.Create(0, 0, nullptr));  // now without limit
    EXPECT_TRUE(semaphore.Lock(0));
    EXPECT_TRUE(semaphore.Create(2, 2, nullptr));
    EXPECT_TRUE(semaphore.Lock(0));
    EXPECT_TRUE(semaphore.Lock(0));
    EXPECT_FALSE(semaphore.Lock(0));
    EXPECT_TRUE(semaphore.Create(5, 1, nullptr));  // the kernel refuses: initial above maximum
    EXPECT_TRUE(semaphore.Lock(0));                // a refused creation leaves "no limit"
}

TEST(VQXLockTest, GuardOnCriticalSectionTracksItsHeldMark) {
    VQXCriticalSection section;
    std::atomic<bool> entered{false};
    {
        VQXLock lock(&section, VQX_INFINITE);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_TRUE(lock.Unlock());
        EXPECT_FALSE(lock.IsLocked());
        EXPECT_TRUE(lock.Lock(VQX_INFINITE));
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_TRUE(lock.Unlock());
    }  // no second unlock: the section is balanced, so another thread can enter
    std::thread([&] {
        section.Lock(0);
        entered = true;
        section.Unlock();
    }).join();
    EXPECT_TRUE(entered.load());
}

TEST(VQXLockTest, PassesTheTimeoutAndUnlocksOnlyWhatItHolds) {
    ScriptedSync object;
    {
        VQXLock lock(&object, 1234);
        EXPECT_EQ(object.lastTimeout, 1234u);
        EXPECT_TRUE(lock.IsLocked());
    }
    EXPECT_EQ(object.unlocks, 1);

    object.lockResult = false;
    {
        VQXLock lock(&object, 5);
        EXPECT_FALSE(lock.IsLocked());
    }
    EXPECT_EQ(object.unlocks, 1);  // never held, never released

    object.lockResult = true;
    object.unlockResult = false;
    {
        VQXLock lock(&object, 5);
        EXPECT_FALSE(lock.Unlock());
        EXPECT_TRUE(lock.IsLocked());  // a failed unlock keeps the mark
    }
    EXPECT_EQ(object.unlocks, 3);  // the explicit one and the destructor's
}

TEST(VQXLockTest, NullObjectIsNeverLocked) {
    VQXLock lock(nullptr, VQX_INFINITE);
    EXPECT_FALSE(lock.IsLocked());
    EXPECT_FALSE(lock.Lock(0));
    EXPECT_FALSE(lock.Unlock());
    EXPECT_FALSE(lock.IsLocked());
}

TEST(VQXLockTest, WorksOnEventsAndSemaphoresThroughTheBase) {
    VQXEvent event(true, false);
    {
        VQXLock lock(&event, 0);
        EXPECT_TRUE(lock.IsLocked());  // consumed the signal
    }
    EXPECT_FALSE(event.Lock(0));  // Unlock of an event does not signal it

    VQXSemaphore semaphore(1, 1, nullptr);
    {
        VQXLock lock(&semaphore, 0);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_FALSE(semaphore.Lock(0));
    }
    EXPECT_TRUE(semaphore.Lock(0));  // the guard gave the slot back
}
