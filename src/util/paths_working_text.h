// The working copy that the path algorithms operate on: at most 259 characters (what fits a
// 260-character path buffer with its terminator), with '/' turned into '\'.
// Thread rules: stateless.
#pragma once

#include <cwchar>
#include <optional>
#include <string>

namespace vqx::detail {

constexpr size_t kPathBufferCapacity = 260;  // characters, terminator included

// Empty optional for a null source or one too long for the working buffer.
inline std::optional<std::wstring> LoadWorkingPath(const wchar_t* source) {
    if (source == nullptr) return std::nullopt;
    const size_t length = std::wcslen(source);
    if (length >= kPathBufferCapacity) return std::nullopt;
    std::wstring text(source, length);
    for (wchar_t& c : text) {
        if (c == L'/') c = L'\\';
    }
    return text;
}

}  // namespace vqx::detail
