// The three built-in outputs, each one process-wide object created on first use.
// Ownership: owned by the library; the pointers are null once destroyed at unload.
// Thread rules: creation is thread-safe.
#pragma once

#include <vqx/trace.h>

namespace vqx::detail {

VQXTraceListenerDebug* DebugOutput();
VQXTraceListenerFile* FileOutput();
VQXTraceListenerConsole* ConsoleOutput();

}  // namespace vqx::detail
