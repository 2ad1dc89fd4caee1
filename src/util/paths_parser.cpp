#include "util/paths_parser.h"

namespace vqx {

bool VQXFilePathParser::Parse(const vqx_wstring& path) {
    m_extension.clear();
    m_name.clear();
    m_folder.clear();
    if (path.empty()) return false;

    constexpr size_t npos = vqx_wstring::npos;
    const size_t separator = path.find_last_of(L"\\/");
    size_t dot = path.rfind(L'.');
    if (dot != npos && separator != npos && dot < separator) dot = npos;  // a dot inside the folder
    if (dot != npos && dot + 1 < path.size()) m_extension = path.substr(dot + 1);

    const size_t nameEnd = dot != npos ? dot : path.size();
    if (separator == npos) {
        m_name = path.substr(0, nameEnd);
        return true;
    }
    if (separator + 1 < path.size()) m_name = path.substr(separator + 1, nameEnd - separator - 1);
    m_folder = path.substr(0, separator);
    if (!m_folder.empty() && m_folder.back() != L'\\' && m_folder.back() != L'/') m_folder += L'\\';
    return true;
}

}  // namespace vqx
