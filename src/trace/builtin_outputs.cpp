// The built-in outputs as process-wide objects, and the exported file and console functions,
// each of which creates its object first if needed.
#include "trace/builtin_outputs.h"

#include "trace/process_singleton.h"

namespace vqx::detail {

VQXTraceListenerDebug* DebugOutput() {
    return ProcessSingleton<VQXTraceListenerDebug>::Get();
}
VQXTraceListenerFile* FileOutput() {
    return ProcessSingleton<VQXTraceListenerFile>::Get();
}
VQXTraceListenerConsole* ConsoleOutput() {
    return ProcessSingleton<VQXTraceListenerConsole>::Get();
}

}  // namespace vqx::detail

using vqx::detail::ConsoleOutput;
using vqx::detail::FileOutput;

extern "C" {

bool VQX_CALL vqxTraceSetFilePath(const wchar_t* path) {
    VQXTraceListenerFile* file = FileOutput();
    return file != nullptr && file->SetFilePath(path);
}

vqx::int32 VQX_CALL vqxTraceGetFilePath(wchar_t* buffer, vqx::int32 size) {
    VQXTraceListenerFile* file = FileOutput();
    return file != nullptr ? file->GetFilePath(buffer, size) : 0;
}

void VQX_CALL vqxTraceCloseFile() {
    if (VQXTraceListenerFile* file = FileOutput()) file->Close();
}

bool VQX_CALL vqxTraceEnableConsole() {
    VQXTraceListenerConsole* console = ConsoleOutput();
    return console != nullptr && console->Enable();
}

bool VQX_CALL vqxTraceDisableConsole() {
    VQXTraceListenerConsole* console = ConsoleOutput();
    return console != nullptr && console->Disable();
}

}  // extern "C"
