// Collects the trace messages of one facility while it is alive.
#pragma once

#include <vqx/trace.h>

#include <mutex>
#include <string>
#include <vector>

namespace vqx::test {

class TraceCapture final : public VQXTraceListener {
public:
    explicit TraceCapture(std::wstring facility = L"VQXEncoderKLTZEPImpl") : m_facility(std::move(facility)) {
        VQXRegisterTraceListener(this);
    }
    ~TraceCapture() override { VQXUnregisterTraceListener(this); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    void Write(const wchar_t* facility, const wchar_t* message) override {
        if (facility == nullptr || m_facility != facility) return;
        std::lock_guard<std::mutex> guard(m_lock);
        m_messages.emplace_back(message != nullptr ? message : L"");
    }

    std::vector<std::wstring> Messages() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_messages;
    }

private:
    std::wstring m_facility;
    mutable std::mutex m_lock;
    std::vector<std::wstring> m_messages;
};

}  // namespace vqx::test
