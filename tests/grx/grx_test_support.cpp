#include "grx_test_support.h"

#include "bindings/grx_remote_display.h"

namespace vqx::test {
namespace {

// Starts grx_marker_holder with `arguments`; the process handle, or null.
HANDLE StartMarkerHolder(const std::wstring& arguments) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::wstring program = ProgramDirectory() + L"grx_marker_holder.exe";
    std::wstring command_line = L"grx_marker_holder.exe " + arguments + L" " + grx::kAcquisitionMarkerName;
    if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

}  // namespace

bool MarkerExists() {
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, grx::kAcquisitionMarkerName);
    if (mutex == nullptr) return false;
    CloseHandle(mutex);
    return true;
}

DWORD ProbeMarkerFromAnotherProcess() {
    const HANDLE process = StartMarkerHolder(L"probe");
    DWORD code = static_cast<DWORD>(-1);
    if (process == nullptr) return code;
    WaitForSingleObject(process, 60000);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

MarkerHolderProcess::MarkerHolderProcess() : m_process(StartMarkerHolder(L"hold")) {
    // Ready once the marker exists; a holder that ended early failed.
    while (m_process != nullptr && !m_ready && WaitForSingleObject(m_process, 10) == WAIT_TIMEOUT) {
        m_ready = MarkerExists();
    }
}

void MarkerHolderProcess::Stop() {
    if (m_process == nullptr) return;
    TerminateProcess(m_process, 0);  // the system closes its marker handle
    WaitForSingleObject(m_process, 60000);
    CloseHandle(m_process);
    m_process = nullptr;
}

}  // namespace vqx::test
