#include <vqx/paths.h>
#include <vqx/trace.h>

#include "abi/win32_resource.h"
#include "trace/trace_line.h"

#include <cstdio>
#include <ctime>
#include <cwchar>
#include <string>

using vqx::VQX_INFINITE;
using vqx::VQXLock;

namespace {

constexpr size_t kTimeCapacity = 100;  // characters of the time field, terminator included
constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};

// The local time as the current locale writes date and time ("%x %X").
std::wstring LocalTimeText() {
    wchar_t text[kTimeCapacity] = {};
    const __time64_t now = _time64(nullptr);
    if (const struct tm* local = _localtime64(&now)) wcsftime(text, kTimeCapacity, L"%x %X", local);
    return text;
}

std::wstring ComposeRecord(const wchar_t* facility, const wchar_t* message) {
    std::wstring record = LocalTimeText();
    record += L" : ";
    record += vqx::detail::ComposeOutputLine(facility, message);
    return record;
}

}  // namespace

VQXTraceListenerFile::VQXTraceListenerFile() : m_path(vqx::vqx_get_process_path() + L".log") {}

VQXTraceListenerFile::~VQXTraceListenerFile() {
    CloseStream();
}

void VQXTraceListenerFile::CloseStream() {
    win32::UniqueFile::CloseRaw(m_stream);
}

// One fwrite of 16-bit units per record, then a flush: the record has reached the operating
// system when Write returns. Write errors are ignored.
void VQXTraceListenerFile::Write(const wchar_t* facility, const wchar_t* message) {
    VQXLock guard(&m_lock, VQX_INFINITE);
    if (m_stream == nullptr) return;
    const std::wstring record = ComposeRecord(facility, message);
    std::fwrite(record.data(), sizeof(wchar_t), record.size(), m_stream);
    std::fflush(m_stream);
}

bool VQXTraceListenerFile::SetFilePath(const wchar_t* path) {
    VQXLock guard(&m_lock, VQX_INFINITE);
    vqx::vqx_wstring newPath = path != nullptr ? vqx::vqx_wstring(path) : m_path;
    CloseStream();
    m_path = std::move(newPath);
    const size_t separator = m_path.rfind(L'\\');
    if (separator != vqx::vqx_wstring::npos) vqx::vqx_make_dir(m_path.substr(0, separator));
    m_stream = _wfopen(m_path.c_str(), L"wb");  // truncates: every call starts a new log
    if (m_stream == nullptr) return false;
    std::fwrite(kByteOrderMark, 1, sizeof(kByteOrderMark), m_stream);
    std::fflush(m_stream);
    return true;
}

vqx::int32 VQXTraceListenerFile::GetFilePath(wchar_t* buffer, vqx::int32 size) {
    VQXLock guard(&m_lock, VQX_INFINITE);
    const vqx::int32 needed = static_cast<vqx::int32>(m_path.size()) + 1;
    if (buffer != nullptr && size >= needed) std::wmemcpy(buffer, m_path.c_str(), static_cast<size_t>(needed));
    return needed;
}

void VQXTraceListenerFile::Close() {
    VQXLock guard(&m_lock, VQX_INFINITE);
    CloseStream();
}
