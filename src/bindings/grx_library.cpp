#include "bindings/grx_library.h"

#include <vqx/sync.h>
#include <vqx/trace.h>

#include "abi/win32_resource.h"

#include <windows.h>

#include <cstdlib>
#include <utility>

namespace grx::detail {
namespace {

constexpr const wchar_t* kLibraryFiles[] = {L"grxapixx.dll", L"grxapixy.dll"};
constexpr vqx::int32 kCreateVersion = 1;

using win32::UniqueModule;

template <class Function>
bool Resolve(HMODULE module, const char* name, Function& out) {
    const FARPROC address = GetProcAddress(module, name);
    out = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    return address != nullptr;
}

// Resolves in table order and stops at the first missing export; the ones before stay set.
bool ResolveAll(HMODULE module, GRXFunctions& f) {
    return Resolve(module, "GRX_Main_Control_Create", f.mainControlCreate) &&
           Resolve(module, "GRX_Main_Control_Destroy", f.mainControlDestroy) &&
           Resolve(module, "GRX_Adapter_NumberOfAdapters_Get", f.adapterCountGet) &&
           Resolve(module, "GRX_Adapter_AdapterInfo_Get", f.adapterInfoGet) &&
           Resolve(module, "GRX_Display_DisplayInfo_Get", f.displayInfoGet) &&
           Resolve(module, "GRX_RemoteDisplay_Display_Acquire", f.displayAcquire) &&
           Resolve(module, "GRX_RemoteDisplay_Display_Release", f.displayRelease) &&
           Resolve(module, "GRX_RemoteDisplay_Display_Release_All", f.displayReleaseAll) &&
           Resolve(module, "GRX_Display_TargetTiming_Get", f.targetTimingGet);
}

UniqueModule LoadDisplayLibrary() {
    for (const wchar_t* file : kLibraryFiles) {
        UniqueModule module(LoadLibraryW(file));
        if (module) return module;
    }
    const DWORD error = GetLastError();
    vqxTrace(0, L"GRXFunctions", L"LoadLibrary() - Unable to load GRX library, err %d", static_cast<int>(error));
    return UniqueModule();
}

// GRXLibrary: the loaded module and the nine entry points, bound under one lock.
class GRXLibrary {
public:
    GRXLibrary() = default;
    GRXLibrary(const GRXLibrary&) = delete;
    GRXLibrary& operator=(const GRXLibrary&) = delete;
    ~GRXLibrary() { Unbind(); }

    const GRXFunctions* Bind() {
        vqx::VQXLock guard(&m_lock, vqx::VQX_INFINITE);
        if (!m_module) TryBind();
        return m_module ? &m_functions : nullptr;
    }

    const GRXFunctions* Current() {
        vqx::VQXLock guard(&m_lock, vqx::VQX_INFINITE);
        return m_module ? &m_functions : nullptr;
    }

    void Unbind() {
        vqx::VQXLock guard(&m_lock, vqx::VQX_INFINITE);
        if (!m_module) return;
        m_functions.mainControlDestroy();
        m_module.Reset();
        m_functions = GRXFunctions{};
    }

private:
    void TryBind() {
        UniqueModule module = LoadDisplayLibrary();
        if (!module) return;
        GRXFunctions functions{};
        if (ResolveAll(module.Get(), functions) &&
            functions.mainControlCreate(&AllocateForLibrary, kCreateVersion) == 0) {
            m_functions = functions;
            m_module = std::move(module);
            return;
        }
        if (functions.mainControlDestroy != nullptr) functions.mainControlDestroy();
    }

    vqx::VQXCriticalSection m_lock;
    UniqueModule m_module;
    GRXFunctions m_functions{};
};

// Namespace scope on purpose: its destructor runs when this library is unloaded and finishes a
// bound display library there.
GRXLibrary g_library;

}  // namespace

void* __stdcall AllocateForLibrary(vqx::int32 size) {
    return size < 0 ? nullptr : std::malloc(static_cast<std::size_t>(size));
}

const GRXFunctions* BindDisplayLibrary() {
    return g_library.Bind();
}

const GRXFunctions* BoundDisplayLibrary() {
    return g_library.Current();
}

void UnbindDisplayLibrary() {
    g_library.Unbind();
}

}  // namespace grx::detail
