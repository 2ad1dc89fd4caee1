#include <vqx/sync.h>

#include "abi/win32_resource.h"
#include "thread/kernel_wait.h"

#include <windows.h>

namespace vqx {

namespace {
constexpr DWORD kMutexAllAccess = 0x1F0001;  // MUTEX_ALL_ACCESS

HANDLE CreateOrOpenMutex(bool initially_owned, const wchar_t* name, bool open_existing) {
    if (open_existing) return OpenMutexW(kMutexAllAccess, FALSE, name);
    return CreateMutexW(nullptr, detail::ToKernelBool(initially_owned), name);
}
}  // namespace

VQXMutex::VQXMutex(bool initially_owned, const wchar_t* name, bool open_existing)
    : m_handle(CreateOrOpenMutex(initially_owned, name, open_existing)) {}

VQXMutex::~VQXMutex() {
    win32::UniqueHandle::CloseRaw(m_handle);
}

// An abandoned mutex counts as a failed lock.
bool VQXMutex::Lock(uint32 timeout) {
    return m_handle != nullptr && detail::WaitSignalled(m_handle, timeout);
}

bool VQXMutex::Unlock() {
    return m_handle != nullptr && ReleaseMutex(m_handle) != FALSE;
}

}  // namespace vqx
