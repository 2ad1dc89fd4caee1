// Directory existence, creation and removal.
#include <vqx/paths.h>

#include <windows.h>

#include <sys/stat.h>

namespace vqx {

namespace {

constexpr unsigned kDirectoryMode = 0x4000;  // _S_IFDIR

bool EndsWithSeparator(const vqx_wstring& path) {
    return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

bool RemoveEmptyDirectory(const vqx_wstring& path) {
    return RemoveDirectoryW(path.c_str()) == 1;
}

// Removes every entry of folder (which ends with '\'); stops at the first failure.
bool RemoveContents(const vqx_wstring& folder) {
    vqx_vector<vqx_file_item_descriptor> items;
    vqx_enumerate_directory(folder + L"*.*", items);
    for (const vqx_file_item_descriptor& item : items) {
        const vqx_wstring full = folder + item.name;
        const bool removed =
            (item.attributes & 0x10) != 0 ? vqx_delete_dir(full, true) : DeleteFileW(full.c_str()) != FALSE;
        if (!removed) return false;
    }
    return true;
}

}  // namespace

bool VQX_CALL vqx_dir_exists(const vqx_wstring& path) {
    vqx_wstring trimmed = path;
    if (EndsWithSeparator(trimmed)) trimmed.pop_back();
    struct _stat64 info {};
    return _wstat64(trimmed.c_str(), &info) == 0 && (info.st_mode & kDirectoryMode) != 0;
}

// Creates every level from the shortest up; errors (an existing folder included) are ignored.
// Only '\' separates levels; the drive prefix "X:" is not created.
bool VQX_CALL vqx_make_dir(const vqx_wstring& path) {
    const bool hasDrive = path.size() >= 2 && path[1] == L':';
    for (size_t at = path.find(L'\\'); at != vqx_wstring::npos; at = path.find(L'\\', at + 1)) {
        if (at == 0 || (at == 2 && hasDrive)) continue;
        _wmkdir(path.substr(0, at).c_str());
    }
    if (!path.empty() && path.back() != L'\\') _wmkdir(path.c_str());
    return true;
}

bool VQX_CALL vqx_delete_dir(const vqx_wstring& path, bool recursive) {
    if (path.empty()) return false;
    if (recursive) {
        vqx_wstring folder = path;
        if (folder.back() != L'\\') folder += L'\\';
        if (!RemoveContents(folder)) return false;
    }
    return RemoveEmptyDirectory(path);
}

}  // namespace vqx
