// Files through the operating system's handles, plus the C library's stat and fopen.
#include <vqx/paths.h>

#include <windows.h>

#include <sys/stat.h>

namespace vqx {

namespace {

void Warn(const wchar_t* text) {
    OutputDebugStringW(text);
}

struct OpenParameters {
    DWORD access = 0;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
};

OpenParameters ParametersFor(uint32 access) {
    OpenParameters parameters;
    if ((access & VQX_FileAccessWrite) != 0) {
        parameters.access = GENERIC_WRITE;
        parameters.disposition = (access & VQX_FileAccessAppend) != 0 ? OPEN_ALWAYS : CREATE_ALWAYS;
    }
    if ((access & VQX_FileAccessRead) != 0) parameters.access |= GENERIC_READ;
    if ((access & VQX_FileAccessRandom) != 0) parameters.flags |= FILE_FLAG_RANDOM_ACCESS;
    return parameters;
}

}  // namespace

vqx_file_handle VQX_CALL vqx_open_file(const vqx_wstring& path, VQX_FileAccess access) {
    if (path.empty()) {
        Warn(L"(WARNING) Invalid file name for open.");
        return nullptr;
    }
    const OpenParameters parameters = ParametersFor(access);
    const vqx_string narrowPath = vqx_from_unicode_to_multibyte(path);
    HANDLE file = CreateFileA(narrowPath.c_str(), parameters.access, FILE_SHARE_READ, nullptr, parameters.disposition,
                              parameters.flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Warn(L"(WARNING) Failed to open file");
        return nullptr;
    }
    if ((access & VQX_FileAccessAppend) != 0) SetFilePointer(file, 0, nullptr, FILE_END);
    return file;
}

unsigned VQX_CALL vqx_read_file(vqx_file_handle file, void* buffer, unsigned size) {
    if (file == nullptr) {
        Warn(L"(WARNING) Invalid file handle specified for file read.");
        return 0;
    }
    DWORD transferred = 0;
    if (!ReadFile(file, buffer, size, &transferred, nullptr)) return 0;
    return transferred;
}

unsigned VQX_CALL vqx_write_file(vqx_file_handle file, const void* data, unsigned size) {
    if (file == nullptr) {
        Warn(L"(WARNING) Invalid file handle specified for file write.");
        return 0;
    }
    DWORD transferred = 0;
    if (!WriteFile(file, data, size, &transferred, nullptr)) return 0;
    return transferred;
}

void VQX_CALL vqx_close_file(vqx_file_handle file) {
    if (file == nullptr) {
        Warn(L"(WARNING) Invalid file handle specified for file close.");
        return;
    }
    CloseHandle(file);
}

bool VQX_CALL vqx_delete_file(const vqx_wstring& path) {
    return DeleteFileW(path.c_str()) != FALSE;
}

bool VQX_CALL vqx_file_stat(const vqx_wstring& path, struct _stat64* info) {
    return info != nullptr && _wstat64(path.c_str(), info) == 0;
}

}  // namespace vqx

extern "C" std::FILE* VQX_CALL vqx_file_open(const wchar_t* path, const wchar_t* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    return _wfopen(path, mode);
}
