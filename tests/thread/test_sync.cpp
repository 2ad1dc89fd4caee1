// The synchronization layer: C functions, classes and the scoped lock, with the result conventions
// that differ between the object kinds.
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

// Holds a lock twice on this thread while another thread tries to take it; the other thread must
// get in only after the second release.
template <class Lock, class Unlock>
void ExpectRecursiveAndExclusive(Lock lock, Unlock unlock) {
    EXPECT_TRUE(lock());
    EXPECT_TRUE(lock());
    std::atomic<bool> entered{false};
    std::thread other([&] {
        lock();
        entered = true;
        unlock();
    });
    Sleep(40);
    EXPECT_FALSE(entered.load());
    EXPECT_TRUE(unlock());
    Sleep(20);
    EXPECT_FALSE(entered.load()) << "still held once";
    EXPECT_TRUE(unlock());
    other.join();
    EXPECT_TRUE(entered.load());
}

// Counts calls and answers as told, to see exactly what VQXLock does with its object.
class ScriptedSync : public VQXSyncBase {
public:
    bool Lock(uint32 timeout) override {
        lastTimeout = timeout;
        return lockResult;
    }
    bool Unlock() override {
        ++unlocks;
        return unlockResult;
    }
    int unlocks = 0;
    uint32 lastTimeout = 0;
    bool lockResult = true, unlockResult = true;
};

// Plays a script on a sync object: 'L' Lock(0), 'W' Lock(VQX_INFINITE), 'U' Unlock, each followed
// by the expected result '+' (true) or '-' (false).
void Play(VQXSyncBase& object, const char* script) {
    for (const char* step = script; step[0] != '\0' && step[1] != '\0'; step += step[2] == ' ' ? 3 : 2) {
        const bool result = step[0] == 'L'   ? object.Lock(0)
                            : step[0] == 'W' ? object.Lock(VQX_INFINITE)
                                             : object.Unlock();
        EXPECT_EQ(step[1] == '+', result) << '"' << script << "\" at " << (step - script);
    }
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
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(shared, 4 * 5000);
}

TEST(SyncFunctions, CriticalSectionsAreRecursiveAndAlwaysSucceed) {
    vqx_handle cs = vqx_create_critical_section();
    ASSERT_NE(cs, nullptr);
    ExpectRecursiveAndExclusive([&] { return vqx_enter_critical_section(cs); },
                                [&] { return vqx_leave_critical_section(cs); });
    EXPECT_TRUE(vqx_delete_critical_section(cs));
    EXPECT_TRUE(vqx_enter_critical_section(nullptr));
    EXPECT_TRUE(vqx_leave_critical_section(nullptr));
    EXPECT_TRUE(vqx_delete_critical_section(nullptr));

    VQXCriticalSection section;  // the class ignores the timeout: 0 still waits
    ExpectRecursiveAndExclusive([&] { return section.Lock(0); }, [&] { return section.Unlock(); });
}

TEST(SyncFunctions, EventWaitsCountOnlySignalsWhileTheTimeoutVariantAlsoAcceptsTimeouts) {
    vqx_handle event = vqx_create_event(false, false, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(vqx_wait_for_event(event, 0));
    EXPECT_TRUE(vqx_wait_for_event_timeout(event, 0));
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = vqx_wait_for_event(event, VQX_INFINITE); });
    Sleep(30);
    EXPECT_FALSE(woke.load());
    EXPECT_TRUE(vqx_set_event(event));
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_FALSE(vqx_wait_for_event(event, 0));  // auto-reset: one wait per set
    EXPECT_TRUE(vqx_delete_event(event));
    EXPECT_FALSE(vqx_wait_for_event(nullptr, 0));
    EXPECT_FALSE(vqx_wait_for_event_timeout(nullptr, 0));  // a failed wait is not a timeout
    EXPECT_FALSE(vqx_set_event(nullptr));
    EXPECT_FALSE(vqx_delete_event(nullptr));

    // A manual-reset event satisfies every wait until reset; a second one of the same name shares it.
    const std::wstring name = UniqueName(L"event");
    vqx_handle manual = vqx_create_event(true, true, name.c_str());
    vqx_handle same = vqx_create_event(false, true, name.c_str());
    ASSERT_NE(same, nullptr);
    EXPECT_NE(manual, same);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(vqx_wait_for_event(same, 0));
    EXPECT_TRUE(vqx_reset_event(manual));
    EXPECT_FALSE(vqx_wait_for_event(same, 10));
    vqx_delete_event(manual);
    vqx_delete_event(same);
}

TEST(SyncFunctions, MutexOwnershipOpeningByNameAndAbandonment) {
    const std::wstring name = UniqueName(L"mutex");
    EXPECT_EQ(vqx_open_mutex(name.c_str()), nullptr);
    vqx_handle mutex = vqx_create_mutex(true, name.c_str());
    vqx_handle opened = vqx_open_mutex(name.c_str());
    ASSERT_NE(opened, nullptr);
    bool otherWaited = true, otherReleased = true;
    std::thread([&] {
        otherWaited = vqx_wait_for_mutex(opened, 0);
        otherReleased = vqx_release_mutex(opened);  // not the owner
    }).join();
    EXPECT_FALSE(otherWaited);
    EXPECT_FALSE(otherReleased);
    EXPECT_TRUE(vqx_wait_for_mutex(mutex, 0));  // recursive for the owner
    EXPECT_TRUE(vqx_release_mutex(mutex));
    EXPECT_TRUE(vqx_release_mutex(mutex));
    EXPECT_FALSE(vqx_release_mutex(mutex));  // no longer owned
    EXPECT_TRUE(vqx_delete_mutex(opened));
    EXPECT_TRUE(vqx_delete_mutex(mutex));

    vqx_handle abandoned = vqx_create_mutex(false, nullptr);
    std::thread([&] { vqx_wait_for_mutex(abandoned, 0); }).join();  // ends without releasing
    EXPECT_FALSE(vqx_wait_for_event_timeout(abandoned, 0));         // abandoned: a failure, not a timeout
    EXPECT_TRUE(vqx_release_mutex(abandoned));                      // the abandoned wait made us the owner
    EXPECT_TRUE(vqx_delete_mutex(abandoned));
}

TEST(SyncFunctions, SemaphoresCountAndANullOneSetsNoLimit) {
    EXPECT_EQ(vqx_create_semaphore(0, 0, nullptr), nullptr);
    EXPECT_EQ(vqx_create_semaphore(0, -1, nullptr), nullptr);  // the kernel refuses it
    EXPECT_TRUE(vqx_wait_for_semaphore(nullptr, VQX_INFINITE));
    EXPECT_TRUE(vqx_release_semaphore(nullptr, 1, nullptr));
    EXPECT_TRUE(vqx_delete_semaphore(nullptr));
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
}

// The two mutex names are the event functions under another name: same address in the DLL.
TEST(SyncExports, MutexNamesAliasTheEventFunctions) {
    HMODULE library = GetModuleHandleW(L"vqx.dll");
    ASSERT_NE(library, nullptr);
    ASSERT_NE(GetProcAddress(library, "vqx_wait_for_mutex"), nullptr);
    ASSERT_NE(GetProcAddress(library, "vqx_delete_mutex"), nullptr);
    EXPECT_EQ(GetProcAddress(library, "vqx_wait_for_mutex"), GetProcAddress(library, "vqx_wait_for_event"));
    EXPECT_EQ(GetProcAddress(library, "vqx_delete_mutex"), GetProcAddress(library, "vqx_delete_event"));
}

TEST(SyncClasses, EventsLockOnlyWhenSignalledAndUnlockDoesNothing) {
    VQXEvent event;  // unnamed, auto-reset, not signalled
    ASSERT_NE(event.Handle(), nullptr);
    Play(event, "L-");
    EXPECT_TRUE(event.LockTimeout(0));
    EXPECT_TRUE(event.SetEvent());
    Play(event, "L+ U+ L-");
    VQXEvent manual(true, true);
    Play(manual, "L+ L+");
    EXPECT_TRUE(manual.ResetEvent());
    Play(manual, "L-");
}

TEST(SyncClasses, MutexesOpenedByNameShareOwnership) {
    const std::wstring name = UniqueName(L"mutex-class");
    VQXMutex missing(true, name.c_str(), true);
    EXPECT_EQ(missing.Handle(), nullptr);
    Play(missing, "L- U-");

    VQXMutex created(false, name.c_str());
    VQXMutex opened(true, name.c_str(), true);  // initially_owned is ignored when opening
    ASSERT_NE(opened.Handle(), nullptr);
    bool otherGot = false;
    std::thread([&] {
        otherGot = created.Lock(0);
        if (otherGot) created.Unlock();
    }).join();
    EXPECT_TRUE(otherGot);  // so the opening did not take ownership
    EXPECT_TRUE(opened.Lock(0));
    std::thread([&] { otherGot = created.Lock(0); }).join();
    EXPECT_FALSE(otherGot);
    Play(opened, "U+ U-");
}

TEST(SyncClasses, SemaphoreBelowOneSetsNoLimitAndCreateReplacesIt) {
    VQXSemaphore semaphore(1, 1, nullptr);
    Play(semaphore, "L+ L- U+ L+ U+ U-");  // the last unlock is above the maximum
    for (int32 maximum : {0, -3}) {
        VQXSemaphore unlimited(0, maximum, nullptr);
        Play(unlimited, "W+ L+ U+");
    }
    EXPECT_TRUE(semaphore.Create(0, 0, nullptr));  // now without limit
    Play(semaphore, "L+ L+");
    EXPECT_TRUE(semaphore.Create(2, 2, nullptr));
    Play(semaphore, "L+ L+ L-");
    EXPECT_TRUE(semaphore.Create(5, 1, nullptr));  // the kernel refuses: initial above maximum
    Play(semaphore, "L+ L+");                      // a refused creation leaves "no limit"
}

TEST(SyncLock, TracksItsHeldMarkAndUnlocksOnlyWhatItHolds) {
    VQXCriticalSection section;
    {
        VQXLock lock(&section, VQX_INFINITE);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_TRUE(lock.Unlock());
        EXPECT_FALSE(lock.IsLocked());
        EXPECT_TRUE(lock.Lock(VQX_INFINITE));
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_TRUE(lock.Unlock());
    }  // no second unlock: the section is balanced, so another thread can enter
    bool entered = false;
    std::thread([&] { entered = section.Lock(0) && section.Unlock(); }).join();
    EXPECT_TRUE(entered);

    ScriptedSync object;
    { VQXLock lock(&object, 1234); }
    EXPECT_EQ(object.lastTimeout, 1234u);
    EXPECT_EQ(object.unlocks, 1);
    object.lockResult = false;
    { EXPECT_FALSE(VQXLock(&object, 5).IsLocked()); }
    EXPECT_EQ(object.unlocks, 1);  // never held, never released
    object.lockResult = true;
    object.unlockResult = false;
    {
        VQXLock lock(&object, 5);
        EXPECT_FALSE(lock.Unlock());
        EXPECT_TRUE(lock.IsLocked());  // a failed unlock keeps the mark
    }
    EXPECT_EQ(object.unlocks, 3);  // the explicit one and the destructor's

    VQXLock none(nullptr, VQX_INFINITE);
    EXPECT_FALSE(none.IsLocked());
    EXPECT_FALSE(none.Lock(0));
    EXPECT_FALSE(none.Unlock());
}
