#include "grx_test_support.h"

namespace vqx::test {
namespace {

constexpr const wchar_t* kStandInSettings[] = {
    L"GRXAPIXX_MODE",
    L"GRXAPIXX_ADAPTERS",
    L"GRXAPIXX_ADAPTER_NAME",
    L"GRXAPIXX_FAIL_CREATE",
    L"GRXAPIXX_CREATE_DELAY",
    L"GRXAPIXX_FAIL_ADAPTER_COUNT",
    L"GRXAPIXX_FAIL_ADAPTER_INFO",
    L"GRXAPIXX_FAIL_DISPLAY_INFO",
    L"GRXAPIXX_REFUSE_ACQUIRE",
    L"GRXAPIXX_FAIL_RELEASE_ALL",
    L"GRXAPIXX_UNUSABLE_TIMING",
    L"GRXAPIXX_UNUSABLE_RESULT",
    L"GRXAPIXX_UNUSABLE_FIELD",
    L"GRXAPIXX_PROBE_MUTEX",
};

}  // namespace

StandIn::StandIn() : m_module(LoadLibraryW(L"grxapixx.dll")) {}

StandIn::~StandIn() {
    if (m_module != nullptr) FreeLibrary(m_module);
}

template <class Function>
Function StandIn::Export(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(m_module, name)));
}

void StandIn::Reset() const {
    Export<GRXTest_Reset_Fn>("GRXTest_Reset")();
}

GRXTestRecord StandIn::Record() const {
    GRXTestRecord record{};
    Export<GRXTest_GetRecord_Fn>("GRXTest_GetRecord")(&record, sizeof record);
    return record;
}

std::vector<uint8_t> StandIn::LastAcquireRecord() const {
    std::vector<uint8_t> bytes(GRXTEST_ACQUIRE_RECORD_SIZE);
    const auto copy = Export<GRXTest_GetLastAcquireRecord_Fn>("GRXTest_GetLastAcquireRecord");
    bytes.resize(static_cast<std::size_t>(copy(bytes.data(), static_cast<int32_t>(bytes.size()))));
    return bytes;
}

std::vector<uint8_t> StandIn::DisplayRecord(int adapter_position, int display_position) const {
    std::vector<uint8_t> bytes(GRXTEST_DISPLAY_RECORD_SIZE);
    const auto copy = Export<GRXTest_GetDisplayRecord_Fn>("GRXTest_GetDisplayRecord");
    bytes.resize(static_cast<std::size_t>(
        copy(adapter_position, display_position, bytes.data(), static_cast<int32_t>(bytes.size()))));
    return bytes;
}

ScopedEnv::ScopedEnv(const wchar_t* name, const wchar_t* value) : m_name(name) {
    wchar_t buffer[1024];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 1024);
    if (length > 0 && length < 1024) m_previous = std::wstring(buffer, length);
    SetEnvironmentVariableW(name, value);
}

ScopedEnv::~ScopedEnv() {
    SetEnvironmentVariableW(m_name.c_str(), m_previous ? m_previous->c_str() : nullptr);
}

CleanStandInSettings::CleanStandInSettings() {
    for (const wchar_t* name : kStandInSettings)
        m_cleared.push_back(std::make_unique<ScopedEnv>(name, nullptr));
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring file(path, length);
    return file.substr(0, file.find_last_of(L"\\/") + 1);
}

}  // namespace vqx::test
