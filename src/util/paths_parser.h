// VQXFilePathParser: splits a path into folder, name and extension.
// Ownership: plain value fields. Thread rules: one object per thread.
#pragma once

#include <vqx/strings.h>

namespace vqx {

class VQXFilePathParser {
public:
    VQXFilePathParser() = default;
    virtual ~VQXFilePathParser() = default;

    // False for an empty path. The last '.' after the last '\' or '/' starts the extension unless
    // it is the last character; the name ends before that dot either way. A non-empty folder ends
    // with '\' (or the '/' it already ended with).
    bool Parse(const vqx_wstring& path);
    const vqx_wstring& GetFolder() const { return m_folder; }
    const vqx_wstring& GetName() const { return m_name; }
    const vqx_wstring& GetExtension() const { return m_extension; }

private:
    vqx_wstring m_reserved;  // filled by no operation
    vqx_wstring m_extension;
    vqx_wstring m_name;
    vqx_wstring m_folder;
};

}  // namespace vqx
