// The process-wide ordinal table of the encode-service library and its one-time binding.
#include "bindings/zep_service.h"

#include "abi/win32_resource.h"

#include <windows.h>

#include <array>
#include <atomic>

namespace vqx::zep {
namespace {

constexpr uint32 kFirstOrdinal = kOrdinalCreate;
constexpr uint32 kOrdinalCount = kOrdinalGetCaps - kOrdinalCreate + 1;
constexpr wchar_t kLibraryName[] = L"qztrvx32.dll";

// Ordinal 1300 is written last (release) and read first (acquire): once it is seen, the other
// nine entries are complete. The table is never cleared after a successful binding.
std::array<std::atomic<ServiceProc>, kOrdinalCount> g_entryPoints{};

// Serialises first bindings; later calls return before taking it.
SRWLOCK g_bindLock = SRWLOCK_INIT;

bool IsBound() {
    return g_entryPoints[0].load(std::memory_order_acquire) != nullptr;
}

ServiceProc LookUp(HMODULE module, uint32 ordinal) {
    const FARPROC proc = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    return reinterpret_cast<ServiceProc>(reinterpret_cast<void*>(proc));
}

}  // namespace

uint32 BindEncodeService() {
    if (IsBound()) {
        return 0;
    }
    const win32::UniqueExclusiveLock guard = win32::AcquireExclusive(g_bindLock);
    if (IsBound()) {
        return 0;
    }
    win32::UniqueModule module(LoadLibraryW(kLibraryName));
    if (!module) {
        return static_cast<uint32>(kLoadFailed);
    }
    std::array<ServiceProc, kOrdinalCount> found{};
    for (uint32 i = 0; i < kOrdinalCount; ++i) {
        found[i] = LookUp(module.Get(), kFirstOrdinal + i);
    }
    if (found[0] == nullptr) {
        // The library is unloaded by the module guard; nothing of it enters the table.
        return static_cast<uint32>(kNotBound);
    }
    for (uint32 i = kOrdinalCount - 1; i > 0; --i) {
        g_entryPoints[i].store(found[i], std::memory_order_relaxed);
    }
    g_entryPoints[0].store(found[0], std::memory_order_release);
    module.Detach();  // stays loaded until the process ends
    return 0;
}

ServiceProc BoundEntryPoint(uint32 ordinal) {
    if (ordinal < kFirstOrdinal || ordinal >= kFirstOrdinal + kOrdinalCount || !IsBound()) {
        return nullptr;
    }
    return g_entryPoints[ordinal - kFirstOrdinal].load(std::memory_order_relaxed);
}

}  // namespace vqx::zep
