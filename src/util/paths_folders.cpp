// The process's and the current folder, and the application data folder.
#include <vqx/paths.h>

#include "util/paths_parser.h"
#include "util/paths_working_text.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace {

using vqx::vqx_wstring;

// The folder part of a path without its one trailing separator; empty when there is none.
vqx_wstring FolderOf(const vqx_wstring& path) {
    vqx::VQXFilePathParser parser;
    parser.Parse(path);
    vqx_wstring folder = parser.GetFolder();
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

}  // namespace

namespace vqx {

vqx_wstring VQX_CALL vqx_get_process_path() {
    wchar_t path[detail::kPathBufferCapacity] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, detail::kPathBufferCapacity);
    return vqx_wstring(path, length < detail::kPathBufferCapacity ? length : detail::kPathBufferCapacity - 1);
}

// A current directory longer than the buffer gives an empty string.
vqx_wstring VQX_CALL vqx_get_current_path() {
    wchar_t path[detail::kPathBufferCapacity] = {};
    const DWORD length = GetCurrentDirectoryW(detail::kPathBufferCapacity, path);
    if (length >= detail::kPathBufferCapacity) return vqx_wstring();
    return vqx_wstring(path, length);
}

vqx_wstring VQX_CALL vqx_get_process_folder() {
    return FolderOf(vqx_get_process_path());
}

vqx_wstring VQX_CALL vqx_get_current_folder() {
    return FolderOf(vqx_get_current_path());
}

}  // namespace vqx

extern "C" bool VQX_CALL vqx_get_application_data_path(wchar_t* buffer, unsigned size_in_characters) {
    static const wchar_t kSubfolder[] = L"\\QZT\\";
    constexpr size_t kSubfolderLength = sizeof(kSubfolder) / sizeof(wchar_t) - 1;
    if (buffer == nullptr) return false;

    const DWORD needed = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (needed == 0) return false;
    std::vector<wchar_t> value(needed);
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", value.data(), needed);
    if (length >= needed) return false;  // changed between the two calls

    if (static_cast<size_t>(length) + kSubfolderLength + 1 > size_in_characters) return false;
    std::wmemcpy(buffer, value.data(), length);
    std::wmemcpy(buffer + length, kSubfolder, kSubfolderLength + 1);
    return true;
}
