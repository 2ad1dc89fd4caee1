// Test helper: a fresh folder under the current directory, removed with everything in it when the
// helper goes out of scope; and small file helpers that do not use the library under test.
#pragma once

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& tag)
        : m_path(std::filesystem::current_path().wstring() + L"\\scratch_" + tag + L"_" +
                 std::to_wstring(GetCurrentProcessId())) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
        std::filesystem::create_directory(m_path, ignored);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

inline bool FileExists(const std::wstring& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored);
}

inline bool FolderExists(const std::wstring& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

// The whole file as bytes (empty when it cannot be read).
inline std::string ReadAllBytes(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteAllBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

// A UTF-16 log file's text after its byte-order mark; "<no BOM>" when the mark is missing.
inline std::wstring ReadLogText(const std::wstring& path) {
    const std::string bytes = ReadAllBytes(path);
    if (bytes.compare(0, 2, "\xFF\xFE") != 0) return L"<no BOM>";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    return text;
}
