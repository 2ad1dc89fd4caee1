#include <vqx/sync.h>

#include "abi/win32_resource.h"
#include "thread/kernel_wait.h"

#include <windows.h>

namespace vqx {

namespace {
// Only a maximum of 1 or more makes a kernel semaphore; anything else leaves "no limit".
HANDLE CreateLimitedSemaphore(int32 initial, int32 maximum, const wchar_t* name) {
    if (maximum < 1) return nullptr;
    return CreateSemaphoreW(nullptr, initial, maximum, name);
}
}  // namespace

VQXSemaphore::VQXSemaphore(int32 initial, int32 maximum, const wchar_t* name)
    : m_handle(CreateLimitedSemaphore(initial, maximum, name)) {}

VQXSemaphore::~VQXSemaphore() {
    win32::UniqueHandle::CloseRaw(m_handle);
}

bool VQXSemaphore::Lock(uint32 timeout) {
    return m_handle == nullptr || detail::WaitSignalled(m_handle, timeout);
}

bool VQXSemaphore::Unlock() {
    return m_handle == nullptr || ReleaseSemaphore(m_handle, 1, nullptr) != FALSE;
}

// Replaces the semaphore; reports true whatever the kernel answered.
bool VQXSemaphore::Create(int32 initial, int32 maximum, const wchar_t* name) {
    win32::UniqueHandle::CloseRaw(m_handle);
    m_handle = CreateLimitedSemaphore(initial, maximum, name);
    return true;
}

}  // namespace vqx
