// The display encoder: its interface, the output buffer interface, its own result codes and the
// exported factory.
// Ownership: the factory and QueryOutput hand out one reference each; the receiver releases it.
// Thread rules: drive an encoder from one thread; only CancelQueryOutput may come from another
// thread while QueryOutput waits. Buffers are released on the thread that queries the encoder.
#pragma once

#include <vqx/interface.h>
#include <vqx/property_storage_ex.h>

namespace vqx {

// Result codes that only the display encoder returns ("VQX Error" in vqxGetErrorText).
constexpr VQX_ERROR VQX_ZEP_PROPERTY_READ_ONLY = static_cast<VQX_ERROR>(301);  // never settable
constexpr VQX_ERROR VQX_ZEP_DISPLAY_FAILED = static_cast<VQX_ERROR>(302);      // display library error
constexpr VQX_ERROR VQX_ZEP_START_FAILED = static_cast<VQX_ERROR>(303);        // service refused to start
constexpr VQX_ERROR VQX_ZEP_QUERY_FAILED = static_cast<VQX_ERROR>(304);        // output query failed

// One encoded output. The memory stays readable until the last reference is released.
class VQXZepBuffer : public virtual VQXInterface {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"VQXZepBuffer\"";
        return id;
    }
    // Stores the address of the encoded bytes; always VQX_OK.
    virtual VQX_ERROR VQX_CALL GetMemory(void** ppMemory) = 0;
    // -1 when the service's type code is unknown, else 0, 2, 3 or 4.
    virtual int32 VQX_CALL GetType() = 0;
    virtual uint32 VQX_CALL GetSize() = 0;
    // The service's timestamp, unchanged.
    virtual int64 VQX_CALL GetTimestamp() = 0;
};

// The hardware display encoder: a validated property storage with nine operations that walk it
// through four states (0 idle, 1 display acquired, 2 encoder created, 3 encoding) and hand out
// encoded output. Identifier "\"VQXEncoderKLTZEP\"".
class VQXEncoderKLTZEP : public virtual VQXPropertyStorageEx {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"VQXEncoderKLTZEP\"";
        return id;
    }
    // Raising operations: VQX_ALREADY_INITIALIZED when the state is already at or above the
    // target, VQX_NOT_INITIALIZED when it is more than one step below.
    virtual VQX_ERROR VQX_CALL AcquireDisplay() = 0;  // 0 -> 1
    virtual VQX_ERROR VQX_CALL CreateEncoder() = 0;   // 1 -> 2
    virtual VQX_ERROR VQX_CALL StartEncode() = 0;     // 2 -> 3
    // Lowering operations: VQX_ALREADY_INITIALIZED below their source state,
    // VQX_NOT_INITIALIZED above it.
    virtual VQX_ERROR VQX_CALL StopEncode() = 0;      // 3 -> 2
    virtual VQX_ERROR VQX_CALL DestroyEncoder() = 0;  // 2 -> 1
    virtual VQX_ERROR VQX_CALL ReleaseDisplay() = 0;  // 1 -> 0
    // State 3 only: VQX_OK with a new buffer, VQX_REPEAT when nothing came in time or the query
    // was cancelled, VQX_ZEP_QUERY_FAILED when the service failed.
    virtual VQX_ERROR VQX_CALL QueryOutput(VQXZepBuffer** ppBuffer) = 0;
    // State 3 only; may be called from another thread to end a waiting QueryOutput.
    virtual VQX_ERROR VQX_CALL CancelQueryOutput() = 0;
    // State 3 only: pushes the configuration to the running encoder.
    virtual VQX_ERROR VQX_CALL UpdateConfig() = 0;
};

extern "C" {
// Creates an encoder and stores it in *ppEncoder with one reference, released with Release.
VQX_API void VQX_CALL VQXCreateEncoderKLTZEP(VQXEncoderKLTZEP** ppEncoder);
}

}  // namespace vqx
