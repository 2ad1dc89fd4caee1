// The line that the debugger and console outputs write: "facility : message\r\n".
// Thread rules: stateless.
#pragma once

#include <string>

namespace vqx::detail {

inline const wchar_t* OrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

inline std::wstring ComposeOutputLine(const wchar_t* facility, const wchar_t* message) {
    std::wstring line(OrEmpty(facility));
    line += L" : ";
    line += OrEmpty(message);
    line += L"\r\n";
    return line;
}

}  // namespace vqx::detail
