// Process-wide tracing: levels, facilities, registered outputs, and the built-in debugger,
// log-file and console outputs.
// Ownership: the core keeps bare pointers to outputs; a host output stays alive until it is
// unregistered.
// Thread rules: any thread may trace at any time; outputs are called under one lock, one
// message after another.
#pragma once

#include <vqx/platform.h>

#include <cstdarg>

namespace vqx {

// An output of the trace core. Write is called under the core's lock and must not register or
// unregister outputs.
class VQX_CLASS_API VQXTraceListener {
public:
    virtual ~VQXTraceListener() = default;
    virtual void Write(const wchar_t* facility, const wchar_t* message) = 0;
};

extern "C" {
VQX_API bool VQX_CALL VQXRegisterTraceListener(VQXTraceListener* listener);
VQX_API bool VQX_CALL VQXUnregisterTraceListener(VQXTraceListener* listener);
VQX_API void VQX_CALL vqx_asserts_enable(bool enable);
VQX_API bool VQX_CALL vqx_asserts_enabled();
}

}  // namespace vqx

extern "C" {
// Wide printf formatting in which %s takes a wide string. Level: smaller is more important;
// a message passes when level <= threshold (default 2).
VQX_API void VQX_CDECL vqxTrace(vqx::int32 level, const wchar_t* facility, const wchar_t* format, ...);
VQX_API void VQX_CALL vqxTraceVaW(vqx::int32 level, const wchar_t* facility, const wchar_t* format, va_list args);
VQX_API void VQX_CALL vqxTraceVa(vqx::int32 level, const char* facility, const char* format, va_list args);
// One message: "\r\n", then lines of up to 16 entries "0x%02X, ", each line followed by "\r\n".
VQX_API void VQX_CALL vqxTraceBuffer(vqx::int32 level, const wchar_t* facility, const vqx::uint8* data, vqx::uint32 size);
VQX_API vqx::int32 VQX_CALL vqxTraceSetLevel(vqx::int32 level);
VQX_API bool VQX_CALL vqxTraceEnableFacility(const wchar_t* facility);
VQX_API bool VQX_CALL vqxTraceDisableFacility(const wchar_t* facility);

// The log file: UTF-16 with byte-order mark; null path reopens the current one (truncating).
VQX_API bool VQX_CALL vqxTraceSetFilePath(const wchar_t* path);
// Copies the path when size >= length + 1; returns length + 1 in every case.
VQX_API vqx::int32 VQX_CALL vqxTraceGetFilePath(wchar_t* buffer, vqx::int32 size);
VQX_API void VQX_CALL vqxTraceCloseFile();
VQX_API bool VQX_CALL vqxTraceEnableConsole();
VQX_API bool VQX_CALL vqxTraceDisableConsole();
}
