// When the trace core lives: forced into being by the library's static initialization (or on an
// earlier first use), built-in outputs unregistered and core destroyed at unload.
#include "trace/process_singleton.h"
#include "trace/trace_core.h"

#include "trace/trace_line.h"

namespace vqx::detail {

VQXTrace* TraceCore() {
    return ProcessSingleton<VQXTrace>::Get();
}

void TraceDispatch(int32 level, const wchar_t* facility, const wchar_t* message) {
    if (message == nullptr) return;
    if (VQXTrace* core = TraceCore()) core->Dispatch(level, OrEmpty(facility), message);
}

namespace {

// Constructed during the library's static initialization, after the core (whose construction
// completes first), so it is destroyed before the core: the built-ins leave the list first.
class TraceCoreAtLoad {
public:
    TraceCoreAtLoad() { TraceCore(); }
    ~TraceCoreAtLoad() {
        if (VQXTrace* core = TraceCore()) core->UnregisterBuiltins();
    }
    TraceCoreAtLoad(const TraceCoreAtLoad&) = delete;
    TraceCoreAtLoad& operator=(const TraceCoreAtLoad&) = delete;
};

const TraceCoreAtLoad g_traceCoreAtLoad;

}  // namespace
}  // namespace vqx::detail
