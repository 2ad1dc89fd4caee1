// The C interface of the synchronization layer: each function maps onto one kernel call.
#include <vqx/sync.h>

#include "thread/critical_section_record.h"
#include "thread/kernel_wait.h"

#include <windows.h>

namespace vqx {

namespace {
constexpr DWORD kMutexAllAccess = 0x1F0001;  // MUTEX_ALL_ACCESS
}

int32 VQX_CALL vqx_atomic_inc(int32* value) {
    return InterlockedIncrement(reinterpret_cast<volatile LONG*>(value));
}

int32 VQX_CALL vqx_atomic_dec(int32* value) {
    return InterlockedDecrement(reinterpret_cast<volatile LONG*>(value));
}

// Critical sections: always report success; a null record is skipped instead of crashing.
vqx_handle VQX_CALL vqx_create_critical_section() {
    return detail::NewCriticalSectionRecord();
}

bool VQX_CALL vqx_delete_critical_section(vqx_handle cs) {
    detail::DeleteCriticalSectionRecord(cs);
    return true;
}

bool VQX_CALL vqx_enter_critical_section(vqx_handle cs) {
    if (cs != nullptr) EnterCriticalSection(static_cast<CRITICAL_SECTION*>(cs));
    return true;
}

bool VQX_CALL vqx_leave_critical_section(vqx_handle cs) {
    if (cs != nullptr) LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(cs));
    return true;
}

// Events. vqx_wait_for_mutex and vqx_delete_mutex are export aliases of the wait and delete below.
vqx_handle VQX_CALL vqx_create_event(bool initially_signalled, bool manual_reset, const wchar_t* name) {
    return CreateEventW(nullptr, detail::ToKernelBool(manual_reset), detail::ToKernelBool(initially_signalled), name);
}

bool VQX_CALL vqx_delete_event(vqx_handle event) {
    return CloseHandle(event) != FALSE;
}
bool VQX_CALL vqx_set_event(vqx_handle event) {
    return SetEvent(event) != FALSE;
}
bool VQX_CALL vqx_reset_event(vqx_handle event) {
    return ResetEvent(event) != FALSE;
}

bool VQX_CALL vqx_wait_for_event(vqx_handle object, uint32 timeout) {
    return detail::WaitSignalled(object, timeout);
}

bool VQX_CALL vqx_wait_for_event_timeout(vqx_handle object, uint32 timeout) {
    return detail::WaitSignalledOrTimedOut(object, timeout);
}

// Mutexes.
vqx_handle VQX_CALL vqx_create_mutex(bool initially_owned, const wchar_t* name) {
    return CreateMutexW(nullptr, detail::ToKernelBool(initially_owned), name);
}

vqx_handle VQX_CALL vqx_open_mutex(const wchar_t* name) {
    return OpenMutexW(kMutexAllAccess, FALSE, name);
}

bool VQX_CALL vqx_release_mutex(vqx_handle mutex) {
    return ReleaseMutex(mutex) != FALSE;
}

// Semaphores: a null handle sets no limit, so every operation on it succeeds at once.
vqx_handle VQX_CALL vqx_create_semaphore(int32 initial, int32 maximum, const wchar_t* name) {
    if (maximum == 0) return nullptr;
    return CreateSemaphoreW(nullptr, initial, maximum, name);
}

bool VQX_CALL vqx_delete_semaphore(vqx_handle semaphore) {
    return semaphore == nullptr || CloseHandle(semaphore) != FALSE;
}

bool VQX_CALL vqx_wait_for_semaphore(vqx_handle semaphore, uint32 timeout) {
    return semaphore == nullptr || detail::WaitSignalled(semaphore, timeout);
}

bool VQX_CALL vqx_release_semaphore(vqx_handle semaphore, int32 count, int32* previous) {
    return semaphore == nullptr || ReleaseSemaphore(semaphore, count, reinterpret_cast<LONG*>(previous)) != FALSE;
}

void VQX_CALL vqx_sleep(uint32 milliseconds) {
    Sleep(milliseconds);
}

}  // namespace vqx
