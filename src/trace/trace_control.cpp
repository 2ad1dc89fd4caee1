// Threshold, facility switches, output registration and the assertion switch.
#include <vqx/trace.h>

#include "trace/trace_core.h"

#include <atomic>

namespace {
std::atomic<bool> g_assertsEnabled{true};
}

extern "C" {

vqx::int32 VQX_CALL vqxTraceSetLevel(vqx::int32 level) {
    VQXTrace* core = vqx::detail::TraceCore();
    return core != nullptr ? core->SetLevel(level) : VQXTrace::kDefaultThreshold;
}

bool VQX_CALL vqxTraceEnableFacility(const wchar_t* facility) {
    VQXTrace* core = vqx::detail::TraceCore();
    return core != nullptr && core->SetFacilityEnabled(facility, true);
}

bool VQX_CALL vqxTraceDisableFacility(const wchar_t* facility) {
    VQXTrace* core = vqx::detail::TraceCore();
    return core != nullptr && core->SetFacilityEnabled(facility, false);
}

}  // extern "C"

namespace vqx {

bool VQX_CALL VQXRegisterTraceListener(VQXTraceListener* listener) {
    VQXTrace* core = detail::TraceCore();
    return core != nullptr && core->Register(listener);
}

bool VQX_CALL VQXUnregisterTraceListener(VQXTraceListener* listener) {
    VQXTrace* core = detail::TraceCore();
    return core != nullptr && core->Unregister(listener);
}

void VQX_CALL vqx_asserts_enable(bool enable) {
    g_assertsEnabled.store(enable);
}

bool VQX_CALL vqx_asserts_enabled() {
    return g_assertsEnabled.load();
}

}  // namespace vqx
