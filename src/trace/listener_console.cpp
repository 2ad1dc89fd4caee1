#include <vqx/trace.h>

#include "trace/trace_line.h"

#include <cstdio>
#include <cwchar>

// The line is written as plain text (never used as a format), so '%' reaches the output unchanged.
void VQXTraceListenerConsole::Write(const wchar_t* facility, const wchar_t* message) {
    if (!m_enabled.load()) return;
    std::fputws(vqx::detail::ComposeOutputLine(facility, message).c_str(), stdout);
}

bool VQXTraceListenerConsole::Enable() {
    return m_enabled.exchange(true);
}

bool VQXTraceListenerConsole::Disable() {
    return m_enabled.exchange(false);
}
