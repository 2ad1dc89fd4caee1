#include "trace/trace_core.h"

#include "trace/builtin_outputs.h"

#include <algorithm>
#include <utility>

using vqx::VQX_INFINITE;
using vqx::VQXLock;

VQXTrace::VQXTrace() {
    Register(vqx::detail::DebugOutput());
    Register(vqx::detail::FileOutput());
    Register(vqx::detail::ConsoleOutput());
}

VQXTrace::~VQXTrace() = default;

bool VQXTrace::Passes(vqx::int32 level, const wchar_t* facility) const {
    if (level > m_threshold) return false;
    const auto entry = m_facilities.find(std::wstring(facility));
    return entry == m_facilities.end() || entry->second;
}

void VQXTrace::Dispatch(vqx::int32 level, const wchar_t* facility, const wchar_t* message) {
    if (message == nullptr) return;
    VQXLock guard(&m_lock, VQX_INFINITE);
    if (!Passes(level, facility)) return;
    // By index: an output that (against the rules) registers another cannot invalidate the walk.
    for (size_t i = 0; i < m_outputs.size(); ++i)
        m_outputs[i]->Write(facility, message);
}

vqx::int32 VQXTrace::SetLevel(vqx::int32 level) {
    VQXLock guard(&m_lock, VQX_INFINITE);
    return std::exchange(m_threshold, level);
}

bool VQXTrace::SetFacilityEnabled(const wchar_t* facility, bool enabled) {
    if (facility == nullptr) return false;
    VQXLock guard(&m_lock, VQX_INFINITE);
    const auto [entry, inserted] = m_facilities.try_emplace(std::wstring(facility), enabled);
    if (inserted) return false;
    return std::exchange(entry->second, enabled);
}

bool VQXTrace::Register(vqx::VQXTraceListener* listener) {
    if (listener == nullptr) return false;
    VQXLock guard(&m_lock, VQX_INFINITE);
    if (std::find(m_outputs.begin(), m_outputs.end(), listener) != m_outputs.end()) return false;
    m_outputs.push_back(listener);
    return true;
}

bool VQXTrace::Unregister(vqx::VQXTraceListener* listener) {
    VQXLock guard(&m_lock, VQX_INFINITE);
    const auto removed = std::remove(m_outputs.begin(), m_outputs.end(), listener);
    if (removed == m_outputs.end()) return false;
    m_outputs.erase(removed, m_outputs.end());
    return true;
}

void VQXTrace::UnregisterBuiltins() {
    Unregister(vqx::detail::DebugOutput());
    Unregister(vqx::detail::FileOutput());
    Unregister(vqx::detail::ConsoleOutput());
}
