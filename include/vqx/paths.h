// Paths, folders, files and directories: path algorithms of their own (absolute test, canonical
// form, relative path) and thin synchronous wrappers over the operating system and C library.
// Ownership: returned strings and vectors belong to the caller; file handles from vqx_open_file
// are closed with vqx_close_file.
// Thread rules: no function keeps state; all may be called from any thread (the current-path
// functions read the process-wide current directory).
//
// Choices of this implementation:
// - vqx_get_canonic_path and vqx_get_relative_path_to refuse (false, destination untouched) an
//   input of 260 characters or more, which would not fit the 260-character working buffers.
//   vqx_get_relative_path_to likewise refuses a result that would not fit its 260-character
//   destination with the terminator, instead of cutting it.
// - vqx_get_process_folder / vqx_get_current_folder return an empty string when the path has no
//   folder part.
// - vqx_file_open with a null path or mode returns null.
#pragma once

#include <vqx/platform.h>
#include <vqx/strings.h>

#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace vqx {

// The standard vector over the framework's allocator.
template <class T>
using vqx_vector = std::vector<T, vqx_allocator<T>>;

// One directory entry, filled from the C library's 64-bit find record.
struct vqx_file_item_descriptor {
    uint32 attributes;  // the C library's attribute bits; 0x10 marks a directory
    int64 time_create;  // seconds since 1970-01-01 UTC
    int64 time_access;
    int64 time_write;
    int64 size;         // bytes
    wchar_t name[260];  // the entry's name without its folder, NUL-terminated
};

// Flags of vqx_open_file.
enum VQX_FileAccess : uint32 {
    VQX_FileAccessWrite = 1,
    VQX_FileAccessRead = 2,
    VQX_FileAccessAppend = 4,
    VQX_FileAccessRandom = 8,
};

constexpr VQX_FileAccess operator|(VQX_FileAccess a, VQX_FileAccess b) {
    return static_cast<VQX_FileAccess>(static_cast<uint32>(a) | static_cast<uint32>(b));
}

// The operating system's file handle; null is no file.
using vqx_file_handle = void*;

}  // namespace vqx

extern "C" {
// True when the path holds a ':' anywhere or begins with two backslashes.
VQX_API bool VQX_CALL vqx_path_is_absolute(const wchar_t* path);
// Every '/' becomes '\', in place.
VQX_API void VQX_CALL vqx_path_fix_os_slashes(wchar_t* path);
// Folds '.' and '..' components; the destination must hold the source's length plus two.
VQX_API bool VQX_CALL vqx_get_canonic_path(const wchar_t* source, wchar_t* destination);
// Relative path from a folder to a file; the destination holds 260 characters. False when the two
// share no leading component.
VQX_API bool VQX_CALL vqx_get_relative_path_to(const wchar_t* from_folder, const wchar_t* to_path,
                                               wchar_t* destination);
// %APPDATA% followed by "\QZT\" when it fits into size characters (terminator included).
VQX_API bool VQX_CALL vqx_get_application_data_path(wchar_t* buffer, unsigned size_in_characters);
// _wfopen.
VQX_API std::FILE* VQX_CALL vqx_file_open(const wchar_t* path, const wchar_t* mode);
}

namespace vqx {

extern "C" {
VQX_API vqx_wstring VQX_CALL vqx_get_process_path();
VQX_API vqx_wstring VQX_CALL vqx_get_process_folder();
VQX_API vqx_wstring VQX_CALL vqx_get_current_path();
VQX_API vqx_wstring VQX_CALL vqx_get_current_folder();

VQX_API bool VQX_CALL vqx_dir_exists(const vqx_wstring& path);
// Creates every missing level; always true.
VQX_API bool VQX_CALL vqx_make_dir(const vqx_wstring& path);
VQX_API bool VQX_CALL vqx_delete_dir(const vqx_wstring& path, bool recursive);
// Directories first, then files, each group in the collation order captured at library load.
VQX_API bool VQX_CALL vqx_enumerate_directory(const vqx_wstring& pattern, vqx_vector<vqx_file_item_descriptor>& items);

VQX_API vqx_file_handle VQX_CALL vqx_open_file(const vqx_wstring& path, VQX_FileAccess access);
// Bytes actually transferred, 0 on failure.
VQX_API unsigned VQX_CALL vqx_read_file(vqx_file_handle file, void* buffer, unsigned size);
VQX_API unsigned VQX_CALL vqx_write_file(vqx_file_handle file, const void* data, unsigned size);
VQX_API void VQX_CALL vqx_close_file(vqx_file_handle file);
VQX_API bool VQX_CALL vqx_delete_file(const vqx_wstring& path);
VQX_API bool VQX_CALL vqx_file_stat(const vqx_wstring& path, struct _stat64* info);
}

}  // namespace vqx
