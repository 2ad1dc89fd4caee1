// VQXTrace, the process-wide trace core: threshold, facility switches and the output list.
// Ownership: the outputs are not owned, only their addresses are kept.
// Thread rules: every operation takes the one critical section; outputs are called under it.
#pragma once

#include <vqx/sync.h>
#include <vqx/trace.h>

#include <map>
#include <string>
#include <vector>

class VQXTrace {
public:
    static constexpr vqx::int32 kDefaultThreshold = 2;

    // Registers the built-in outputs: debugger, file, console.
    VQXTrace();
    virtual ~VQXTrace();
    VQXTrace(const VQXTrace&) = delete;
    VQXTrace& operator=(const VQXTrace&) = delete;

    // Hands the message to every output when it passes the level and facility filters.
    void Dispatch(vqx::int32 level, const wchar_t* facility, const wchar_t* message);
    vqx::int32 SetLevel(vqx::int32 level);  // returns the previous threshold
    // Stores the flag; returns the flag stored before (false when the name had no entry).
    bool SetFacilityEnabled(const wchar_t* facility, bool enabled);
    bool Register(vqx::VQXTraceListener* listener);
    bool Unregister(vqx::VQXTraceListener* listener);
    void UnregisterBuiltins();

private:
    bool Passes(vqx::int32 level, const wchar_t* facility) const;

    vqx::int32 m_threshold = kDefaultThreshold;
    std::map<std::wstring, bool> m_facilities;      // absent means enabled
    std::vector<vqx::VQXTraceListener*> m_outputs;  // registration order, no duplicates
    vqx::VQXCriticalSection m_lock;
};

namespace vqx::detail {

// The core, created on first use; null after it was destroyed at unload.
VQXTrace* TraceCore();
// The single dispatch step of every trace function; a null facility is traced as "".
void TraceDispatch(int32 level, const wchar_t* facility, const wchar_t* message);

}  // namespace vqx::detail
