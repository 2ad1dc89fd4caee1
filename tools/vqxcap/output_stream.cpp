#include "output_stream.h"

#include <fcntl.h>
#include <io.h>

namespace vqxcap {

OutputStream::~OutputStream() {
    Close();
}

bool OutputStream::Open(const std::wstring& path) {
    Close();
    m_failed = false;
    m_bytes = 0;
    if (path == L"-") {
        _setmode(_fileno(stdout), _O_BINARY);
        m_file = stdout;
        m_standardOutput = true;
        return true;
    }
    m_standardOutput = false;
    m_file = _wfopen(path.c_str(), L"wb");
    return m_file != nullptr;
}

bool OutputStream::Write(const void* data, size_t size) {
    if (m_file == nullptr) return false;
    if (size != 0 && std::fwrite(data, 1, size, m_file) != size) m_failed = true;
    m_bytes += size;
    return !m_failed;
}

bool OutputStream::Close() {
    if (m_file == nullptr) return !m_failed;
    if (std::fflush(m_file) != 0) m_failed = true;
    if (!m_standardOutput && std::fclose(m_file) != 0) m_failed = true;
    m_file = nullptr;
    return !m_failed;
}

}  // namespace vqxcap
