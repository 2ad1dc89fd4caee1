#include "grx_test_support.h"

#include <memory>

namespace grxtest {
namespace {

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

constexpr const wchar_t* kStandInSettings[] = {
    L"GRXAPIXX_MODE", L"GRXAPIXX_ADAPTERS", L"GRXAPIXX_ADAPTER_NAME", L"GRXAPIXX_FAIL_CREATE",
    L"GRXAPIXX_CREATE_DELAY", L"GRXAPIXX_FAIL_ADAPTER_COUNT", L"GRXAPIXX_FAIL_ADAPTER_INFO",
    L"GRXAPIXX_FAIL_DISPLAY_INFO", L"GRXAPIXX_REFUSE_ACQUIRE", L"GRXAPIXX_FAIL_RELEASE_ALL",
    L"GRXAPIXX_UNUSABLE_TIMING", L"GRXAPIXX_UNUSABLE_RESULT", L"GRXAPIXX_UNUSABLE_FIELD",
    L"GRXAPIXX_PROBE_MUTEX",
};

}  // namespace

StandIn::StandIn() : m_module(LoadLibraryW(L"grxapixx.dll")) {
    if (m_module == nullptr) return;
    m_reset = Export<GRXTest_Reset_Fn>(m_module, "GRXTest_Reset");
    m_get_record = Export<GRXTest_GetRecord_Fn>(m_module, "GRXTest_GetRecord");
    m_get_last_acquire = Export<GRXTest_GetLastAcquireRecord_Fn>(m_module, "GRXTest_GetLastAcquireRecord");
    m_get_display_record = Export<GRXTest_GetDisplayRecord_Fn>(m_module, "GRXTest_GetDisplayRecord");
}

StandIn::~StandIn() {
    if (m_module != nullptr) FreeLibrary(m_module);
}

void StandIn::Reset() const { m_reset(); }

GRXTestRecord StandIn::Record() const {
    GRXTestRecord record{};
    m_get_record(&record, sizeof record);
    return record;
}

std::vector<std::uint8_t> StandIn::LastAcquireRecord() const {
    std::vector<std::uint8_t> bytes(GRXTEST_ACQUIRE_RECORD_SIZE);
    bytes.resize(static_cast<std::size_t>(m_get_last_acquire(bytes.data(), static_cast<std::int32_t>(bytes.size()))));
    return bytes;
}

std::vector<std::uint8_t> StandIn::DisplayRecord(int adapter_position, int display_position) const {
    std::vector<std::uint8_t> bytes(GRXTEST_DISPLAY_RECORD_SIZE);
    const std::int32_t size = m_get_display_record(adapter_position, display_position, bytes.data(),
                                                   static_cast<std::int32_t>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

ScopedEnv::ScopedEnv(const wchar_t* name, const wchar_t* value) : m_name(name) {
    wchar_t buffer[1024];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 1024);
    if (length > 0 && length < 1024) m_previous = std::wstring(buffer, length);
    SetEnvironmentVariableW(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(m_name.c_str(), m_previous ? m_previous->c_str() : nullptr); }

CleanStandInSettings::CleanStandInSettings() {
    for (const wchar_t* name : kStandInSettings) m_cleared.push_back(std::make_unique<ScopedEnv>(name, nullptr));
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

}  // namespace grxtest
