#include <vqx/sync.h>

#include "abi/win32_resource.h"
#include "thread/kernel_wait.h"

#include <windows.h>

namespace vqx {

VQXEvent::VQXEvent(bool initially_signalled, bool manual_reset, const wchar_t* name)
    : m_handle(
          CreateEventW(nullptr, detail::ToKernelBool(manual_reset), detail::ToKernelBool(initially_signalled), name)) {}

VQXEvent::~VQXEvent() {
    win32::UniqueHandle::CloseRaw(m_handle);
}

bool VQXEvent::Lock(uint32 timeout) {
    return detail::WaitSignalled(m_handle, timeout);
}

bool VQXEvent::Unlock() {
    return true;
}

bool VQXEvent::LockTimeout(uint32 timeout) {
    return detail::WaitSignalledOrTimedOut(m_handle, timeout);
}

bool VQXEvent::SetEvent() {
    return ::SetEvent(m_handle) != FALSE;
}

bool VQXEvent::ResetEvent() {
    return ::ResetEvent(m_handle) != FALSE;
}

}  // namespace vqx
