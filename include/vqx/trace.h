// Process-wide tracing: levels, facilities, registered outputs, and the built-in debugger,
// log-file and console outputs.
// Ownership: the core keeps bare pointers to outputs; a host output stays alive until it is
// unregistered. The built-in outputs are process-wide objects owned by the library.
// Thread rules: any thread may trace at any time; outputs are called under one lock, one
// message after another.
//
// Choices of this implementation:
// - A null facility name is traced as the empty name ""; a null format, or one the C library
//   rejects, drops the message. vqxTraceBuffer with null data and a non-zero size dumps no bytes.
// - Every trace function is safe to call before the library's static initialization (the core
//   comes to life on first use) and after its unload-time destruction (then it does nothing).
#pragma once

#include <vqx/platform.h>
#include <vqx/strings.h>
#include <vqx/sync.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

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

// Built-in output: each line "facility : message\r\n" goes to OutputDebugStringW.
// One process-wide instance, created by the trace core.
class VQXTraceListenerDebug : public vqx::VQXTraceListener {
public:
    void Write(const wchar_t* facility, const wchar_t* message) override;
};

// Built-in output: each line "facility : message\r\n" goes to standard output as plain text while
// enabled (initially). The flag is read without a lock.
class VQXTraceListenerConsole : public vqx::VQXTraceListener {
public:
    void Write(const wchar_t* facility, const wchar_t* message) override;
    // Set the flag; return its previous value.
    VQX_CLASS_API bool Enable();
    VQX_CLASS_API bool Disable();

private:
    std::atomic<bool> m_enabled{true};
};

// Built-in output: the UTF-16LE log file (byte-order mark FF FE, one record
// "time : facility : message\r\n" per message, flushed per record). Closed until SetFilePath.
// The object's lock guards path and stream in every operation, Write included, so a record is
// never written to a stream that another thread is closing. Lock order: trace core, then file.
class VQXTraceListenerFile : public vqx::VQXTraceListener {
public:
    VQXTraceListenerFile();  // default path: the executable's path followed by ".log"
    ~VQXTraceListenerFile() override;
    VQXTraceListenerFile(const VQXTraceListenerFile&) = delete;
    VQXTraceListenerFile& operator=(const VQXTraceListenerFile&) = delete;

    void Write(const wchar_t* facility, const wchar_t* message) override;
    // Null keeps the current path; (re)creates the file, truncating it. True when it is open.
    bool SetFilePath(const wchar_t* path);
    // Copies the path when size >= length + 1; returns length + 1.
    vqx::int32 GetFilePath(wchar_t* buffer, vqx::int32 size);
    void Close();

private:
    void CloseStream();

    vqx::vqx_wstring m_path;
    std::FILE* m_stream = nullptr;
    vqx::VQXCriticalSection m_lock;
};

extern "C" {
// Wide printf formatting in which %s takes a wide string. Level: smaller is more important;
// a message passes when level <= threshold (default 2).
VQX_API void VQX_CDECL vqxTrace(vqx::int32 level, const wchar_t* facility, const wchar_t* format, ...);
VQX_API void VQX_CALL vqxTraceVaW(vqx::int32 level, const wchar_t* facility, const wchar_t* format, va_list args);
VQX_API void VQX_CALL vqxTraceVa(vqx::int32 level, const char* facility, const char* format, va_list args);
// One message: "\r\n", then lines of up to 16 entries "0x%02X, ", each line followed by "\r\n".
VQX_API void VQX_CALL vqxTraceBuffer(vqx::int32 level, const wchar_t* facility, const vqx::uint8* data,
                                     vqx::uint32 size);
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
