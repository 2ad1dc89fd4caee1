// Events, mutexes, critical sections, semaphores and the scoped lock, as C functions on opaque
// handles and as classes.
// Ownership: each object owns its kernel object and closes it in its destructor; not copyable.
// Thread rules: every operation may be called from any thread; a VQXLock belongs to one thread.
#pragma once

#include <vqx/platform.h>

namespace vqx {

using vqx_handle = void*;

// Wait without limit.
constexpr uint32 VQX_INFINITE = 0xFFFFFFFFu;

extern "C" {
VQX_API int32 VQX_CALL vqx_atomic_inc(int32* value);
VQX_API int32 VQX_CALL vqx_atomic_dec(int32* value);

VQX_API vqx_handle VQX_CALL vqx_create_critical_section();
VQX_API bool VQX_CALL vqx_delete_critical_section(vqx_handle cs);
VQX_API bool VQX_CALL vqx_enter_critical_section(vqx_handle cs);
VQX_API bool VQX_CALL vqx_leave_critical_section(vqx_handle cs);

VQX_API vqx_handle VQX_CALL vqx_create_event(bool initially_signalled, bool manual_reset, const wchar_t* name);
VQX_API bool VQX_CALL vqx_delete_event(vqx_handle event);
VQX_API bool VQX_CALL vqx_set_event(vqx_handle event);
VQX_API bool VQX_CALL vqx_reset_event(vqx_handle event);
// True only when signalled.
VQX_API bool VQX_CALL vqx_wait_for_event(vqx_handle object, uint32 timeout);
// True when signalled or timed out; false on failure or abandonment.
VQX_API bool VQX_CALL vqx_wait_for_event_timeout(vqx_handle object, uint32 timeout);

VQX_API vqx_handle VQX_CALL vqx_create_mutex(bool initially_owned, const wchar_t* name);
VQX_API vqx_handle VQX_CALL vqx_open_mutex(const wchar_t* name);
VQX_API bool VQX_CALL vqx_wait_for_mutex(vqx_handle mutex, uint32 timeout);  // same as vqx_wait_for_event
VQX_API bool VQX_CALL vqx_release_mutex(vqx_handle mutex);
VQX_API bool VQX_CALL vqx_delete_mutex(vqx_handle mutex);  // same as vqx_delete_event

// A null semaphore (maximum 0) sets no limit: waits, releases and deletes succeed at once.
VQX_API vqx_handle VQX_CALL vqx_create_semaphore(int32 initial, int32 maximum, const wchar_t* name);
VQX_API bool VQX_CALL vqx_delete_semaphore(vqx_handle semaphore);
VQX_API bool VQX_CALL vqx_wait_for_semaphore(vqx_handle semaphore, uint32 timeout);
VQX_API bool VQX_CALL vqx_release_semaphore(vqx_handle semaphore, int32 count, int32* previous);

VQX_API void VQX_CALL vqx_sleep(uint32 milliseconds);
}

class VQX_CLASS_API VQXSyncBase {
public:
    VQXSyncBase() = default;
    VQXSyncBase(const VQXSyncBase&) = delete;
    VQXSyncBase& operator=(const VQXSyncBase&) = delete;
    virtual ~VQXSyncBase() = default;
    virtual bool Lock(uint32 timeout) = 0;
    virtual bool Unlock() = 0;
};

class VQX_CLASS_API VQXEvent : public VQXSyncBase {
public:
    explicit VQXEvent(bool initially_signalled = false, bool manual_reset = false, const wchar_t* name = nullptr);
    ~VQXEvent() override;
    bool Lock(uint32 timeout) override;        // true only when signalled
    bool Unlock() override;                    // does nothing, true
    virtual bool LockTimeout(uint32 timeout);  // true when signalled or timed out
    bool SetEvent();
    bool ResetEvent();
    vqx_handle Handle() const { return m_handle; }

private:
    vqx_handle m_handle;
};

class VQX_CLASS_API VQXMutex : public VQXSyncBase {
public:
    // open_existing: open a named mutex (initially_owned ignored); otherwise create one.
    explicit VQXMutex(bool initially_owned = false, const wchar_t* name = nullptr, bool open_existing = false);
    ~VQXMutex() override;
    bool Lock(uint32 timeout) override;  // false for a null handle or an abandoned mutex
    bool Unlock() override;
    vqx_handle Handle() const { return m_handle; }

private:
    vqx_handle m_handle;
};

// Recursive; Lock ignores the timeout and always succeeds.
class VQX_CLASS_API VQXCriticalSection : public VQXSyncBase {
public:
    VQXCriticalSection();
    ~VQXCriticalSection() override;
    bool Lock(uint32 timeout) override;
    bool Unlock() override;

private:
    void* m_section;  // heap-allocated CRITICAL_SECTION, owned
};

// A null handle (maximum below 1) sets no limit.
class VQX_CLASS_API VQXSemaphore : public VQXSyncBase {
public:
    VQXSemaphore(int32 initial, int32 maximum, const wchar_t* name);
    ~VQXSemaphore() override;
    bool Lock(uint32 timeout) override;
    bool Unlock() override;
    virtual bool Create(int32 initial, int32 maximum, const wchar_t* name);

private:
    vqx_handle m_handle;
};

// Scoped guard: locks on construction, unlocks on destruction when it still holds the object.
class VQX_CLASS_API VQXLock {
public:
    VQXLock(VQXSyncBase* object, uint32 timeout);
    ~VQXLock();
    VQXLock(const VQXLock&) = delete;
    VQXLock& operator=(const VQXLock&) = delete;
    bool Lock(uint32 timeout);
    bool Unlock();
    bool IsLocked() const;

private:
    VQXSyncBase* m_object;
    bool m_locked;
};

}  // namespace vqx
