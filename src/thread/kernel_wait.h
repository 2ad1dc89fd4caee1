// The two wait conventions of the synchronization layer, shared by the C functions and classes.
// Thread rules: stateless; callable from any thread.
#pragma once

#include <vqx/platform.h>

#include <windows.h>

namespace vqx::detail {

// True only when the kernel reports the object signalled.
inline bool WaitSignalled(void* object, uint32 timeout) {
    return WaitForSingleObject(object, timeout) == WAIT_OBJECT_0;
}

// True when the object is signalled or the wait timed out; false on failure or abandonment.
inline bool WaitSignalledOrTimedOut(void* object, uint32 timeout) {
    const DWORD result = WaitForSingleObject(object, timeout);
    return result == WAIT_OBJECT_0 || result == WAIT_TIMEOUT;
}

// The kernel takes booleans as exactly 1 or 0.
inline BOOL ToKernelBool(bool value) {
    return value ? TRUE : FALSE;
}

}  // namespace vqx::detail
