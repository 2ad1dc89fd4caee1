#include <vqx/trace.h>

#include "trace/trace_line.h"

#include <windows.h>

void VQXTraceListenerDebug::Write(const wchar_t* facility, const wchar_t* message) {
    OutputDebugStringW(vqx::detail::ComposeOutputLine(facility, message).c_str());
}
