#include "grx_test_support.h"

#include "bindings/grx_remote_display.h"

namespace grxtest {
namespace {

std::wstring UniqueName(const wchar_t* what) {
    static int serial = 0;
    return L"grx-test-" + std::wstring(what) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial);
}

DWORD RunAndWait(std::wstring command_line, HANDLE* process_out) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::wstring program = ProgramDirectory() + L"grx_marker_holder.exe";
    if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return static_cast<DWORD>(-1);
    }
    CloseHandle(info.hThread);
    if (process_out != nullptr) {
        *process_out = info.hProcess;
        return 0;
    }
    WaitForSingleObject(info.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
}

}  // namespace

bool MarkerExists() {
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, grx::kAcquisitionMarkerName);
    if (mutex == nullptr) return false;
    CloseHandle(mutex);
    return true;
}

DWORD ProbeMarkerFromAnotherProcess() {
    return RunAndWait(L"grx_marker_holder.exe probe " + std::wstring(grx::kAcquisitionMarkerName), nullptr);
}

MarkerHolderProcess::MarkerHolderProcess() {
    const std::wstring ready = UniqueName(L"ready");
    const std::wstring exit = UniqueName(L"exit");
    m_ready_event = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    m_exit_event = CreateEventW(nullptr, TRUE, FALSE, exit.c_str());
    if (RunAndWait(L"grx_marker_holder.exe hold " + std::wstring(grx::kAcquisitionMarkerName) + L" " + ready + L" " +
                       exit,
                   &m_process) != 0) {
        return;
    }
    const HANDLE waits[] = {m_ready_event, m_process};
    m_ready = WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0;
}

void MarkerHolderProcess::Stop() {
    if (m_process == nullptr) return;
    SetEvent(m_exit_event);
    WaitForSingleObject(m_process, 60000);
    CloseHandle(m_process);
    m_process = nullptr;
}

MarkerHolderProcess::~MarkerHolderProcess() {
    Stop();
    CloseHandle(m_ready_event);
    CloseHandle(m_exit_event);
}

TraceCapture::TraceCapture(std::wstring facility) : m_facility(std::move(facility)) {
    vqx::VQXRegisterTraceListener(this);
}

TraceCapture::~TraceCapture() { vqx::VQXUnregisterTraceListener(this); }

void TraceCapture::Write(const wchar_t* facility, const wchar_t* message) {
    if (facility == nullptr || message == nullptr || m_facility != facility) return;
    std::lock_guard<std::mutex> guard(m_lock);
    m_messages.emplace_back(message);
}

std::vector<std::wstring> TraceCapture::Messages() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_messages;
}

}  // namespace grxtest
