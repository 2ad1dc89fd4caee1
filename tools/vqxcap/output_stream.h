// Where the stream goes: a file (created or truncated) or standard output in binary mode.
// Ownership: owns the file it opened; standard output is only flushed. Thread rules: one thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vqxcap {

class OutputStream {
public:
    OutputStream() = default;
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    // "-" is standard output. False when the file cannot be created.
    bool Open(const std::wstring& path);
    bool Write(const void* data, size_t size);
    // Flushes and closes; false when anything written was lost.
    bool Close();
    bool IsStandardOutput() const { return m_standardOutput; }
    uint64_t BytesWritten() const { return m_bytes; }

private:
    std::FILE* m_file = nullptr;
    bool m_standardOutput = false;
    bool m_failed = false;
    uint64_t m_bytes = 0;
};

}  // namespace vqxcap
